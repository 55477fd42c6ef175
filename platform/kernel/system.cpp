// System information, processor identification, code pages, debugger output, the process heap and
// the module registry.
#include <cpuid.h>
#include <iconv.h>
#include <malloc.h>
#include <strings.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <x86intrin.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "kernel/objects.h"
#include "kernel/state.h"
#include "platform/module_registry.h"
#include "platform/testing.h"

namespace platform {

KernelState& State() {
  static KernelState* state = new KernelState;  // Never destroyed: threads may outlive exit.
  return *state;
}

namespace {

std::atomic<int> g_convertersOpened{0};

// Each thread keeps one converter per direction for its whole life: opening one loads conversion
// modules, which costs time on every log line and path, and two threads opening and closing them
// at once race inside the dynamic loader.
class ThreadConverters {
 public:
  ~ThreadConverters() {
    for (int i = 0; i < count_; ++i) iconv_close(entries_[i].converter);
  }
  // A converter in its initial state, or (iconv_t)-1 when iconv knows no such pair.
  iconv_t Get(const char* from, const char* to) {
    for (int i = 0; i < count_; ++i) {
      if (std::strcmp(entries_[i].from, from) == 0 && std::strcmp(entries_[i].to, to) == 0) {
        iconv(entries_[i].converter, nullptr, nullptr, nullptr, nullptr);
        return entries_[i].converter;
      }
    }
    iconv_t converter = iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1) || count_ == kMaximum) return converter;
    g_convertersOpened.fetch_add(1);
    entries_[count_++] = {from, to, converter};
    return converter;
  }
  // True when `converter` is not kept here (the table was full) and the caller must close it.
  bool Unkept(iconv_t converter) const {
    for (int i = 0; i < count_; ++i)
      if (entries_[i].converter == converter) return false;
    return true;
  }

 private:
  static constexpr int kMaximum = 16;
  struct Entry {
    const char* from;  // Code-page names are string literals that live as long as the program.
    const char* to;
    iconv_t converter;
  };
  Entry entries_[kMaximum];
  int count_ = 0;
};

std::string Convert(const char* from, const char* to, const std::string& text) {
  if (text.empty()) return text;
  thread_local ThreadConverters converters;
  iconv_t converter = converters.Get(from, to);
  if (converter == reinterpret_cast<iconv_t>(-1)) return text;
  // The stand-in for a sequence that does not convert is a '?' of the target encoding, and a
  // bad UTF-16 unit is skipped whole, so wide text stays aligned to its units.
  const bool wideOut = std::strcmp(to, "UTF-16LE") == 0;
  const size_t badStep = std::strcmp(from, "UTF-16LE") == 0 ? 2 : 1;
  std::string out;
  out.resize(text.size() * 4 + 16);
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char* outPtr = out.data();
  size_t outLeft = out.size();
  while (inLeft > 0) {
    if (iconv(converter, &in, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
      if (errno == E2BIG) break;  // Cannot happen with the room given above.
      // An invalid or incomplete sequence: emit '?' for one byte and go on.
      if (outLeft < (wideOut ? 2u : 1u)) break;
      *outPtr++ = '?';
      --outLeft;
      if (wideOut) {
        *outPtr++ = 0;
        --outLeft;
      }
      const size_t step = inLeft < badStep ? inLeft : badStep;
      in += step;
      inLeft -= step;
      iconv(converter, nullptr, nullptr, nullptr, nullptr);
    }
  }
  out.resize(out.size() - outLeft);
  if (converters.Unkept(converter)) iconv_close(converter);
  return out;
}

// The process heap keeps each block's size ahead of it, so that HeapReAlloc can zero the growth
// and HeapSize can answer.
struct HeapBlockHeader {
  size_t size;
  size_t padding;  // Keeps the data 16-byte aligned.
};

}  // namespace

std::string Cp932ToUtf8(const std::string& text) { return Convert("CP932", "UTF-8", text); }
std::string Utf8ToCp932(const std::string& text) { return Convert("UTF-8", "CP932", text); }

}  // namespace platform

using namespace platform;

// ---- System information ----

void GetSystemInfo(SYSTEM_INFO* info) {
  std::memset(info, 0, sizeof(*info));
  info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
  info->dwPageSize = static_cast<DWORD>(sysconf(_SC_PAGESIZE));
  info->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(0x10000);
  info->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(0x7FFFFFFEFFFFull);
  int count = State().processorCount.load();
  if (count <= 0) count = static_cast<int>(std::thread::hardware_concurrency());
  if (count <= 0) count = 1;
  info->dwNumberOfProcessors = static_cast<DWORD>(count);
  info->dwActiveProcessorMask = count >= 64 ? ~DWORD_PTR(0) : ((DWORD_PTR(1) << count) - 1);
  info->dwProcessorType = 8664;
  info->dwAllocationGranularity = 65536;
  info->wProcessorLevel = 6;
}

BOOL GlobalMemoryStatusEx(MEMORYSTATUSEX* status) {
  if (!status) return FALSE;
  struct sysinfo info;
  if (sysinfo(&info) != 0) return FALSE;
  const ULONGLONG unit = info.mem_unit ? info.mem_unit : 1;
  status->dwLength = sizeof(MEMORYSTATUSEX);
  status->ullTotalPhys = info.totalram * unit;
  status->ullAvailPhys = (info.freeram + info.bufferram) * unit;
  status->ullTotalPageFile = (info.totalram + info.totalswap) * unit;
  status->ullAvailPageFile = (info.freeram + info.bufferram + info.freeswap) * unit;
  status->ullTotalVirtual = 0x7FFFFFFE0000ull;
  status->ullAvailVirtual = 0x7FFFFFFE0000ull;
  status->ullAvailExtendedVirtual = 0;
  status->dwMemoryLoad =
      status->ullTotalPhys ? static_cast<DWORD>(100 - status->ullAvailPhys * 100 / status->ullTotalPhys) : 0;
  return TRUE;
}

void GlobalMemoryStatus(MEMORYSTATUS* status) {
  MEMORYSTATUSEX ex;
  GlobalMemoryStatusEx(&ex);
  status->dwLength = sizeof(MEMORYSTATUS);
  status->dwMemoryLoad = ex.dwMemoryLoad;
  status->dwTotalPhys = ex.ullTotalPhys;
  status->dwAvailPhys = ex.ullAvailPhys;
  status->dwTotalPageFile = ex.ullTotalPageFile;
  status->dwAvailPageFile = ex.ullAvailPageFile;
  status->dwTotalVirtual = ex.ullTotalVirtual;
  status->dwAvailVirtual = ex.ullAvailVirtual;
}

BOOL GetVersionExA(OSVERSIONINFOA* info) {
  if (!info || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  struct utsname name;
  unsigned major = 0, minor = 0, build = 0;
  std::string service = "Linux";
  if (uname(&name) == 0) {
    std::sscanf(name.release, "%u.%u.%u", &major, &minor, &build);
    service = std::string(name.sysname) + " " + name.release;
  }
  info->dwMajorVersion = major;
  info->dwMinorVersion = minor;
  info->dwBuildNumber = build;
  info->dwPlatformId = VER_PLATFORM_WIN32_NT;
  std::snprintf(info->szCSDVersion, sizeof(info->szCSDVersion), "%s", service.c_str());
  return TRUE;
}

void CpuId(int registers[4], int leaf) {
  unsigned a = 0, b = 0, c = 0, d = 0;
  __cpuid_count(static_cast<unsigned>(leaf), 0, a, b, c, d);
  registers[0] = static_cast<int>(a);
  registers[1] = static_cast<int>(b);
  registers[2] = static_cast<int>(c);
  registers[3] = static_cast<int>(d);
}

bool HasCpuIdInstruction() { return __get_cpuid_max(0, nullptr) != 0; }

uint64_t ReadTimeStampCounter() {
  if (State().fakeClock.load()) return NowMicroseconds() * 1000u;  // A 1 GHz counter.
  return __rdtsc();
}

// ---- Code pages ----

UINT GetACP() { return 932; }
UINT GetOEMCP() { return 932; }
BOOL IsDBCSLeadByte(BYTE byte) { return IsCp932LeadByte(byte) ? TRUE : FALSE; }

static const char* IconvNameOf(UINT codePage) {
  switch (codePage) {
    case CP_ACP:
    case CP_OEMCP:
    case 932:
      return "CP932";
    case CP_UTF8:
      return "UTF-8";
    case 949:
      return "CP949";
    case 950:
      return "CP950";
    case 936:
      return "CP936";
    case 1252:
      return "CP1252";
    default:
      return nullptr;
  }
}

int MultiByteToWideChar(UINT codePage, DWORD, LPCSTR text, int length, LPWSTR out, int outCount) {
  const char* name = IconvNameOf(codePage);
  if (!name || !text) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string input = length < 0 ? std::string(text, std::strlen(text) + 1) : std::string(text, length);
  std::string wide = Convert(name, "UTF-16LE", input);
  int count = static_cast<int>(wide.size() / 2);
  if (outCount == 0) return count;
  if (count > outCount) {
    SetLastError(122);  // ERROR_INSUFFICIENT_BUFFER
    return 0;
  }
  std::memcpy(out, wide.data(), static_cast<size_t>(count) * 2);
  return count;
}

int WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR text, int length, LPSTR out, int outCount, LPCSTR,
                        BOOL* usedDefaultChar) {
  const char* name = IconvNameOf(codePage);
  if (!name || !text) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (length < 0) {
    length = 0;
    while (text[length]) ++length;
    ++length;
  }
  std::string input(reinterpret_cast<const char*>(text), static_cast<size_t>(length) * 2);
  std::string narrow = Convert("UTF-16LE", name, input);
  if (usedDefaultChar) *usedDefaultChar = FALSE;
  int count = static_cast<int>(narrow.size());
  if (outCount == 0) return count;
  if (count > outCount) {
    SetLastError(122);
    return 0;
  }
  std::memcpy(out, narrow.data(), static_cast<size_t>(count));
  return count;
}

// ---- Debugger output ----

namespace platform {
namespace {
// The text is meant for a debugger, which a player's terminal is not: it reaches stderr only when
// ZYVEL_DEBUG_OUTPUT=1 asks for it. Programs keep their own log of the same lines.
bool DebugOutputToStderr() {
  const char* wanted = std::getenv("ZYVEL_DEBUG_OUTPUT");
  return wanted && std::strcmp(wanted, "1") == 0;
}
}  // namespace
}  // namespace platform

void OutputDebugStringA(LPCSTR text) {
  if (!text) return;
  std::function<void(const std::string&)> sink;
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    sink = State().debugSink;
  }
  if (sink) {
    sink(text);
    return;
  }
  if (!DebugOutputToStderr()) return;
  std::string utf8 = Cp932ToUtf8(text);
  std::fwrite(utf8.data(), 1, utf8.size(), stderr);
}

BOOL IsDebuggerPresent() { return FALSE; }

// ---- Process heap ----

// Freed memory stays with the process for the next allocation, as a Windows heap keeps it,
// instead of going back to the system at once: a program that loads and frees sounds and
// pictures one after another would otherwise shrink and regrow the heap on every load and fault
// fresh pages in each time. Only blocks of 4 MB and more are mapped on their own.
static const bool g_processHeapTuned = [] {
  mallopt(M_TRIM_THRESHOLD, 32 << 20);
  mallopt(M_MMAP_THRESHOLD, 4 << 20);
  return true;
}();

HANDLE GetProcessHeap() {
  static int heap;
  return &heap;
}

LPVOID HeapAlloc(HANDLE, DWORD flags, SIZE_T bytes) {
  if (TakeFault(State().failHeap) || bytes > (SIZE_T(1) << 46)) return nullptr;
  auto* header = static_cast<HeapBlockHeader*>((flags & HEAP_ZERO_MEMORY)
                                                   ? std::calloc(1, sizeof(HeapBlockHeader) + bytes)
                                                   : std::malloc(sizeof(HeapBlockHeader) + bytes));
  if (!header) return nullptr;
  header->size = bytes;
  return header + 1;
}

LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID memory, SIZE_T bytes) {
  if (!memory) return HeapAlloc(heap, flags, bytes);
  if (TakeFault(State().failHeap) || bytes > (SIZE_T(1) << 46)) return nullptr;
  auto* header = static_cast<HeapBlockHeader*>(memory) - 1;
  size_t oldSize = header->size;
  auto* grown = static_cast<HeapBlockHeader*>(std::realloc(header, sizeof(HeapBlockHeader) + bytes));
  if (!grown) return nullptr;
  grown->size = bytes;
  if ((flags & HEAP_ZERO_MEMORY) && bytes > oldSize)
    std::memset(reinterpret_cast<char*>(grown + 1) + oldSize, 0, bytes - oldSize);
  return grown + 1;
}

BOOL HeapFree(HANDLE, DWORD, LPVOID memory) {
  if (memory) std::free(static_cast<HeapBlockHeader*>(memory) - 1);
  return TRUE;
}

SIZE_T HeapSize(HANDLE, DWORD, LPCVOID memory) {
  if (!memory) return static_cast<SIZE_T>(-1);
  return (static_cast<const HeapBlockHeader*>(memory) - 1)->size;
}

// ---- Modules ----

static std::string ModuleKey(const char* name) {
  // "C:\\Windows\\System32\\D3D9.DLL", "d3d9" and "d3d9.dll" all name one module.
  std::string key = name;
  size_t slash = key.find_last_of("\\/");
  if (slash != std::string::npos) key = key.substr(slash + 1);
  for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (key.find('.') == std::string::npos) key += ".DLL";
  return key;
}

static const ModuleDefinition* FindModule(const char* name) {
  if (!name) return nullptr;
  std::string key = ModuleKey(name);
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    if (State().hiddenModules.count(key)) return nullptr;
  }
  for (const ModuleDefinition* module = kModuleTable; module->fileName; ++module)
    if (ModuleKey(module->fileName) == key) return module;
  return nullptr;
}

HMODULE LoadLibraryA(LPCSTR name) {
  const ModuleDefinition* module = FindModule(name);
  if (!module) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<HMODULE>(const_cast<ModuleDefinition*>(module));
}

HMODULE GetModuleHandleA(LPCSTR name) {
  static int program;
  if (!name) return reinterpret_cast<HMODULE>(&program);
  return LoadLibraryA(name);
}

FARPROC GetProcAddress(HMODULE handle, LPCSTR procName) {
  for (const ModuleDefinition* module = kModuleTable; handle && module->fileName; ++module) {
    if (reinterpret_cast<HMODULE>(const_cast<ModuleDefinition*>(module)) != handle) continue;
    for (size_t i = 0; procName && i < module->exportCount; ++i)
      if (std::strcmp(module->exports[i].name, procName) == 0) return module->exports[i].address;
  }
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

BOOL FreeLibrary(HMODULE module) { return module ? TRUE : FALSE; }

DWORD GetModuleFileNameA(HMODULE, LPSTR fileName, DWORD size) {
  char path[4096];
  ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (length <= 0 || size == 0) return 0;
  path[length] = 0;
  std::string windowsName = WindowsPathOf(path);
  std::snprintf(fileName, size, "%s", windowsName.c_str());
  return static_cast<DWORD>(std::strlen(fileName));
}

// ---- Test door ----

namespace platform::testing {

void SetProcessorCount(int count) { State().processorCount = count; }
int CountCodePageConverters() { return g_convertersOpened.load(); }
void FailThreadCreation(int count) { State().failThreads = count; }
void FailHeapAllocations(int count) { State().failHeap = count; }

void CaptureDebugOutput(std::function<void(const std::string&)> sink) {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().debugSink = std::move(sink);
}

void HideModule(const std::string& name, bool hidden) {
  std::string key = ModuleKey(name.c_str());
  std::lock_guard<std::mutex> lock(State().mutex);
  if (hidden)
    State().hiddenModules.insert(key);
  else
    State().hiddenModules.erase(key);
}

void ResetAll() {
  UseFakeClock(false);
  SleepMovesFakeClock(false);
  SetFakeSleepLateness(0);
  SetFakeLocalTime(nullptr);
  SetProcessorCount(0);
  SetMappedRoot("");
  FailFileOpens(0);
  FailThreadCreation(0);
  FailHeapAllocations(0);
  FailVirtualAllocations(0);
  FailTaskMemoryAllocations(0);
  FailEventAndSemaphoreCreation(0);
  CaptureDebugOutput(nullptr);
  ResetFontSwitches();
  std::lock_guard<std::mutex> lock(State().mutex);
  State().hiddenModules.clear();
}

}  // namespace platform::testing
