// Zyvel runtime: character sets, string, number, time and random helpers, the tracked heap, the
// log and the stream-function sets.
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

// ---- Fatal exits ----
// Logs the message, shuts the library down and ends the process with exit code -1.
[[noreturn]] void AbortWithLog(const char* message);
[[noreturn]] void AbortWithLogFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

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
  int (*Seek)(StreamHandle stream, int offset, int origin);                 // origin: a StreamSeekOrigin
  int (*Read)(void* buffer, int itemSize, int count, StreamHandle stream);  // whole items read
  int (*Eof)(StreamHandle stream);                                          // non-zero at the end
  int (*IdleWait)(StreamHandle stream);                                     // 1 when no asynchronous work is pending
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
