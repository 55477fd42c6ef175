// Graph handles, record set-up, shared image parts and file names, and the tile-size rule.
#include "graphics/graphs/graph_records.h"

#include <cstddef>
#include <cstring>

#include "zyvel/files.h"
#include "zyvel/graphics.h"
#include "zyvel/runtime.h"

namespace {
void* g_graphSlots[kGraphTableSize];
}  // namespace

HandleTable g_graphHandleTable = {HANDLE_KIND_GRAPH, kGraphTableSize, g_graphSlots, 0, 0, 0};

int NewGraphHandle() {
  void* record = nullptr;
  // A full table or a failed allocation ends the program inside.
  const HandleWord handle = AddHandleRecord(&g_graphHandleTable, sizeof(GraphRecord), &record);
  static_cast<GraphRecord*>(record)->MovieHandle = -1;
  return handle;
}

GraphRecord* GetGraphRecord(int handle) {
  // Bit 15 set would name a slot beyond the table.
  if (handle & 0x8000) return nullptr;
  return static_cast<GraphRecord*>(GetHandleRecord(&g_graphHandleTable, handle));
}

int IsGraphHandleValid(int handle) { return GetGraphRecord(handle) ? 1 : 0; }

int GetGraphDimensions(int handle, int* width, int* height) {
  int w = 0, h = 0;
  if (handle == SCREEN_BACK || handle == SCREEN_FRONT) {
    GetScreenSizeSetting(&w, &h);
  } else {
    const GraphRecord* record = GetGraphRecord(handle);
    if (!record) return -1;
    w = record->Width;
    h = record->Height;
  }
  if (width) *width = w;
  if (height) *height = h;
  return 0;
}

namespace {
// One axis of a tile piece: the graph spans [graphStart, graphStart + graphLength) of the part,
// the tile [tileStart, tileStart + used).
void PlaceTilePiece(int graphStart, int graphLength, int tileStart, int used, int* dest, int* source, int* length) {
  if (graphStart < tileStart) {
    *dest = tileStart - graphStart;
    *source = 0;
    const int rest = graphStart + graphLength - tileStart;
    *length = rest < used ? rest : used;
  } else {
    *dest = 0;
    *source = graphStart - tileStart;
    *length = graphStart + graphLength < tileStart + used ? graphLength : tileStart + used - graphStart;
  }
}

bool TileMeetsGraph(const GraphTexture& tile, const GraphRecord& record) {
  return tile.X < record.PartX + record.Width && record.PartX < tile.X + tile.UsedWidth &&
         tile.Y < record.PartY + record.Height && record.PartY < tile.Y + tile.UsedHeight;
}
}  // namespace

int SetupGraphTileDraws(int handle) {
  GraphRecord* record = GetGraphRecord(handle);
  if (!record || !record->Part) return -1;
  GraphImagePart* part = record->Part;

  if (!part->Textured) {
    MakeMemImgView(&record->SoftView, &part->SoftImage, record->PartX, record->PartY, record->Width, record->Height);
    record->TileCount = 0;
    return 0;
  }

  int used = 0;
  for (int i = 0; i < part->TextureCount; ++i) used += TileMeetsGraph(part->Textures[i], *record);
  if (used == 0) {
    AddLogText("テクスチャ描画情報の作成に失敗しました\n");
    return -1;
  }

  const size_t size = sizeof(GraphRecord) + sizeof(GraphTileDraw) * used;
  auto* grown = static_cast<GraphRecord*>(ZV_REALLOC(record, static_cast<int>(size)));
  if (!grown) {
    AddLogText("画像描画情報格納用メモリの確保に失敗しました\n");
    return -1;
  }
  record = grown;
  g_graphSlots[HandleSlotOf(handle)] = record;
  record->TileCount = used;

  const float width = static_cast<float>(record->Width);
  const float height = static_cast<float>(record->Height);
  GraphTileDraw* draw = record->TileDraws();
  for (int i = 0; i < part->TextureCount; ++i) {
    GraphTexture& tile = part->Textures[i];
    if (!TileMeetsGraph(tile, *record)) continue;
    GraphTileDraw& d = *draw++;
    PlaceTilePiece(record->PartX, record->Width, tile.X, tile.UsedWidth, &d.DestX, &d.SourceX, &d.Width);
    PlaceTilePiece(record->PartY, record->Height, tile.Y, tile.UsedHeight, &d.DestY, &d.SourceY, &d.Height);
    d.Texture = &tile;
    for (int c = 0; c < 4; ++c) {
      const int right = c & 1, bottom = c >> 1;
      GraphTileDraw::Corner& corner = d.Corners[c];
      corner.x = static_cast<float>(d.DestX + right * d.Width);
      corner.y = static_cast<float>(d.DestY + bottom * d.Height);
      corner.u = static_cast<float>(d.SourceX + right * d.Width) / static_cast<float>(tile.TextureWidth);
      corner.v = static_cast<float>(d.SourceY + bottom * d.Height) / static_cast<float>(tile.TextureHeight);
      d.CornerFlags[c] = corner.y <= height - corner.x * (height / width) ? 1 : 0;
    }
  }
  return 0;
}

int ShareGraphImagePart(int parentHandle, int newHandle, int x, int y, int width, int height) {
  GraphRecord* parent = GetGraphRecord(parentHandle);
  GraphRecord* record = GetGraphRecord(newHandle);
  if (!parent || !record || !parent->Part) return -1;
  record->Part = parent->Part;
  ++record->Part->RefCount;
  if (SetGraphFileName(newHandle, nullptr, parentHandle) < 0) return -1;
  record->FileX = parent->FileX + x;
  record->FileY = parent->FileY + y;
  record->Mirror = parent->Mirror;
  record->PartX = parent->PartX + x;
  record->PartY = parent->PartY + y;
  record->Width = width;
  record->Height = height;
  return SetupGraphTileDraws(newHandle);
}

namespace {
void DropFileName(GraphRecord* record) {
  GraphFileName* name = record->FileName;
  record->FileName = nullptr;
  if (name && --name->RefCount <= 0) ZV_FREE(name);
}
}  // namespace

int SetGraphFileName(int handle, const char* path, int sourceHandle) {
  GraphRecord* record = GetGraphRecord(handle);
  if (!record) return -1;
  if (path) {
    DropFileName(record);
    char absolute[260];
    MakeAbsolutePath(path, absolute, nullptr);
    const size_t length = strlen(absolute);
    auto* name = static_cast<GraphFileName*>(ZV_ALLOC(static_cast<int>(offsetof(GraphFileName, Path) + length + 1)));
    if (!name) {
      AddLogText("転送する画像ファイルのファイル名を保存するメモリ領域の確保に失敗しました\n");
      return -1;
    }
    name->RefCount = 1;
    memcpy(name->Path, absolute, length + 1);
    record->FileName = name;
    return 0;
  }
  if (sourceHandle == -1) {
    DropFileName(record);
    return 0;
  }
  GraphRecord* source = GetGraphRecord(sourceHandle);
  if (!source) return -1;
  // Take the source's reference before dropping ours: the two may be the same record.
  GraphFileName* shared = source->FileName;
  if (shared) ++shared->RefCount;
  DropFileName(record);
  record->FileName = shared;
  return 0;
}

int SetGraphLostFlag(int handle, int* flag) {
  GraphRecord* record = GetGraphRecord(handle);
  if (!record) return -1;
  record->LostFlag = flag;
  if (flag) *flag = 0;
  return 0;
}

int SplitTextureSizesFor(int length, int* sizes, int single, int maxTextureSide, int screenWidth) {
  int count = 0;
  auto append = [&](int size) {
    if (sizes) sizes[count] = size;
    ++count;
  };
  if (length <= 8) {
    append(8);
    return 1;
  }
  const int largest = maxTextureSide;
  int edge = largest;
  while (edge > 8 && edge > length) edge /= 2;

  if ((single == 1 || length < screenWidth) && largest >= edge * 2) {
    append(edge < length ? edge * 2 : edge);
    return 1;
  }

  int rest = length;
  int previous = 0, last = 0;
  for (;;) {
    append(edge);
    previous = last;
    last = edge;
    rest -= edge;
    if (rest <= 0 || (rest > edge * 3 / 4 && edge < largest)) break;
    while (edge > rest && edge > 8) edge /= 2;
  }
  if (rest > 0) {
    last *= 2;
    if (sizes) sizes[count - 1] = last;
  }
  if (count >= 2 && previous == last && largest >= last * 2) {
    --count;
    if (sizes) sizes[count - 1] = last * 2;
  }
  return count;
}
