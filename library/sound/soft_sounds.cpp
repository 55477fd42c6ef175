// Soft sounds and soft-sound players: the kind-13 table, deletion, and the player feed that keeps
// each buffer two leads ahead of its play cursor, with silence once the queue runs dry.
#include "sound/soft_sounds.h"

#include <algorithm>
#include <cstring>

SoftSoundTable g_softSounds;

namespace {

void FreeSoftSoundSlot(int slot) {
  ZV_FREE(g_softSounds.slots[slot]);
  g_softSounds.slots[slot] = nullptr;
  --g_softSounds.usedCount;
  if (slot == g_softSounds.highWaterMark - 1) {
    int mark = slot;
    while (mark > 0 && !g_softSounds.slots[mark - 1]) --mark;
    g_softSounds.highWaterMark = g_softSounds.usedCount == 0 ? 0 : mark;
  }
}

int DeleteAllOfKind(int isPlayer) {
  if (!g_soundOptions.directSound) return -1;
  LockSound();
  for (int slot = 0; slot < g_softSounds.highWaterMark; ++slot) {
    SoftSoundRecord* record = g_softSounds.slots[slot];
    if (record && record->isPlayer == isPlayer)
      DeleteSoftSound(MakeHandleWord(slot, record->check, HANDLE_KIND_SOFT_SOUND_PLAYER), isPlayer);
  }
  UnlockSound();
  return 0;
}

// Writes `bytes` bytes across the two locked parts starting `at` bytes in: from the ring, or
// silence when `ring` is null.
void WriteAcrossParts(uint8_t* first, int firstSize, uint8_t* second, int at, int bytes, ByteRing* ring,
                      uint8_t silence) {
  while (bytes > 0) {
    uint8_t* to = at < firstSize ? first + at : second + (at - firstSize);
    const int room = at < firstSize ? firstSize - at : bytes;
    const int count = std::min(bytes, room);
    if (ring)
      ReadByteRing(ring, to, count, 0);
    else
      std::memset(to, silence, static_cast<size_t>(count));
    at += count;
    bytes -= count;
  }
}

}  // namespace

SoftSoundRecord* GetSoftSoundRecord(int handle) {
  if (!g_soundOptions.directSound || handle < 0) return nullptr;
  if (HandleKindOf(handle) != HANDLE_KIND_SOFT_SOUND_PLAYER) return nullptr;
  const int slot = HandleSlotOf(handle);
  if (slot >= kSoftSoundTableSize) return nullptr;
  SoftSoundRecord* record = g_softSounds.slots[slot];
  if (!record || record->check != HandleCheckCountOf(handle)) return nullptr;
  return record;
}

int DeleteSoftSound(int handle, int isPlayer) {
  if (!g_soundOptions.directSound) return -1;
  LockSound();
  SoftSoundRecord* record = GetSoftSoundRecord(handle);
  if (!record || record->isPlayer != isPlayer) {
    UnlockSound();
    return -1;
  }
  if (record->isPlayer) {
    FreeByteRing(&record->queue);
    if (record->buffer.exists) SndBufRelease(&record->buffer);
    if (record->node.prev && record->node.next) UnlinkHandleChain(&record->node);
  } else {
    ZV_FREE(record->node.data);
    record->node.data = nullptr;
  }
  FreeSoftSoundSlot(HandleSlotOf(handle));
  UnlockSound();
  return 0;
}

int DeleteAllSoftSounds() { return DeleteAllOfKind(0); }
int DeleteAllSoftSoundPlayers() { return DeleteAllOfKind(1); }

int FeedSoftSoundPlayer(SoftSoundRecord* player) {
  if (!player->active) return 0;
  LockSound();
  int result = 0;
  const int length = player->bufferLength;
  const int blockAlign = player->format.nBlockAlign;
  const int lead = player->lead;
  const int write = player->writeOffset;
  int cursor = 0;
  if (length <= 0 || blockAlign <= 0 || SndBufGetPlayPosition(&player->buffer, &cursor) != 0) {
    UnlockSound();
    return -1;
  }

  // Has the cursor passed the end of the real data since the last look?
  if (player->endOffset >= 0 && !player->ranOut) {
    const int last = player->lastPlayCursor;
    const int end = player->endOffset;
    const bool passed = last <= cursor ? last <= end && end <= cursor : end >= last || end <= cursor;
    if (passed)
      player->ranOut = 1;
    else
      player->lastPlayCursor = cursor;
  }

  // Write only while the cursor is within one lead behind the write offset.
  int zoneStart = write - lead;
  if (zoneStart < 0) zoneStart += length;
  const bool inZone = zoneStart <= write ? zoneStart <= cursor && cursor <= write
                                         : cursor >= zoneStart || cursor <= write;
  if (inZone) {
    const int distance = (cursor - zoneStart + length) % length;
    int frames = (lead + distance) / blockAlign;
    int silenceFrames = 0;
    if (player->queuedFrames < frames) {
      silenceFrames = frames - player->queuedFrames;
      frames = player->queuedFrames;
    }
    const int bytes = blockAlign * (frames + silenceFrames);
    void* first = nullptr;
    void* second = nullptr;
    int firstSize = 0;
    int secondSize = 0;
    if (bytes <= 0) {
      result = 0;
    } else if (SndBufLock(write, &player->buffer, bytes, &first, &firstSize, &second, &secondSize) != 0) {
      result = -1;
    } else {
      // New data after a run-out forgets the old end first, so that the end of this write is
      // where the flag goes up next.
      if (player->ranOut && frames > 0) {
        player->ranOut = 0;
        player->lastPlayCursor = 0;
        player->endOffset = -1;
      }
      if (silenceFrames > 0 && player->endOffset < 0) {
        int end = write + frames * blockAlign;
        if (end >= length) end -= length;
        player->endOffset = end;
        player->lastPlayCursor = cursor;
        player->ranOut = 0;
      }
      player->queuedFrames -= frames;
      auto* firstBytes = static_cast<uint8_t*>(first);
      auto* secondBytes = static_cast<uint8_t*>(second);
      const uint8_t silence = player->format.wBitsPerSample == 8 ? 0x80 : 0x00;
      WriteAcrossParts(firstBytes, firstSize, secondBytes, 0, frames * blockAlign, &player->queue, silence);
      WriteAcrossParts(firstBytes, firstSize, secondBytes, frames * blockAlign, silenceFrames * blockAlign, nullptr,
                       silence);
      SndBufUnlock(&player->buffer, first, firstSize, second, secondSize);
      int next = write + bytes;
      if (next >= length) next -= length;
      player->writeOffset = next;
    }
  }
  UnlockSound();
  return result;
}

int UpdateSoftSoundPlayers() {
  if (!g_soundOptions.directSound) return -1;
  LockSound();
  for (HandleChainNode* node = g_soundOptions.playerChainHead.next; node && node != &g_soundOptions.playerChainTail;
       node = node->next)
    FeedSoftSoundPlayer(static_cast<SoftSoundRecord*>(node->data));
  UnlockSound();
  return 0;
}
