// Tracked heap: every library allocation carries a header with the allocating file and line, and
// all live blocks sit in one list (newest first, down to a static sentinel), so that the heap can
// list them, find damaged headers and dump what is still allocated at shut-down.
//
// Underneath is the process heap. One re-entrant critical section guards the list, the counters
// and the options for the whole of every operation, including the log writes of tracing and
// dumping: the log allocates long texts from this heap, which re-enters the section.
#include <climits>
#include <cstring>

#include "platform/kernel.h"
#include "runtime/tracked_heap.h"
#include "zyvel/runtime.h"

namespace {

constexpr int kHeaderSize = static_cast<int>(sizeof(TrackedBlockHeader));
constexpr size_t kCheckedBytes = offsetof(TrackedBlockHeader, checkCopy);
static_assert(kCheckedBytes == sizeof(TrackedBlockHeader::checkCopy), "the copy covers every field");

struct TrackedHeap {
  TrackedBlockHeader* head = nullptr;
  uint16_t nextId = 0;
  int totalBytes = 0;
  int blockCount = 0;
  TrackedHeapOptions options;
  TrackedBlockHeader sentinel{};
};

TrackedHeap g_heap;

// Made on first use from any thread (a function-local static is initialised exactly once) and
// never deleted, so the heap works until the process ends.
CRITICAL_SECTION* HeapSection() {
  static CRITICAL_SECTION* section = [] {
    static CRITICAL_SECTION storage;
    InitializeCriticalSection(&storage);
    return &storage;
  }();
  return section;
}

class HeapLock {
 public:
  HeapLock() { EnterCriticalSection(HeapSection()); }
  ~HeapLock() { LeaveCriticalSection(HeapSection()); }
  HeapLock(const HeapLock&) = delete;
  HeapLock& operator=(const HeapLock&) = delete;
};

void RefreshCheckCopy(TrackedBlockHeader* header) {
  if (header) std::memcpy(header->checkCopy, header, kCheckedBytes);
}

bool HeaderIsIntact(const TrackedBlockHeader* header) {
  return std::memcmp(header->checkCopy, header, kCheckedBytes) == 0;
}

TrackedBlockHeader* HeaderOf(void* data) {
  return reinterpret_cast<TrackedBlockHeader*>(static_cast<unsigned char*>(data) - kHeaderSize);
}

void* DataOf(TrackedBlockHeader* header) { return reinterpret_cast<unsigned char*>(header) + kHeaderSize; }

void StampHeader(TrackedBlockHeader* header, const char* callerName, int line) {
  header->tag[0] = 0;
  if (callerName) {
    const size_t length = std::strlen(callerName);
    CopyString(header->tag, callerName + (length > 15 ? length - 15 : 0));
  }
  header->line = static_cast<uint16_t>(line);
  header->id = g_heap.nextId++;
}

bool Traced(int size) {
  const TrackedHeapOptions& options = g_heap.options;
  return options.traceSize < 0 || options.traceSize == size || options.traceAll == 1;
}

// A size whose header would not fit beside it in an int is refused rather than wrapped.
bool SizeIsAllowed(int size, const char* callerName, int line) {
  if (size >= 0 && size <= INT_MAX - kHeaderSize) return true;
  WriteLogFormat("確保するメモリのサイズが不正です(%d byte)  file:%s  line:%d", size, callerName ? callerName : "",
                 line);
  return false;
}

}  // namespace

void SetTrackedHeapOptions(const TrackedHeapOptions& options) {
  HeapLock lock;
  g_heap.options = options;
}

TrackedHeapOptions GetTrackedHeapOptions() {
  HeapLock lock;
  return g_heap.options;
}

int GetTrackedBlockCount() {
  HeapLock lock;
  return g_heap.blockCount;
}

int GetTrackedTotalBytes() {
  HeapLock lock;
  return g_heap.totalBytes;
}

void* AllocTrackedMemory(int size, const char* callerName, int line) {
  HeapLock lock;
  if (!SizeIsAllowed(size, callerName, line)) return nullptr;
  auto* header =
      static_cast<TrackedBlockHeader*>(HeapAlloc(GetProcessHeap(), 0, static_cast<SIZE_T>(size) + kHeaderSize));
  if (!header) {
    DumpTrackedMemory();
    CheckTrackedMemory();
    return nullptr;
  }
  std::memset(header, 0, sizeof(*header));
  header->size = size;
  StampHeader(header, callerName, line);

  if (!g_heap.head) g_heap.head = &g_heap.sentinel;
  TrackedBlockHeader* oldHead = g_heap.head;
  oldHead->newer = header;
  header->older = oldHead;
  header->newer = nullptr;
  g_heap.head = header;
  RefreshCheckCopy(header);
  RefreshCheckCopy(oldHead);

  g_heap.totalBytes += size;
  ++g_heap.blockCount;
  if (Traced(size)) {
    AddLogText("mem alloc  ");
    LogTrackedBlock(header);
  }
  if (g_heap.options.printTotals == 1) LogTrackedTotals();
  if (g_heap.options.checkAll == 1) CheckTrackedMemory();
  return DataOf(header);
}

void* AllocTrackedMemoryZeroed(int size, const char* callerName, int line) {
  void* data = AllocTrackedMemory(size, callerName, line);
  if (data) std::memset(data, 0, static_cast<size_t>(size));
  return data;
}

void FreeTrackedMemory(void* data) {
  if (!data) return;
  HeapLock lock;
  TrackedBlockHeader* header = HeaderOf(data);
  // Unlinking a damaged (or foreign, or already freed) header would spread the damage through
  // the list; the block is left alone instead.
  if (!HeaderIsIntact(header)) {
    WriteLogFormat("破損したメモリか確保していないメモリを解放しようとしました  addr:%08x",
                   static_cast<unsigned>(reinterpret_cast<uintptr_t>(data)));
    return;
  }
  g_heap.totalBytes -= header->size;
  --g_heap.blockCount;
  if (g_heap.options.checkAll == 1) CheckTrackedMemory();

  TrackedBlockHeader* older = header->older;
  TrackedBlockHeader* newer = header->newer;
  if (older) older->newer = newer;
  if (newer) newer->older = older;
  if (g_heap.head == header) g_heap.head = older;
  RefreshCheckCopy(older);
  RefreshCheckCopy(newer);

  if (Traced(header->size)) {
    AddLogText("mem free  ");
    LogTrackedBlock(header);
  }
  if (g_heap.options.printTotals == 1) LogTrackedTotals();
  HeapFree(GetProcessHeap(), 0, header);
}

void* ReallocTrackedMemory(void* data, int size, const char* callerName, int line) {
  if (!data) return AllocTrackedMemory(size, callerName, line);
  HeapLock lock;
  if (!SizeIsAllowed(size, callerName, line)) return nullptr;
  TrackedBlockHeader* oldHeader = HeaderOf(data);
  if (!HeaderIsIntact(oldHeader)) {
    WriteLogFormat("破損したメモリか確保していないメモリを再確保しようとしました  addr:%08x",
                   static_cast<unsigned>(reinterpret_cast<uintptr_t>(data)));
    return nullptr;
  }
  const int oldSize = oldHeader->size;
  auto* header = static_cast<TrackedBlockHeader*>(
      HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, oldHeader, static_cast<SIZE_T>(size) + kHeaderSize));
  if (!header) {
    DumpTrackedMemory();
    return nullptr;
  }
  header->size = size;
  StampHeader(header, callerName, line);
  if (header->older) header->older->newer = header;
  if (header->newer)
    header->newer->older = header;
  else
    g_heap.head = header;  // Only the newest block has no newer neighbour.
  g_heap.totalBytes += size - oldSize;
  RefreshCheckCopy(header);
  RefreshCheckCopy(header->older);
  RefreshCheckCopy(header->newer);

  if (Traced(size)) {
    AddLogText("mem realloc  ");
    LogTrackedBlock(header);
  }
  if (g_heap.options.printTotals == 1) LogTrackedTotals();
  if (g_heap.options.checkAll == 1) CheckTrackedMemory();
  return DataOf(header);
}

int CheckTrackedMemory() {
  HeapLock lock;
  for (TrackedBlockHeader* header = g_heap.head; header && header != &g_heap.sentinel; header = header->older) {
    if (!HeaderIsIntact(header)) {
      AddLogText("以下のメモリ確保情報が破損しました");
      LogTrackedBlock(header);
      return -1;
    }
  }
  return 0;
}

void DumpTrackedMemory() {
  HeapLock lock;
  AddLogText("\n");
  AddLogText("Alloc memory dump\n");
  for (TrackedBlockHeader* header = g_heap.head; header && header != &g_heap.sentinel; header = header->older)
    LogTrackedBlock(header);
  LogTrackedTotals();
  AddLogText("\n");
}

void LogTrackedTotals() {
  HeapLock lock;
  WriteLogFormat("\tTotal size:%d(%.3fkb)  Alloc num:%d", g_heap.totalBytes, g_heap.totalBytes / 1024.0,
                 g_heap.blockCount);
}

void LogTrackedBlock(const TrackedBlockHeader* header) {
  char text[256];
  const auto* data = reinterpret_cast<const unsigned char*>(header) + kHeaderSize;
  char tag[sizeof(header->tag)];
  CopyStringN(tag, header->tag, static_cast<int>(sizeof(tag)) - 1);  // A damaged tag may lack its end.
  FormatText(text, sizeof(text), "\tsize:%d(%.3fkb)  file:%s  line:%d  ID:%d  addr:%08x  data:<", header->size,
             header->size / 1024.0, tag, header->line, header->id,
             static_cast<unsigned>(reinterpret_cast<uintptr_t>(data)));
  int length = static_cast<int>(std::strlen(text));
  const int shown = header->size < 0 ? 0 : (header->size < 16 ? header->size : 16);
  // The longest prefix leaves room for 16 characters, "> [", 16 "xx " and "]\n".
  for (int i = 0; i < shown && length < 256 - 1; ++i)
    text[length++] = (data[i] >= 0x20 && data[i] <= 0x7F) ? static_cast<char>(data[i]) : '.';
  const char* middle = "> [";
  for (int i = 0; middle[i] && length < 256 - 1; ++i) text[length++] = middle[i];
  static const char kHexDigits[] = "0123456789abcdef";
  for (int i = 0; i < shown && length < 256 - 3; ++i) {
    text[length++] = kHexDigits[data[i] >> 4];
    text[length++] = kHexDigits[data[i] & 15];
    text[length++] = ' ';
  }
  // The last blank (or the opening bracket, when no byte is shown) becomes the closing one.
  text[length - 1] = ']';
  if (length < 256 - 1) text[length++] = '\n';
  text[length] = 0;
  AddLogText(text);
}
