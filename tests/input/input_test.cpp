// Keyboard and joypad input through the DirectInput, Windows-keyboard and WinMM paths.
#include <gtest/gtest.h>

#include <cstring>

#include "input/input.h"
#include "platform/dinput.h"
#include "platform/testing.h"
#include "platform/winmm.h"
#include "window/window_state.h"
#include "zyvel/runtime.h"
#include "zyvel/window.h"

namespace {

enum class KeyboardPath { DirectInput, WindowsKeyboard, Winmm, DirectInput8 };

class InputTest : public ::testing::TestWithParam<KeyboardPath> {
 protected:
  void SetUp() override {
    platform::testing::IgnoreSystemJoysticks(true);
    platform::testing::RemoveAllVirtualPads();
    platform::testing::UseFakeClock(true);
    platform::testing::SetFakeClockMilliseconds(1000);
    std::memset(&g_input, 0, sizeof(g_input));
    g_windowSystem.osCode = 263;  // XP: the DirectInput keyboard.
    // The Windows keyboard path reads keys only on the thread that holds the call lock, as the
    // per-frame message processing does.
    ApiLockEnter();
  }

  void TearDown() override {
    ReleaseInputDevices();
    for (int key = 1; key < 256; ++key) platform::testing::PressKey(key, false);
    platform::testing::RefuseComClass(CLSID_DirectInput, false);
    platform::testing::RefuseComClass(CLSID_DirectInput8, false);
    platform::testing::RemoveAllVirtualPads();
    platform::testing::UseFakeClock(false);
    g_windowSystem.osCode = 0;
    ApiLockLeave();
  }

  void Start(KeyboardPath path) {
    if (path == KeyboardPath::WindowsKeyboard) g_windowSystem.osCode = 265;
    if (path == KeyboardPath::Winmm || path == KeyboardPath::DirectInput8)
      platform::testing::RefuseComClass(CLSID_DirectInput, true);
    if (path == KeyboardPath::Winmm) platform::testing::RefuseComClass(CLSID_DirectInput8, true);
    ASSERT_EQ(StartInputDevices(), 0);
  }

  // Keys and pads are read at most once per millisecond: move the clock on before each read.
  void NextTick() { platform::testing::AdvanceFakeClock(1000); }

  int PadBits(int kind) {
    NextTick();
    return GetPadInputBits(kind);
  }

  int KeyDown(int key) {
    NextTick();
    return IsKeyDown(key);
  }
};

TEST_P(InputTest, DefaultKeysGivePadBitsOnEveryPath) {
  Start(GetParam());
  struct Case {
    int key;
    int bits;
  };
  const Case cases[] = {
      {DIK_DOWN, 0x1},    {DIK_LEFT, 0x2},      {DIK_RIGHT, 0x4},    {DIK_UP, 0x8},   {DIK_NUMPAD2, 0x1},
      {DIK_NUMPAD4, 0x2}, {DIK_NUMPAD6, 0x4},   {DIK_NUMPAD8, 0x8},  {DIK_Z, 0x10},   {DIK_X, 0x20},
      {DIK_C, 0x40},      {DIK_A, 0x80},        {DIK_S, 0x100},      {DIK_D, 0x200},  {DIK_Q, 0x400},
      {DIK_W, 0x800},     {DIK_ESCAPE, 0x1000}, {DIK_SPACE, 0x2000}, {DIK_RETURN, 0},
  };
  EXPECT_EQ(PadBits(0x1001), 0);
  for (const Case& c : cases) {
    platform::testing::PressKey(c.key, true);
    EXPECT_EQ(PadBits(0x1001), c.bits) << "key " << c.key;
    EXPECT_EQ(PadBits(0x1000), c.bits) << "key " << c.key << " without a pad number";
    EXPECT_EQ(KeyDown(c.key), 1) << "key " << c.key;
    platform::testing::PressKey(c.key, false);
    EXPECT_EQ(KeyDown(c.key), 0) << "key " << c.key;
  }
  platform::testing::PressKey(DIK_LEFT, true);
  platform::testing::PressKey(DIK_Z, true);
  EXPECT_EQ(PadBits(0x1001), 0x12);
  EXPECT_EQ(PadBits(1), 0);  // Without 0x1000 the keyboard is not merged.
}

TEST_P(InputTest, KeyCodesOutsideTheTableReadAsUp) {
  Start(GetParam());
  EXPECT_EQ(KeyDown(-1), 0);
  EXPECT_EQ(KeyDown(256), 0);
  EXPECT_EQ(KeyDown(100000), 0);
}

INSTANTIATE_TEST_SUITE_P(Paths, InputTest,
                         ::testing::Values(KeyboardPath::DirectInput, KeyboardPath::WindowsKeyboard,
                                           KeyboardPath::Winmm, KeyboardPath::DirectInput8));

using InputStartTest = InputTest;

TEST_F(InputStartTest, FallsBackFromVersionSevenToEightToWinmm) {
  platform::testing::RefuseComClass(CLSID_DirectInput, true);
  ASSERT_EQ(StartInputDevices(), 0);
  EXPECT_EQ(g_input.directInput8, 1);
  EXPECT_EQ(g_input.winmmMode, 0);
  ASSERT_NE(g_input.keyboardDevice, nullptr);
  ReleaseInputDevices();
  EXPECT_EQ(g_input.directInput, nullptr);

  platform::testing::RefuseComClass(CLSID_DirectInput8, true);
  ASSERT_EQ(StartInputDevices(), 0);
  EXPECT_EQ(g_input.winmmMode, 1);
  EXPECT_EQ(g_input.directInput, kWinmmInterface);
  EXPECT_EQ(g_input.padCount, 16);
}

TEST_F(InputStartTest, QueriesStartInputOnDemandWithoutReading) {
  platform::testing::PressKey(DIK_ESCAPE, true);
  EXPECT_EQ(IsKeyDown(DIK_ESCAPE), 0);  // This call starts input only.
  EXPECT_NE(g_input.directInput, nullptr);
  EXPECT_EQ(KeyDown(DIK_ESCAPE), 1);
  ReleaseInputDevices();
  EXPECT_EQ(GetPadInputBits(0x1001), 0);
  EXPECT_EQ(PadBits(0x1001), 0x1000);
}

TEST_F(InputStartTest, WindowsPathSetsBothEnterKeys) {
  Start(KeyboardPath::WindowsKeyboard);
  platform::testing::PressKey(DIK_NUMPADENTER, true);
  EXPECT_EQ(KeyDown(DIK_RETURN), 1);
  EXPECT_EQ(KeyDown(DIK_NUMPADENTER), 1);
  platform::testing::PressKey(DIK_NUMPADENTER, false);
  platform::testing::PressKey(DIK_RETURN, true);
  EXPECT_EQ(KeyDown(DIK_NUMPADENTER), 1);
}

TEST_F(InputStartTest, KeysAreReadOncePerTickUnlessTheKeyboardSignals) {
  Start(KeyboardPath::WindowsKeyboard);
  EXPECT_EQ(KeyDown(DIK_Z), 0);
  platform::testing::PressKey(DIK_Z, true);
  EXPECT_EQ(IsKeyDown(DIK_Z), 0);  // Same millisecond on the Windows path: the stored state.
  NextTick();
  EXPECT_EQ(IsKeyDown(DIK_Z), 1);

  ReleaseInputDevices();
  g_windowSystem.osCode = 263;
  ASSERT_EQ(StartInputDevices(), 0);
  EXPECT_EQ(KeyDown(DIK_X), 0);
  platform::testing::PressKey(DIK_X, true);
  EXPECT_EQ(IsKeyDown(DIK_X), 1);  // The device's event says the keys changed.
}

TEST_F(InputStartTest, LostKeyboardIsAcquiredAgain) {
  Start(KeyboardPath::DirectInput);
  platform::testing::PressKey(DIK_S, true);
  platform::testing::LoseInputDevices();
  EXPECT_EQ(KeyDown(DIK_S), 1);
}

TEST_F(InputStartTest, VirtualPadSticksAndButtons) {
  const int pad = platform::testing::AddVirtualPad("Test Pad", false);
  Start(KeyboardPath::DirectInput);
  ASSERT_EQ(g_input.padCount, 1);
  EXPECT_STREQ(g_input.pads[0].productName, "Test Pad");
  EXPECT_EQ(PadBits(1), 0);
  struct Case {
    int axis;
    int value;
    int bits;
  };
  const Case cases[] = {
      {0, -32768, 0x2}, {0, 32767, 0x4}, {1, -32768, 0x8},
      {1, 32767, 0x1},  {0, 9000, 0},    {1, -12000, 0},  // Inside the dead zone of half the range.
      {0, 20000, 0x4},
  };
  for (const Case& c : cases) {
    platform::testing::SetVirtualPadAxis(pad, c.axis, c.value);
    EXPECT_EQ(PadBits(1), c.bits) << "axis " << c.axis << " at " << c.value;
    platform::testing::SetVirtualPadAxis(pad, c.axis, 0);
  }
  platform::testing::SetVirtualPadAxis(pad, 0, 32767);
  NextTick();
  RefreshJoypadState(0);
  EXPECT_EQ(g_input.pads[0].state.lX, 1000);

  platform::testing::SetVirtualPadButton(pad, 0, true);
  platform::testing::SetVirtualPadButton(pad, 23, true);
  platform::testing::SetVirtualPadButton(pad, 24, true);  // Beyond the 24 buttons that have bits.
  EXPECT_EQ(PadBits(1), 0x4 | 0x10 | (1 << 27));
  platform::testing::PressKey(DIK_UP, true);
  EXPECT_EQ(PadBits(0x1001), 0x4 | 0x8 | 0x10 | (1 << 27));
}

TEST_F(InputStartTest, PadNumbersOutsideThePadsOrTheMap) {
  platform::testing::AddVirtualPad("One", false);
  platform::testing::AddVirtualPad("Two", false);
  Start(KeyboardPath::DirectInput);
  ASSERT_EQ(g_input.padCount, 2);
  platform::testing::PressKey(DIK_DOWN, true);
  EXPECT_EQ(PadBits(5), 0);
  EXPECT_EQ(PadBits(0x1005), 0);  // The keyboard through pad 5's map, which is empty.
  EXPECT_EQ(PadBits(0x1011), 0);  // Pad 17 has no map at all.
  EXPECT_EQ(PadBits(0x1000 | 100), 0);
  EXPECT_EQ(PadBits(0x1001), 0x1);
}

TEST_F(InputStartTest, WinmmAxesWithTheDeadBand) {
  const int pad = platform::testing::AddVirtualPad("Stick", false);
  Start(KeyboardPath::Winmm);
  struct Case {
    int position;  // As joyGetPosEx reports it, 0..65535.
    LONG x;
    int bits;
  };
  const Case cases[] = {{0x3000, -250, 0x2}, {0x5000, 0, 0}, {0, -1000, 0x2},   {0x7FFF, 0, 0},
                        {0xFFFF, 999, 0x4},  {0xC001, 0, 0}, {0xE000, 500, 0x4}};
  for (const Case& c : cases) {
    platform::testing::SetVirtualPadAxis(pad, 0, c.position - 32768);
    int bits = PadBits(1);
    EXPECT_EQ(g_input.pads[0].state.lX, c.x) << std::hex << c.position;
    EXPECT_EQ(bits, c.bits) << std::hex << c.position;
  }
  platform::testing::SetVirtualPadAxis(pad, 0, 0);
  platform::testing::SetVirtualPadButton(pad, 2, true);
  EXPECT_EQ(PadBits(1), 0x40);
  EXPECT_EQ(PadBits(2), 0);  // An absent joystick reads as nothing held.
}

TEST_F(InputStartTest, VibrationFollowsTheFlags) {
  const int pad = platform::testing::AddVirtualPad("Rumble", true);
  Start(KeyboardPath::DirectInput);
  ASSERT_NE(g_input.pads[0].constantEffect, nullptr);
  ASSERT_NE(g_input.pads[0].periodicEffect, nullptr);
  EXPECT_FALSE(platform::testing::IsVirtualPadVibrating(pad));
  g_input.pads[0].vibrating = 1;
  g_input.pads[0].vibrationDuration = -1;
  ProcessJoypadEffects();
  EXPECT_TRUE(platform::testing::IsVirtualPadVibrating(pad));
  EXPECT_EQ(g_input.pads[0].constantPlaying, 1);
  EXPECT_EQ(g_input.pads[0].periodicPlaying, 1);
  StopJoypadVibration(1);
  EXPECT_FALSE(platform::testing::IsVirtualPadVibrating(pad));
  EXPECT_EQ(g_input.pads[0].vibrationPower, 10000);
  EXPECT_EQ(StopJoypadVibration(40), 0);  // Pad numbers beyond 16 do nothing.
}

TEST_F(InputStartTest, NoEffectsWithoutForceFeedback) {
  platform::testing::AddVirtualPad("Plain", false);
  Start(KeyboardPath::DirectInput);
  EXPECT_EQ(g_input.pads[0].constantEffect, nullptr);
  EXPECT_EQ(g_input.pads[0].periodicEffect, nullptr);
  ReacquireInputDevices();
  EXPECT_EQ(PadBits(1), 0);
}

}  // namespace
