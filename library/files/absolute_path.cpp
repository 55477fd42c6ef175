// Full paths, built textually: "." and ".." are resolved without asking the file system, and a
// double-byte character is one unit (its trail byte may be 0x5C, which is no separator then).
// The archive look-up uses the same rules on an upper-cased path.
#include <cstring>

#include "files/archive_files.h"
#include "files/file_functions.h"
#include "runtime/runtime_services.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }
bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// A bounded output: once something does not fit, the whole result is refused.
struct PathOutput {
  char* text;
  int capacity;
  int length = 0;
  bool overflow = false;

  void Append(const char* bytes, int count, bool upperCase, int charSet) {
    if (length + count >= capacity) {
      overflow = true;
      return;
    }
    for (int i = 0; i < count; ++i) {
      if (upperCase && CheckLeadByte(bytes + i, charSet) && i + 1 < count) {
        text[length++] = bytes[i];
        text[length++] = bytes[++i];
        continue;
      }
      text[length++] = upperCase ? UpperAscii(bytes[i]) : bytes[i];
    }
    text[length] = 0;
  }

  // Drops the last component, back to the previous "\" (never a trail byte), keeping a drive.
  void RemoveLastComponent(int charSet) {
    int lastSeparator = -1;
    for (int i = 0; i < length; ++i) {
      if (CheckLeadByte(text + i, charSet) && i + 1 < length) {
        ++i;
        continue;
      }
      if (IsSeparator(text[i])) lastSeparator = i;
    }
    if (lastSeparator < 0) return;
    length = lastSeparator;
    text[length] = 0;
  }
};

int BuildFullPath(const char* path, const char* base, char* out, int outSize, bool upperCase) {
  const int charSet = GetCharSet();
  PathOutput output{out, outSize};
  out[0] = 0;
  if (!path) {
    output.Append(base, static_cast<int>(std::strlen(base)), upperCase, charSet);
    if (output.overflow) out[0] = 0;
    return output.overflow ? -1 : 0;
  }
  const char* p = path;
  if (IsSeparator(p[0]) && p[1] == p[0]) {
    output.Append("\\", 1, false, charSet);  // A network path.
    p += 2;
  } else if (IsSeparator(p[0])) {
    output.Append(base, std::strlen(base) >= 2 ? 2 : static_cast<int>(std::strlen(base)), upperCase, charSet);
    p += 1;
  } else if (IsAsciiLetter(p[0]) && p[1] == ':') {
    output.Append(p, 2, upperCase, charSet);
    p += 2;
    if (IsSeparator(*p)) ++p;
  } else {
    // One trailing separator goes, unless that byte is the trail byte of a double-byte character.
    int baseLength = 0, lastCharacter = -1;
    for (const char* b = base; *b;) {
      lastCharacter = static_cast<int>(b - base);
      b += (CheckLeadByte(b, charSet) && b[1]) ? 2 : 1;
    }
    baseLength = static_cast<int>(std::strlen(base));
    if (lastCharacter >= 0 && IsSeparator(base[lastCharacter])) baseLength = lastCharacter;
    output.Append(base, baseLength, upperCase, charSet);
  }
  while (*p && !output.overflow) {
    const char* start = p;
    while (*p && !IsSeparator(*p)) p += (CheckLeadByte(p, charSet) && p[1]) ? 2 : 1;
    const int length = static_cast<int>(p - start);
    if (length > 255) {
      output.overflow = true;
      break;
    }
    if (!*p) {  // The final component goes in unresolved.
      if (length > 0) {
        output.Append("\\", 1, false, charSet);
        output.Append(start, length, upperCase, charSet);
      }
      break;
    }
    ++p;  // The separator.
    if (length == 0 || (length == 1 && start[0] == '.')) continue;
    if (length == 2 && start[0] == '.' && start[1] == '.') {
      output.RemoveLastComponent(charSet);
      continue;
    }
    output.Append("\\", 1, false, charSet);
    output.Append(start, length, upperCase, charSet);
  }
  if (output.overflow) {
    out[0] = 0;
    return -1;
  }
  return 0;
}

}  // namespace

int MakeAbsolutePath(const char* path, char* out, const char* baseDir) {
  char current[MAX_PATH] = {0};
  if (!baseDir) {
    GetFileFunctions()->GetDir(current);
    current[MAX_PATH - 1] = 0;
    baseDir = current;
  }
  return BuildFullPath(path, baseDir, out, MAX_PATH, false);
}

int NormalizeArchivePath(char* out, const char* path) {
  char current[MAX_PATH] = {0};
  DWORD length = GetCurrentDirectoryA(MAX_PATH, current);
  if (length == 0 || length >= MAX_PATH) current[0] = 0;
  return BuildFullPath(path, current, out, MAX_PATH, true);
}
