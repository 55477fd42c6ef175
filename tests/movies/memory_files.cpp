// The in-memory file table. Reads behave as a C stream's: a read at the end sets the end flag, a
// seek clears it, seeks stay within the file.
#include "memory_files.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

namespace movie_test {
namespace {

struct MemoryStreamState {
  std::shared_ptr<MemoryFile> file;
  int64_t position = 0;
  bool eof = false;
};

std::mutex g_filesLock;
std::map<std::string, std::shared_ptr<MemoryFile>>& Files() {
  static auto* files = new std::map<std::string, std::shared_ptr<MemoryFile>>;
  return *files;
}

MemoryStreamState* StateOf(StreamHandle stream) { return reinterpret_cast<MemoryStreamState*>(stream); }

StreamHandle Open(const char* path, int, int, int) {
  std::shared_ptr<MemoryFile> file;
  {
    std::lock_guard<std::mutex> lock(g_filesLock);
    auto found = Files().find(path ? path : "");
    if (found == Files().end()) return 0;
    file = found->second;
  }
  return OpenMemoryFile(file);
}

int Close(StreamHandle stream) {
  MemoryStreamState* state = StateOf(stream);
  if (!state) return -1;
  ++state->file->closes;
  delete state;
  return 0;
}

int Tell(StreamHandle stream) { return static_cast<int>(StateOf(stream)->position); }

int Seek(StreamHandle stream, int offset, int origin) {
  MemoryStreamState* state = StateOf(stream);
  int64_t target = offset;
  if (origin == STREAM_SEEK_CURRENT) target += state->position;
  if (origin == STREAM_SEEK_END) target += static_cast<int64_t>(state->file->bytes.size());
  state->position = std::clamp<int64_t>(target, 0, static_cast<int64_t>(state->file->bytes.size()));
  state->eof = false;
  return 0;
}

int Read(void* buffer, int itemSize, int count, StreamHandle stream) {
  MemoryStreamState* state = StateOf(stream);
  if (itemSize <= 0 || count <= 0) return 0;
  const int64_t size = static_cast<int64_t>(state->file->bytes.size());
  const int64_t items = std::min<int64_t>(count, std::max<int64_t>(size - state->position, 0) / itemSize);
  if (items < count) state->eof = true;
  const int64_t bytes = items * itemSize;
  if (bytes > 0) std::memcpy(buffer, state->file->bytes.data() + state->position, static_cast<size_t>(bytes));
  state->position += bytes;
  state->file->bytesRead += bytes;
  return static_cast<int>(items);
}

int Eof(StreamHandle stream) { return StateOf(stream)->eof ? 1 : 0; }
int IdleWait(StreamHandle) { return 1; }
int SetDir(const char*) { return -1; }
int GetDir(char* buffer) {
  buffer[0] = '\0';
  return -1;
}
FileFindHandle FindFirst(const char*, FileFindData*) { return static_cast<FileFindHandle>(-1); }
int FindNext(FileFindHandle, FileFindData*) { return -1; }
int FindClose(FileFindHandle) { return -1; }

const FileFunctionTable kTable = {Open,     Close,  Tell,   Seek,      Read,     Eof,
                                  IdleWait, SetDir, GetDir, FindFirst, FindNext, FindClose};

}  // namespace

const FileFunctionTable* MemoryFileTable() { return &kTable; }

std::shared_ptr<MemoryFile> AddMemoryFile(const std::string& name, std::vector<uint8_t> bytes) {
  auto file = std::make_shared<MemoryFile>();
  file->bytes = std::move(bytes);
  std::lock_guard<std::mutex> lock(g_filesLock);
  Files()[name] = file;
  return file;
}

void ClearMemoryFiles() {
  std::lock_guard<std::mutex> lock(g_filesLock);
  Files().clear();
}

StreamHandle OpenMemoryFile(const std::shared_ptr<MemoryFile>& file) {
  ++file->opens;
  return reinterpret_cast<StreamHandle>(new MemoryStreamState{file});
}

}  // namespace movie_test
