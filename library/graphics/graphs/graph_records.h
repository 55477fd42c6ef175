// Graph records: what stands behind a graph handle. The `GraphHandleTable` holds one
// `GraphRecord` per live graph; records share a reference-counted `GraphImagePart` that holds the
// pixels, in Direct3D 9 texture tiles (`GraphTexture`) on the hardware path or in one MEMIMG on
// the software path. A hardware record ends in one `GraphTileDraw` per tile its rectangle
// overlaps, saying which piece of which tile the graph shows; a software record carries a MEMIMG
// view of its rectangle instead. Graphs loaded from a file share a `GraphFileName`, so they can be
// reloaded after a device loss.
//
// Loading, deriving, deleting and restoring graphs work on these structures elsewhere; this file
// owns the handle allocation, the record set-up, the tile-size rule and the tile textures.
#pragma once

#include <cstdint>

#include "platform/d3d9.h"
#include "runtime/runtime_services.h"
#include "zyvel/memimg.h"

// Pixel-format codes of software parts (`GraphImagePart::FormatCode`); hardware parts hold their
// texture format index instead.
enum SoftwareGraphFormat : int {
  kSoftwareGraphFormat16 = 15,
  kSoftwareGraphFormat16Alpha = 16,
  kSoftwareGraphFormat32 = 17,
  kSoftwareGraphFormat32Alpha = 18,
};

struct GraphTexture {
  IDirect3DTexture9* Texture;       // What is drawn from.
  IDirect3DTexture9* Twin;          // System-memory copy pixels are written through, or null.
  IDirect3DSurface9* Surface;       // Level 0 of the texture.
  IDirect3DSurface9* ExtraSurface;  // Drawable parts only.
  int X, Y;                         // Where the tile starts in the image.
  int UsedWidth, UsedHeight;        // The part of the tile that holds image pixels.
  int TextureWidth, TextureHeight;  // Powers of two.
};

struct GraphImagePart {
  int RefCount;      // Graphs that show this part.
  int FormatCode;    // Texture format index (hardware) or a SoftwareGraphFormat.
  uint8_t Textured;  // 1: pixels in texture tiles; 0: in `SoftImage`.
  uint8_t Alpha;
  uint8_t Drawable;  // The textures are render targets.
  uint8_t Software;
  uint8_t SysMemCopy;  // Every texture has a system-memory twin.
  // With SysMemCopy these form the texture request word that the format choice reads.
  uint8_t RequestOption;
  uint8_t RequestMipLevels;
  uint8_t RequestTop;
  uint8_t ColorBits;
  uint8_t AlphaFromRed;       // Uploads take alpha from the source's red channel.
  uint8_t Palette;            // The software image holds 8-bit palette indices.
  uint32_t TransparentColor;  // 0x00RRGGBB.
  int Width, Height;          // Of the whole image.
  // Software path.
  MEMIMG SoftImage;
  MEMIMG* ExtraSoftImage;  // Drawable parts only.
  // Hardware path.
  int MipLevels;
  int TextureCount;
  GraphTexture* Textures;  // TextureCount tiles, row by row; tracked heap, owned by the part.
};

struct GraphTileDraw {
  int DestX, DestY;      // Where the piece starts inside the graph.
  int SourceX, SourceY;  // Where it starts inside the tile's texture.
  int Width, Height;
  // Top-left, top-right, bottom-left, bottom-right.
  struct Corner {
    float x, y, u, v;
  } Corners[4];
  // 1 when the corner lies on or above the graph's anti-diagonal.
  uint8_t CornerFlags[4];
  GraphTexture* Texture;
};

struct GraphFileName {
  int RefCount;
  char Path[1];  // NUL-terminated; the record is allocated to the path's length.
};

// The fixed fields; a hardware record is followed directly by `TileCount` GraphTileDraw entries
// (the record is re-sized to hold exactly those).
struct GraphRecord {
  int CheckValue;
  int Handle;
  int* LostFlag;  // The caller's int, set to 1 when the graph is deleted; may be null.
  GraphImagePart* Part;
  int MovieHandle;  // -1: none.
  GraphFileName* FileName;
  int FileX, FileY;  // The graph's rectangle in its image file.
  int Mirror;
  int PartX, PartY;  // The graph's rectangle in its image part.
  int Width, Height;
  void* WorkBuffers[2];  // Freed with the record.
  MEMIMG SoftView;       // Software path: the graph's rectangle of the part's image.
  int TileCount;
  GraphTileDraw* TileDraws() { return reinterpret_cast<GraphTileDraw*>(this + 1); }
};
static_assert(offsetof(GraphRecord, CheckValue) == offsetof(HandleRecordHeader, checkCount) &&
                  offsetof(GraphRecord, Handle) == offsetof(HandleRecordHeader, handle) &&
                  offsetof(GraphRecord, LostFlag) == offsetof(HandleRecordHeader, lostFlag),
              "graph records are handle records");
static_assert(sizeof(GraphRecord) % alignof(GraphTileDraw) == 0, "tile entries follow the record");

constexpr int kGraphTableSize = GRAPH_HANDLE_TABLE_SIZE;
extern HandleTable g_graphHandleTable;

int NewGraphHandle();
GraphRecord* GetGraphRecord(int handle);
int IsGraphHandleValid(int handle);
int GetGraphDimensions(int handle, int* width, int* height);
int SetupGraphTileDraws(int handle);
// Covers the part's Width x Height with tiles (row by row, tracked heap): the sizes of
// SplitTextureSizes, each non-square tile cut into squares on a device that takes only squares.
int LayoutGraphTextures(GraphImagePart* part, int single);
int CreateGraphTextures(GraphImagePart* part);
int ReleaseGraphTextures(GraphImagePart* part);
int ReleaseDrawableGraphExtras(GraphImagePart* part);
int ReleaseAllDeviceResources();
int ShareGraphImagePart(int parentHandle, int newHandle, int x, int y, int width, int height);
int SetGraphFileName(int handle, const char* path, int sourceHandle);
int SetGraphLostFlag(int handle, int* flag);
// The texture sizes that cover `length` pixels of one dimension; `sizes` (or null) receives them.
int SplitTextureSizes(int length, int* sizes, int single);
// The same rule for a device whose largest texture side is maxTextureSide on a screen
// screenWidth pixels wide.
int SplitTextureSizesFor(int length, int* sizes, int single, int maxTextureSide, int screenWidth);
