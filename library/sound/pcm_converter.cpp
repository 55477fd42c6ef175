// The PCM conversion front end: decoder choice, conversion in pieces, seeking and ending, and the
// small routines of the sound data path.
#include "sound/pcm_converter.h"

#include <climits>
#include <cstring>

#include "sound/sound_records.h"
#include "zyvel/files.h"

int SourceTell(const SoundStreamSource& source) { return source.functions.Tell(source.stream); }
int SourceSeek(const SoundStreamSource& source, int offset, int origin) {
  return source.functions.Seek(source.stream, offset, origin);
}
int SourceRead(const SoundStreamSource& source, void* buffer, int bytes) {
  if (bytes <= 0) return 0;
  const int read = source.functions.Read(buffer, 1, bytes, source.stream);
  return read < 0 ? 0 : read > bytes ? bytes : read;
}
int SourceSizeFromStart(const SoundStreamSource& source) {
  SourceSeek(source, 0, 2);
  const int size = SourceTell(source);
  SourceSeek(source, 0, 0);
  return size < 0 ? 0 : size;
}

namespace {

typedef int (*DecoderSetup)(PcmConverter*);

struct DecoderChoice {
  int disableBit;
  DecoderSetup setup;
  bool rewindAfterRefusal;
};

// Tried in this order; the first that accepts the stream wins. The media-framework decoder finds
// its own way back to the start, so the MP3 decoder's refusal leaves the stream where it stands.
const DecoderChoice kDecoderOrder[] = {
    {SOUND_DECODER_WAVE_PCM, SetupWavePcmDecoder, true},
    {SOUND_DECODER_WAVE_ACM, SetupWaveAcmDecoder, true},
    {SOUND_DECODER_OGG_VORBIS, SetupOggDecoder, true},
    {SOUND_DECODER_MP3_ACM, SetupMp3AcmDecoder, false},
    {SOUND_DECODER_MEDIA_FRAMEWORK, SetupMediaFrameworkDecoder, false},
};

int RunStep(PcmConverter* converter) {
  switch (converter->method) {
    case PCM_CONVERT_WAVE_PCM:
      return ReadWavePcmBlock(converter);
    case PCM_CONVERT_ACM:
      return ConvertAcmBlock(converter);
    case PCM_CONVERT_OGG_VORBIS:
      return DecodeOggBlock(converter);
    case PCM_CONVERT_MEMORY_PCM:
      return CopyMemoryPcmBlock(converter);
    default:
      return -1;
  }
}

void ReleaseMethod(PcmConverter* converter) {
  switch (converter->method) {
    case PCM_CONVERT_ACM:
      EndAcmDecoder(converter);
      break;
    case PCM_CONVERT_OGG_VORBIS:
      EndOggDecoder(converter);
      break;
    case PCM_CONVERT_MEMORY_PCM:
      ZV_FREE(converter->memory.pcm);
      converter->memory.pcm = nullptr;
      break;
    default:
      break;
  }
}

}  // namespace

int SetupPcmConverter(SoundStreamSource* source, PcmConverter* converter) {
  converter->movieSoundFlag = g_soundOptions.movieSoundFlag;
  converter->source = *source;
  SourceSeek(converter->source, 0, 0);
  const int mask = g_soundOptions.decoderMask;
  bool accepted = false;
  for (const DecoderChoice& choice : kDecoderOrder) {
    if (mask & choice.disableBit) continue;
    if (choice.setup(converter) == 0) {
      accepted = true;
      break;
    }
    if (choice.rewindAfterRefusal) SourceSeek(converter->source, 0, 0);
  }
  if (!accepted) return -1;
  converter->ready = 0;
  converter->end = 0;
  converter->buffer = static_cast<BYTE*>(ZV_ALLOC(converter->bufferSize > 0 ? converter->bufferSize : 1));
  if (!converter->buffer) {
    ReleaseMethod(converter);
    return -1;
  }
  converter->validBytes = 0;
  converter->readOffset = 0;
  converter->outputPosition = 0;
  converter->ready = 1;
  return 0;
}

int ConvertPcm(PcmConverter* converter, void* destination, int bytes) {
  if (!converter->ready) return -1;
  if (converter->end || bytes <= 0) return 0;
  auto* out = static_cast<BYTE*>(destination);
  int delivered = 0;
  while (delivered < bytes) {
    if (converter->validBytes <= 0) {
      converter->readOffset = 0;
      // With the buffer empty, the compression manager converts straight into the caller's
      // memory, saving a copy, when the room there takes the next piece's sound. When it does
      // not, the buffer takes about one piece, so that little is copied twice.
      if (converter->method == PCM_CONVERT_ACM) {
        const int made = ConvertAcmInto(converter, out + delivered, bytes - delivered);
        if (made > 0) {
          converter->outputPosition += made;
          delivered += made;
          continue;
        }
        const int room = converter->acm.pieceRoom < converter->bufferSize ? converter->acm.pieceRoom
                                                                          : converter->bufferSize;
        converter->validBytes = ConvertAcmInto(converter, converter->buffer, room);
        if (converter->validBytes > 0) continue;
      }
      if (RunStep(converter) == -1) {
        converter->end = 1;
        break;
      }
      continue;
    }
    int piece = bytes - delivered;
    if (piece > converter->validBytes) piece = converter->validBytes;
    std::memcpy(out + delivered, converter->buffer + converter->readOffset, static_cast<size_t>(piece));
    converter->validBytes -= piece;
    converter->readOffset += piece;
    converter->outputPosition += piece;
    delivered += piece;
  }
  return delivered;
}

int SetPcmConverterSampleTime(PcmConverter* converter, int sample) {
  const int64_t wide = static_cast<int64_t>(sample) * converter->outputFormat.nBlockAlign;
  const int target = wide > INT_MAX ? INT_MAX : wide < 0 ? 0 : static_cast<int>(wide);
  const int64_t distance = static_cast<int64_t>(target) - converter->outputPosition;
  if (distance > -16 && distance < 16) return 0;
  switch (converter->method) {
    case PCM_CONVERT_WAVE_PCM:
      SeekWavePcm(converter, sample);
      break;
    case PCM_CONVERT_ACM:
      SeekAcm(converter, sample);
      break;
    case PCM_CONVERT_OGG_VORBIS:
      SeekOgg(converter, sample);
      break;
    case PCM_CONVERT_MEMORY_PCM:
      converter->memory.readPosition = target < converter->memory.size ? target : converter->memory.size;
      converter->outputPosition = target;
      converter->validBytes = 0;
      converter->readOffset = 0;
      break;
    default:
      break;
  }
  converter->end = 0;
  return 0;
}

int GetPcmConverterFormat(PcmConverter* converter, WAVEFORMATEX* out) {
  std::memcpy(out, &converter->outputFormat, sizeof(WAVEFORMATEX));
  return 0;
}

int GetPcmConvertedSize(PcmConverter* converter) {
  switch (converter->method) {
    case PCM_CONVERT_WAVE_PCM:
      return converter->dataSize;
    case PCM_CONVERT_ACM: {
      if (converter->acm.totalSamples >= 0) {
        const int64_t size = static_cast<int64_t>(converter->acm.totalSamples) * converter->outputFormat.nBlockAlign;
        return size > INT_MAX ? INT_MAX : static_cast<int>(size);
      }
      DWORD size = 0;
      if (acmStreamSize(converter->acm.mainStream, static_cast<DWORD>(converter->acm.compressedSize), &size,
                        ACM_STREAMSIZEF_SOURCE) != MMSYSERR_NOERROR)
        return 0;
      return size > INT_MAX ? INT_MAX : static_cast<int>(size);
    }
    case PCM_CONVERT_OGG_VORBIS:
      return GetOggPcmSize(converter);
    case PCM_CONVERT_MEMORY_PCM:
      return converter->memory.size;
    default:
      return 0;
  }
}

int EndPcmConverter(PcmConverter* converter) {
  if (!converter->ready) return -1;
  ZV_FREE(converter->buffer);
  converter->buffer = nullptr;
  ReleaseMethod(converter);
  converter->ready = 0;
  return 0;
}

int ConvertWholeToPcm(PcmConverter* converter, WAVEFORMATEX* formatOut, void** pcmOut, int* sizeOut) {
  int size = GetPcmConvertedSize(converter);
  auto* pcm = static_cast<BYTE*>(ZV_ALLOC(size > 0 ? size : 1));
  if (!pcm) return -1;
  SetPcmConverterSampleTime(converter, 0);
  if (converter->method == PCM_CONVERT_WAVE_PCM) {
    // Set-up left the stream at the first data byte. A short file gives what it holds, no more.
    size = SourceRead(converter->source, pcm, size);
  } else {
    size = ConvertPcm(converter, pcm, size);
    if (size < 0) size = 0;
  }
  GetPcmConverterFormat(converter, formatOut);
  *pcmOut = pcm;
  *sizeOut = size;
  return 0;
}

int BuildWaveImage(void** imageOut, int* sizeOut, const void* format, int formatSize, const void* pcm, int pcmSize) {
  const int total = formatSize + pcmSize + 28;
  auto* image = static_cast<BYTE*>(ZV_ALLOC(total));
  if (!image) {
    AddLogText("仮WAVEファイルイメージ用のメモリ確保に失敗しました\n");
    return -1;
  }
  auto putWord = [](BYTE* p, uint32_t value) {
    p[0] = static_cast<BYTE>(value);
    p[1] = static_cast<BYTE>(value >> 8);
    p[2] = static_cast<BYTE>(value >> 16);
    p[3] = static_cast<BYTE>(value >> 24);
  };
  BYTE* p = image;
  std::memcpy(p, "RIFF", 4);
  putWord(p + 4, static_cast<uint32_t>(total - 8));
  std::memcpy(p + 8, "WAVE", 4);
  std::memcpy(p + 12, "fmt ", 4);
  putWord(p + 16, static_cast<uint32_t>(formatSize));
  std::memcpy(p + 20, format, static_cast<size_t>(formatSize));
  p += 20 + formatSize;
  std::memcpy(p, "data", 4);
  putWord(p + 4, static_cast<uint32_t>(pcmSize));
  std::memcpy(p + 8, pcm, static_cast<size_t>(pcmSize));
  *imageOut = image;
  *sizeOut = total;
  return 0;
}

int LoadFileToMemory(const char* path, void** dataOut, int* sizeOut) {
  const StreamHandle file = StreamFileOpen(path, 0, 1, 0);
  if (!file) {
    WriteLogFormat("右記のファイルのオープンに失敗しました：%s", path);
    return -1;
  }
  StreamFileSeek(file, 0, 2);
  int size = StreamFileTell(file);
  if (size < 0) size = 0;
  StreamFileSeek(file, 0, 0);
  void* data = ZV_ALLOC(size > 0 ? size : 1);
  if (!data) {
    WriteLogFormat("右記のファイルのロードに必要なメモリの確保に失敗しました：%s", path);
    StreamFileClose(file);
    return -1;
  }
  const int read = StreamFileRead(data, 1, size, file);
  StreamFileClose(file);
  *dataOut = data;
  // A file that shrank under us gives what was read.
  *sizeOut = read < 0 ? 0 : read < size ? read : size;
  return 0;
}

int ReadStreamToMemory(SoundStreamSource* source, void** dataOut, int* sizeOut) {
  const int size = SourceSizeFromStart(*source);
  void* data = ZV_ALLOC(size > 0 ? size : 1);
  if (!data) {
    AddLogText("ストリームの読み込みに必要なメモリの確保に失敗しました");
    return -1;
  }
  *dataOut = data;
  *sizeOut = SourceRead(*source, data, size);
  return 0;
}

int SamplesToMilliseconds(int samples, int rate) {
  if (rate <= 0) return 0;
  return static_cast<int>(static_cast<int64_t>(samples) * 1000 / rate);
}
