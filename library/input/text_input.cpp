// Character input: the 1,024-byte character queue that the window procedure fills, and the
// text-input handles that the per-frame step edits from it (insertion, deletion, shift
// selection, cut, copy and paste through the clipboard, Enter and Escape). Editing never writes
// outside a handle's buffer: every position is kept within 0..length and length within maxLength.
#include "input/text_input.h"

#include "input/input_services.h"
#include "runtime/runtime_services.h"
#include "window/window_services.h"

TextInputState g_textInput;

const int kControlKeyTable[10][2] = {
    {VK_DELETE, TEXT_CODE_DELETE},  {VK_LEFT, TEXT_CODE_LEFT},
    {VK_RIGHT, TEXT_CODE_RIGHT},    {VK_UP, TEXT_CODE_UP},
    {VK_DOWN, TEXT_CODE_DOWN},      {VK_HOME, TEXT_CODE_HOME},
    {VK_END, TEXT_CODE_END},        {VK_PRIOR, TEXT_CODE_PAGE_UP},
    {VK_NEXT, TEXT_CODE_PAGE_DOWN}, {0, 0},
};

namespace {

constexpr int kMaxTextInputLength = 65536;

TextInputRecord g_textInputRecords[kTextInputHandleCount];

int NextQueueIndex(int index) { return index == kCharacterQueueSize - 1 ? 0 : index + 1; }

// Bytes of the character at `position` (a lead byte at the end counts alone).
int CharacterSize(const TextInputRecord& record, int position) {
  if (position + 1 < record.length && CheckLeadByte(record.buffer + position, GetCharSet())) return 2;
  return 1;
}

int PreviousCharacterStart(const TextInputRecord& record, int position) {
  int start = 0;
  for (int p = 0; p < position;) {
    start = p;
    p += CharacterSize(record, p);
  }
  return start;
}

bool HasSelection(const TextInputRecord& record) {
  return record.selectionStart >= 0 && record.selectionEnd >= 0 && record.selectionStart != record.selectionEnd;
}

void ClearSelection(TextInputRecord& record) { record.selectionStart = record.selectionEnd = -1; }

void RemoveBytes(TextInputRecord& record, int from, int to) {
  if (from < 0) from = 0;
  if (to > record.length) to = record.length;
  if (from >= to) return;
  MoveBytes(record.buffer + from, record.buffer + to, record.length - to);
  record.length -= to - from;
  record.buffer[record.length] = 0;
  if (record.cursor > record.length) record.cursor = record.length;
  if (record.viewStart > record.length) record.viewStart = record.length;
}

void DeleteSelection(TextInputRecord& record) {
  if (record.selectionStart < 0 || record.selectionEnd < 0) {
    ClearSelection(record);
    return;
  }
  int low = record.selectionStart < record.selectionEnd ? record.selectionStart : record.selectionEnd;
  int high = record.selectionStart < record.selectionEnd ? record.selectionEnd : record.selectionStart;
  if (low > record.length) low = record.length;
  RemoveBytes(record, low, high);
  record.cursor = low;
  ClearSelection(record);
}

void CopySelection(const TextInputRecord& record) {
  int low = record.selectionStart < record.selectionEnd ? record.selectionStart : record.selectionEnd;
  int high = record.selectionStart < record.selectionEnd ? record.selectionEnd : record.selectionStart;
  if (high > record.length) high = record.length;
  if (low >= high) return;
  char* text = static_cast<char*>(ZV_ALLOC(high - low + 1));
  if (!text) return;
  CopyBytes(text, record.buffer + low, high - low);
  text[high - low] = 0;
  SetClipboardText(text);
  ZV_FREE(text);
}

// Moves the cursor; with shift the selection runs from where it started (or from the old cursor)
// to the new cursor, else it is cleared.
void MoveCursor(TextInputRecord& record, int position, int shift) {
  if (shift) {
    if (record.selectionStart < 0) record.selectionStart = record.cursor;
    record.selectionEnd = position;
  } else {
    ClearSelection(record);
  }
  record.cursor = position;
}

void PasteClipboard() {
  int size = GetClipboardText(nullptr, 0);
  if (size <= 1) return;
  char* text = static_cast<char*>(ZV_ALLOC(size));
  if (!text) return;
  if (GetClipboardText(text, size) == 0)
    for (int i = 0; text[i]; ++i) StockInputChar(static_cast<unsigned char>(text[i]));
  ZV_FREE(text);
}

void InsertCharacter(TextInputRecord& record, const char* character, int size) {
  if (record.numbersOnly) {
    char c = character[0];
    bool digit = size == 1 && c >= '0' && c <= '9';
    bool minus = size == 1 && c == '-' && record.cursor == 0;
    bool point = size == 1 && c == '.' && !FindCharInString(record.buffer, '.');
    if (!digit && !minus && !point) return;
  }
  if (record.singleByteOnly && size == 2) return;
  while (record.length + size > record.maxLength) {
    if (record.length == 0) return;
    int last = PreviousCharacterStart(record, record.length);
    RemoveBytes(record, last, record.length);
  }
  MoveBytes(record.buffer + record.cursor + size, record.buffer + record.cursor, record.length - record.cursor);
  CopyBytes(record.buffer + record.cursor, character, size);
  record.length += size;
  record.cursor += size;
  record.buffer[record.length] = 0;
}

void ApplyCharacter(TextInputRecord& record, const char* character, int size, int shift) {
  int code = size == 1 ? static_cast<unsigned char>(character[0]) : -1;
  switch (code) {
    case TEXT_CODE_COPY:
      // Nothing to copy without a selection: the clipboard keeps what it had.
      if (HasSelection(record)) CopySelection(record);
      return;
    case TEXT_CODE_BACKSPACE:
      if (HasSelection(record)) {
        DeleteSelection(record);
      } else if (record.cursor > 0) {
        int start = PreviousCharacterStart(record, record.cursor);
        RemoveBytes(record, start, record.cursor);
        record.cursor = start;
      }
      ClearSelection(record);
      return;
    case TEXT_CODE_TAB:
    case TEXT_CODE_UP:
    case TEXT_CODE_DOWN:
      return;
    case TEXT_CODE_ENTER:
      record.ended = 1;
      return;
    case TEXT_CODE_DELETE:
      if (!HasSelection(record)) {
        ClearSelection(record);
        if (record.cursor < record.length)
          RemoveBytes(record, record.cursor, record.cursor + CharacterSize(record, record.cursor));
      } else {
        if (shift) CopySelection(record);
        DeleteSelection(record);
      }
      return;
    case TEXT_CODE_CUT:
      if (HasSelection(record)) {
        CopySelection(record);
        DeleteSelection(record);
      }
      return;
    case TEXT_CODE_PASTE:
      PasteClipboard();
      return;
    case TEXT_CODE_END:
      MoveCursor(record, record.length, shift);
      return;
    case TEXT_CODE_HOME:
      MoveCursor(record, 0, shift);
      return;
    case TEXT_CODE_ESCAPE:
      if (record.cancelAllowed) {
        record.cancelled = 1;
        record.ended = 1;
      }
      return;
    case TEXT_CODE_RIGHT:
      MoveCursor(record,
                 record.cursor < record.length ? record.cursor + CharacterSize(record, record.cursor) : record.length,
                 shift);
      return;
    case TEXT_CODE_LEFT:
      MoveCursor(record, record.cursor > 0 ? PreviousCharacterStart(record, record.cursor) : 0, shift);
      return;
    default:
      if (HasSelection(record)) DeleteSelection(record);
      ClearSelection(record);
      InsertCharacter(record, character, size);
      return;
  }
}

}  // namespace

// ---- Character queue ----

int StockInputChar(int code) {
  TextInputState& state = g_textInput;
  int next = NextQueueIndex(state.writeIndex);
  if (next == state.readIndex) return -1;
  state.queue[state.writeIndex] = static_cast<unsigned char>(code);
  state.writeIndex = next;
  return 0;
}

int GetOneChar(char out[2], int consume) {
  TextInputState& state = g_textInput;
  if (state.readIndex == state.writeIndex) return 0;
  int index = state.readIndex;
  char first = static_cast<char>(state.queue[index]);
  index = NextQueueIndex(index);
  if (!IsControlCode(static_cast<unsigned char>(first)) && CheckLeadByte(&first, GetCharSet())) {
    // A double-byte character is only taken whole.
    if (index == state.writeIndex) return 0;
    out[0] = first;
    out[1] = static_cast<char>(state.queue[index]);
    if (consume) state.readIndex = NextQueueIndex(index);
    return 2;
  }
  out[0] = first;
  if (consume) state.readIndex = index;
  return 1;
}

int IsControlCode(int code) {
  for (int i = 0; kControlKeyTable[i][0] != 0; ++i)
    if (kControlKeyTable[i][1] == (code & 0xFF)) return 1;
  return 0;
}

int CountCharacters(const char* text, int byteCount) {
  int count = 0;
  for (int i = 0; i < byteCount && text[i];) {
    ++count;
    i += CheckLeadByte(text + i, GetCharSet()) && text[i + 1] ? 2 : 1;
  }
  return count;
}

int RestartCursorBlink() {
  g_textInput.blinkStart = GetMillisecondCount();
  g_textInput.blinkVisible = 1;
  return 0;
}

// ---- Text-input handles ----

TextInputRecord* GetTextInputRecord(int handle) {
  if (handle < 0 || HandleKindOf(handle) != HANDLE_KIND_KEY_INPUT) return nullptr;
  int slot = HandleSlotOf(handle);
  if (slot >= kTextInputHandleCount) return nullptr;
  TextInputRecord& record = g_textInputRecords[slot];
  if (!record.inUse || record.checkCount != HandleCheckCountOf(handle)) return nullptr;
  return &record;
}

int MakeTextInputHandle(int maxLength, int cancelAllowed, int singleByteOnly, int numbersOnly) {
  if (maxLength < 1 || maxLength > kMaxTextInputLength) return -1;
  for (int slot = 0; slot < kTextInputHandleCount; ++slot) {
    TextInputRecord& record = g_textInputRecords[slot];
    if (record.inUse) continue;
    char* buffer = static_cast<char*>(ZV_ALLOC_ZEROED(maxLength + 1));
    if (!buffer) return -1;
    int checkCount = (record.checkCount + 1) % HANDLE_CHECK_COUNT_LIMIT;
    record = TextInputRecord{};
    record.inUse = 1;
    record.checkCount = checkCount;
    record.maxLength = maxLength;
    record.buffer = buffer;
    record.selectionStart = record.selectionEnd = -1;
    record.cancelAllowed = cancelAllowed;
    record.singleByteOnly = singleByteOnly;
    record.numbersOnly = numbersOnly;
    return MakeHandleWord(slot, checkCount, HANDLE_KIND_KEY_INPUT);
  }
  return -1;
}

int ActivateTextInputHandle(int handle) {
  if (!GetTextInputRecord(handle)) return -1;
  g_textInput.activeHandle = handle;
  SetImeEnabled(1);
  return 0;
}

int DeleteTextInputHandle(int handle) {
  TextInputRecord* record = GetTextInputRecord(handle);
  if (!record) return -1;
  ZV_FREE(record->buffer);
  int checkCount = record->checkCount;
  *record = TextInputRecord{};
  record->checkCount = checkCount;  // A stale handle to the slot stays refused.
  if (g_textInput.activeHandle == handle) g_textInput.activeHandle = -1;
  for (const TextInputRecord& other : g_textInputRecords)
    if (other.inUse) return 0;
  SetImeEnabled(0);
  return 0;
}

int DeleteAllTextInputHandles() {
  for (int slot = 0; slot < kTextInputHandleCount; ++slot) {
    TextInputRecord& record = g_textInputRecords[slot];
    if (record.inUse) DeleteTextInputHandle(MakeHandleWord(slot, record.checkCount, HANDLE_KIND_KEY_INPUT));
  }
  if (g_textInput.candidateList) {
    ZV_FREE(g_textInput.candidateList);
    g_textInput.candidateList = nullptr;
    g_textInput.candidateListSize = 0;
  }
  return 0;
}

int InitializeTextInput() {
  AddLogText("文字コードバッファの初期化を行います... ");
  TextInputState& state = g_textInput;
  state = TextInputState{};
  static const uint32_t kColours[kTextInputColourCount] = {
      0xFFFFFF, 0xFFFF00, 0xFFFFFF, 0x00FFFF, 0xFFFFFF, 0xFF0000, 0xFFFF14, 0x000000,
      0x000000, 0x000000, 0xFFFFFF, 0x000000, 0xFFFFFF, 0x000000, 0x808080,
  };
  CopyBytes(state.colours, kColours, sizeof(kColours));
  state.activeHandle = -1;
  state.blinkPeriod = 500;
  state.blinkVisible = 1;
  AddLogText("完了しました\n");
  return 0;
}

int ApplyQueuedCharacters(TextInputRecord* record, int shift) {
  char character[2];
  while (!record->ended) {
    int size = GetOneChar(character, 1);
    if (size == 0) break;
    RestartCursorBlink();
    ApplyCharacter(*record, character, size, shift);
  }
  return 0;
}

int ProcessTextInput() {
  RunPendingImeReset();
  if (g_textInput.activeHandle == -1) return 0;
  TextInputRecord* record = GetTextInputRecord(g_textInput.activeHandle);
  if (!record) return -1;
  if (record->ended) return 0;
  LimitComposition(record->maxLength - record->length);
  // Shift as of the key messages that queued the codes: the polled key table may lag behind them
  // by a poll, and IsKeyDown would wait while the window is inactive and pump from inside the pump.
  int shift = (GetKeyState(VK_SHIFT) & 0x8000) ? 1 : 0;
  return ApplyQueuedCharacters(record, shift);
}

// ---- Clipboard ----

int GetClipboardText(char* buffer, int bufferSize) {
  if (buffer && bufferSize <= 0) return -1;
  if (!OpenClipboard(GetMainWindow())) return -1;
  HANDLE data = IsClipboardFormatAvailable(CF_TEXT) ? GetClipboardData(CF_TEXT) : nullptr;
  const char* text = data ? static_cast<const char*>(GlobalLock(data)) : nullptr;
  if (!text) {
    CloseClipboard();
    return -1;
  }
  int size = static_cast<int>(GlobalSize(data));
  int result = 0;
  if (!buffer) {
    result = size + 1;
  } else {
    int length = 0;
    while (length < size && length < bufferSize - 1 && text[length]) ++length;
    CopyBytes(buffer, text, length);
    buffer[length] = 0;
  }
  GlobalUnlock(data);
  CloseClipboard();
  return result;
}

int SetClipboardText(const char* text) {
  if (!text) return 0;
  SIZE_T length = 0;
  while (text[length]) ++length;
  HGLOBAL block = GlobalAlloc(GMEM_FIXED, length + 1);
  if (!block) return 0;
  char* data = static_cast<char*>(GlobalLock(block));
  CopyBytes(data, text, static_cast<int>(length + 1));
  GlobalUnlock(block);
  if (OpenClipboard(GetMainWindow())) {
    EmptyClipboard();
    if (!SetClipboardData(CF_TEXT, block)) GlobalFree(block);
    CloseClipboard();
  } else {
    GlobalFree(block);
  }
  return 0;
}
