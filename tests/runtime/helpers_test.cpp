// String, memory and number helpers.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>

#include "runtime/runtime_state.h"
#include "zyvel/runtime.h"

namespace {

struct LeadCase {
  int charSet;
  unsigned char byte;
  int lead;
};

TEST(CheckLeadByte, LeadRangesPerCharacterSet) {
  const LeadCase cases[] = {
      {CHARSET_SHIFTJIS, 0x81, 1}, {CHARSET_SHIFTJIS, 0x9F, 1}, {CHARSET_SHIFTJIS, 0xE0, 1},
      {CHARSET_SHIFTJIS, 0xFC, 1}, {CHARSET_SHIFTJIS, 0x80, 0}, {CHARSET_SHIFTJIS, 0xA0, 0},
      {CHARSET_SHIFTJIS, 0xDF, 0}, {CHARSET_SHIFTJIS, 0xFD, 0}, {CHARSET_SHIFTJIS, 0x41, 0},
      {CHARSET_DEFAULT, 0x81, 1},  {CHARSET_DEFAULT, 0xA0, 0},  {CHARSET_HANGEUL, 0x80, 1},
      {CHARSET_HANGEUL, 0xFF, 1},  {CHARSET_HANGEUL, 0x7F, 0},  {CHARSET_BIG5, 0xA0, 1},
      {CHARSET_GB2312, 0xFD, 1},   {CHARSET_GB2312, 0x5C, 0},
  };
  for (const LeadCase& c : cases) {
    const char text[2] = {static_cast<char>(c.byte), 0};
    EXPECT_EQ(CheckLeadByte(text, c.charSet), c.lead) << "set " << c.charSet << " byte " << int(c.byte);
  }
}

TEST(GetByteKindAt, WalksByCharacters) {
  // "A", then 表 (0x95 0x5C, whose trail byte is a backslash), then "B".
  const char text[] =
      "A\x95\x5C"
      "B";
  EXPECT_EQ(GetByteKindAt(text, 0, CHARSET_SHIFTJIS), 0);
  EXPECT_EQ(GetByteKindAt(text, 1, CHARSET_SHIFTJIS), 1);
  EXPECT_EQ(GetByteKindAt(text, 2, CHARSET_SHIFTJIS), 2);
  EXPECT_EQ(GetByteKindAt(text, 3, CHARSET_SHIFTJIS), 0);
  EXPECT_EQ(GetByteKindAt(text, 4, CHARSET_SHIFTJIS), -1);
  EXPECT_EQ(GetByteKindAt(text, 99, CHARSET_SHIFTJIS), -1);
  EXPECT_EQ(GetByteKindAt(text, -1, CHARSET_SHIFTJIS), -1);
  // Under set 2 the 0x5C after 0x95 is still a trail byte; under a single-byte reading it would not be.
  EXPECT_EQ(GetByteKindAt(text, 2, CHARSET_HANGEUL), 2);
}

TEST(GetByteKindAt, LeadByteBeforeTerminatorEndsTheText) {
  const char text[] = "A\x95";
  EXPECT_EQ(GetByteKindAt(text, 1, CHARSET_SHIFTJIS), 1);
  EXPECT_EQ(GetByteKindAt(text, 2, CHARSET_SHIFTJIS), -1);
}

TEST(FindCharInString, StepsOverTrailBytes) {
  g_runtime.charSet = CHARSET_SHIFTJIS;
  const char text[] =
      "\x95\x5C"
      "ab\\cd";
  char* found = FindCharInString(text, '\\');
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found - text, 4);
  EXPECT_EQ(FindCharInString(text, 'z'), nullptr);
  EXPECT_EQ(FindCharInString("x\x95", 0x95), nullptr);  // A dangling lead byte is not a character.
}

TEST(UpperCaseString, LeavesDoubleByteCharactersAlone) {
  g_runtime.charSet = CHARSET_SHIFTJIS;
  // ａ (full-width a, 0x82 0x81), then "b", then 0x83 0x61 (trail byte 'a'), then "z!".
  char text[] =
      "\x82\x81"
      "b\x83"
      "az!";
  char* end = UpperCaseString(text);
  EXPECT_STREQ(text,
               "\x82\x81"
               "B\x83"
               "aZ!");
  EXPECT_EQ(*end, 0);
  EXPECT_EQ(end - text, 7);
}

TEST(StringCopies, CopyStringAndCopyStringN) {
  char out[16];
  const char* source = "hello";
  EXPECT_EQ(CopyString(out, source), source + 5);
  EXPECT_STREQ(out, "hello");

  std::memset(out, 'x', sizeof(out));
  CopyStringN(out, "hello", 3);
  EXPECT_STREQ(out, "hel");
  CopyStringN(out, "hi", 10);
  EXPECT_STREQ(out, "hi");
  CopyStringN(out, "hi", 0);
  EXPECT_STREQ(out, "");
  CopyStringN(out, "hi", -4);
  EXPECT_STREQ(out, "");
}

TEST(Comparisons, EqualityOnly) {
  EXPECT_EQ(CompareStrings("abc", "abc"), 0);
  EXPECT_EQ(CompareStrings("abc", "abcd"), 1);
  EXPECT_EQ(CompareStrings("b", "a"), 1);
  EXPECT_EQ(CompareStringsN("abcX", "abcY", 3), 0);
  EXPECT_EQ(CompareStringsN("abcX", "abcY", 4), 1);
  EXPECT_EQ(CompareStringsN("ab", "ab", 10), 0);  // Both end at the same place.
  EXPECT_EQ(CompareStringsN("ab", "abc", 10), 1);
  EXPECT_EQ(CompareBytes("abc", "abd", 2), 0);
  EXPECT_EQ(CompareBytes("abc", "abd", 3), 1);
  EXPECT_EQ(CompareBytes("abc", "xyz", -1), 0);
}

TEST(ByteMoves, OverlapInBothDirections) {
  char up[] = "abcdefgh";
  MoveBytes(up + 2, up, 5);
  EXPECT_STREQ(up, "ababcdeh");
  char down[] = "abcdefgh";
  MoveBytes(down, down + 2, 5);
  EXPECT_STREQ(down, "cdefgfgh");
  char copy[] = "abcdefgh";
  CopyBytes(copy + 1, copy, 4);
  EXPECT_STREQ(copy, "aabcdfgh");
  CopyBytes(copy, "zz", -3);  // Negative counts copy nothing.
  EXPECT_STREQ(copy, "aabcdfgh");
  char fill[4] = {1, 2, 3, 0};
  FillBytes(fill, 'q', 3);
  EXPECT_STREQ(fill, "qqq");
}

TEST(NumberConversions, TruncateTowardZero) {
  EXPECT_EQ(FloatToInt(-2.7f), -2);
  EXPECT_EQ(FloatToInt(2.7f), 2);
  EXPECT_EQ(DoubleToInt(-0.5), 0);
  EXPECT_EQ(DoubleToInt(2147483647.9), 2147483647);
  EXPECT_EQ(DoubleToInt(-2147483648.9), INT_MIN);
  // Out of range and NaN give the integer-indefinite value instead of undefined behaviour.
  EXPECT_EQ(DoubleToInt(1e300), INT_MIN);
  EXPECT_EQ(DoubleToInt(std::nan("")), INT_MIN);
  EXPECT_EQ(FloatToInt(3e9f), INT_MIN);
  EXPECT_EQ(AbsInt(-5), 5);
  EXPECT_EQ(AbsInt(INT_MIN), INT_MIN);
  EXPECT_FLOAT_EQ(AbsFloat(-1.5f), 1.5f);
  EXPECT_FLOAT_EQ(SqrtFloat(9.0f), 3.0f);
  EXPECT_FLOAT_EQ(PowerFloat(2.0f, 10.0f), 1024.0f);
  float s = 0, c = 0;
  SinCosFloat(0.0f, &s, &c);
  EXPECT_FLOAT_EQ(s, 0.0f);
  EXPECT_FLOAT_EQ(c, 1.0f);
}

TEST(IntToText, BasesAndSigns) {
  struct Case {
    int value;
    int base;
    const char* text;
  };
  const Case cases[] = {
      {-255, 16, "-ff"},
      {0, 2, "0"},
      {255, 2, "11111111"},
      {35, 36, "z"},
      {INT_MAX, 10, "2147483647"},
      {-7, 10, "-7"},
      {INT_MIN, 10, "-2147483648"},
      {INT_MIN, 16, "-80000000"},
      {5, 1, ""},
      {5, 37, ""},
  };
  for (const Case& c : cases) {
    char out[40];
    EXPECT_STREQ(IntToText(c.value, out, c.base), c.text) << c.value << " base " << c.base;
  }
}

TEST(Arithmetic128, MatchesCompilerWideIntegers) {
  const uint64_t values[] = {
      0, 1, 3, 0xFFFFFFFFull, 0x100000000ull, 0x123456789ABCDEFull, ~0ull, 1000000ull, 0x8000000000000000ull};
  for (uint64_t a : values) {
    for (uint64_t b : values) {
      uint32_t product[4];
      MulU64ToU128(&a, &b, product);
      unsigned __int128 expected = static_cast<unsigned __int128>(a) * b;
      for (int i = 0; i < 4; ++i) EXPECT_EQ(product[i], static_cast<uint32_t>(expected >> (32 * i))) << a << " * " << b;
      if (b == 0) continue;
      uint64_t quotient = 0;
      EXPECT_EQ(DivU128ByU64(product, &b, &quotient), 0);
      EXPECT_EQ(quotient, static_cast<uint64_t>(expected / b)) << a << " * " << b;
      const uint64_t divisor = 7;
      EXPECT_EQ(DivU128ByU64(product, &divisor, &quotient), 0);
      EXPECT_EQ(quotient, static_cast<uint64_t>(expected / 7)) << a << " * " << b << " / 7";
    }
  }
}

TEST(Arithmetic128, DivisionByZeroIsRefused) {
  const uint32_t dividend[4] = {5, 0, 0, 0};
  const uint64_t zero = 0;
  uint64_t quotient = 99;
  EXPECT_EQ(DivU128ByU64(dividend, &zero, &quotient), -1);
  EXPECT_EQ(quotient, 0u);
}

TEST(FormatText, TruncatesToTheBuffer) {
  char out[8];
  FormatText(out, sizeof(out), "%s-%d", "abcdef", 123);
  EXPECT_STREQ(out, "abcdef-");
  char wide[32];
  EXPECT_EQ(FormatText(wide, sizeof(wide), "%d:%s", 12, "x"), 0);
  EXPECT_STREQ(wide, "12:x");
}

}  // namespace
