// Test-only creator of MIDI handles: nothing in the library makes them, so tests fill the record
// as a creator would (MIDI data, and a segment under DirectMusic).
#pragma once

#include <algorithm>
#include <cstring>

#include "sound/music.h"

namespace sound_test {

inline int CreateTestMidiHandle(const void* data, int size, IDirectMusicSegment8* segment) {
  static int nextCheck = 0;
  if (!g_soundOptions.directSound || g_music.usedCount >= kMusicTableSize) return -1;
  int slot = g_music.highWaterMark;
  if (slot >= kMusicTableSize)
    for (slot = 0; g_music.slots[slot]; ++slot) {
    }
  auto* record = static_cast<MidiRecord*>(ZV_ALLOC_ZEROED(sizeof(MidiRecord)));
  record->check = nextCheck;
  nextCheck = (nextCheck + 1) % HANDLE_CHECK_COUNT_LIMIT;
  if (size > 0) {
    record->data = static_cast<uint8_t*>(ZV_ALLOC(size));
    std::memcpy(record->data, data, static_cast<size_t>(size));
    record->dataSize = size;
  }
  record->segment = segment;
  g_music.slots[slot] = record;
  ++g_music.usedCount;
  g_music.highWaterMark = std::max(g_music.highWaterMark, slot + 1);
  return MakeHandleWord(slot, record->check, HANDLE_KIND_MIDI);
}

}  // namespace sound_test
