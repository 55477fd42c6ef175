// Character input through the window: keys typed into the SDL window edit the active text-input
// handle, and an input method's composition and result arrive through the IME messages.
#include "window_fixture.h"

#include "input/input_services.h"
#include "input/text_input.h"
#include "platform/dinput.h"
#include "platform/imm.h"

namespace {

using windowtest::LibraryTest;

// Pumps until the queue is drained (bounded).
void Pump() {
  for (int i = 0; i < 20; ++i) ProcessWindowMessages();
}

void Type(HWND window, int key, bool down = true, bool up = true) {
  if (down) platform::testing::PostKeyEvent(window, key, true);
  if (up) platform::testing::PostKeyEvent(window, key, false);
  Pump();
}

TEST_F(LibraryTest, TypedKeysEditTheActiveHandle) {
  ASSERT_EQ(InitializeLibrary(), 0);
  HWND window = GetMainWindow();
  platform::testing::PostFocusChange(window, true);
  int handle = MakeTextInputHandle(32, 0, 0, 0);
  ASSERT_EQ(ActivateTextInputHandle(handle), 0);
  IsKeyDown(DIK_LSHIFT);  // Input starts on the first query.
  Pump();

  Type(window, 'A');
  Type(window, 'B');
  Type(window, 'C');
  Type(window, VK_LEFT);
  Type(window, VK_SHIFT, true, false);
  Type(window, VK_LEFT);
  Type(window, VK_SHIFT, false, true);
  Type(window, VK_CONTROL, true, false);
  Type(window, 'X');
  Type(window, VK_CONTROL, false, true);

  const TextInputRecord* record = GetTextInputRecord(handle);
  ASSERT_NE(record, nullptr);
  EXPECT_STREQ(record->buffer, "ac");
  char clipboard[16] = {};
  EXPECT_EQ(GetClipboardText(clipboard, sizeof(clipboard)), 0);
  EXPECT_STREQ(clipboard, "b");
}

TEST_F(LibraryTest, ImeCompositionShowsAndItsResultIsInserted) {
  ASSERT_EQ(InitializeLibrary(), 0);
  HWND window = GetMainWindow();
  int handle = MakeTextInputHandle(32, 0, 0, 0);
  ASSERT_EQ(ActivateTextInputHandle(handle), 0);

  platform::testing::PostTextEditing(window, platform::Cp932ToUtf8("にほん"), 2);
  Pump();
  EXPECT_EQ(g_textInput.composing, 1);
  EXPECT_STREQ(g_textInput.composition, "にほん");
  EXPECT_EQ(g_textInput.compositionCursor, 2);
  EXPECT_EQ(g_textInput.imeUsed, 1);

  platform::testing::PostTextInput(window, platform::Cp932ToUtf8("日本"));
  Pump();
  EXPECT_EQ(g_textInput.composing, 0);
  EXPECT_STREQ(g_textInput.composition, "");
  const TextInputRecord* record = GetTextInputRecord(handle);
  ASSERT_NE(record, nullptr);
  EXPECT_STREQ(record->buffer, "日本");
  EXPECT_EQ(record->cursor, 4);

  // Typed text of another script, with no composition, arrives as its CP932 bytes.
  platform::testing::PostTextInput(window, platform::Cp932ToUtf8("ア"));
  Pump();
  EXPECT_STREQ(record->buffer, "日本ア");
}

TEST_F(LibraryTest, CompositionIsCutToTheFreeSpace) {
  ASSERT_EQ(InitializeLibrary(), 0);
  HWND window = GetMainWindow();
  int handle = MakeTextInputHandle(5, 0, 0, 0);
  ASSERT_EQ(ActivateTextInputHandle(handle), 0);
  g_textInput.limitToFreeSpace = 1;
  StockInputChar('a');
  Pump();
  platform::testing::PostTextEditing(window, platform::Cp932ToUtf8("かきく"), 3);
  Pump();
  // Four bytes are free: two whole characters, never half of the third.
  EXPECT_STREQ(g_textInput.composition, "かき");
  char composition[16] = {};
  HIMC context = ImmGetContext(window);
  LONG length = ImmGetCompositionStringA(context, GCS_COMPSTR, composition, sizeof(composition));
  ImmReleaseContext(window, context);
  EXPECT_EQ(std::string(composition, length > 0 ? length : 0), "かき");
}

}  // namespace
