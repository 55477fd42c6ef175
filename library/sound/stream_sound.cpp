// Stream sounds: adding data entries (up to three, played in order, each with its own converter
// and loop count), priming, play, stop, position and the playing query. A stream sound either
// owns its one-second buffer or plays through the buffer of another stream sound of the same
// format, taking turns with it.
#include <climits>
#include <cstring>

#include "sound/loading.h"
#include "sound/stream_sound.h"
#include "zyvel/files.h"

namespace {

bool SameFormat(const WAVEFORMATEX& a, const WAVEFORMATEX& b) { return std::memcmp(&a, &b, sizeof(a)) == 0; }

// Opens a memory stream over the entry's own block and makes it the entry's source.
bool OpenEntryBlock(StreamSoundEntry& entry, void* block, int size) {
  MemoryStream* stream = OpenMemoryStream(block, size);
  if (!stream) return false;
  entry.dataBlock = block;
  entry.streamFunctions = *GetMemoryStreamFuncs();
  entry.stream = reinterpret_cast<StreamHandle>(stream);
  return true;
}

SoundStreamSource SourceOf(const StreamSoundEntry& entry) {
  SoundStreamSource source;
  source.functions = entry.streamFunctions;
  source.stream = entry.stream;
  return source;
}

void CloseEntryBlock(StreamSoundEntry& entry) {
  if (entry.dataBlock) {
    if (entry.stream) CloseMemoryStream(entry.stream);
    ZV_FREE(entry.dataBlock);
  }
  std::memset(&entry, 0, sizeof(entry));
}

// Makes the entry own `block` (a WAVE or file image) and convert from it; on failure the block is
// freed and the entry left empty.
bool AdoptEntryBlock(StreamSoundEntry& entry, void* block, int size) {
  if (!OpenEntryBlock(entry, block, size)) {
    ZV_FREE(block);
    AddLogText("音声データのオープンに失敗しました");
    return false;
  }
  SoundStreamSource entrySource = SourceOf(entry);
  if (SetupPcmConverter(&entrySource, &entry.converter) != 0) {
    CloseEntryBlock(entry);
    AddLogText("音声データのオープンに失敗しました");
    return false;
  }
  return true;
}

// Kind 0: the whole source converted now and kept as a WAVE image of its PCM.
bool SetUpWholeEntry(SoundStreamSource* source, StreamSoundEntry& entry) {
  void* image = nullptr;
  int imageSize = 0;
  if (ReadStreamToMemory(source, &image, &imageSize) != 0) {
    AddLogText("音声データの読み込みに失敗しました");
    return false;
  }
  PcmConverter converter;
  std::memset(&converter, 0, sizeof(converter));
  MemoryStream* imageStream = OpenMemoryStream(image, imageSize);
  SoundStreamSource imageSource;
  imageSource.functions = *GetMemoryStreamFuncs();
  imageSource.stream = reinterpret_cast<StreamHandle>(imageStream);
  WAVEFORMATEX format;
  void* pcm = nullptr;
  int pcmSize = 0;
  const bool converted = imageStream && SetupPcmConverter(&imageSource, &converter) == 0 &&
                         ConvertWholeToPcm(&converter, &format, &pcm, &pcmSize) == 0;
  EndPcmConverter(&converter);
  if (imageStream) CloseMemoryStream(imageSource.stream);
  ZV_FREE(image);
  if (!converted) {
    AddLogText("音声データの変換に失敗しました");
    return false;
  }
  void* wave = nullptr;
  int waveSize = 0;
  const int built = BuildWaveImage(&wave, &waveSize, &format, sizeof(WAVEFORMATEX), pcm, pcmSize);
  ZV_FREE(pcm);
  if (built != 0) return false;
  return AdoptEntryBlock(entry, wave, waveSize);
}

// Kind 2: the file image kept in memory and converted while playing.
bool SetUpImageEntry(SoundStreamSource* source, StreamSoundEntry& entry) {
  void* image = nullptr;
  int imageSize = 0;
  if (ReadStreamToMemory(source, &image, &imageSize) != 0) {
    AddLogText("音声データの読み込みに失敗しました");
    return false;
  }
  return AdoptEntryBlock(entry, image, imageSize);
}

// Kind 3: converted from the caller's stream while playing.
bool SetUpStreamEntry(SoundStreamSource* source, StreamSoundEntry& entry) {
  entry.streamFunctions = source->functions;
  entry.stream = source->stream;
  if (SetupPcmConverter(source, &entry.converter) != 0) {
    std::memset(&entry, 0, sizeof(entry));
    AddLogText("音声データのオープンに失敗しました");
    return false;
  }
  return true;
}

// The first entry decides the format and the buffer: the shared stream's, when that is a stream
// sound of the same format with a buffer of its own, else a new one.
bool SetUpStreamBuffer(SoundRecord* record, int handle, int sharedStream) {
  StreamSoundPart& stream = record->stream;
  SoundRecord* shared = sharedStream == handle ? nullptr : GetSoundRecord(sharedStream);
  if (shared && shared->streamFlag == SOUND_BUFFER_STREAM && shared->stream.referredHandle == -1 &&
      SameFormat(shared->format, record->format)) {
    record->streamFlag = SOUND_BUFFER_STREAM;
    record->bufferCount = 1;
    LinkHandleChain(&g_soundOptions.streamChainHead, &stream.chainNode, handle, record);
    stream.referredHandle = sharedStream;
    ++shared->stream.referrerCount;
  } else {
    if (CreateSoundBuffers(-1, &record->format, 0, SOUND_BUFFER_STREAM, 1, handle) != 0) return false;
    stream.referredHandle = -1;
    record->frequency = static_cast<int>(record->format.nSamplesPerSec);
  }
  stream.bufferLength = StreamSizesOf(record->format).bufferLength;
  stream.referrerCount = 0;
  stream.bufferUser = -1;
  stream.deletePending = 0;
  return true;
}

int TotalFramesOf(SoundRecord* record) {
  int64_t frames = 0;
  for (int i = 0; i < record->stream.entryCount; ++i)
    frames += GetPcmConvertedSize(&record->stream.entries[i].converter) / record->format.nBlockAlign;
  return frames > INT_MAX ? INT_MAX : static_cast<int>(frames);
}

void ResetStream(StreamSoundPart& stream) {
  stream.allEntriesPlayed = 0;
  RewindStreamSound(stream);
}

int Fail() {
  UnlockSound();
  return -1;
}

}  // namespace

void RewindStreamSound(StreamSoundPart& stream) {
  stream.restartOffset = 0;
  stream.playedBytes = 0;
  stream.endMarkPending = 0;
  stream.loopCounter = 0;
  stream.currentEntry = 0;
  stream.playing = 0;
}

int AddSreamSound(SoundStreamSource* source, int loopCount, int handle, int kind, int* copied, int sharedStream) {
  if (!g_soundOptions.directSound) return -1;
  SoundRecord* record = LockSoundRecord(handle);
  if (!record) return -1;
  if (!source) return Fail();
  StreamSoundPart& stream = record->stream;
  // A sound with whole-PCM buffers cannot take data entries either.
  if ((stream.entryCount > 0 && !record->streamFlag) ||
      (stream.entryCount == 0 && (record->buffers[0].exists || record->pcm))) {
    AddLogText("ストリーム風サウンドではないサウンドデータが渡されました in AddSreamSound\n");
    return Fail();
  }
  if (stream.entryCount > 0) {
    SoundBufferEntry* buffer = nullptr;
    DWORD status = 0;
    if (ClaimStreamSoundBuffer(handle, record, &buffer, 0) == 0 && SndBufGetStatus(buffer, &status) == 0 &&
        (status & DSBSTATUS_PLAYING)) {
      AddLogText("既に再生中のストリームサウンドデータにデータを追加しようとしました\n");
      return Fail();
    }
    if (stream.entryCount >= kStreamEntriesUsed) {
      AddLogText("ストリーム風サウンドの制御データ領域がいっぱいです\n");
      return Fail();
    }
  }

  StreamSoundEntry& entry = stream.entries[stream.entryCount];
  std::memset(&entry, 0, sizeof(entry));
  entry.kind = kind;
  if (source->functions.Seek) source->functions.Seek(source->stream, 0, STREAM_SEEK_START);
  bool made = false;
  switch (kind) {
    case STREAM_ENTRY_WHOLE_PCM:
      made = SetUpWholeEntry(source, entry);
      if (copied) *copied = 1;
      break;
    case STREAM_ENTRY_FILE_IMAGE:
      made = SetUpImageEntry(source, entry);
      if (copied) *copied = 1;
      break;
    case STREAM_ENTRY_CALLER_STREAM:
      made = SetUpStreamEntry(source, entry);
      if (copied) *copied = 0;
      break;
    default:
      break;
  }
  if (!made) {
    std::memset(&entry, 0, sizeof(entry));
    return Fail();
  }

  WAVEFORMATEX format;
  GetPcmConverterFormat(&entry.converter, &format);
  // The stream's sizes and timing follow the samples the device plays, whatever average a
  // header claims: one that claims a byte a second would give a buffer of one frame.
  const int64_t average = static_cast<int64_t>(format.nSamplesPerSec) * format.nBlockAlign;
  if (average <= 0 || average > INT_MAX) {
    EndPcmConverter(&entry.converter);
    CloseEntryBlock(entry);
    AddLogText("音声データのオープンに失敗しました");
    return Fail();
  }
  format.nAvgBytesPerSec = static_cast<DWORD>(average);
  if (stream.entryCount > 0) {
    if (!SameFormat(format, record->format)) {
      EndPcmConverter(&entry.converter);
      CloseEntryBlock(entry);
      AddLogText("フォーマットの違う音声データは同時に使うことは出来ません");
      return Fail();
    }
  } else {
    record->format = format;
    if (!SetUpStreamBuffer(record, handle, sharedStream)) {
      EndPcmConverter(&entry.converter);
      CloseEntryBlock(entry);
      std::memset(&record->format, 0, sizeof(record->format));
      return Fail();
    }
  }
  // Kept to a signed byte, as the entry stores it: 255 is endless like -1.
  entry.loopCount = static_cast<int8_t>(loopCount);
  entry.loopStart = 0;
  ++stream.entryCount;
  stream.totalFrames = TotalFramesOf(record);
  UnlockSound();
  return 0;
}

int AddStreamSoundFile(const char* path, int loopCount, int handle, int kind, int sharedStream) {
  if (!g_soundOptions.directSound) return -1;
  const StreamHandle file = StreamFileOpen(path, 0, 1, 0);
  if (!file) {
    WriteLogFormat("右記のＷＡＶファイルのロードに失敗しました：%s ", path);
    return -1;
  }
  SoundStreamSource source;
  source.functions = *GetFileStreamFuncs();
  source.stream = file;
  int copied = 0;
  LockSound();
  if (AddSreamSound(&source, loopCount, handle, kind, &copied, sharedStream) != 0) {
    StreamFileClose(file);
    WriteLogFormat("右記のＷＡＶファイルのセットアップに失敗しました：%s ", path);
    UnlockSound();
    return -1;
  }
  if (copied) StreamFileClose(file);
  SoundRecord* record = GetSoundRecord(handle);
  record->stream.entryOwnsStream[record->stream.entryCount - 1] = 1;
  UnlockSound();
  return 0;
}

int AddStreamSoundMemory(const void* image, int size, int loopCount, int handle, int kind, int sharedStream) {
  if (!g_soundOptions.directSound) return -1;
  MemoryStream* memory = OpenMemoryStream(image, size);
  if (!memory) {
    AddLogText("ＷＡＶファイルのストリームイメージハンドルの作成に失敗しました \n");
    return -1;
  }
  SoundStreamSource source;
  source.functions = *GetMemoryStreamFuncs();
  source.stream = reinterpret_cast<StreamHandle>(memory);
  int copied = 0;
  LockSound();
  // A memory image is already in memory: it is never read as a stream of its own.
  if (kind == STREAM_ENTRY_CALLER_STREAM) kind = STREAM_ENTRY_FILE_IMAGE;
  if (AddSreamSound(&source, loopCount, handle, kind, &copied, sharedStream) != 0) {
    CloseMemoryStream(source.stream);
    AddLogText("ＷＡＶファイルのストリームイメージのセットアップに失敗しました \n");
    UnlockSound();
    return -1;
  }
  if (copied) CloseMemoryStream(source.stream);
  SoundRecord* record = GetSoundRecord(handle);
  record->stream.entryOwnsStream[record->stream.entryCount - 1] = 1;
  UnlockSound();
  return 0;
}

int PrimeStreamSound(int handle) {
  if (!g_soundOptions.directSound) return -1;
  SoundRecord* record = LockSoundRecord(handle);
  if (!record) return -1;
  SoundBufferEntry* buffer = nullptr;
  StreamSoundPart& stream = record->stream;
  if (record->streamFlag && stream.entryCount > 0 && CheckStreamSoundPlaying(handle) != 1 &&
      ClaimStreamSoundBuffer(handle, record, &buffer, 0) == 0 && !stream.playing) {
    // A stream that ended, and then had its buffer taken over, still stands past its last entry.
    if (stream.currentEntry >= stream.entryCount) ResetStream(stream);
    SndBufSetPosition(0, buffer);
    stream.writePosition = kStreamNotPrimed;
    stream.refillMark = -1;
    stream.lastPlayCursor = 0;
    stream.stopping = 0;
    SetPcmConverterSampleTime(&stream.entries[stream.currentEntry].converter,
                              static_cast<int>(stream.restartOffset / record->format.nBlockAlign));
    stream.playing = 1;
    RefillStreamSound(handle);
  }
  UnlockSound();
  return 0;
}

int PrepareStreamPlay(int handle, SoundBufferEntry** buffer, SoundRecord* record, int playType, int fromStart) {
  if (ClaimStreamSoundBuffer(handle, record, buffer, 1) != 0) return -1;
  if (!fromStart && CheckStreamSoundPlaying(handle) == 1) return 1;
  StopStreamSoundHandle(handle);
  StreamSoundPart& stream = record->stream;
  if (((playType ^ stream.playType) & kPlayTypeLoopBit) && stream.allEntriesPlayed) ResetStream(stream);
  if (fromStart) {
    stream.allEntriesPlayed = 0;
    if (stream.playedBytes != 0) ResetStream(stream);
  }
  stream.playType = playType;
  PrimeStreamSound(handle);

  // A sound that plays through another's buffer has no first buffer of its own to set.
  SoundBufferEntry* own = &record->buffers[0];
  const PlaySettings settings = TakePlaySettings(record);
  if (own->exists) ApplyPlaySettings(own, settings);
  return 0;
}

int PlayStreamSoundHandle(int handle, int playType, int fromStart) {
  if (!g_soundOptions.directSound) return -1;
  SoundRecord* record = LockSoundRecord(handle);
  if (!record) return -1;
  SoundBufferEntry* buffer = nullptr;
  if (PrepareStreamPlay(handle, &buffer, record, playType, fromStart) != 0) return Fail();
  SndBufPlay(buffer, 1);
  UnlockSound();
  if (playType == SOUND_PLAY_WAIT) {
    while (PumpWindowMessages() == 0 && CheckSoundHandle(handle) == 1) Sleep(1);
  }
  return 0;
}

int StopStreamSoundHandle(int handle) {
  if (!g_soundOptions.directSound) return -1;
  SoundRecord* record = LockSoundRecord(handle);
  if (!record) return -1;
  UpdateStreamPlayCount(handle, -1);
  SoundBufferEntry* buffer = nullptr;
  if (ClaimStreamSoundBuffer(handle, record, &buffer, 0) != 0) {
    UnlockSound();
    return 0;
  }
  if (SoundRecord* referred = GetSoundRecord(record->stream.referredHandle)) referred->stream.bufferUser = -1;
  DWORD status = 0;
  if (SndBufGetStatus(buffer, &status) != 0) return Fail();
  if (status & DSBSTATUS_PLAYING) SndBufStop(buffer);
  UnlockSound();
  return 0;
}

int GetStreamSoundPosition(int handle) {
  if (!g_soundOptions.directSound) return -1;
  SoundRecord* record = LockSoundRecord(handle);
  if (!record) return -1;
  UpdateStreamPlayCount(handle, -1);
  const int align = record->format.nBlockAlign > 0 ? record->format.nBlockAlign : 1;
  const int rate = static_cast<int>(record->format.nSamplesPerSec);
  int64_t frames = record->stream.playedBytes / align;
  if (frames > record->stream.totalFrames) frames = record->stream.totalFrames;
  UnlockSound();
  return rate > 0 ? static_cast<int>(frames * 1000 / rate) : 0;
}

int CheckStreamSoundPlaying(int handle) {
  if (!g_soundOptions.directSound) return -1;
  SoundRecord* record = LockSoundRecord(handle);
  if (!record) return -1;
  SoundBufferEntry* buffer = nullptr;
  DWORD status = 0;
  const int playing = ClaimStreamSoundBuffer(handle, record, &buffer, 0) == 0 &&
                      SndBufGetStatus(buffer, &status) == 0 && (status & DSBSTATUS_PLAYING);
  UnlockSound();
  return playing;
}
