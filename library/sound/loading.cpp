// Loading sounds: a file or a memory image is converted whole to PCM and copied into up to ten
// buffers of one sound; a sound longer than three minutes, or one whose buffers cannot be made,
// becomes a stream sound behind the same handle.
#include "sound/loading.h"
#include "sound/sound_services.h"

#include <cstring>

namespace {

constexpr DWORD kWholeSoundFlags = DSBCAPS_GLOBALFOCUS | DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_CTRLFREQUENCY;
constexpr DWORD kPlainSoundFlags = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN;

DWORD LocationFlag() { return g_soundOptions.softwareMixing ? DSBCAPS_LOCSOFTWARE : DSBCAPS_STATIC; }

int CreateBuffer(SoundBufferEntry* entry, const WAVEFORMATEX* format, DWORD bytes, DWORD flags) {
  DSBUFFERDESC description;
  std::memset(&description, 0, sizeof(description));
  description.dwSize = sizeof(DSBUFFERDESC);
  description.dwFlags = flags;
  description.dwBufferBytes = bytes;
  description.lpwfxFormat = const_cast<WAVEFORMATEX*>(format);
  return SndBufCreate(entry, &description);
}

// Copies the PCM into every buffer of the sound.
int CopyPcmIntoBuffers(SoundRecord* record, const uint8_t* pcm, int size) {
  for (int i = 0; i < record->bufferCount && i < kSoundBuffersPerSound; ++i) {
    if (record->bufferWords[i] == 1) continue;
    void* first = nullptr;
    void* second = nullptr;
    int firstSize = 0;
    int secondSize = 0;
    if (SndBufLock(0, &record->buffers[i], size, &first, &firstSize, &second, &secondSize) != 0) {
      AddLogText("サウンドデータの転送に失敗しました_1");
      return -1;
    }
    std::memcpy(first, pcm, static_cast<size_t>(firstSize));
    if (second) std::memcpy(second, pcm + firstSize, static_cast<size_t>(secondSize));
    if (SndBufUnlock(&record->buffers[i], first, firstSize, second, secondSize) != 0) {
      AddLogText("サウンドデータの転送に失敗しました_2");
      return -1;
    }
  }
  return 0;
}

}  // namespace

int SetSoundLoadMode(unsigned mode) {
  if (mode > SOUND_LOAD_STREAM_FILE) return -1;
  g_soundOptions.loadMode = mode == 1 ? SOUND_LOAD_WHOLE : static_cast<int>(mode);
  return 0;
}

int GetSoundLoadMode() { return g_soundOptions.loadMode; }

int SetSoundDecoderMask(int mask) {
  g_soundOptions.decoderMask = mask;
  return 0;
}

int GetSoundDecoderMask() { return g_soundOptions.decoderMask; }

int SetMovieSoundFlag(int on) {
  g_soundOptions.movieSoundFlag = on;
  return 0;
}

int LoadSoundFile(const char* name, int bufferCount, int sharedStream) {
  return LoadSoundFileImpl(name, bufferCount, sharedStream);
}

int LoadSoundFileImpl(const char* name, int bufferCount, int sharedStream) {
  if (!g_soundOptions.directSound) return -1;
  LockSound();
  int handle = -1;
  if (g_soundOptions.loadMode != SOUND_LOAD_WHOLE) {
    handle = AddSoundData(-1);
    if (handle != -1) {
      if (AddStreamSoundFile(name, 0, handle, g_soundOptions.loadMode, sharedStream) == 0) {
        PrimeStreamSound(handle);
      } else {
        DeleteSoundHandle(handle, 0);
        handle = -1;
      }
    }
    UnlockSound();
    return handle;
  }
  void* image = nullptr;
  int size = 0;
  if (LoadFileToMemory(name, &image, &size) != 0) {
    WriteLogFormat("右記の音声ファイルのロードに失敗しました_1：%s", name);
    UnlockSound();
    return -1;
  }
  handle = LoadSoundFromMemoryImage(image, size,
                                    bufferCount < kSoundBuffersPerSound ? bufferCount : kSoundBuffersPerSound, -1);
  if (handle == -1) WriteLogFormat("右記の音声ファイルのロードに失敗しました_2：%s", name);
  ZV_FREE(image);
  UnlockSound();
  return handle;
}

int LoadSoundFromMemoryImage(const void* data, int size, int bufferCount, int sharedStream) {
  // A count of 0 or less would leave a sound no play could use: refused before anything is made.
  if (!g_soundOptions.directSound || bufferCount > kSoundBuffersPerSound || bufferCount <= 0) return -1;
  LockSound();
  const int handle = AddSoundData(-1);
  if (handle == -1) {
    UnlockSound();
    return -1;
  }
  SoundRecord* record = GetSoundRecord(handle);
  const int savedLoadMode = g_soundOptions.loadMode;
  int streamMode = g_soundOptions.loadMode;
  PcmConverter converter;
  std::memset(&converter, 0, sizeof(converter));
  MemoryStream* stream = nullptr;
  bool failed = false;

  if (streamMode == SOUND_LOAD_WHOLE) {
    stream = OpenMemoryStream(data, size);
    SoundStreamSource source;
    source.functions = *GetMemoryStreamFuncs();
    source.stream = reinterpret_cast<StreamHandle>(stream);
    WAVEFORMATEX format;
    void* pcm = nullptr;
    int pcmSize = 0;
    if (!stream || SetupPcmConverter(&source, &converter) != 0) {
      AddLogText("音声ファイルのＰＣＭへの変換に失敗しました");
      failed = true;
    } else if (ConvertWholeToPcm(&converter, &format, &pcm, &pcmSize) != 0) {
      AddLogText("音声ファイルを格納するメモリ領域の確保に失敗しました");
      failed = true;
    } else {
      EndPcmConverter(&converter);
      CloseMemoryStream(reinterpret_cast<StreamHandle>(stream));
      stream = nullptr;
      if (format.nAvgBytesPerSec == 0 ||
          pcmSize / static_cast<int>(format.nAvgBytesPerSec) > kLongestWholeSoundSeconds ||
          CreateSoundBuffers(-1, &format, pcmSize, SOUND_BUFFERS_WHOLE_PCM, bufferCount, handle) != 0) {
        ZV_FREE(pcm);
        streamMode = SOUND_LOAD_FILE_IMAGE;
        g_soundOptions.loadMode = SOUND_LOAD_FILE_IMAGE;
      } else {
        record->frequency = static_cast<int>(format.nSamplesPerSec);
        record->pcmReferenceCount = static_cast<int*>(ZV_ALLOC(sizeof(int)));
        if (!record->pcmReferenceCount) {
          AddLogText("サウンドデータの参照数を保存するメモリ領域の確保に失敗しました");
          ZV_FREE(pcm);
          failed = true;
        } else {
          record->format = format;
          record->dataSize = pcmSize;
          record->pcm = static_cast<uint8_t*>(pcm);
          *record->pcmReferenceCount = 1;
          if (CopyPcmIntoBuffers(record, record->pcm, pcmSize) != 0) {
            failed = true;
          } else {
            UnlockSound();
            return handle;
          }
        }
      }
    }
  }

  if (!failed) {
    if (AddStreamSoundMemory(data, size, 0, handle, streamMode, sharedStream) == 0) {
      PrimeStreamSound(handle);
      g_soundOptions.loadMode = savedLoadMode;
      UnlockSound();
      return handle;
    }
  }

  DeleteSoundHandle(handle, 0);
  if (stream) CloseMemoryStream(reinterpret_cast<StreamHandle>(stream));
  EndPcmConverter(&converter);
  g_soundOptions.loadMode = savedLoadMode;
  UnlockSound();
  return -1;
}

int CreateSoundBuffers(int source, const WAVEFORMATEX* format, int bytes, int kind, int count, int handle) {
  SoundRecord* record = GetSoundRecord(handle);
  if (!record) return -1;
  if (kind == SOUND_BUFFER_STREAM) {
    // One second of the stream's PCM, rounded up to whole frames.
    const DWORD align = format->nBlockAlign ? format->nBlockAlign : 1;
    const DWORD second = format->nAvgBytesPerSec & 0xFFFFFF;
    const DWORD length = align * ((second + align - 1) / align);
    // Refused, for one, for a PCM format the device cannot play (24 bits, six channels): that
    // sound fails to load rather than ending the program.
    if (CreateBuffer(&record->buffers[0], format, length,
                     kWholeSoundFlags | DSBCAPS_GETCURRENTPOSITION2 | LocationFlag()) != 0) {
      AddLogText("ストリーム風サウンドバッファの作成に失敗しました");
      return -1;
    }
    record->bufferCount = 1;
    record->streamFlag = SOUND_BUFFER_STREAM;
    LinkHandleChain(&g_soundOptions.streamChainHead, &record->stream.chainNode, handle, record);
    return 0;
  }
  SoundRecord* sourceRecord = nullptr;
  if (source != -1) {
    sourceRecord = GetSoundRecord(source);
    if (!sourceRecord || kind != SOUND_BUFFERS_WHOLE_PCM) return -1;
    format = &sourceRecord->format;
    bytes = sourceRecord->dataSize;
  }
  if (count > kSoundBuffersPerSound) count = kSoundBuffersPerSound;
  for (int c = 0; c < count; ++c) {
    SoundBufferEntry* duplicateOf = sourceRecord ? &sourceRecord->buffers[0] : c > 0 ? &record->buffers[0] : nullptr;
    if (duplicateOf) {
      if (SndBufDuplicate(&record->buffers[c], duplicateOf) == 0) continue;
      if (!(c == 0 && sourceRecord)) {
        count = c;  // The sound simply has fewer buffers.
        break;
      }
    }
    if (CreateBuffer(&record->buffers[c], format, static_cast<DWORD>(bytes), kWholeSoundFlags | LocationFlag()) != 0 &&
        CreateBuffer(&record->buffers[c], format, static_cast<DWORD>(bytes), kPlainSoundFlags | LocationFlag()) != 0) {
      for (int made = c; made >= 0; --made)
        if (record->buffers[made].exists) SndBufRelease(&record->buffers[made]);
      AddLogText("DirectSoundBuffer の作成に失敗しました\n");
      return -1;
    }
  }
  record->bufferCount = count;
  record->streamFlag = kind;
  return 0;
}
