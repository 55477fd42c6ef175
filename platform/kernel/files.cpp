// Files, find-file, directories and temporary files over the Windows-shaped path namespace.
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "kernel/objects.h"
#include "kernel/state.h"
#include "platform/testing.h"

namespace platform {
namespace {

constexpr uint64_t kFileTimeUnixEpoch = 116444736000000000ull;

struct FileObject : KernelObject {
  FileObject() : KernelObject(ObjectKind::File) {}
  ~FileObject() override {
    if (fd >= 0) close(fd);
  }
  int fd = -1;
};

struct FindObject : KernelObject {
  FindObject() : KernelObject(ObjectKind::Find) {}
  std::string directory;           // Linux path.
  std::vector<std::string> names;  // UTF-8 names that match, in directory order.
  size_t next = 0;
};

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Splits a CP932 name at "\" and "/", never inside a double-byte character.
std::vector<std::string> SplitComponents(const std::string& text) {
  std::vector<std::string> parts;
  std::string current;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (IsCp932LeadByte(c) && i + 1 < text.size()) {
      current += text[i];
      current += text[++i];
      continue;
    }
    if (IsSeparator(text[i])) {
      if (!current.empty()) parts.push_back(current);
      current.clear();
      continue;
    }
    current += text[i];
  }
  if (!current.empty()) parts.push_back(current);
  return parts;
}

std::string MappedRoot() {
  std::lock_guard<std::mutex> lock(State().mutex);
  return State().mappedRoot;
}

std::string JoinLinux(const std::string& directory, const std::string& name) {
  if (directory.empty() || directory.back() == '/') return directory + name;
  return directory + "/" + name;
}

// The entry of `directory` named `name`, exactly when it exists, else the first entry equal to it
// without regard to ASCII case; `name` itself when neither exists (a file about to be created).
std::string MatchEntry(const std::string& directory, const std::string& name) {
  std::string exact = JoinLinux(directory, name);
  struct stat info;
  if (lstat(exact.c_str(), &info) == 0) return name;
  DIR* dir = opendir(directory.empty() ? "/" : directory.c_str());
  if (!dir) return name;
  std::string found = name;
  while (dirent* entry = readdir(dir)) {
    if (strcasecmp(entry->d_name, name.c_str()) == 0) {
      found = entry->d_name;
      break;
    }
  }
  closedir(dir);
  return found;
}

std::string CurrentLinuxDirectory() {
  char buffer[PATH_MAX];
  if (!getcwd(buffer, sizeof(buffer))) return "/";
  return buffer;
}

DWORD ErrorOfErrno(int error) {
  switch (error) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_ACCESS_DENIED;
  }
}

FILETIME FileTimeOf(const timespec& time) {
  uint64_t value = kFileTimeUnixEpoch + static_cast<uint64_t>(time.tv_sec) * 10000000u +
                   static_cast<uint64_t>(time.tv_nsec) / 100u;
  return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

DWORD AttributesOf(const struct stat& info) {
  DWORD attributes = 0;
  if (S_ISDIR(info.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  if (!(info.st_mode & S_IWUSR)) attributes |= FILE_ATTRIBUTE_READONLY;
  if (attributes == 0) attributes = FILE_ATTRIBUTE_ARCHIVE;
  return attributes;
}

// Wildcard match of CP932 names, without regard to ASCII case: "*" any run, "?" one character.
bool MatchWildcard(const char* pattern, const char* name) {
  while (*pattern) {
    unsigned char p = static_cast<unsigned char>(*pattern);
    if (p == '*') {
      while (*pattern == '*') ++pattern;
      if (!*pattern) return true;
      for (const char* rest = name;;) {
        if (MatchWildcard(pattern, rest)) return true;
        if (!*rest) return false;
        rest += (IsCp932LeadByte(static_cast<unsigned char>(*rest)) && rest[1]) ? 2 : 1;
      }
    }
    if (!*name) {
      // "*.*" and "name.*" also match a name without a dot, as on the platform.
      return std::strcmp(pattern, ".*") == 0;
    }
    bool patternDouble = IsCp932LeadByte(p) && pattern[1];
    bool nameDouble = IsCp932LeadByte(static_cast<unsigned char>(*name)) && name[1];
    if (p == '?') {
      ++pattern;
      name += nameDouble ? 2 : 1;
      continue;
    }
    if (patternDouble || nameDouble) {
      if (!patternDouble || !nameDouble || pattern[0] != name[0] || pattern[1] != name[1]) return false;
      pattern += 2;
      name += 2;
      continue;
    }
    if (std::tolower(p) != std::tolower(static_cast<unsigned char>(*name))) return false;
    ++pattern;
    ++name;
  }
  return *name == 0;
}

void FillFindData(const std::string& directory, const std::string& name, WIN32_FIND_DATAA* data) {
  std::memset(data, 0, sizeof(*data));
  struct stat info;
  if (stat(JoinLinux(directory, name).c_str(), &info) == 0) {
    data->dwFileAttributes = AttributesOf(info);
    data->ftCreationTime = FileTimeOf(info.st_ctim);
    data->ftLastAccessTime = FileTimeOf(info.st_atim);
    data->ftLastWriteTime = FileTimeOf(info.st_mtim);
    if (!S_ISDIR(info.st_mode)) {
      data->nFileSizeLow = static_cast<DWORD>(info.st_size);
      data->nFileSizeHigh = static_cast<DWORD>(static_cast<uint64_t>(info.st_size) >> 32);
    }
  } else {
    data->dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
  }
  std::string windowsName = Utf8ToCp932(name);
  std::snprintf(data->cFileName, sizeof(data->cFileName), "%s", windowsName.c_str());
}

FileObject* LookUpFile(HANDLE handle) {
  auto* file = static_cast<FileObject*>(LookUpObject(handle, ObjectKind::File));
  if (!file) SetLastError(ERROR_INVALID_HANDLE);
  return file;
}

}  // namespace

std::string ResolvePath(const char* name) {
  if (!name || !*name) return "";
  std::string text = name;
  std::string base;
  size_t start = 0;
  bool hasDrive = text.size() >= 2 && text[1] == ':' && std::isalpha(static_cast<unsigned char>(text[0]));
  if (hasDrive) {
    base = MappedRoot();
    start = 2;
  } else if (IsSeparator(text[0])) {
    base = MappedRoot();
  } else {
    base = CurrentLinuxDirectory();
  }
  std::vector<std::string> resolved;  // Components below `base`.
  for (const std::string& part : SplitComponents(text.substr(start))) {
    if (part == ".") continue;
    if (part == "..") {
      if (!resolved.empty()) {
        resolved.pop_back();
      } else if (!hasDrive && !IsSeparator(text[0])) {
        // Relative names may climb above the current directory.
        size_t slash = base.find_last_of('/');
        base = slash == 0 || slash == std::string::npos ? "/" : base.substr(0, slash);
      }
      continue;
    }
    std::string directory = base;
    for (const std::string& done : resolved) directory = JoinLinux(directory, done);
    resolved.push_back(MatchEntry(directory, Cp932ToUtf8(part)));
  }
  std::string path = base;
  for (const std::string& part : resolved) path = JoinLinux(path, part);
  return path.empty() ? "/" : path;
}

std::string WindowsPathOf(const std::string& linuxPath) {
  std::string root = MappedRoot();
  std::string relative = linuxPath;
  if (root != "/" && !root.empty()) {
    std::string prefix = root.back() == '/' ? root : root + "/";
    // The slash comes from the prefix rather than a literal: g++ 12 sees a false overlap in
    // memcpy when a one-character literal is joined to a string here (-Wrestrict).
    if (linuxPath == root || linuxPath + "/" == prefix)
      relative = prefix.substr(prefix.size() - 1);
    else if (linuxPath.compare(0, prefix.size(), prefix) == 0)
      relative = linuxPath.substr(prefix.size() - 1);
  }
  std::string windows = "C:";
  for (char c : relative) windows += c == '/' ? '\\' : c;
  if (windows == "C:") windows = "C:\\";
  return Utf8ToCp932(windows);
}

}  // namespace platform

using namespace platform;

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD creation, DWORD, HANDLE) {
  if (TakeFault(State().failFileOpens)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  std::string path = ResolvePath(name);
  if (path.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  int flags = O_CLOEXEC;
  bool reading = access & GENERIC_READ, writing = access & GENERIC_WRITE;
  flags |= reading && writing ? O_RDWR : writing ? O_WRONLY : O_RDONLY;
  switch (creation) {
    case CREATE_NEW:
      flags |= O_CREAT | O_EXCL;
      break;
    case CREATE_ALWAYS:
      flags |= O_CREAT | O_TRUNC;
      break;
    case OPEN_EXISTING:
      break;
    case OPEN_ALWAYS:
      flags |= O_CREAT;
      break;
    case TRUNCATE_EXISTING:
      flags |= O_TRUNC;
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
  }
  struct stat info;
  if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  bool existed = stat(path.c_str(), &info) == 0;
  int fd = open(path.c_str(), flags, 0644);
  if (fd < 0) {
    SetLastError(ErrorOfErrno(errno));
    return INVALID_HANDLE_VALUE;
  }
  auto* file = new FileObject;
  file->fd = fd;
  SetLastError(existed && (creation == CREATE_ALWAYS || creation == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                 : ERROR_SUCCESS);
  return RegisterObject(file);
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD toRead, LPDWORD read, OVERLAPPED*) {
  if (read) *read = 0;
  FileObject* file = LookUpFile(handle);
  if (!file) return FALSE;
  DWORD done = 0;
  while (done < toRead) {
    ssize_t got = ::read(file->fd, static_cast<char*>(buffer) + done, toRead - done);
    if (got < 0) {
      if (errno == EINTR) continue;
      SetLastError(ErrorOfErrno(errno));
      if (read) *read = done;
      return FALSE;
    }
    if (got == 0) break;
    done += static_cast<DWORD>(got);
  }
  if (read) *read = done;
  return TRUE;
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD toWrite, LPDWORD written, OVERLAPPED*) {
  if (written) *written = 0;
  FileObject* file = LookUpFile(handle);
  if (!file) return FALSE;
  DWORD done = 0;
  while (done < toWrite) {
    ssize_t put = ::write(file->fd, static_cast<const char*>(buffer) + done, toWrite - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      SetLastError(ErrorOfErrno(errno));
      if (written) *written = done;
      return FALSE;
    }
    done += static_cast<DWORD>(put);
  }
  if (written) *written = done;
  return TRUE;
}

DWORD SetFilePointer(HANDLE handle, LONG distance, PLONG distanceHigh, DWORD method) {
  FileObject* file = LookUpFile(handle);
  if (!file) return INVALID_SET_FILE_POINTER;
  int64_t offset = distanceHigh
                       ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                              static_cast<uint32_t>(distance))
                       : static_cast<int64_t>(distance);
  int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : method == FILE_END ? SEEK_END : -1;
  if (whence < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  off_t result = lseek(file->fd, offset, whence);
  if (result < 0) {
    SetLastError(131);  // ERROR_NEGATIVE_SEEK
    return INVALID_SET_FILE_POINTER;
  }
  if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(result) >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(result);
}

DWORD GetFileSize(HANDLE handle, LPDWORD sizeHigh) {
  FileObject* file = LookUpFile(handle);
  struct stat info;
  if (!file || fstat(file->fd, &info) != 0) return INVALID_FILE_SIZE;
  if (sizeHigh) *sizeHigh = static_cast<DWORD>(static_cast<uint64_t>(info.st_size) >> 32);
  return static_cast<DWORD>(info.st_size);
}

BOOL GetFileTime(HANDLE handle, LPFILETIME creation, LPFILETIME lastAccess, LPFILETIME lastWrite) {
  FileObject* file = LookUpFile(handle);
  struct stat info;
  if (!file || fstat(file->fd, &info) != 0) return FALSE;
  if (creation) *creation = FileTimeOf(info.st_ctim);
  if (lastAccess) *lastAccess = FileTimeOf(info.st_atim);
  if (lastWrite) *lastWrite = FileTimeOf(info.st_mtim);
  return TRUE;
}

BOOL SetEndOfFile(HANDLE handle) {
  FileObject* file = LookUpFile(handle);
  if (!file) return FALSE;
  off_t position = lseek(file->fd, 0, SEEK_CUR);
  return position >= 0 && ftruncate(file->fd, position) == 0 ? TRUE : FALSE;
}

BOOL FlushFileBuffers(HANDLE handle) {
  FileObject* file = LookUpFile(handle);
  return file && fsync(file->fd) == 0 ? TRUE : FALSE;
}

BOOL DeleteFileA(LPCSTR name) {
  std::string path = ResolvePath(name);
  struct stat info;
  if (path.empty() || (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (unlink(path.c_str()) != 0) {
    SetLastError(ErrorOfErrno(errno));
    return FALSE;
  }
  return TRUE;
}

BOOL DeleteFileW(LPCWSTR name) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const int bytes = WideCharToMultiByte(CP_ACP, 0, name, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string path(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, name, -1, path.data(), bytes, nullptr, nullptr);
  return DeleteFileA(path.c_str());
}

BOOL CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES) {
  std::string path = ResolvePath(name);
  if (path.empty() || mkdir(path.c_str(), 0755) != 0) {
    SetLastError(errno == EEXIST ? ERROR_ALREADY_EXISTS : ErrorOfErrno(errno));
    return FALSE;
  }
  return TRUE;
}

BOOL RemoveDirectoryA(LPCSTR name) {
  std::string path = ResolvePath(name);
  if (path.empty() || rmdir(path.c_str()) != 0) {
    SetLastError(ErrorOfErrno(errno));
    return FALSE;
  }
  return TRUE;
}

DWORD GetFileAttributesA(LPCSTR name) {
  std::string path = ResolvePath(name);
  struct stat info;
  if (path.empty() || stat(path.c_str(), &info) != 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  return AttributesOf(info);
}

HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
  if (!pattern || !data) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  // Split at the last separator that is not inside a double-byte character.
  std::string text = pattern;
  size_t split = std::string::npos;
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsCp932LeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) {
      ++i;
      continue;
    }
    if (IsSeparator(text[i]) || (i == 1 && text[i] == ':')) split = i;
  }
  std::string directoryName = split == std::string::npos ? "." : text.substr(0, split + 1);
  std::string namePattern = split == std::string::npos ? text : text.substr(split + 1);
  if (namePattern.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::string directory = ResolvePath(directoryName.c_str());
  DIR* dir = opendir(directory.c_str());
  if (!dir) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  auto* find = new FindObject;
  find->directory = directory;
  std::vector<std::string> entries;
  while (dirent* entry = readdir(dir)) entries.push_back(entry->d_name);
  closedir(dir);
  std::sort(entries.begin(), entries.end());
  for (const std::string& entry : entries) {
    if (directory == "/" && (entry == "." || entry == "..")) continue;
    if (MatchWildcard(namePattern.c_str(), Utf8ToCp932(entry).c_str())) find->names.push_back(entry);
  }
  if (find->names.empty()) {
    delete find;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  FillFindData(find->directory, find->names[0], data);
  find->next = 1;
  return RegisterObject(find);
}

BOOL FindNextFileA(HANDLE handle, LPWIN32_FIND_DATAA data) {
  auto* find = static_cast<FindObject*>(LookUpObject(handle, ObjectKind::Find));
  if (!find || !data) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (find->next >= find->names.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  FillFindData(find->directory, find->names[find->next++], data);
  return TRUE;
}

BOOL FindClose(HANDLE handle) {
  if (!LookUpObject(handle, ObjectKind::Find)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return CloseHandle(handle);
}

static DWORD CopyOut(const std::string& text, DWORD size, LPSTR buffer) {
  if (!buffer || size < text.size() + 1) return static_cast<DWORD>(text.size() + 1);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<DWORD>(text.size());
}

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
  return CopyOut(WindowsPathOf(CurrentLinuxDirectory()), size, buffer);
}

BOOL SetCurrentDirectoryA(LPCSTR name) {
  std::string path = ResolvePath(name);
  if (path.empty() || chdir(path.c_str()) != 0) {
    SetLastError(ErrorOfErrno(errno));
    return FALSE;
  }
  return TRUE;
}

DWORD GetFullPathNameA(LPCSTR name, DWORD size, LPSTR buffer, LPSTR* filePart) {
  std::string path = ResolvePath(name);
  if (path.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string full = WindowsPathOf(path);
  DWORD result = CopyOut(full, size, buffer);
  if (filePart && buffer && result < size) {
    char* last = nullptr;
    for (char* p = buffer; *p; ++p) {
      if (IsCp932LeadByte(static_cast<unsigned char>(*p)) && p[1]) {
        ++p;
        continue;
      }
      if (*p == '\\') last = p;
    }
    *filePart = last ? last + 1 : buffer;
  }
  return result;
}

DWORD GetTempPathA(DWORD size, LPSTR buffer) {
  std::string path = WindowsPathOf("/tmp");
  if (path.empty() || path.back() != '\\') path += '\\';
  return CopyOut(path, size, buffer);
}

UINT GetTempFileNameA(LPCSTR path, LPCSTR prefix, UINT unique, LPSTR tempFileName) {
  if (!path || !tempFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string directory = path;
  if (!directory.empty() && !IsSeparator(directory.back())) directory += '\\';
  std::string head = prefix ? std::string(prefix).substr(0, 3) : "";
  if (unique != 0) {
    std::snprintf(tempFileName, MAX_PATH, "%s%s%X.TMP", directory.c_str(), head.c_str(), unique & 0xFFFFu);
    return unique & 0xFFFFu;
  }
  UINT start = (GetTickCount() ^ static_cast<UINT>(getpid())) & 0xFFFFu;
  for (UINT step = 0; step < 0x10000u; ++step) {
    UINT number = (start + step) & 0xFFFFu;
    if (number == 0) continue;
    std::snprintf(tempFileName, MAX_PATH, "%s%s%X.TMP", directory.c_str(), head.c_str(), number);
    HANDLE file = CreateFileA(tempFileName, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
      return number;
    }
    if (GetLastError() != ERROR_FILE_EXISTS) return 0;
  }
  SetLastError(ERROR_FILE_EXISTS);
  return 0;
}

namespace platform::testing {

void SetMappedRoot(const std::string& linuxDirectory) {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().mappedRoot = linuxDirectory.empty() ? "/" : linuxDirectory;
}

void FailFileOpens(int count) { State().failFileOpens = count; }

}  // namespace platform::testing
