// Bytes that do not convert between code pages become one '?' of the target encoding, so the
// text around them survives whole.
#include <gtest/gtest.h>

#include "platform/kernel.h"

namespace {

TEST(CodePageTest, UnconvertibleBytesBecomeOneWideQuestionMarkEach) {
  WCHAR wide[8] = {};
  const int count = MultiByteToWideChar(932, 0,
                                        "\xff"
                                        "a\x80"
                                        "b",
                                        4, wide, 8);
  ASSERT_EQ(count, 4);
  EXPECT_EQ(std::u16string(wide, 4), u"?a?b");
}

TEST(CodePageTest, ALoneSurrogateIsSkippedAsOneUnit) {
  const WCHAR wide[] = {u'x', 0xD800, u'y'};
  char narrow[8] = {};
  const int count = WideCharToMultiByte(CP_UTF8, 0, wide, 3, narrow, 8, nullptr, nullptr);
  EXPECT_EQ(std::string(narrow, static_cast<size_t>(count)), "x?y");
}

}  // namespace
