// Fuzz target: the Theora movie decoder on arbitrary bytes served through a file-function table
// from memory: opening (headers and the index of the whole file), the first frame, a step, a seek
// to the middle, and closing with the decode thread still at work. Seeds (fuzz/corpus/theora_open)
// are clips of the movie tests' clip maker (tests/movies/theora_clips.h): 3 frames of 32 x 32
// with a key frame every 2; 4 frames of 16 x 16 with 0.2 s of Vorbis; 2 frames of 32 x 32 in
// 4:4:4 with a tinted quarter.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "movies/theora_decoder.h"
#include "zyvel/runtime.h"

namespace {

struct FuzzFile {
  const uint8_t* data;
  int64_t size;
  int64_t position;
  int eof;
};

FuzzFile* FileOf(StreamHandle stream) { return reinterpret_cast<FuzzFile*>(stream); }

int FuzzTell(StreamHandle stream) { return static_cast<int>(FileOf(stream)->position); }

int FuzzSeek(StreamHandle stream, int offset, int origin) {
  FuzzFile* file = FileOf(stream);
  int64_t target = offset;
  if (origin == STREAM_SEEK_CURRENT) target += file->position;
  if (origin == STREAM_SEEK_END) target += file->size;
  file->position = std::clamp<int64_t>(target, 0, file->size);
  file->eof = 0;
  return 0;
}

int FuzzRead(void* buffer, int itemSize, int count, StreamHandle stream) {
  FuzzFile* file = FileOf(stream);
  if (itemSize <= 0 || count <= 0) return 0;
  const int64_t items = std::min<int64_t>(count, (file->size - file->position) / itemSize);
  if (items < count) file->eof = 1;
  if (items > 0) std::memcpy(buffer, file->data + file->position, static_cast<size_t>(items * itemSize));
  file->position += items * itemSize;
  return static_cast<int>(items);
}

int FuzzEof(StreamHandle stream) { return FileOf(stream)->eof; }

FileFunctionTable MakeTable() {
  FileFunctionTable table{};
  table.Tell = FuzzTell;
  table.Seek = FuzzSeek;
  table.Read = FuzzRead;
  table.Eof = FuzzEof;
  return table;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 16)) return 0;
  static const bool tablesBuilt = (InitTheoraColorTables(), true);
  (void)tablesBuilt;
  static const FileFunctionTable table = MakeTable();
  FuzzFile file{data, static_cast<int64_t>(size), 0, 0};
  TheoraMovieDecoder* decoder = OpenTheoraDecoder(&table, reinterpret_cast<StreamHandle>(&file), 2);
  if (!decoder) return 0;
  TheoraInfo info{};
  GetTheoraInfo(decoder, &info);
  FetchTheoraFrame(decoder, 1, 1);
  AdvanceTheoraFrame(decoder, 1);
  FetchTheoraFrame(decoder, 1, 0);
  SeekTheoraFrame(decoder, info.frameCount / 2);
  FetchTheoraFrame(decoder, 1, 0);
  AdvanceTheoraFrame(decoder, 3);
  CloseTheoraDecoder(decoder);
  return 0;
}
