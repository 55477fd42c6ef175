// The log writer: line ends, time stamps and indents, the UTF-8 file, the debugger output, the
// options, and concurrent writers.
#include <thread>
#include <vector>

#include "runtime/log_directory.h"
#include "runtime/runtime_state.h"

namespace {

using zyvel_test::LogDirectoryTest;
using zyvel_test::Utf8;

// Line-end conversion, seen on the debugger output (which gets the CP932 text unchanged).
struct LineEndCase {
  const char* name;
  const char* text;
  const char* written;
};

class LogLineEnds : public LogDirectoryTest, public ::testing::WithParamInterface<LineEndCase> {};

TEST_P(LogLineEnds, ConvertsLineFeedsUntilTheFirstCarriageReturnLineFeed) {
  g_runtime.log.noTimeStamp = 1;
  AddLogText(GetParam().text);
  EXPECT_EQ(DebugText(), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LogLineEnds,
    ::testing::Values(LineEndCase{"OneLineFeed", "a\nb", "a\r\nb"},
                      LineEndCase{"StopsAtFirstCrLf", "a\r\nb\nc", "a\r\nb\nc"},
                      LineEndCase{"ConvertsBeforeFirstCrLf", "a\nb\r\nc\nd", "a\r\nb\r\nc\nd"},
                      LineEndCase{"LeadingLineFeed", "\nx\n", "\r\nx\r\n"},
                      LineEndCase{"TrailByteTenIsNoLineFeed",
                                  "\x81\x0a"
                                  "z\n",
                                  "\x81\x0a"
                                  "z\r\n"},
                      LineEndCase{"TrailByteThirteenIsNoCarriageReturn", "\x81\x0d\nz\n", "\x81\x0d\r\nz\r\n"},
                      LineEndCase{"LoneLeadByteAtTheEnd", "ab\x81", "ab\x81"}),
    [](const ::testing::TestParamInfo<LineEndCase>& info) { return std::string(info.param.name); });

TEST_F(LogDirectoryTest, AContinuedLineGetsOneTimeStamp) {
  EXPECT_EQ(AddLogText("a\nb"), -1);
  platform::testing::SetFakeClockMilliseconds(1007);
  AddLogText("c\n");
  AddLogText("d\ne\n");
  EXPECT_EQ(LogText(), "0:a\r\nbc\r\n7:d\r\ne\r\n");
}

TEST_F(LogDirectoryTest, NewLinesStartWithTheTimeStampAndOneTabPerIndentLevel) {
  platform::testing::SetFakeClockMilliseconds(1000 + 1234);
  PushLogIndent();
  PushLogIndent();
  AddLogText("x\n");
  EXPECT_EQ(LogText(), "1234:\t\tx\r\n");
  // The same pieces reach the debugger output.
  EXPECT_EQ(DebugText(), "1234:\t\tx\r\n");
}

TEST_F(LogDirectoryTest, PopAtLevelZeroStaysAtZero) {
  g_runtime.log.noTimeStamp = 1;
  PopLogIndent();
  PushLogIndent();
  AddLogText("one\n");
  PopLogIndent();
  PopLogIndent();
  AddLogText("none\n");
  EXPECT_EQ(LogText(), "\tone\r\nnone\r\n");
}

TEST_F(LogDirectoryTest, JapaneseTextIsUtf8OnDisk) {
  AddLogText("ＣＯＭの初期化... ");
  AddLogText("成功しました\n");
  AddLogText("表示\n");  // 表 ends in the byte 0x5C.
  EXPECT_EQ(LogText(), Utf8(u8"0:ＣＯＭの初期化... 成功しました\r\n0:表示\r\n"));
  EXPECT_EQ(DebugText(), "0:ＣＯＭの初期化... 成功しました\r\n0:表示\r\n");
}

TEST_F(LogDirectoryTest, BytesThatAreNoCp932BecomeQuestionMarksOnDisk) {
  g_runtime.log.noTimeStamp = 1;
  AddLogText("\xff\x80x\xfd\n");
  AddLogText("表\n");
  EXPECT_EQ(LogText(), Utf8(u8"??x?\r\n表\r\n"));
}

TEST_F(LogDirectoryTest, NothingIsWrittenBeforeTheDirectoryIsSet) {
  SetLogDirectory("");
  EXPECT_EQ(AddLogText("lost\n"), -1);
  EXPECT_EQ(WriteLogFormat("lost %d", 2), -1);
  EXPECT_EQ(DebugText(), "");
  EXPECT_EQ(LogText(), "");
  EXPECT_FALSE(zyvel_test::FileExists("Log.txt"));  // Nor in the current directory.
}

TEST_F(LogDirectoryTest, FileOutputOffWritesNothingAnywhere) {
  g_runtime.log.fileOutputOff = 1;
  AddLogText("lost\n");
  EXPECT_EQ(DebugText(), "");
  EXPECT_EQ(LogText(), "");
}

TEST_F(LogDirectoryTest, AFileThatCannotBeOpenedLosesTheText) {
  platform::testing::FailFileOpens(1);
  AddLogText("lost\n");
  AddLogText("kept\n");
  EXPECT_EQ(LogText(), "0:kept\r\n");
}

TEST_F(LogDirectoryTest, OpeningEmptiesAnOldLogAndRestartsTheClock) {
  AddLogText("old run\n");
  PushLogIndent();
  platform::testing::SetFakeClockMilliseconds(5000);
  OpenLogFile();
  AddLogText("new run\n");
  EXPECT_EQ(LogText(), "0:new run\r\n");
}

TEST_F(LogDirectoryTest, DatedNameUsesTheLocalTimeWithoutLeadingZeros) {
  const SYSTEMTIME time = {2011, 3, 1, 7, 9, 5, 12, 0};
  platform::testing::SetFakeLocalTime(&time);
  g_runtime.log.datedName = 1;
  OpenLogFile();
  AddLogText("dated\n");
  EXPECT_EQ(zyvel_test::ReadWholeFile(directory_ + "/Log2011_3_7_9_5_12.txt"), "0:dated\r\n");
}

TEST_F(LogDirectoryTest, ADirectoryEndingInADoubleByteCharacterGetsItsSeparator) {
  const std::string inner = directory_ + Utf8(u8"/表");
  ASSERT_EQ(mkdir(inner.c_str(), 0700), 0);
  SetLogDirectory(platform::WindowsPathOf(inner).c_str());
  OpenLogFile();
  AddLogText("inside\n");
  EXPECT_EQ(zyvel_test::ReadWholeFile(inner + "/Log.txt"), "0:inside\r\n");
}

TEST_F(LogDirectoryTest, WriteLogFormatEndsTheLineAndCutsLongResults) {
  g_runtime.log.noTimeStamp = 1;
  WriteLogFormat("%s:%d", "value", 42);
  const std::string longText(3000, 'q');
  WriteLogFormat("%s", longText.c_str());
  EXPECT_EQ(LogText(), "value:42\r\n" + std::string(1022, 'q') + "\r\n");
}

TEST_F(LogDirectoryTest, LongTextsAreConvertedWhole) {
  g_runtime.log.noTimeStamp = 1;
  std::string text;
  std::string expected;
  for (int i = 0; i < 200; ++i) {
    text += "表\n";
    expected += Utf8(u8"表\r\n");
  }
  AddLogText(text.c_str());
  EXPECT_EQ(LogText(), expected);
}

TEST_F(LogDirectoryTest, TwoThreadsLoseAndTearNoLine) {
  constexpr int kLines = 1000;
  auto writer = [](int thread) {
    for (int i = 0; i < kLines; ++i) WriteLogFormat("thread %d line %d end", thread, i);
  };
  std::thread first(writer, 0);
  std::thread second(writer, 1);
  first.join();
  second.join();

  const std::string log = LogText();
  std::vector<int> next(2, 0);
  size_t start = 0;
  int lines = 0;
  while (start < log.size()) {
    const size_t end = log.find("\r\n", start);
    ASSERT_NE(end, std::string::npos);
    int thread = -1, line = -1, consumed = 0;
    const std::string text = log.substr(start, end - start);
    ASSERT_EQ(std::sscanf(text.c_str(), "0:thread %d line %d end%n", &thread, &line, &consumed), 2) << text;
    ASSERT_EQ(consumed, static_cast<int>(text.size())) << text;
    ASSERT_TRUE(thread == 0 || thread == 1);
    EXPECT_EQ(line, next[thread]++);  // Each thread's lines arrive whole and in order.
    ++lines;
    start = end + 2;
  }
  EXPECT_EQ(lines, 2 * kLines);
}

}  // namespace
