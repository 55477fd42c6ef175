// Font handles and their glyph caches, and the string drawing that reads them. The public calls
// (CreateFontToHandle, DrawTextWithFont, MeasureTextWidth, ...) are in zyvel/graphics.h.
//
// A font is a GDI font and a cache of fixed square cells, one glyph each, filled round-robin:
// on the device path a 16-bit image mirrored into a graph (glyph bodies in its left half, the
// edge pictures of edge fonts in its right half), on the software path a byte column the
// software text writers read.
#pragma once

#include <cstdint>

#include "platform/gdi.h"
#include "zyvel/graphics.h"
#include "zyvel/memimg.h"

constexpr int kFontTableSize = 40;
constexpr int kGlyphSlotLimit = 2024;
constexpr int kGlyphCodeCount = 65536;
// Character heights (of either sign) above this are refused: a cell of such a glyph would make a
// cache of hundreds of megabytes for a handful of characters.
constexpr int kFontSizeLimit = 1024;

// `FontType` bits.
enum FontTypeBits : int {
  kFontTypeEdge = 1,
  kFontTypeAntiAlias = 2,
};

struct GlyphCodeEntry;

struct GlyphSlot {
  uint8_t Used;
  int16_t OriginX;  // Pen position to the left edge of the glyph.
  int16_t OffsetY;  // Top of the line to the top of the glyph.
  int16_t Advance;  // With twice the edge size for edge fonts.
  int32_t Index;    // Its own position; fixes its cell. -1 ends the ring.
  int16_t Width;    // The glyph's box inside its cell, edge included; 0 for blanks.
  int16_t Height;
  GlyphCodeEntry* Code;
};

struct GlyphCodeEntry {
  int32_t Cached;  // 1 while a slot holds the character (also the pending mark of a scan).
  GlyphSlot* Slot;
};

// One character of a string: its first and second byte (0 for one-byte characters), and a 0.
struct CharacterEntry {
  uint8_t Bytes[3];
};

struct FontRecord {
  int32_t CheckValue;
  int* LostFlag;
  GlyphSlot Slots[kGlyphSlotLimit + 1];
  GlyphCodeEntry Codes[kGlyphCodeCount];
  int32_t NextSlot;
  int32_t SlotCount;
  uint8_t* BytePixels;  // Software cache.
  int32_t BytePitch;
  int32_t ByteBitsPerPixel;  // 1 or 8.
  char FaceName[256];        // Empty when the default face was used.
  int32_t Thickness;
  int32_t Size;
  int32_t LineHeight;
  int32_t Italic;
  int32_t CharSpacing;
  int32_t CellSize;
  HFONT Font;
  int32_t Type;     // FontTypeBits.
  int32_t CharSet;  // CharSetId of lead-byte tests.
  int32_t EdgeSize;
  int32_t CacheWidth;  // The glyph area; the cache image is twice as wide for edge fonts.
  int32_t CacheHeight;
  int32_t CellsPerColumn;
  int32_t CacheGraph;    // -1 when none.
  int32_t EdgeGraph;     // The right half of the cache graph (edge fonts), -1 when none.
  int32_t CacheLost;     // 1: the cache graphs are to be made (again) before the next draw.
  BaseImage CacheImage;  // Device path.
  int32_t TextureCache;  // 1: cache image and graph; 0: byte cache.
};

// `FontDefaults`: what the default font is made from.
struct FontDefaults {
  int Handle = -1;
  char FaceName[128] = {};
  int Size = 16;
  int Thickness = 6;
  int Type = 0;
  int CharSet = 0;
  int EdgeSize = 1;
  int Italic = 0;
  int CharSpacing = 0;
};
extern FontDefaults g_fontDefaults;

FontRecord* GetFontRecord(int handle);
int ResetFontGlyphCache(int handle);
int CreateFontCacheGraphs(int handle);
// Splits the text into characters (into `list` when given, else a work list of the font system's
// own) and renders the distinct uncached ones, at most the slot count, in one batch.
int CacheTextGlyphs(int maxLength, const char* text, int handle, CharacterEntry* list, int* count);
GlyphSlot* RenderGlyphsToCache(int handle, int count, const CharacterEntry* list);
int RecreateAllFonts();
int RefreshDefaultFont();
int RebuildFontSystem();
int StartFontSystem();
int EndFontSystem();
// The cell of a slot in the cache (device caches start each glyph one pixel into its cell).
void GetGlyphCellPosition(const FontRecord* font, int slot, int* x, int* y);

// String drawing.
int DrawTextTextureCache(int handle, const char* text, int x, int y, unsigned color, unsigned edgeColor, int vertical);
int DrawTextSoftware(int handle, int x, int y, const char* text, unsigned color, unsigned edgeColor, int vertical);
// Measures (draw 0) or draws the text: into `target` on the software path, as cache-graph
// rectangles on the device path. `size` receives {width, height} when given. The pen length, or -1.
int DrawTextCore(int draw, int x, int y, const char* text, unsigned color, MEMIMG* target, const RECT* clip,
                 int transparent, int handle, unsigned edgeColor, int length, int vertical, int size[2]);
