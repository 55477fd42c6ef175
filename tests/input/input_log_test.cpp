// The log lines of input start-up and shut-down.
#include <gtest/gtest.h>

#include <cstring>

#include "input/input.h"
#include "platform/dinput.h"
#include "runtime/log_directory.h"
#include "runtime/runtime_state.h"

namespace {

using zyvel_test::Utf8;

class InputLogTest : public zyvel_test::LogDirectoryTest {
 protected:
  void SetUp() override {
    LogDirectoryTest::SetUp();
    platform::testing::IgnoreSystemJoysticks(true);
    platform::testing::RemoveAllVirtualPads();
    platform::testing::SetFakeLocalTime(nullptr);
    std::memset(&g_input, 0, sizeof(g_input));
    g_runtime.log.noTimeStamp = 1;
  }
  void TearDown() override {
    ReleaseInputDevices();
    platform::testing::RefuseComClass(CLSID_DirectInput, false);
    platform::testing::RefuseComClass(CLSID_DirectInput8, false);
    platform::testing::RemoveAllVirtualPads();
    LogDirectoryTest::TearDown();
  }
};

TEST_F(InputLogTest, DirectInputSevenWithAPad) {
  platform::testing::AddVirtualPad("Test Pad", false);
  ASSERT_EQ(StartInputDevices(), 0);
  ReleaseInputDevices();
  EXPECT_EQ(LogText(), Utf8(u8"DirectInput関係初期化処理\r\n"
                            u8"DirectInput7 の取得中... 初期化成功\r\n"
                            u8"ジョイパッドの初期化... \r\n"
                            u8"入力装置を見つけました\r\n"
                            u8"\tデバイスの登録名:Test Pad\r\n"
                            u8"\tデバイスの製品登録名:Test Pad\r\n"
                            u8"周期的エフェクトの作成に失敗しました。\r\n"  // A pad without force feedback.
                            u8"ジョイパッドの追加は正常に終了しました\r\n"
                            u8"ジョイパッドの初期化は正常に終了しました\r\n"
                            u8"キーボードデバイスの初期化... DirectInput 関連の初期化は正常に終了しました\r\n"
                            u8"DirectInput 関連の終了処理... 完了\r\n"));
}

TEST_F(InputLogTest, WithoutDirectInput) {
  platform::testing::RefuseComClass(CLSID_DirectInput, true);
  platform::testing::RefuseComClass(CLSID_DirectInput8, true);
  platform::testing::AddVirtualPad("Stick", false);
  ASSERT_EQ(StartInputDevices(), 0);
  ReleaseInputDevices();
  EXPECT_EQ(LogText(), Utf8(u8"DirectInput関係初期化処理\r\n"
                            u8"DirectInput7 の取得中... 取得に失敗。\r\n"
                            u8"エラーコード 0x80040154\r\n"
                            u8"DirectInput8 の取得を試みます...取得に失敗。\r\n"
                            u8"DirectInput を使用しません。\r\n"
                            u8"パッドの数は 1 個です\r\n"
                            u8"入力関連の初期化をしました\r\n"
                            u8"入力関連の終了処理... 完了\r\n"));
}

}  // namespace
