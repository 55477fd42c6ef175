// The kernel stand-in: waits, critical sections, threads, paths, files and code pages.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/kernel.h"
#include "platform/testing.h"
#include "platform/winmm.h"

namespace {

TEST(Events, AutoResetWakesOneWaitAndResets) {
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  SetEvent(event);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);  // Consumed by the first wait.
  EXPECT_TRUE(CloseHandle(event));
  EXPECT_FALSE(CloseHandle(event));  // A stale handle is refused, not followed.
}

TEST(Events, ManualResetStaysSignalled) {
  HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  ResetEvent(event);
  EXPECT_EQ(WaitForSingleObject(event, 10), WAIT_TIMEOUT);
  CloseHandle(event);
}

TEST(Waits, AnotherThreadSignalsAndTimeoutsExpire) {
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  std::thread signaller([event] {
    Sleep(20);
    SetEvent(event);
  });
  EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
  signaller.join();

  DWORD start = GetTickCount();
  EXPECT_EQ(WaitForSingleObject(event, 30), WAIT_TIMEOUT);
  EXPECT_GE(GetTickCount() - start, 25u);  // The wait really waited (no upper bound is asserted).
  CloseHandle(event);
}

TEST(Waits, MultipleObjectsAnyAndAll) {
  HANDLE events[2] = {CreateEventA(nullptr, TRUE, FALSE, nullptr), CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  SetEvent(events[1]);
  EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(2, events, TRUE, 0), WAIT_TIMEOUT);
  SetEvent(events[0]);
  EXPECT_EQ(WaitForMultipleObjects(2, events, TRUE, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForMultipleObjects(0, events, TRUE, 0), WAIT_FAILED);
  CloseHandle(events[0]);
  CloseHandle(events[1]);
}

TEST(Semaphores, CountsAndRefusesOverflow) {
  HANDLE semaphore = CreateSemaphoreA(nullptr, 1, 2, nullptr);
  EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_TIMEOUT);
  LONG previous = -1;
  EXPECT_TRUE(ReleaseSemaphore(semaphore, 2, &previous));
  EXPECT_EQ(previous, 0);
  EXPECT_FALSE(ReleaseSemaphore(semaphore, 1, nullptr));  // Would pass the maximum.
  CloseHandle(semaphore);
}

// Whether another thread can enter the section right now (it leaves again at once).
bool AnotherThreadEnters(CRITICAL_SECTION* section) {
  BOOL entered = FALSE;
  std::thread probe([&] {
    entered = TryEnterCriticalSection(section);
    if (entered) LeaveCriticalSection(section);
  });
  probe.join();
  return entered != FALSE;
}

TEST(CriticalSections, ReentrantAndExclusive) {
  // Shared with the waiting thread, which outlives the test if the section never lets it in.
  struct Shared {
    CRITICAL_SECTION section;
    HANDLE aboutToEnter = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE inside = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  };
  auto shared = std::make_shared<Shared>();
  CRITICAL_SECTION* section = &shared->section;
  InitializeCriticalSection(section);
  EnterCriticalSection(section);
  EnterCriticalSection(section);                  // The owner may enter again,
  EXPECT_TRUE(TryEnterCriticalSection(section));  // also without waiting.
  LeaveCriticalSection(section);
  EXPECT_FALSE(AnotherThreadEnters(section));

  std::thread waiter([shared] {
    SetEvent(shared->aboutToEnter);
    EnterCriticalSection(&shared->section);
    SetEvent(shared->inside);
    LeaveCriticalSection(&shared->section);
  });
  EXPECT_EQ(WaitForSingleObject(shared->aboutToEnter, 10000), WAIT_OBJECT_0);
  LeaveCriticalSection(section);
  EXPECT_FALSE(AnotherThreadEnters(section));  // Still held once.
  EXPECT_EQ(WaitForSingleObject(shared->inside, 0), WAIT_TIMEOUT);
  LeaveCriticalSection(section);  // The last leave lets the waiter in.
  if (WaitForSingleObject(shared->inside, 10000) != WAIT_OBJECT_0) {
    ADD_FAILURE() << "the waiting thread never entered";
    waiter.detach();
    return;
  }
  waiter.join();
  EXPECT_TRUE(AnotherThreadEnters(section));
  DeleteCriticalSection(section);
  CloseHandle(shared->aboutToEnter);
  CloseHandle(shared->inside);
}

DWORD AddOne(LPVOID parameter) {
  InterlockedIncrement(static_cast<LONG*>(parameter));
  return 42;
}

TEST(Threads, RunSignalAndReportExitCodes) {
  LONG counter = 0;
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, AddOne, &counter, CREATE_SUSPENDED, &id);
  ASSERT_NE(thread, nullptr);
  EXPECT_NE(id, GetCurrentThreadId());
  EXPECT_EQ(WaitForSingleObject(thread, 20), WAIT_TIMEOUT);  // Suspended: not yet run.
  ResumeThread(thread);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 42u);
  EXPECT_EQ(counter, 1);
  CloseHandle(thread);

  platform::testing::FailThreadCreation(1);
  EXPECT_EQ(CreateThread(nullptr, 0, AddOne, &counter, 0, nullptr), nullptr);
  HANDLE again = CreateThread(nullptr, 0, AddOne, &counter, 0, nullptr);
  ASSERT_NE(again, nullptr);
  WaitForSingleObject(again, INFINITE);
  CloseHandle(again);
}

TEST(Interlocked, Operations) {
  LONG value = 5;
  EXPECT_EQ(InterlockedIncrement(&value), 6);
  EXPECT_EQ(InterlockedDecrement(&value), 5);
  EXPECT_EQ(InterlockedExchange(&value, 9), 5);
  EXPECT_EQ(InterlockedExchangeAdd(&value, 3), 9);
  EXPECT_EQ(InterlockedCompareExchange(&value, 1, 12), 12);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(InterlockedCompareExchange(&value, 7, 12), 1);
  EXPECT_EQ(value, 1);
}

TEST(SystemInformation, ProcessorsVersionMemoryAndCodePages) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  EXPECT_GE(info.dwNumberOfProcessors, 1u);
  platform::testing::SetProcessorCount(1);
  GetSystemInfo(&info);
  EXPECT_EQ(info.dwNumberOfProcessors, 1u);
  platform::testing::SetProcessorCount(0);

  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  ASSERT_TRUE(GetVersionExA(&version));
  EXPECT_EQ(version.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
  EXPECT_EQ(std::strncmp(version.szCSDVersion, "Linux", 5), 0);

  MEMORYSTATUSEX memory = {};
  memory.dwLength = sizeof(memory);
  ASSERT_TRUE(GlobalMemoryStatusEx(&memory));
  EXPECT_GT(memory.ullTotalPhys, 0u);
  EXPECT_LE(memory.ullAvailPhys, memory.ullTotalPhys);

  EXPECT_EQ(GetACP(), 932u);
  EXPECT_EQ(GetOEMCP(), 932u);
}

TEST(CodePages, Cp932RoundTrips) {
  // u8 literals stay UTF-8 whatever the execution character set (CP932 here).
  const std::string utf8 = reinterpret_cast<const char*>(u8"表示 ｱｲｳ ﾃｽﾄ 漢字かなカナ ①");
  std::string cp932 = platform::Utf8ToCp932(utf8);
  EXPECT_EQ(static_cast<unsigned char>(cp932[0]), 0x95);
  EXPECT_EQ(static_cast<unsigned char>(cp932[1]), 0x5C);
  EXPECT_EQ(platform::Cp932ToUtf8(cp932), utf8);

  WCHAR wide[64];
  int count = MultiByteToWideChar(932, 0, cp932.c_str(), -1, wide, 64);
  ASSERT_GT(count, 0);
  char back[128];
  int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, -1, back, sizeof(back), nullptr, nullptr);
  ASSERT_GT(bytes, 0);
  EXPECT_EQ(std::string(back), utf8);
  // An invalid sequence does not swallow the text.
  EXPECT_EQ(platform::Cp932ToUtf8("a\x81"), "a?");
}

// Two threads converting at once each keep one converter per direction, opened on first use; the
// texts still convert after an invalid sequence has left a converter mid-way.
TEST(CodePages, EachThreadKeepsOneConverterPerDirection) {
  const std::string utf8 = reinterpret_cast<const char*>(u8"ログ 表示 ①");
  const std::string cp932 = platform::Utf8ToCp932(utf8);
  EXPECT_EQ(platform::Cp932ToUtf8(cp932), utf8);  // This thread has both directions open now.
  auto convert = [&](bool* ok) {
    *ok = true;
    for (int i = 0; i < 200 && *ok; ++i) {
      *ok = platform::Cp932ToUtf8(cp932) == utf8 && platform::Utf8ToCp932(utf8) == cp932 &&
            platform::Cp932ToUtf8("a\x81") == "a?";
    }
  };
  const int before = platform::testing::CountCodePageConverters();
  bool first = false, second = false;
  std::thread other(convert, &first);
  convert(&second);
  other.join();
  EXPECT_TRUE(first);
  EXPECT_TRUE(second);
  // Only the other thread opened any: its own two.
  EXPECT_EQ(platform::testing::CountCodePageConverters() - before, 2);
}

TEST(Modules, UnknownLibrariesAnswerNull) {
  EXPECT_EQ(LoadLibraryA("dwmapi.dll"), nullptr);
  EXPECT_EQ(LoadLibraryA("nonexistent.dll"), nullptr);
  EXPECT_EQ(GetProcAddress(nullptr, "Anything"), nullptr);
}

TEST(ProcessHeap, ReallocZeroesGrowthAndFaultsRefuse) {
  HANDLE heap = GetProcessHeap();
  auto* block = static_cast<unsigned char*>(HeapAlloc(heap, 0, 4));
  ASSERT_NE(block, nullptr);
  std::memset(block, 0xAB, 4);
  block = static_cast<unsigned char*>(HeapReAlloc(heap, HEAP_ZERO_MEMORY, block, 64));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block[3], 0xAB);
  for (int i = 4; i < 64; ++i) ASSERT_EQ(block[i], 0) << i;
  EXPECT_EQ(HeapSize(heap, 0, block), 64u);
  HeapFree(heap, 0, block);
  platform::testing::FailHeapAllocations(1);
  EXPECT_EQ(HeapAlloc(heap, 0, 8), nullptr);
  void* ok = HeapAlloc(heap, 0, 8);
  EXPECT_NE(ok, nullptr);
  HeapFree(heap, 0, ok);
}

class FileNamespace : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zyvel-kernel-XXXXXX";
    root_ = mkdtemp(pattern);
    platform::testing::SetMappedRoot(root_);
    std::system(("mkdir -p " + root_ + "/x").c_str());
    std::ofstream(root_ + "/x/a.txt") << "hello";
    char cwd[4096];
    saved_ = getcwd(cwd, sizeof(cwd));
  }
  void TearDown() override {
    chdir(saved_.c_str());
    platform::testing::ResetAll();
    std::system(("rm -rf " + root_).c_str());
  }
  std::string root_;
  std::string saved_;
};

std::string ReadAll(const char* name) {
  HANDLE file = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<none>";
  char buffer[256];
  DWORD read = 0;
  ReadFile(file, buffer, sizeof(buffer), &read, nullptr);
  CloseHandle(file);
  return std::string(buffer, read);
}

TEST_F(FileNamespace, DriveLettersSeparatorsAndCase) {
  EXPECT_EQ(ReadAll("C:\\X\\A.TXT"), "hello");
  EXPECT_EQ(ReadAll("d:/x/a.txt"), "hello");
  EXPECT_EQ(ReadAll("\\x\\.\\..\\X\\a.TXT"), "hello");
  EXPECT_EQ(ReadAll("C:\\X\\B.TXT"), "<none>");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(FileNamespace, BackslashInsideDoubleByteCharacterIsNoSeparator) {
  // 表 is 0x95 0x5C in CP932: the file "表.txt" must not be read as a directory "\x95" + "\.txt".
  std::ofstream(root_ + "/x/" + reinterpret_cast<const char*>(u8"表.txt")) << "table";
  EXPECT_EQ(ReadAll("C:\\x\\\x95\x5C.txt"), "table");
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA("C:\\x\\\x95\x5C*", &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(data.cFileName, "\x95\x5C.txt");
  FindClose(find);
}

TEST_F(FileNamespace, CurrentDirectoryReadsAsDrivePath) {
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\X"));
  char buffer[MAX_PATH];
  DWORD length = GetCurrentDirectoryA(sizeof(buffer), buffer);
  EXPECT_STREQ(buffer, "C:\\x");
  EXPECT_EQ(length, 4u);
  EXPECT_EQ(GetCurrentDirectoryA(2, buffer), 5u);  // Too small: the size needed.
  EXPECT_EQ(ReadAll("A.TXT"), "hello");
}

TEST_F(FileNamespace, CreateWriteSeekReadDelete) {
  const char* name = "C:\\x\\new.bin";
  HANDLE file = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(file, "0123456789", 10, &written, nullptr));
  EXPECT_EQ(written, 10u);
  CloseHandle(file);
  EXPECT_EQ(CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));

  file = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
  EXPECT_EQ(GetFileSize(file, nullptr), 10u);
  EXPECT_EQ(SetFilePointer(file, -3, nullptr, FILE_END), 7u);
  char tail[8] = {};
  DWORD read = 0;
  EXPECT_TRUE(ReadFile(file, tail, sizeof(tail), &read, nullptr));
  EXPECT_EQ(read, 3u);
  EXPECT_STREQ(tail, "789");
  EXPECT_EQ(SetFilePointer(file, -20, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  CloseHandle(file);
  EXPECT_TRUE(DeleteFileA(name));
  EXPECT_FALSE(DeleteFileA(name));
  EXPECT_EQ(GetFileAttributesA("C:\\x"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

TEST_F(FileNamespace, FindFilesWithWildcards) {
  std::ofstream(root_ + "/x/b.dat") << "1";
  std::ofstream(root_ + "/x/c.txt") << "22";
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA("C:\\X\\*.TXT", &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  do names.push_back(data.cFileName);
  while (FindNextFileA(find, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  FindClose(find);
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "c.txt"}));

  find = FindFirstFileA("C:\\x\\*", &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  int directories = 0, files = 0;
  do (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? ++directories : ++files;
  while (FindNextFileA(find, &data));
  FindClose(find);
  EXPECT_EQ(directories, 2);  // "." and "..", as on the platform.
  EXPECT_EQ(files, 3);
  EXPECT_EQ(FindFirstFileA("C:\\x\\*.none", &data), INVALID_HANDLE_VALUE);
}

TEST_F(FileNamespace, OpenFaultsAndTemporaryFiles) {
  platform::testing::FailFileOpens(1);
  EXPECT_EQ(ReadAll("C:\\x\\a.txt"), "<none>");
  EXPECT_EQ(ReadAll("C:\\x\\a.txt"), "hello");

  char temp[MAX_PATH];
  UINT unique = GetTempFileNameA("C:\\x", "zv", 0, temp);
  EXPECT_NE(unique, 0u);
  EXPECT_EQ(std::strncmp(temp, "C:\\x\\zv", 7), 0);
  EXPECT_NE(GetFileAttributesA(temp), INVALID_FILE_ATTRIBUTES);
  char tempPath[MAX_PATH];
  EXPECT_GT(GetTempPathA(sizeof(tempPath), tempPath), 0u);
}

TEST(Timer, FakeClockDrivesEveryClock) {
  platform::testing::UseFakeClock(true);
  platform::testing::SetFakeClockMilliseconds(1000);
  EXPECT_EQ(timeGetTime(), 1000u);
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  EXPECT_EQ(counter.QuadPart / frequency.QuadPart, 1);
  platform::testing::AdvanceFakeClock(2500);
  EXPECT_EQ(timeGetTime(), 1002u);
  platform::testing::UseFakeClock(false);
  TIMECAPS caps;
  EXPECT_EQ(timeGetDevCaps(&caps, sizeof(caps)), static_cast<MMRESULT>(TIMERR_NOERROR));
  EXPECT_EQ(timeBeginPeriod(1), static_cast<MMRESULT>(TIMERR_NOERROR));
  EXPECT_EQ(timeEndPeriod(1), static_cast<MMRESULT>(TIMERR_NOERROR));
}

TEST(Timer, TheDrivingThreadsSleepsAndReadingsMoveTheFakeClock) {
  platform::testing::UseFakeClock(true);
  platform::testing::SetFakeClockMilliseconds(1000);
  platform::testing::DriveFakeClockFromThisThread(true);
  Sleep(60000);  // Taken by the fake clock: no real minute passes.
  LARGE_INTEGER first, second;
  QueryPerformanceCounter(&first);
  QueryPerformanceCounter(&second);
  EXPECT_EQ(first.QuadPart, 61000001 * 10);  // The sleep, then a microsecond for the reading.
  EXPECT_EQ(second.QuadPart - first.QuadPart, 10);
  // Another thread reads the same clock without moving it.
  DWORD seen[2] = {};
  std::thread other([&] {
    seen[0] = timeGetTime();
    seen[1] = timeGetTime();
  });
  other.join();
  EXPECT_EQ(seen[0], 61000u);
  EXPECT_EQ(seen[1], 61000u);
  platform::testing::DriveFakeClockFromThisThread(false);
  EXPECT_EQ(GetTickCount(), GetTickCount());
  platform::testing::DriveFakeClockFromThisThread(true);
  platform::testing::UseFakeClock(false);  // Ends the driving too.
  platform::testing::UseFakeClock(true);
  platform::testing::SetFakeClockMilliseconds(5);
  EXPECT_EQ(timeGetTime(), timeGetTime());
  platform::testing::UseFakeClock(false);
}

// What OutputDebugStringA writes to stderr while the variable reads as given (null: unset). The
// stderr descriptor goes to a file for the call.
std::string StderrOfDebugOutput(const char* variable, const char* text) {
  if (variable)
    setenv("ZYVEL_DEBUG_OUTPUT", variable, 1);
  else
    unsetenv("ZYVEL_DEBUG_OUTPUT");
  char path[] = "/tmp/zyvel-debug-output-XXXXXX";
  const int file = mkstemp(path);
  EXPECT_GE(file, 0);
  std::fflush(stderr);
  const int saved = dup(2);
  dup2(file, 2);
  OutputDebugStringA(text);
  std::fflush(stderr);
  dup2(saved, 2);
  close(saved);
  close(file);
  unsetenv("ZYVEL_DEBUG_OUTPUT");
  std::ifstream written(path, std::ios::binary);
  std::string content((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
  std::remove(path);
  return content;
}

TEST(DebugOutput, ReachesStderrOnlyWhenAskedFor) {
  const std::string line = "\x83\x65\x83\x58\x83\x67 17987.06MB\n";  // "テスト" in CP932.
  const struct {
    const char* variable;
    std::string shown;
  } cases[] = {
      {nullptr, ""},
      {"0", ""},
      {"", ""},
      {"yes", ""},
      {"1", "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88 17987.06MB\n"},  // As UTF-8.
  };
  for (const auto& c : cases)
    EXPECT_EQ(StderrOfDebugOutput(c.variable, line.c_str()), c.shown) << (c.variable ? c.variable : "(unset)");
}

TEST(DebugOutput, ACapturingTestSeesEveryLineWithoutTheVariable) {
  std::string captured;
  platform::testing::CaptureDebugOutput([&](const std::string& text) { captured += text; });
  EXPECT_EQ(StderrOfDebugOutput(nullptr, "start-up\n"), "");
  platform::testing::CaptureDebugOutput({});
  EXPECT_EQ(captured, "start-up\n");
}

}  // namespace
