// MP3 through the audio compression manager: skip an ID3v2 head, leave out a 128-byte "TAG"
// trailer, scan the frames for where the sound starts and ends and how many samples it holds,
// describe the first frame as an MPEG Layer-3 format, then convert as the ACM method does.
#include <cstring>

#include "sound/mp3_frame_header.h"
#include "sound/pcm_converter.h"
#include "sound/wave_chunks.h"

namespace {

constexpr int kTrailerSize = 128;

// A failed set-up leaves no count of its scan behind either.
void ReleaseMp3State(PcmConverter* converter) {
  ReleaseAcmState(converter);
  std::memset(&converter->acm, 0, sizeof(converter->acm));
}

// The frame scan looks at single bytes and skips whole frames: it reads the stream through a
// buffer, so a file of anything but frames costs a few reads rather than one per byte.
class ScanReader {
 public:
  ScanReader(const SoundStreamSource& source, int start) : source_(source), position_(start) {}
  int Position() const { return position_; }
  void Skip(int bytes) { position_ += bytes; }
  // The next byte, or -1 at the end of the stream.
  int ReadByte() {
    if (position_ < bufferStart_ || position_ >= bufferStart_ + bufferLength_) {
      SourceSeek(source_, position_, 0);
      bufferStart_ = position_;
      bufferLength_ = SourceRead(source_, buffer_, sizeof(buffer_));
      if (bufferLength_ <= 0) {
        bufferLength_ = 0;
        return -1;
      }
    }
    return buffer_[position_++ - bufferStart_];
  }

 private:
  const SoundStreamSource& source_;
  int position_;
  int bufferStart_ = 0;
  int bufferLength_ = 0;
  BYTE buffer_[4096];
};

}  // namespace

int DecodeMp3FrameHeader(Mp3FrameInfo* out, const uint8_t header[4]) {
  // MP3 files take all twelve sync bits: an MPEG-2.5 header is no header here.
  if (header[0] != 0xFF || (header[1] & 0xF0) != 0xF0) return -2;
  return platform::ReadMpegAudioFrameHeader(header, out);
}

int SetupMp3AcmDecoder(PcmConverter* converter) {
  const SoundStreamSource& source = converter->source;
  PcmAcmState& acm = converter->acm;
  std::memset(&acm, 0, sizeof(acm));
  acm.totalSamples = 0;
  const int size = SourceSizeFromStart(source);

  int64_t skip = 0;
  BYTE id3[10];
  if (SourceRead(source, id3, 3) == 3 && std::memcmp(id3, "ID3", 3) == 0 && SourceRead(source, id3 + 3, 7) == 7) {
    skip = (((static_cast<int64_t>(id3[6]) * 128 + id3[7]) * 128 + id3[8]) * 128 + id3[9]) + 10;
    if (id3[3] == 4 && (id3[5] & 0x10)) skip += 10;
  }

  if (size <= kTrailerSize) return -1;
  int trailer = 0;
  SourceSeek(source, size - kTrailerSize, 0);
  BYTE tag[3];
  if (SourceRead(source, tag, 3) == 3 && std::memcmp(tag, "TAG", 3) == 0) trailer = kTrailerSize;
  const int limit = size - trailer;
  if (skip >= limit) return -1;

  // The frame scan. The sound ends at the limit: bytes of the trailer are never taken for frames.
  ScanReader reader(source, static_cast<int>(skip));
  int first = -1;
  int dataEnd = -1;
  int lastFrameEnd = -1;
  int64_t totalSamples = 0;
  for (;;) {
    const int offset = reader.Position();
    if (offset >= limit) break;
    const int b0 = reader.ReadByte();
    if (b0 < 0) break;
    if (b0 != 0xFF) continue;
    const int b1 = reader.ReadByte();
    if (b1 < 0) break;
    if ((b1 & 0xF0) != 0xF0) continue;
    const int b2 = reader.ReadByte();
    const int b3 = b2 < 0 ? -1 : reader.ReadByte();
    if (b3 < 0) break;
    const uint8_t header[4] = {0xFF, static_cast<uint8_t>(b1), static_cast<uint8_t>(b2), static_cast<uint8_t>(b3)};
    Mp3FrameInfo frame;
    if (DecodeMp3FrameHeader(&frame, header) != 0 || frame.frameLength == 0) {
      ReleaseMp3State(converter);
      return -1;
    }
    if (first < 0) first = offset;
    totalSamples += frame.samplesPerFrame;
    const int64_t frameEnd = static_cast<int64_t>(offset) + frame.frameLength;
    if (frameEnd < limit) {
      lastFrameEnd = static_cast<int>(frameEnd);
      reader.Skip(static_cast<int>(frame.frameLength) - 4);
      continue;
    }
    dataEnd = limit;
    break;
  }
  if (first < 0) return -1;
  if (dataEnd < 0) dataEnd = lastFrameEnd;

  SourceSeek(source, first, 0);
  uint8_t header[4];
  Mp3FrameInfo frame;
  if (SourceRead(source, header, 4) != 4 || DecodeMp3FrameHeader(&frame, header) != 0) return -1;

  DWORD formatSize = 0;
  if (acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &formatSize) != MMSYSERR_NOERROR) formatSize = 30;
  if (formatSize < sizeof(MPEGLAYER3WAVEFORMAT)) formatSize = sizeof(MPEGLAYER3WAVEFORMAT);
  acm.sourceFormat = static_cast<BYTE*>(ZV_ALLOC_ZEROED(static_cast<int>(formatSize)));
  if (!acm.sourceFormat) return -1;
  MPEGLAYER3WAVEFORMAT layer3;
  std::memset(&layer3, 0, sizeof(layer3));
  layer3.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
  layer3.wfx.nChannels = frame.channels;
  layer3.wfx.nSamplesPerSec = frame.sampleRate;
  layer3.wfx.nAvgBytesPerSec = frame.bitRate * 1000 / 8;
  layer3.wfx.nBlockAlign = 1;
  layer3.wfx.wBitsPerSample = 0;
  layer3.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
  layer3.wID = MPEGLAYER3_ID_MPEG;
  layer3.fdwFlags = frame.padding ? MPEGLAYER3_FLAG_PADDING_ON : MPEGLAYER3_FLAG_PADDING_ISO;
  layer3.nBlockSize = static_cast<WORD>(frame.frameLength);
  layer3.nFramesPerBlock = 1;
  layer3.nCodecDelay = 700;
  std::memcpy(acm.sourceFormat, &layer3, sizeof(layer3));
  SourceSeek(source, first, 0);
  converter->dataPosition = first;
  converter->dataSize = dataEnd - first;

  std::memset(&converter->outputFormat, 0, sizeof(WAVEFORMATEX));
  converter->outputFormat.wFormatTag = WAVE_FORMAT_PCM;
  if (acmFormatSuggest(nullptr, reinterpret_cast<WAVEFORMATEX*>(acm.sourceFormat), &converter->outputFormat,
                       sizeof(WAVEFORMATEX), ACM_FORMATSUGGESTF_WFORMATTAG) != MMSYSERR_NOERROR) {
    ReleaseMp3State(converter);
    return -1;
  }

  acm.compressedData = static_cast<BYTE*>(ZV_ALLOC(converter->dataSize > 0 ? converter->dataSize : 1));
  if (!acm.compressedData) {
    ReleaseMp3State(converter);
    return -1;
  }
  acm.compressedSize = SourceRead(source, acm.compressedData, converter->dataSize);
  SourceSeek(source, first, 0);
  // The codec gives no sound for an information frame and trims the encoder's delay and padding.
  const uint32_t firstBytes = frame.frameLength < static_cast<uint32_t>(acm.compressedSize > 0 ? acm.compressedSize : 0)
                                  ? frame.frameLength
                                  : static_cast<uint32_t>(acm.compressedSize > 0 ? acm.compressedSize : 0);
  totalSamples = GaplessSampleCount(acm.compressedData, firstBytes, frame, totalSamples);
  acm.totalSamples = totalSamples > INT32_MAX ? INT32_MAX : static_cast<int>(totalSamples);
  acm.sourceReadPosition = 0;
  const uint32_t bufferSize = converter->outputFormat.nAvgBytesPerSec * 4u / 3u;
  if (OpenAcmStreams(converter, static_cast<int>(bufferSize)) != 0) {
    ReleaseMp3State(converter);
    return -1;
  }
  return 0;
}
