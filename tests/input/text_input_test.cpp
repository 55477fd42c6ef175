// Character input without a window: the queue, double-byte characters, character counts, and
// editing a text-input handle from queued codes (the clipboard stays in the process).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "input/input_services.h"
#include "input/text_input.h"
#include "window/window_state.h"

namespace {

class TextInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitializeTextInput();
    SetClipboardText("");
  }
  void TearDown() override { DeleteAllTextInputHandles(); }
};

std::string Clipboard() {
  char text[256] = {};
  if (GetClipboardText(text, sizeof(text)) != 0) return "";  // Empty: no text at all.
  return text;
}

TEST_F(TextInputTest, QueueHolds1024BytesAndRefusesTheNext) {
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(StockInputChar('a' + i % 26), 0) << i;
  EXPECT_EQ(StockInputChar('x'), -1);
  char out[2];
  EXPECT_EQ(GetOneChar(out, 1), 1);
  EXPECT_EQ(out[0], 'a');
  EXPECT_EQ(StockInputChar('y'), 0);  // One taken, one more fits (across the wrap).
  EXPECT_EQ(StockInputChar('z'), -1);
  int taken = 0;
  while (GetOneChar(out, 1)) ++taken;
  EXPECT_EQ(taken, 1024);
  EXPECT_EQ(out[0], 'y');
}

TEST_F(TextInputTest, LeadByteWaitsForItsTrailByte) {
  char out[2] = {};
  ASSERT_EQ(StockInputChar(0x82), 0);
  EXPECT_EQ(GetOneChar(out, 0), 0);
  EXPECT_EQ(GetOneChar(out, 1), 0);
  ASSERT_EQ(StockInputChar(0xA0), 0);
  EXPECT_EQ(GetOneChar(out, 0), 2);  // A look leaves it queued.
  EXPECT_EQ(GetOneChar(out, 1), 2);
  EXPECT_EQ(static_cast<unsigned char>(out[0]), 0x82);
  EXPECT_EQ(static_cast<unsigned char>(out[1]), 0xA0);
  EXPECT_EQ(GetOneChar(out, 1), 0);
  // A control code is never the start of a double-byte character.
  StockInputChar(TEXT_CODE_LEFT);
  EXPECT_EQ(GetOneChar(out, 1), 1);
}

TEST_F(TextInputTest, CountCharactersCountsWhatStartsWithinTheBytes) {
  struct Case {
    const char* text;
    int bytes;
    int characters;
  } cases[] = {
      {"\x82\xA0\x82\xA2"
       "a",
       3, 2},
      {"\x82\xA0\x82\xA2"
       "a",
       5, 3},
      {"abc", 10, 3},
      {"abc", 0, 0},
      {"\x82", 4, 1},
  };
  for (const Case& c : cases) EXPECT_EQ(CountCharacters(c.text, c.bytes), c.characters) << c.bytes;
  for (int code : {0x10, 0x1D, 0x1C, 0x1E, 0x1F, 0x1A, 0x19, 0x17, 0x15}) EXPECT_EQ(IsControlCode(code), 1) << code;
  for (int code : {0, 3, 8, 13, 27, 0x61, 0x82}) EXPECT_EQ(IsControlCode(code), 0) << code;
}

// One step of an editing script: bytes to queue, with or without shift.
struct Step {
  std::string bytes;
  bool shift = false;
};

struct EditCase {
  const char* name;
  int maxLength;
  int options;  // 1 cancel allowed, 2 single-byte only, 4 numbers only.
  const char* clipboardBefore;
  std::vector<Step> steps;
  const char* text;
  int cursor;
  const char* clipboard;
  int ended;
};

const std::string kLeft(1, TEXT_CODE_LEFT), kRight(1, TEXT_CODE_RIGHT), kHome(1, TEXT_CODE_HOME),
    kEnd(1, TEXT_CODE_END), kDelete(1, TEXT_CODE_DELETE), kBack(1, TEXT_CODE_BACKSPACE), kCut(1, TEXT_CODE_CUT),
    kCopy(1, TEXT_CODE_COPY), kPaste(1, TEXT_CODE_PASTE), kEnter(1, TEXT_CODE_ENTER), kEscape(1, TEXT_CODE_ESCAPE);
const char kA[] = "\x82\xA0";  // あ
const char kI[] = "\x82\xA2";  // い

const EditCase kEditCases[] = {
    {"CutOfShiftSelection", 16, 0, "", {{"abc"}, {kLeft}, {kLeft, true}, {kCut}}, "ac", 1, "b", 0},
    {"CopyWithoutSelectionKeepsClipboard", 16, 0, "keep", {{"abc"}, {kCopy}, {kCut}}, "abc", 3, "keep", 0},
    {"CopyOfHomeSelection", 16, 0, "", {{"abc"}, {kHome, true}, {kCopy}}, "abc", 0, "abc", 0},
    {"TypingReplacesSelection", 16, 0, "", {{"abcd"}, {kLeft}, {kHome, true}, {"x"}}, "xd", 1, "", 0},
    {"FullTextDropsItsEnd", 3, 0, "", {{"abcd"}}, "abd", 3, "", 0},
    {"DoubleByteDropsWholeCharacters",
     3,
     0,
     "",
     {{std::string("ab") + kA}},
     "a"
     "\x82\xA0",
     3,
     "",
     0},
    {"BackspaceAndDeleteTakeWholeCharacters",
     16,
     0,
     "",
     {{std::string(kA) + kI + "z"}, {kLeft}, {kBack}, {kHome}, {kDelete}},
     "z",
     0,
     "",
     0},
    {"RightStepsOverDoubleByte",
     16,
     0,
     "",
     {{std::string(kA) + "b"}, {kHome}, {kRight}, {"-"}},
     "\x82\xA0"
     "-b",
     3,
     "",
     0},
    {"NumbersOnly", 16, 4, "", {{"-1.2.3a-"}}, "-1.23", 5, "", 0},
    {"SingleByteOnlyRefusesDoubleByte", 16, 2, "", {{std::string("a") + kA + "b"}}, "ab", 2, "", 0},
    {"PasteInsertsTheClipboard", 16, 0, "xy", {{"a"}, {kPaste}, {"b"}}, "axyb", 4, "xy", 0},
    {"ShiftDeleteCuts", 16, 0, "", {{"abc"}, {kHome}, {kRight, true}, {kDelete, true}}, "bc", 0, "a", 0},
    {"EnterEndsAndLeavesTheRestQueued", 16, 0, "", {{"ab" + kEnter + "c"}}, "ab", 2, "", 1},
    {"EscapeWithoutCancelDoesNothing", 16, 0, "", {{"a" + kEscape}}, "a", 1, "", 0},
    {"EscapeCancels", 16, 1, "", {{"a" + kEscape}}, "a", 1, "", 1},
};

class EditScript : public TextInputTest, public ::testing::WithParamInterface<EditCase> {};

TEST_P(EditScript, EditsTheHandle) {
  const EditCase& c = GetParam();
  SetClipboardText(c.clipboardBefore);
  int handle = MakeTextInputHandle(c.maxLength, c.options & 1, (c.options & 2) != 0, (c.options & 4) != 0);
  ASSERT_GE(handle, 0);
  TextInputRecord* record = GetTextInputRecord(handle);
  for (const Step& step : c.steps) {
    for (char byte : step.bytes) StockInputChar(static_cast<unsigned char>(byte));
    ApplyQueuedCharacters(record, step.shift);
  }
  EXPECT_STREQ(record->buffer, c.text);
  EXPECT_EQ(record->length, static_cast<int>(std::strlen(c.text)));
  EXPECT_EQ(record->cursor, c.cursor);
  EXPECT_EQ(record->ended, c.ended);
  EXPECT_EQ(record->cancelled, c.ended && (c.options & 1));
  EXPECT_EQ(Clipboard(), c.clipboard);
}

INSTANTIATE_TEST_SUITE_P(TextInput, EditScript, ::testing::ValuesIn(kEditCases),
                         [](const ::testing::TestParamInfo<EditCase>& info) { return std::string(info.param.name); });

TEST_F(TextInputTest, HandlesAreRefusedOnceDeleted) {
  int handle = MakeTextInputHandle(8, 0, 0, 0);
  ASSERT_EQ(ActivateTextInputHandle(handle), 0);
  EXPECT_EQ(IsImeInUse(), 1);
  EXPECT_EQ(ProcessTextInput(), 0);
  EXPECT_EQ(DeleteTextInputHandle(handle), 0);
  EXPECT_EQ(g_textInput.activeHandle, -1);
  EXPECT_EQ(IsImeInUse(), 0);  // The last handle gone, the IME goes off.
  EXPECT_EQ(DeleteTextInputHandle(handle), -1);
  EXPECT_EQ(ActivateTextInputHandle(handle), -1);
  int next = MakeTextInputHandle(8, 0, 0, 0);
  EXPECT_NE(next, handle);  // Same slot, new check count.
  g_textInput.activeHandle = handle;
  EXPECT_EQ(ProcessTextInput(), -1);
  EXPECT_EQ(MakeTextInputHandle(0, 0, 0, 0), -1);
}

TEST_F(TextInputTest, ClipboardSizeAndBoundedCopy) {
  SetClipboardText("abc");
  EXPECT_GE(GetClipboardText(nullptr, 0), 5);
  char small[3] = {'#', '#', '#'};
  EXPECT_EQ(GetClipboardText(small, sizeof(small)), 0);
  EXPECT_STREQ(small, "ab");
  SetClipboardText("");
  EXPECT_EQ(GetClipboardText(nullptr, 0), -1);  // No text.
}

}  // namespace
