// Memory streams and the two stream-function sets.
#include <cstring>

#include "zyvel/runtime.h"

namespace {

StreamFunctionSet g_fileStreamFuncs = {StreamFileTell, StreamFileSeek,     StreamFileRead,
                                       StreamFileEof,  StreamFileIdleWait, StreamFileClose};
StreamFunctionSet g_memoryStreamFuncs = {MemoryStreamTell, MemoryStreamSeek,     MemoryStreamRead,
                                         MemoryStreamEof,  MemoryStreamIdleWait, CloseMemoryStream};

MemoryStream* StreamOf(StreamHandle stream) { return reinterpret_cast<MemoryStream*>(stream); }

}  // namespace

const StreamFunctionSet* GetFileStreamFuncs() { return &g_fileStreamFuncs; }
const StreamFunctionSet* GetMemoryStreamFuncs() { return &g_memoryStreamFuncs; }

int FillStreamFunctionSets() {
  g_fileStreamFuncs = {StreamFileTell, StreamFileSeek,     StreamFileRead,
                       StreamFileEof,  StreamFileIdleWait, StreamFileClose};
  g_memoryStreamFuncs = {MemoryStreamTell, MemoryStreamSeek,     MemoryStreamRead,
                         MemoryStreamEof,  MemoryStreamIdleWait, CloseMemoryStream};
  return 0;
}

MemoryStream* OpenMemoryStream(const void* data, int size) {
  auto* stream = static_cast<MemoryStream*>(ZV_ALLOC(sizeof(MemoryStream)));
  if (!stream) return nullptr;
  stream->data = data;
  stream->size = size < 0 ? 0 : size;
  stream->position = 0;
  stream->eof = 0;
  return stream;
}

int CloseMemoryStream(StreamHandle stream) {
  ZV_FREE(StreamOf(stream));
  return 0;
}

int MemoryStreamTell(StreamHandle stream) { return StreamOf(stream)->position; }

int MemoryStreamSeek(StreamHandle handle, int offset, int origin) {
  MemoryStream* stream = StreamOf(handle);
  int64_t target = offset;
  if (origin == STREAM_SEEK_CURRENT) target += stream->position;
  if (origin == STREAM_SEEK_END) target += stream->size;
  if (target > stream->size) target = stream->size;
  if (target < 0) target = 0;
  stream->position = static_cast<int>(target);
  stream->eof = 0;
  return 0;
}

int MemoryStreamRead(void* buffer, int itemSize, int count, StreamHandle handle) {
  MemoryStream* stream = StreamOf(handle);
  if (stream->position >= stream->size) {
    stream->eof = 1;
    return 0;
  }
  if (count <= 0 || itemSize < 0) return 0;
  if (itemSize == 0) return count;
  const int remaining = stream->size - stream->position;
  const auto* source = static_cast<const unsigned char*>(stream->data) + stream->position;
  if (static_cast<int64_t>(itemSize) * count > remaining) count = remaining / itemSize;
  if (count != 0) {
    std::memcpy(buffer, source, static_cast<size_t>(itemSize) * static_cast<size_t>(count));
    stream->position += itemSize * count;
    stream->eof = 0;
    return count;
  }
  // Not one whole item left: the last partial item is handed out as one item.
  std::memcpy(buffer, source, static_cast<size_t>(remaining));
  stream->position = stream->size;
  stream->eof = 0;
  return 1;
}

int MemoryStreamEof(StreamHandle stream) { return StreamOf(stream)->eof; }
int MemoryStreamIdleWait(StreamHandle) { return 1; }
