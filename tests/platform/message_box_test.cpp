// Message boxes without a display that can show one: the text reaches stderr as UTF-8 and the
// box answers OK at once.
#include <gtest/gtest.h>

#include <string>

#include "platform/testing.h"
#include "platform/user.h"

namespace {

TEST(MessageBox, WithoutADisplayTheCaptionAndTextGoToStderrAndOkComesBack) {
  platform::testing::UseDummyVideoDriver();
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBoxA(nullptr, "LOAD FILE ERROR", "MESSAGE", MB_OK), IDOK);
  EXPECT_EQ(MessageBoxA(nullptr, "テスト", nullptr, MB_OK), IDOK);  // CP932 text, no caption.
  const std::string written = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(written.find("MESSAGE: LOAD FILE ERROR\n"), std::string::npos);
  EXPECT_NE(written.find(reinterpret_cast<const char*>(u8"Error: テスト\n")), std::string::npos);
}

}  // namespace
