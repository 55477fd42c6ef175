// Character input: the character queue, the IME state and the text-input handles (kind 7) that
// the per-frame step edits.
#pragma once

#include <cstdint>

#include "platform/types.h"

constexpr int kCharacterQueueSize = 1025;  // Holds 1,024 bytes: one slot tells full from empty.
constexpr int kCompositionSize = 1024;
constexpr int kTextInputHandleCount = 256;
constexpr int kTextInputColourCount = 15;

// Codes queued for the editing keys (see kControlKeyTable).
enum TextInputCode : int {
  TEXT_CODE_COPY = 3,
  TEXT_CODE_BACKSPACE = 8,
  TEXT_CODE_TAB = 9,
  TEXT_CODE_ENTER = 13,
  TEXT_CODE_DELETE = 0x10,
  TEXT_CODE_PASTE = 22,
  TEXT_CODE_CUT = 24,
  TEXT_CODE_END = 0x19,
  TEXT_CODE_HOME = 0x1A,
  TEXT_CODE_ESCAPE = 27,
  TEXT_CODE_RIGHT = 0x1C,
  TEXT_CODE_LEFT = 0x1D,
  TEXT_CODE_UP = 0x1E,
  TEXT_CODE_DOWN = 0x1F,
  TEXT_CODE_PAGE_UP = 0x17,
  TEXT_CODE_PAGE_DOWN = 0x15,
};

struct TextInputState {
  unsigned char queue[kCharacterQueueSize];
  int readIndex;
  int writeIndex;
  char composition[kCompositionSize];
  int composing;
  int compositionCursor;  // In characters.
  DWORD clauses[kCompositionSize / 4];
  int clauseCount;
  void* candidateList;  // Tracked heap.
  int candidateListSize;
  int imeEnabled;
  int imeUsed;
  int imeOpen;
  int activeHandle;                         // -1: none.
  uint32_t colours[kTextInputColourCount];  // 0xRRGGBB, in slot order.
  int blinkStart;
  int blinkPeriod;
  int blinkVisible;
  int limitToFreeSpace;
  int fixedLimit;       // Bytes; 0: none.
  int pendingImeReset;  // 0 none, else the first of the reset steps 1-4 still to run.
  char savedComposition[kCompositionSize];
  int openStatusWaitRunning;
};

struct TextInputRecord {
  int inUse;
  int checkCount;
  int ended;
  int cancelled;
  int length;  // Bytes.
  int maxLength;
  int selectionStart;  // -1: no selection.
  int selectionEnd;
  int viewStart;
  int cursor;    // Byte position.
  char* buffer;  // maxLength + 1 bytes, tracked heap.
  int cancelAllowed;
  int singleByteOnly;
  int numbersOnly;
};

extern TextInputState g_textInput;

// The record of a valid text-input handle, or null.
TextInputRecord* GetTextInputRecord(int handle);
// Takes the queued characters (consuming) and applies them to the record until the queue is empty
// or the record has ended; `shift` stands for a shift key held.
int ApplyQueuedCharacters(TextInputRecord* record, int shift);

// The library has no creator of text-input handles; tests and fuzz targets make them here.
// maxLength 1..65536 bytes; -1 when no slot is free.
int MakeTextInputHandle(int maxLength, int cancelAllowed, int singleByteOnly, int numbersOnly);
// Makes the handle the one the per-frame step edits (and switches the IME on); -1 for an invalid
// handle.
int ActivateTextInputHandle(int handle);
