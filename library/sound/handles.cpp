// Sound handles: the kind-2 handle table, allocation, the handle check, length and playing
// queries, and deletion (the buffers of one sound share a reference-counted PCM block; a stream
// sound that others play through stays until its last referrer is gone).
#include <algorithm>

#include "sound/sound_records.h"

SoundHandleTable g_soundHandles;

namespace {

int HandleOf(int slot, int check) { return MakeHandleWord(slot, check, HANDLE_KIND_SOUND); }

// Takes the slot: allocation, check value and the table's counts. -1 when memory runs out.
int TakeSlot(int slot, int check) {
  auto* record = static_cast<SoundRecord*>(ZV_ALLOC_ZEROED(sizeof(SoundRecord)));
  if (!record) {
    WriteLogFormat("メモリ領域の確保に失敗しました in AddSoundData");
    return -1;
  }
  record->check = check;
  record->stream.referredHandle = -1;
  record->stream.bufferUser = -1;
  g_soundHandles.slots[slot] = record;
  ++g_soundHandles.usedCount;
  g_soundHandles.highWaterMark = std::max({g_soundHandles.highWaterMark, slot + 1, g_soundHandles.usedCount});
  return HandleOf(slot, check);
}

void FreeSlot(int slot) {
  ZV_FREE(g_soundHandles.slots[slot]);
  g_soundHandles.slots[slot] = nullptr;
  --g_soundHandles.usedCount;
  if (slot == g_soundHandles.highWaterMark - 1) {
    int mark = slot;
    while (mark > 0 && !g_soundHandles.slots[mark - 1]) --mark;
    g_soundHandles.highWaterMark = g_soundHandles.usedCount == 0 ? 0 : mark;
  }
}

void ReleaseWholePcm(SoundRecord* record) {
  for (SoundBufferEntry& buffer : record->buffers)
    if (buffer.exists) SndBufRelease(&buffer);
  if (record->pcmReferenceCount && --*record->pcmReferenceCount <= 0) {
    ZV_FREE(record->pcm);
    ZV_FREE(record->pcmReferenceCount);
  }
  record->pcm = nullptr;
  record->pcmReferenceCount = nullptr;
}

void ReleaseStreamEntries(SoundRecord* record) {
  StreamSoundPart& stream = record->stream;
  if (stream.chainNode.prev && stream.chainNode.next) UnlinkHandleChain(&stream.chainNode);
  const int count = std::min(stream.entryCount, kStreamEntriesPerSound);
  for (int i = 0; i < count; ++i) {
    StreamSoundEntry& entry = stream.entries[i];
    EndPcmConverter(&entry.converter);
    ZV_FREE(entry.dataBlock);
    entry.dataBlock = nullptr;
    // Only the entry's own source: the memory stream over its block (whole PCM, file image), or a file
    // it still reads from and owns; a caller's file that loading already closed is not ours.
    const bool ownSource = entry.kind == STREAM_ENTRY_WHOLE_PCM || entry.kind == STREAM_ENTRY_FILE_IMAGE ||
                           stream.entryOwnsStream[i];
    if (ownSource && entry.stream && entry.streamFunctions.Close) entry.streamFunctions.Close(entry.stream);
    if (entry.closeCallback) entry.closeCallback(entry.stream);
    entry.stream = 0;
  }
  if (record->buffers[0].exists) SndBufRelease(&record->buffers[0]);
}

}  // namespace

SoundRecord* GetSoundRecord(int handle) {
  if (!g_soundOptions.directSound || handle < 0) return nullptr;
  if (HandleKindOf(handle) != HANDLE_KIND_SOUND) return nullptr;
  const int slot = HandleSlotOf(handle);
  if (slot >= kSoundTableSize) return nullptr;
  SoundRecord* record = g_soundHandles.slots[slot];
  if (!record || record->check != HandleCheckCountOf(handle)) return nullptr;
  return record;
}

int AddSoundData(int handle) {
  if (!g_soundOptions.directSound) return -1;
  LockSound();
  int result = -1;
  if (handle == -1) {
    if (g_soundHandles.usedCount >= kSoundTableSize) {
      AddLogText("サウンドの数が許容量を越えました\n");
    } else {
      int slot = g_soundHandles.highWaterMark;
      if (slot >= kSoundTableSize)
        for (slot = 0; g_soundHandles.slots[slot]; ++slot) {
        }
      const int check = g_soundHandles.nextCheck;
      result = TakeSlot(slot, check);
      if (result != -1) g_soundHandles.nextCheck = (check + 1) % HANDLE_CHECK_COUNT_LIMIT;
    }
  } else if (handle >= 0 && HandleKindOf(handle) == HANDLE_KIND_SOUND && HandleSlotOf(handle) < kSoundTableSize &&
             !g_soundHandles.slots[HandleSlotOf(handle)]) {
    // Re-creating a handle in its own slot, when that slot is free.
    result = TakeSlot(HandleSlotOf(handle), HandleCheckCountOf(handle));
  }
  UnlockSound();
  return result;
}

int GetSoundTotalSample(int handle) {
  SoundRecord* record = GetSoundRecord(handle);
  if (!record) return -1;
  if (record->streamFlag) return record->stream.totalFrames;
  return record->format.nBlockAlign ? record->dataSize / record->format.nBlockAlign : 0;
}

int GetSoundTotalTime(int handle) {
  SoundRecord* record = GetSoundRecord(handle);
  if (!record) return -1;
  return SamplesToMilliseconds(GetSoundTotalSample(handle), static_cast<int>(record->format.nSamplesPerSec));
}

int CheckSoundHandle(int handle) {
  SoundRecord* record = GetSoundRecord(handle);
  if (!record) return -1;
  if (record->streamFlag) return CheckStreamSoundPlaying(handle);
  for (SoundBufferEntry& buffer : record->buffers) {
    DWORD status = 0;
    if (buffer.exists && SndBufGetStatus(&buffer, &status) == 0 && (status & DSBSTATUS_PLAYING)) return 1;
  }
  return 0;
}

int DeleteSoundHandle(int handle, int) {
  if (!g_soundOptions.directSound) return -1;
  SoundRecord* record = LockSoundRecord(handle);
  if (!record) return -1;
  if (record->streamFlag) {
    StopStreamSoundHandle(handle);
  } else if (record->buffers[0].exists) {
    StopSoundHandle(handle);
  }

  if (!record->streamFlag) {
    ReleaseWholePcm(record);
  } else {
    const int referred = record->stream.referredHandle;
    if (SoundRecord* other = GetSoundRecord(referred)) {
      --other->stream.referrerCount;
      if (referred != handle && other->stream.deletePending) DeleteSoundHandle(referred, 0);
    }
    if (record->stream.referrerCount != 0) {
      record->stream.deletePending = 1;
      UnlockSound();
      return 0;
    }
    ReleaseStreamEntries(record);
  }
  FreeSlot(HandleSlotOf(handle));
  UnlockSound();
  return 0;
}

int DeleteAllSoundHandles(int) {
  if (!g_soundOptions.directSound) return -1;
  LockSound();
  for (int slot = 0; slot < kSoundTableSize; ++slot) {
    SoundRecord* record = g_soundHandles.slots[slot];
    if (record) DeleteSoundHandle(HandleOf(slot, record->check), 0);
  }
  UnlockSound();
  return 0;
}
