// Test-only creators of soft sounds and soft-sound players: nothing in the library makes them, so
// tests fill the records as a creator would (format, buffer, lead, queued samples, active flag).
#pragma once

#include <algorithm>
#include <cstring>

#include "sound/soft_sounds.h"
#include "sound_test_support.h"

namespace sound_test {

inline int TakeSoftSoundSlot(SoftSoundRecord* record) {
  static int nextCheck = 0;
  if (g_softSounds.usedCount >= kSoftSoundTableSize) return -1;
  int slot = g_softSounds.highWaterMark;
  if (slot >= kSoftSoundTableSize)
    for (slot = 0; g_softSounds.slots[slot]; ++slot) {
    }
  record->check = nextCheck;
  nextCheck = (nextCheck + 1) % HANDLE_CHECK_COUNT_LIMIT;
  g_softSounds.slots[slot] = record;
  ++g_softSounds.usedCount;
  g_softSounds.highWaterMark = std::max(g_softSounds.highWaterMark, slot + 1);
  return MakeHandleWord(slot, record->check, HANDLE_KIND_SOFT_SOUND_PLAYER);
}

// A soft sound holding `bytes` bytes of samples.
inline int CreateTestSoftSound(WAVEFORMATEX format, const void* samples, int bytes) {
  if (!g_soundOptions.directSound) return -1;
  auto* record = static_cast<SoftSoundRecord*>(ZV_ALLOC_ZEROED(sizeof(SoftSoundRecord)));
  record->format = format;
  record->node.data = ZV_ALLOC(bytes);
  std::memcpy(record->node.data, samples, static_cast<size_t>(bytes));
  LockSound();
  const int handle = TakeSoftSoundSlot(record);
  UnlockSound();
  return handle;
}

// An active player with a looping buffer of `bufferBytes` (not yet playing) that keeps `leadBytes`
// ahead; -1 when two leads do not fit in the buffer or the buffer is refused.
inline int CreateTestSoftSoundPlayer(WAVEFORMATEX format, int bufferBytes, int leadBytes) {
  if (!g_soundOptions.directSound || leadBytes <= 0 || leadBytes > bufferBytes / 2) return -1;
  auto* record = static_cast<SoftSoundRecord*>(ZV_ALLOC_ZEROED(sizeof(SoftSoundRecord)));
  record->isPlayer = 1;
  record->format = format;
  DSBUFFERDESC description = BufferDescription(
      &record->format, static_cast<DWORD>(bufferBytes),
      DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_CTRLFREQUENCY | DSBCAPS_GLOBALFOCUS | DSBCAPS_GETCURRENTPOSITION2);
  if (SndBufCreate(&record->buffer, &description) != 0) {
    ZV_FREE(record);
    return -1;
  }
  record->bufferLength = bufferBytes;
  record->endOffset = -1;
  record->lead = leadBytes;
  record->active = 1;
  LockSound();
  const int handle = TakeSoftSoundSlot(record);
  LinkHandleChain(&g_soundOptions.playerChainHead, &record->node, handle, record);
  UnlockSound();
  return handle;
}

// Queues whole frames of samples behind those already queued.
inline bool QueueTestSoftSoundSamples(int handle, const void* samples, int bytes) {
  LockSound();
  SoftSoundRecord* player = GetSoftSoundRecord(handle);
  bool queued = false;
  if (player && player->isPlayer && ReserveByteRing(&player->queue, bytes) == 0) {
    ByteRing& ring = player->queue;
    const auto* from = static_cast<const uint8_t*>(samples);
    for (int i = 0; i < bytes; ++i) {
      if (ring.writePos >= ring.capacity) ring.writePos = 0;
      ring.data[ring.writePos++] = from[i];
    }
    ring.stored += bytes;
    player->queuedFrames += bytes / player->format.nBlockAlign;
    queued = true;
  }
  UnlockSound();
  return queued;
}

}  // namespace sound_test
