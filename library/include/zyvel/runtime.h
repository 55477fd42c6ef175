// Zyvel runtime: start-up and shut-down, window and messages, the tracked heap, the log, string,
// number, time and random helpers, handles, files, archives, streams and input.
//
// Every function returns 0 (or a new handle) on success and -1 on failure, with one log line;
// yes/no queries return 1 or 0. Text is multi-byte text in the active character set (CP932).
#pragma once

#include <cstdarg>
#include <cstdint>

// ---- Character sets ----
enum CharSetId : int {
  CHARSET_DEFAULT = 0,
  CHARSET_SHIFTJIS = 1,
  CHARSET_HANGEUL = 2,
  CHARSET_BIG5 = 3,
  CHARSET_GB2312 = 4,
};

// ---- String, memory and number helpers ----
int CheckLeadByte(const char* p, int charSet);
int GetByteKindAt(const char* text, int index, int charSet);
const char* CopyString(char* dst, const char* src);
const char* CopyStringN(char* dst, const char* src, int count);
char* FindCharInString(const char* text, int ch);
int CompareStrings(const char* a, const char* b);
char* UpperCaseString(char* text);
int CompareStringsN(const char* a, const char* b, int count);
void FillBytes(void* dst, int value, unsigned count);
int CompareBytes(const void* a, const void* b, int count);
void* CopyBytes(void* dst, const void* src, int count);
void* MoveBytes(void* dst, const void* src, int count);
void SinCosFloat(float angle, float* sinOut, float* cosOut);
int AbsInt(int value);
float AbsFloat(float value);
int FloatToInt(float value);
int DoubleToInt(double value);
float SqrtFloat(float value);
char* IntToText(int value, char* out, int base);
void MulU64ToU128(const uint64_t* a, const uint64_t* b, uint32_t out[4]);
int DivU128ByU64(const uint32_t dividend[4], const uint64_t* divisor, uint64_t* quotient);
float PowerFloat(float x, float y);
// printf-style formatting into `out`, which holds `outSize` bytes; longer results are cut short.
int FormatTextV(char* out, int outSize, const char* format, va_list arguments);
int FormatText(char* out, int outSize, const char* format, ...) __attribute__((format(printf, 3, 4)));

// ---- Clocks and random numbers ----
struct DateTimeRecord {
  int year;
  int month;
  int day;
  int hour;
  int minute;
  int second;
};
int GetMillisecondCount();
uint64_t GetMicrosecondCount(int useCpuCounter);
int ReadLocalDateTime(DateTimeRecord* out);
int SeedRandom(int seed);
uint32_t RandomNext();
int RandomUpTo(int max);
int HasMmxInstructions();

// ---- Tracked heap ----
void* AllocTrackedMemory(int size, const char* callerName, int line);
void* AllocTrackedMemoryZeroed(int size, const char* callerName, int line);
void FreeTrackedMemory(void* data);
void* ReallocTrackedMemory(void* data, int size, const char* callerName, int line);
int CheckTrackedMemory();
void DumpTrackedMemory();
void LogTrackedTotals();

// The library allocates through these, so every block carries its source file and line.
#define ZV_ALLOC(size) AllocTrackedMemory((size), __FILE__, __LINE__)
#define ZV_ALLOC_ZEROED(size) AllocTrackedMemoryZeroed((size), __FILE__, __LINE__)
#define ZV_REALLOC(data, size) ReallocTrackedMemory((data), (size), __FILE__, __LINE__)
#define ZV_FREE(data) FreeTrackedMemory(data)

// ---- Log ----
int OpenLogFile();
int AddLogText(const char* text);
int WriteLogFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
int PushLogIndent();
int PopLogIndent();

// ---- Stream-function sets and memory streams ----
// Loaders read through a set of six operations, so files, archive members and memory images
// read alike. A stream is an opaque pointer-sized value owned by the set that made it.
typedef uintptr_t StreamHandle;

// Where a seek's offset counts from.
enum StreamSeekOrigin : int {
  STREAM_SEEK_START = 0,
  STREAM_SEEK_CURRENT = 1,
  STREAM_SEEK_END = 2,
};

struct StreamFunctionSet {
  int (*Tell)(StreamHandle stream);
  int (*Seek)(StreamHandle stream, int offset, int origin);  // origin: a StreamSeekOrigin
  int (*Read)(void* buffer, int itemSize, int count, StreamHandle stream);  // whole items read
  int (*Eof)(StreamHandle stream);       // non-zero at the end
  int (*IdleWait)(StreamHandle stream);  // 1 when no asynchronous work is pending
  int (*Close)(StreamHandle stream);
};

struct MemoryStream {
  const void* data;  // The caller's block; never owned or freed by the stream.
  int size;
  int position;
  int eof;
};

const StreamFunctionSet* GetFileStreamFuncs();
const StreamFunctionSet* GetMemoryStreamFuncs();
// Start-up writes both sets again.
int FillStreamFunctionSets();

MemoryStream* OpenMemoryStream(const void* data, int size);
int CloseMemoryStream(StreamHandle stream);
int MemoryStreamTell(StreamHandle stream);
int MemoryStreamSeek(StreamHandle stream, int offset, int origin);
int MemoryStreamRead(void* buffer, int itemSize, int count, StreamHandle stream);
int MemoryStreamEof(StreamHandle stream);
int MemoryStreamIdleWait(StreamHandle stream);

// The file set's operations: dispatchers into the installed file-function table.
int StreamFileTell(StreamHandle stream);
int StreamFileSeek(StreamHandle stream, int offset, int origin);
int StreamFileRead(void* buffer, int itemSize, int count, StreamHandle stream);
int StreamFileEof(StreamHandle stream);
int StreamFileIdleWait(StreamHandle stream);
int StreamFileClose(StreamHandle stream);

// ---- Start-up, shut-down and fatal exits ----
// Logs the message, shuts the library down and ends the process with exit code -1.
[[noreturn]] void AbortWithLog(const char* message);
[[noreturn]] void AbortWithLogFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

// ---- Start-up, shut-down, call lock, main window and message processing ----
#include "platform/types.h"

// The program's three entries: start-up, shut-down and the once-per-frame message processing.
int InitializeLibrary();
int FinishLibrary();
// 0, or -1 once the window was closed or quit was asked.
int ProcessWindowMessages();
// The library-wide call lock: re-entrant, handed over first-in first-out.
void ApiLockEnter();
void ApiLockLeave();

// Window settings; before start-up they are only recorded.
int ChangeWindowMode(int windowed);
int ChangeWindowTitle(const char* text);
int ApplyWindowIcon(int id);

int IsQuitRequested();
HWND GetMainWindow();
int IsWindowedMode();
int IsWindowActive();
int GetRunWhileInactive();
int IsMMXUsable();
int IsWindowClosing();
int QueryDesktopMode(int* width, int* height, int* bits);
double GetWindowScale(double* x, double* y);
int GetClientScreenRect(RECT* out);

// ---- Mouse cursor ----
// 1 shows the cursor, 0 hides it (it stays while the menu is on screen), -1 only re-evaluates.
int SetCursorVisible(int flag);
// The mouse in screen pixels (windowed: relative to the client area, divided by the window
// scale); either pointer may be null.
int QueryMousePosition(int* x, int* y);
// Moves the cursor to screen pixel (x, y), each limited to 0..the screen size.
int MoveMouseCursor(int x, int y);

// ---- Clipboard (text) ----
// Copies the clipboard's text into `buffer` (`bufferSize` bytes, cut to fit) and returns 0; with
// a null buffer returns the size of the clipboard's text block + 1. -1 when the clipboard cannot
// be opened or holds no text.
int GetClipboardText(char* buffer, int bufferSize);
// 0 in every case.
int SetClipboardText(const char* text);
// ---- Tracked heap: block headers ----
// Sits directly ahead of every tracked block's data. The first 40 bytes are the block's fields;
// the check copy repeats them, so damage to a header (an overrun of the block before it) shows.
struct TrackedBlockHeader {
  char tag[16];  // The last 15 characters of the allocating source file's name.
  uint16_t id;   // The heap's running block number when the block was made or last re-sized.
  uint16_t line;
  int32_t size;
  TrackedBlockHeader* older;  // The sentinel for the oldest block.
  TrackedBlockHeader* newer;  // Null for the newest block.
  unsigned char checkCopy[40];
};
static_assert(sizeof(TrackedBlockHeader) == 80 && sizeof(TrackedBlockHeader) % 16 == 0,
              "the data after a header keeps 16-byte alignment");

// Writes one block's line (size, tag, line, id, address and its first bytes) to the log.
void LogTrackedBlock(const TrackedBlockHeader* header);
// ---- Keyboard, mouse device and joypad input ----
// Keys are DirectInput key codes (0-255).
// Result bits of GetPadInputBits.
enum PadInputBit : int {
  PAD_BIT_DOWN = 0x1,
  PAD_BIT_LEFT = 0x2,
  PAD_BIT_RIGHT = 0x4,
  PAD_BIT_UP = 0x8,
  PAD_BIT_FIRST_BUTTON = 0x10,  // Button n (from 0) is PAD_BIT_FIRST_BUTTON << n.
};
// Added to a pad number: the keys mapped onto the pad's bits count as well.
constexpr int PAD_WITH_KEYBOARD = 0x1000;
int StartInputDevices();
int ReleaseInputDevices();
int SetupJoypads();
int ReleaseJoypads();
int RefreshKeyboardState();
int RefreshJoypadState(int padIndex);
// 1 while the key is held.
int IsKeyDown(int key);
// kind: pad number 1-16 (0 none), plus PAD_WITH_KEYBOARD.
int GetPadInputBits(int kind);
int StopJoypadVibration(int pad);
int ProcessJoypadEffects();
int RefreshEffectPlayState();
int ReacquireInputDevices();
int SetKeyFlag1();
int ClearKeyFlag1();
int SetKeyFlag2();
int ClearKeyFlag2();

// ---- Files and archives ----
// Every file the library reads goes through one replaceable table of twelve operations. By
// default it holds the archive-aware set, which serves a file from an archive named after one of
// the leading directories of its path ("DATA.ZVA" for "data\\img\\a.png") and opens the plain
// file only when no such archive exists; with the plain-files-only start-up option it holds the
// plain-file set. Both sets are guarded by one recursive lock, so the sound thread may use them.

// A file date in local time (milliseconds and the day of the week are dropped).
struct FileDateData {
  int year;
  int month;
  int day;
  int hour;
  int minute;
  int second;
};

// One entry reported by FindFirst and FindNext.
struct FileFindData {
  char name[260];  // No directory part.
  int isDirectory;
  uint32_t sizeLow;
  uint32_t sizeHigh;
  FileDateData creation;
  FileDateData lastWrite;
};

// A find handle; -1 is "no handle".
typedef intptr_t FileFindHandle;

struct FileFunctionTable {
  StreamHandle (*Open)(const char* path, int useCache, int ignored, int asynchronous);  // 0 on failure
  int (*Close)(StreamHandle stream);
  int (*Tell)(StreamHandle stream);
  int (*Seek)(StreamHandle stream, int offset, int origin);
  int (*Read)(void* buffer, int itemSize, int count, StreamHandle stream);
  int (*Eof)(StreamHandle stream);
  int (*IdleWait)(StreamHandle stream);
  int (*SetDir)(const char* path);
  int (*GetDir)(char* buffer);  // The buffer holds 260 bytes.
  FileFindHandle (*FindFirst)(const char* pattern, FileFindData* out);
  int (*FindNext)(FileFindHandle find, FileFindData* out);
  int (*FindClose)(FileFindHandle find);
};

// Copies a caller's table; null installs the plain-file set when the plain-files-only start-up
// option is 1 and the archive-aware set otherwise.
int InstallFileFunctions(const FileFunctionTable* table);
// The table in use (start-up saves the current directory through its GetDir slot and shut-down
// restores it through SetDir).
const FileFunctionTable* GetFileFunctions();
// Closes the archives that no open file or search uses any more.
int ReleaseUnusedArchives();

// The opener of the file set; every loader opens with (path, 0, 1, 0).
StreamHandle StreamFileOpen(const char* path, int useCache, int ignored, int asynchronous);

// The plain-file set: Windows files, served by a worker thread when useCache (128 KB read-ahead)
// or asynchronous is asked.
StreamHandle PlainFileOpen(const char* path, int useCache, int ignored, int asynchronous);
int PlainFileClose(StreamHandle stream);
int PlainFileTell(StreamHandle stream);
int PlainFileSeek(StreamHandle stream, int offset, int origin);
int PlainFileRead(void* buffer, int itemSize, int count, StreamHandle stream);
int PlainFileEof(StreamHandle stream);
int PlainFileIdleWait(StreamHandle stream);
int PlainFileSetDir(const char* path);
int PlainFileGetDir(char* buffer);
FileFindHandle PlainFileFindFirst(const char* pattern, FileFindData* out);
int PlainFileFindNext(FileFindHandle find, FileFindData* out);
int PlainFileFindClose(FileFindHandle find);

// The archive-aware set. Stream handles are the open-file slot OR 0xF0000000.
StreamHandle ArchiveAwareOpen(const char* path, int useCache, int ignored, int asynchronous);
int ArchiveAwareClose(StreamHandle stream);
int ArchiveAwareTell(StreamHandle stream);
int ArchiveAwareSeek(StreamHandle stream, int offset, int origin);
int ArchiveAwareRead(void* buffer, int itemSize, int count, StreamHandle stream);
int ArchiveAwareEof(StreamHandle stream);
int ArchiveAwareIdleWait(StreamHandle stream);
int ArchiveAwareSetDir(const char* path);  // 0 even when the directory does not exist.
int ArchiveAwareGetDir(char* buffer);
FileFindHandle ArchiveAwareFindFirst(const char* pattern, FileFindData* out);
int ArchiveAwareFindNext(FileFindHandle find, FileFindData* out);
int ArchiveAwareFindClose(FileFindHandle find);

// The full path of `path` (null: the base itself) against `baseDir` (null: the current directory
// read through the table's GetDir). `out` holds 260 bytes; -1 (and an empty `out`) when the result
// does not fit.
int MakeAbsolutePath(const char* path, char* out, const char* baseDir);
// Creates an empty temporary file for writing and returns its Windows HANDLE, null on any
// failure; `outPath` (260 bytes, or null) receives its full path.
void* MakeTempFile(char* outPath);
