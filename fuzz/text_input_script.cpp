// Fuzz target: random key and character scripts against a text-input handle (any length limit
// and options, shift held or not, pastes of hostile clipboard texts). Editing must keep the
// cursor, selection and length inside the buffer and the text zero-terminated; ASan catches any
// write outside it.
#include <cstdint>
#include <cstdlib>

#include "fuzz_script.h"
#include "input/input_services.h"
#include "input/text_input.h"
#include "zyvel/runtime.h"

namespace {

// What a paste may bring: a cut double-byte character, control codes, Enter, a long text.
const char* const kClipboardTexts[] = {
    "",
    "x",
    "\x82",
    "\x82\xA0\x82",
    "12.5-3",
    "a\rb",
    "\x1D\x1C\x10\x08\x18\x03",
    "0123456789012345678901234567890123456789012345678901234567890123456789",
};

void Check(const TextInputRecord* record) {
  if (record->length < 0 || record->length > record->maxLength) abort();
  if (record->cursor < 0 || record->cursor > record->length) abort();
  if (record->viewStart < 0 || record->viewStart > record->length) abort();
  if (record->selectionStart < -1 || record->selectionStart > record->length) abort();
  if (record->selectionEnd < -1 || record->selectionEnd > record->length) abort();
  if (record->buffer[record->length] != 0) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool started = [] {
    InitializeTextInput();
    return true;
  }();
  (void)started;
  FuzzScript script{data, size};
  DeleteAllTextInputHandles();
  char drain[2];
  while (GetOneChar(drain, 1)) {
  }
  const uint8_t options = script.Byte();
  const int maxLength = 1 + script.Byte() % 40;
  int handle = MakeTextInputHandle(maxLength, options & 1, (options >> 1) & 1, (options >> 2) & 1);
  if (handle < 0) abort();
  while (!script.Done()) {
    const uint8_t flags = script.Byte();
    const uint8_t byte = script.Byte();
    if (flags & 4)
      SetClipboardText(kClipboardTexts[byte % (sizeof(kClipboardTexts) / sizeof(kClipboardTexts[0]))]);
    else
      StockInputChar(byte);
    if (flags & 1) {
      TextInputRecord* record = GetTextInputRecord(handle);
      ApplyQueuedCharacters(record, (flags >> 1) & 1);
      Check(record);
      if (record->ended) {
        DeleteTextInputHandle(handle);
        handle = MakeTextInputHandle(maxLength, options & 1, (options >> 1) & 1, (options >> 2) & 1);
        if (handle < 0) abort();
      }
    }
  }
  TextInputRecord* record = GetTextInputRecord(handle);
  ApplyQueuedCharacters(record, 0);
  Check(record);
  DeleteAllTextInputHandles();
  return 0;
}
