// Handle words and handle tables. Every object that callers hold (graphs, sounds, fonts, ...) is
// named by a 32-bit `HandleWord` carrying its kind, its slot in the kind's table and a check
// count, so that a stale or foreign handle is refused instead of reaching a freed or different
// object.
//
// Each kind's own code defines its table over a fixed slot array, for example
//   static void* g_fontSlots[FONT_HANDLE_TABLE_SIZE];
//   HandleTable g_fontHandleTable = {HANDLE_KIND_FONT, FONT_HANDLE_TABLE_SIZE, g_fontSlots};
// and its records begin with a `HandleRecordHeader`. Tables are used on one thread at a time (the
// caller's lock).
#pragma once

#include <cstdint>

// Bit 31 clear for every valid handle (-1 is the error result of every creating function); bits
// 27-30 the kind, bits 16-26 the check count, bits 0-15 the slot.
typedef int32_t HandleWord;

enum HandleKind : int {
  HANDLE_KIND_GRAPH = 1,
  HANDLE_KIND_SOUND = 2,
  HANDLE_KIND_MOVIE = 3,
  HANDLE_KIND_FONT = 4,
  HANDLE_KIND_MASK = 5,
  HANDLE_KIND_NETWORK = 6,
  HANDLE_KIND_KEY_INPUT = 7,
  HANDLE_KIND_MIDI = 8,
  HANDLE_KIND_LIGHT = 9,
  HANDLE_KIND_MODEL = 10,
  HANDLE_KIND_SOFT_IMAGE = 11,
  HANDLE_KIND_SHADER = 12,
  HANDLE_KIND_SOFT_SOUND_PLAYER = 13,
  HANDLE_KIND_VERTEX_BUFFER = 14,
  HANDLE_KIND_INDEX_BUFFER = 15,
};

constexpr int GRAPH_HANDLE_TABLE_SIZE = 32768;
constexpr int SOUND_HANDLE_TABLE_SIZE = 32768;
constexpr int MOVIE_HANDLE_TABLE_SIZE = 100;
constexpr int FONT_HANDLE_TABLE_SIZE = 40;
constexpr int SOFT_IMAGE_HANDLE_TABLE_SIZE = 8192;
constexpr int LIGHT_HANDLE_TABLE_SIZE = 4096;

// Check counts run 0..2047 and then start again.
constexpr int HANDLE_CHECK_COUNT_LIMIT = 2048;

constexpr HandleWord MakeHandleWord(int slot, int checkCount, HandleKind kind) {
  return static_cast<HandleWord>(static_cast<uint32_t>(slot & 0xFFFF) |
                                 (static_cast<uint32_t>(checkCount & 0x7FF) | static_cast<uint32_t>(kind) << 11) << 16);
}
constexpr int HandleSlotOf(HandleWord handle) { return handle & 0xFFFF; }
constexpr int HandleCheckCountOf(HandleWord handle) { return (handle >> 16) & 0x7FF; }
constexpr int HandleKindOf(HandleWord handle) { return (handle >> 27) & 0xF; }

// The start of every handle record.
struct HandleRecordHeader {
  int checkCount;
  HandleWord handle;
  int* lostFlag;  // The caller's flag, set to 1 when the object is deleted; may be null.
};

struct HandleTable {
  HandleKind kind;
  int size;
  void** slots;  // `size` record pointers; null is a free slot.
  int usedCount;
  int highWaterMark;  // One past the highest slot handed out and still relevant.
  int nextCheckCount;
};

// Makes a zero-filled record of `recordSize` bytes (at least a `HandleRecordHeader`) in a new slot
// and returns its handle, with the record in `*record`. A full table or a record that cannot be
// allocated ends the program for graphs; for the other kinds it returns -1 and the caller logs
// its own limit message.
HandleWord AddHandleRecord(HandleTable* table, int recordSize, void** record);
// The record of a handle of this table's kind, or null for a negative, foreign, out-of-range,
// empty or stale handle.
void* GetHandleRecord(const HandleTable* table, HandleWord handle);
// Frees the record and empties its slot, after the caller has released what the record owns;
// sets the record's lost flag. -1 for a handle that GetHandleRecord refuses.
int DeleteHandleRecord(HandleTable* table, HandleWord handle);
