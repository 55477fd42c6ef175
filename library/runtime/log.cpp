// Log: lines of text in "Log.txt" in the start-up directory, and the same text on the debugger
// output. A new line starts with the milliseconds since the log was opened and one tab per indent
// level; line feeds become CR LF. The file is opened, appended to and closed for every text, so it
// is complete at every moment.
//
// The library's text is CP932; on disk the log is UTF-8, so each finished piece is converted as
// it is written (the debugger output gets the CP932 text, as every other caller's). One re-entrant
// lock makes each text one unit: writers on other threads (sound, file workers) neither lose
// their text to a file held open by another writer nor break into its line. Nothing under that
// lock allocates from the tracked heap, whose own lock is held while it logs.
#include <climits>
#include <cstdarg>
#include <cstring>

#include "platform/kernel.h"
#include "platform/winmm.h"
#include "runtime/log.h"
#include "runtime/runtime_state.h"
#include "zyvel/runtime.h"

namespace {

// Texts up to this length are converted in buffers on the stack.
constexpr int kShortText = 255;

LogState& Log() { return g_runtime.log; }

CRITICAL_SECTION* LogSection() {
  static CRITICAL_SECTION* section = [] {
    static CRITICAL_SECTION storage;
    InitializeCriticalSection(&storage);
    return &storage;
  }();
  return section;
}

class LogLock {
 public:
  LogLock() { EnterCriticalSection(LogSection()); }
  ~LogLock() { LeaveCriticalSection(LogSection()); }
  LogLock(const LogLock&) = delete;
  LogLock& operator=(const LogLock&) = delete;
};

// Copies `text` into `out` (room for 2 × length + 1 bytes) with every line feed turned into CR LF,
// until the first line feed that already follows a carriage return: from there on the text is
// taken to have its own line ends and is copied unchanged. Double-byte characters are stepped
// over whole, so a trail byte is never taken for a line feed. Returns the length written.
int ConvertLineEnds(const char* text, int length, char* out) {
  const int charSet = g_runtime.charSet;
  int in = 0;
  int written = 0;
  bool afterCarriageReturn = false;
  while (in < length) {
    if (CheckLeadByte(text + in, charSet) && in + 1 < length) {
      out[written++] = text[in++];
      out[written++] = text[in++];
      afterCarriageReturn = false;
      continue;
    }
    const char ch = text[in];
    if (ch == '\n') {
      if (afterCarriageReturn) {
        std::memcpy(out + written, text + in, static_cast<size_t>(length - in));
        written += length - in;
        break;
      }
      out[written++] = '\r';
    }
    out[written++] = ch;
    afterCarriageReturn = ch == '\r';
    ++in;
  }
  out[written] = 0;
  return written;
}

// CP932 to UTF-8 through UTF-16; `wide` holds `length` units and `out` 3 × `length` bytes, which
// every CP932 text fits. Returns the UTF-8 length.
int ConvertToUtf8(const char* text, int length, WCHAR* wide, char* out) {
  if (length == 0) return 0;
  const int units = MultiByteToWideChar(932, 0, text, length, wide, length);
  if (units <= 0) return 0;
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, units, out, length * 3, nullptr, nullptr);
  return bytes < 0 ? 0 : bytes;
}

// The log file's name in the log directory (or in the current directory while none is set).
void MakeLogPath(char* out, int outSize) {
  const LogState& log = Log();
  if (log.directory[0] == 0) {
    FormatText(out, outSize, "%s", log.fileName);
    return;
  }
  // The last character decides, read as characters: "表" ends in the byte 0x5C, no separator.
  bool endsInSeparator = false;
  const int charSet = g_runtime.charSet;
  for (const char* p = log.directory; *p;) {
    if (CheckLeadByte(p, charSet) && p[1] != 0) {
      endsInSeparator = false;
      p += 2;
    } else {
      endsInSeparator = *p == '\\' || *p == '/';
      ++p;
    }
  }
  FormatText(out, outSize, "%s%s%s", log.directory, endsInSeparator ? "" : "\\", log.fileName);
}

void WriteFileText(HANDLE file, const char* text, int length) {
  DWORD written = 0;
  if (length > 0) WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr);
}

// Under the log lock: the time stamp and indent for a new line, then the text.
void WritePiece(const char* text, const char* utf8, int utf8Length, bool endsWithLineFeed) {
  LogState& log = Log();
  if (log.fileOutputOff != 0 || log.directory[0] == 0) return;
  char path[MAX_PATH + 80];
  MakeLogPath(path, sizeof(path));
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  SetFilePointer(file, 0, nullptr, FILE_END);

  if (log.midLine == 0) {
    if (log.noTimeStamp == 0) {
      char stamp[16];
      FormatText(stamp, sizeof(stamp), "%d:", static_cast<int>(timeGetTime() - log.startTime));
      WriteFileText(file, stamp, static_cast<int>(std::strlen(stamp)));
      OutputDebugStringA(stamp);
    }
    if (log.indentLevel > 0) {
      char tabs[65];
      std::memset(tabs, '\t', 64);
      for (int left = log.indentLevel; left > 0; left -= 64) {
        const int count = left < 64 ? left : 64;
        tabs[count] = 0;
        WriteFileText(file, tabs, count);
        OutputDebugStringA(tabs);
        tabs[count] = '\t';
      }
    }
  }
  WriteFileText(file, utf8, utf8Length);
  OutputDebugStringA(text);
  log.midLine = endsWithLineFeed ? 0 : 1;
  CloseHandle(file);
}

}  // namespace

int SetLogDirectory(const char* directory) {
  LogLock lock;
  CopyStringN(Log().directory, directory ? directory : "", static_cast<int>(sizeof(Log().directory)) - 1);
  return 0;
}

int OpenLogFile() {
  LogLock lock;
  LogState& log = Log();
  if (log.fileOutputOff != 0) return 0;
  if (log.datedName != 0) {
    DateTimeRecord now;
    ReadLocalDateTime(&now);
    char year[12], month[12], day[12], hour[12], minute[12], second[12];
    FormatText(log.fileName, sizeof(log.fileName), "Log%s_%s_%s_%s_%s_%s.txt", IntToText(now.year, year, 10),
               IntToText(now.month, month, 10), IntToText(now.day, day, 10), IntToText(now.hour, hour, 10),
               IntToText(now.minute, minute, 10), IntToText(now.second, second, 10));
  } else {
    CopyString(log.fileName, "Log.txt");
  }
  // A file left from an earlier run is emptied even when it cannot be deleted.
  char path[MAX_PATH + 80];
  MakeLogPath(path, sizeof(path));
  DeleteFileA(path);
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  log.indentLevel = 0;
  log.midLine = 0;
  log.startTime = timeGetTime();
  return 0;
}

int AddLogText(const char* text) {
  if (!text) return -1;
  const size_t length = std::strlen(text);
  if (length == 0) return -1;
  // Room for CR LF line ends, then the UTF-16 and UTF-8 forms of the result.
  if (length > static_cast<size_t>((INT_MAX / 6 - 1) / 2)) return -1;
  const int converted = static_cast<int>(length) * 2 + 1;

  char shortConverted[kShortText * 2 + 1];
  WCHAR shortWide[kShortText * 2 + 1];
  char shortUtf8[(kShortText * 2 + 1) * 3];
  char* lineEnds = shortConverted;
  WCHAR* wide = shortWide;
  char* utf8 = shortUtf8;
  void* block = nullptr;
  if (length > static_cast<size_t>(kShortText)) {
    block = ZV_ALLOC(converted * static_cast<int>(1 + sizeof(WCHAR) + 3));
    if (!block) return -1;
    wide = static_cast<WCHAR*>(block);
    lineEnds = reinterpret_cast<char*>(wide + converted);
    utf8 = lineEnds + converted;
  }

  const int lineEndsLength = ConvertLineEnds(text, static_cast<int>(length), lineEnds);
  const int utf8Length = ConvertToUtf8(lineEnds, lineEndsLength, wide, utf8);
  {
    LogLock lock;
    WritePiece(lineEnds, utf8, utf8Length, lineEnds[lineEndsLength - 1] == '\n');
  }
  ZV_FREE(block);
  return -1;
}

int WriteLogFormat(const char* format, ...) {
  char text[1024];
  va_list arguments;
  va_start(arguments, format);
  // The line end always fits: the text is cut one byte short of the buffer.
  FormatTextV(text, static_cast<int>(sizeof(text)) - 1, format, arguments);
  va_end(arguments);
  const size_t length = std::strlen(text);
  text[length] = '\n';
  text[length + 1] = 0;
  return AddLogText(text);
}

int PushLogIndent() {
  LogLock lock;
  ++Log().indentLevel;
  return 0;
}

int PopLogIndent() {
  LogLock lock;
  if (Log().indentLevel > 0) --Log().indentLevel;
  return 0;
}
