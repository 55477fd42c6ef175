// RIFF WAVE: the chunk walk both WAVE decoders share, and the plain PCM decoder (method 0) that
// reads the data chunk straight from the stream.
//
// Chunk sizes are unsigned; a chunk reaching past the end of the stream is refused, except the
// data chunk, which ends where the stream ends. Only a "bext" chunk may come before "fmt ".
// Channels, rate and block align of 0 are refused; an average rate of 0 is rate x block align.
#include <climits>
#include <cstring>

#include "sound/pcm_converter.h"
#include "sound/wave_chunks.h"

namespace {

uint32_t ReadWord(const BYTE* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

struct ChunkHead {
  char id[4];
  uint32_t size;
};

bool ReadChunkHead(const SoundStreamSource& source, ChunkHead* head) {
  BYTE bytes[8];
  if (SourceRead(source, bytes, 8) != 8) return false;
  std::memcpy(head->id, bytes, 4);
  head->size = ReadWord(bytes + 4);
  return true;
}

bool IsId(const ChunkHead& head, const char* id) { return std::memcmp(head.id, id, 4) == 0; }

// Moves past `bytes` more bytes; false when they reach past the end of the stream.
bool SkipWithin(const SoundStreamSource& source, int streamSize, int64_t bytes) {
  const int64_t target = static_cast<int64_t>(SourceTell(source)) + bytes;
  if (target > streamSize) return false;
  SourceSeek(source, static_cast<int>(target), 0);
  return true;
}

}  // namespace

int WalkWaveChunks(PcmConverter* converter, BYTE** formatOut) {
  const SoundStreamSource& source = converter->source;
  *formatOut = nullptr;
  const int streamSize = SourceSizeFromStart(source);
  BYTE riff[12];
  if (SourceRead(source, riff, 12) != 12 || std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0)
    return -1;
  ChunkHead head;
  if (!ReadChunkHead(source, &head)) return -1;
  if (IsId(head, "bext")) {
    if (!SkipWithin(source, streamSize, static_cast<int64_t>(head.size) + (head.size & 1))) return -1;
    if (!ReadChunkHead(source, &head)) return -1;
  }
  if (!IsId(head, "fmt ")) return -1;
  converter->formatChunkPosition = SourceTell(source);
  if (static_cast<int64_t>(converter->formatChunkPosition) + head.size > streamSize) return -1;
  converter->formatChunkSize = static_cast<int>(head.size);
  const int blockSize = converter->formatChunkSize < 18 ? 18 : converter->formatChunkSize;
  BYTE* format = static_cast<BYTE*>(ZV_ALLOC_ZEROED(blockSize));
  if (!format) return -1;
  if (SourceRead(source, format, converter->formatChunkSize) != converter->formatChunkSize ||
      !SkipWithin(source, streamSize, head.size & 1)) {
    ZV_FREE(format);
    return -1;
  }
  for (;;) {
    if (!ReadChunkHead(source, &head)) {
      ZV_FREE(format);
      return -1;
    }
    if (IsId(head, "data")) break;
    if (!SkipWithin(source, streamSize, static_cast<int64_t>(head.size) + (head.size & 1))) {
      ZV_FREE(format);
      return -1;
    }
  }
  converter->dataPosition = SourceTell(source);
  const int64_t available = static_cast<int64_t>(streamSize) - converter->dataPosition;
  converter->dataSize = static_cast<int>(head.size < available ? head.size : available);
  *formatOut = format;
  return 0;
}

int CheckWaveFormatFields(WAVEFORMATEX* format) {
  if (format->nChannels == 0 || format->nSamplesPerSec == 0 || format->nBlockAlign == 0) return -1;
  if (format->nAvgBytesPerSec == 0) format->nAvgBytesPerSec = format->nSamplesPerSec * format->nBlockAlign;
  return 0;
}

int SetupWavePcmDecoder(PcmConverter* converter) {
  BYTE* format = nullptr;
  if (WalkWaveChunks(converter, &format) != 0) return -1;
  WAVEFORMATEX output;
  std::memcpy(&output, format, sizeof(WAVEFORMATEX));
  ZV_FREE(format);
  if (output.wFormatTag != WAVE_FORMAT_PCM) return -1;
  // Plain PCM carries no extra bytes, whatever the chunk says.
  output.cbSize = 0;
  if (converter->formatChunkSize == 16 && output.nChannels != 0)
    output.wBitsPerSample = static_cast<WORD>(output.nBlockAlign / output.nChannels * 8);
  if (CheckWaveFormatFields(&output) != 0 || output.wBitsPerSample == 0) return -1;
  converter->outputFormat = output;
  // One second of output per step, within bounds a hostile header cannot push.
  uint32_t bufferSize = output.nAvgBytesPerSec > kLargestStepBuffer ? kLargestStepBuffer : output.nAvgBytesPerSec;
  if (bufferSize < output.nBlockAlign) bufferSize = output.nBlockAlign;
  converter->bufferSize = static_cast<int>(bufferSize);
  converter->method = PCM_CONVERT_WAVE_PCM;
  return 0;
}

int ReadWavePcmBlock(PcmConverter* converter) {
  const int position = SourceTell(converter->source) - converter->dataPosition;
  if (position >= converter->dataSize || position < 0) return -1;
  int bytes = converter->dataSize - position;
  if (bytes > converter->bufferSize) bytes = converter->bufferSize;
  const int read = SourceRead(converter->source, converter->buffer, bytes);
  if (read <= 0) return -1;
  converter->validBytes = read;
  return 0;
}

int SeekWavePcm(PcmConverter* converter, int sample) {
  int64_t offset = static_cast<int64_t>(sample) * converter->outputFormat.nBlockAlign;
  if (offset < 0) offset = 0;
  if (offset > converter->dataSize) offset = converter->dataSize;
  SourceSeek(converter->source, converter->dataPosition + static_cast<int>(offset), 0);
  converter->outputPosition = static_cast<int>(offset);
  converter->validBytes = 0;
  converter->readOffset = 0;
  return 0;
}
