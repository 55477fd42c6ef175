// Font handles and glyph caches: the table of 40 fonts, the default font, and the rendering of
// characters into cache cells with GetGlyphOutlineA.
//
// A glyph is decoded into a level plane (0/1 for monochrome fonts, 0-16 for anti-aliased ones),
// its edge plane is grown from it with the edge pattern, and both are written into the cell in
// the cache's own encoding, cut to the cell so that no glyph reaches into its neighbours or past
// the cache.
#include "graphics/fonts/fonts.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "graphics/fonts/glyph_edge.h"
#include "graphics/graphs/draw_state.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/graphs/graph_records.h"
#include "graphics/graphs/screen_settings.h"
#include "runtime/runtime_services.h"
#include "window/window_services.h"
#include "zyvel/graphics.h"
#include "zyvel/runtime.h"

FontDefaults g_fontDefaults;

namespace {

struct FontHandleTable {
  FontRecord* Records[kFontTableSize];
  int NextCheck;
};
FontHandleTable g_fontTable;

// Work lists of strings of up to 256 bytes, so that short strings allocate nothing.
constexpr int kStaticTextLength = 256;
uint16_t g_codeList[kStaticTextLength];
CharacterEntry g_pendingList[kStaticTextLength];
CharacterEntry g_characterList[kStaticTextLength];

// CharSetId -> the GDI character set.
constexpr DWORD kCharSetCodeTable[5] = {DEFAULT_CHARSET, SHIFTJIS_CHARSET, HANGEUL_CHARSET, CHINESEBIG5_CHARSET,
                                        GB2312_CHARSET};

bool IsBlank(const CharacterEntry& c) { return c.Bytes[0] == 0x20 || (c.Bytes[0] == 0x81 && c.Bytes[1] == 0x40); }

int64_t RoundUp(int64_t value, int64_t step) { return (value + step - 1) / step * step; }

// The largest cache (image or byte column) a font may have, and the largest cell: together they
// keep every size product of the cache well inside 32 bits.
constexpr int64_t kFontCacheByteLimit = int64_t{64} << 20;
constexpr int kCellSizeLimit = 2048;

void FreeFontRecord(int slot) {
  FontRecord* font = g_fontTable.Records[slot];
  if (!font) return;
  if (font->Font) DeleteObject(font->Font);
  if (font->BytePixels) ZV_FREE(font->BytePixels);
  if (font->EdgeGraph != -1) DeleteGraphHandle(font->EdgeGraph);
  if (font->CacheGraph != -1) DeleteGraphHandle(font->CacheGraph);
  if (font->CacheImage.pixels) ZV_FREE(font->CacheImage.pixels);
  if (font->LostFlag) *font->LostFlag = 1;
  ZV_FREE(font);
  g_fontTable.Records[slot] = nullptr;
}

// ---- Cache image pixels (device path) ----

uint32_t ColourBits(const ColorData& c) { return c.redMask | c.greenMask | c.blueMask; }

// The cache image pixel for a level: monochrome fonts 0 or 1, anti-aliased 0-16. White, with the
// glyph in the alpha bits.
uint32_t CachePixel(const ColorData& c, bool antiAlias, int level) {
  const uint32_t colour = ColourBits(c);
  if (level <= 0) return colour;
  if (!antiAlias) return colour | c.alphaMask;
  if (c.alphaWidth < 4) return level > 8 ? colour | c.alphaMask : colour;
  const uint64_t word = (static_cast<uint64_t>(level) << (c.alphaShift + c.alphaWidth - 4)) - 1;
  return (static_cast<uint32_t>(word) | colour) & (colour | c.alphaMask);
}

void PutCachePixel(BaseImage& image, int x, int y, uint32_t value) {
  uint8_t* at = image.pixels + static_cast<ptrdiff_t>(y) * image.pitch + x * image.color.bytesPerPixel;
  if (image.color.bytesPerPixel == 2) {
    const uint16_t v = static_cast<uint16_t>(value);
    std::memcpy(at, &v, 2);
  } else {
    std::memcpy(at, &value, 4);
  }
}

void FillCacheRect(BaseImage& image, const RECT& r, uint32_t value) {
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x) PutCachePixel(image, x, y, value);
}

// Uploads a rectangle of the cache image into the same place of the cache graph.
void UploadCacheRect(FontRecord& font, const RECT& r) {
  if (font.CacheGraph == -1 || r.right <= r.left || r.bottom <= r.top) return;
  TransferImageToGraphAt(&font.CacheImage, nullptr, nullptr, &r, r.left, r.top, font.CacheGraph, 0);
}

// ---- Glyph planes ----

// The glyph and its edge in a (w + 2R) x (h + 2R) area, the glyph at (R, R).
struct GlyphPlanes {
  int width = 0, height = 0;
  std::vector<uint8_t> body;  // Levels: 0/1, or 0-16.
  std::vector<uint8_t> edge;  // Edge fonts: the level (or 0/1) of the edge picture.
  uint8_t& Body(int x, int y) { return body[static_cast<size_t>(y) * width + x]; }
  uint8_t& Edge(int x, int y) { return edge[static_cast<size_t>(y) * width + x]; }
};

void DecodeGlyph(GlyphPlanes& planes, const uint8_t* bits, int pitch, int w, int h, int edgeSize, bool antiAlias) {
  planes.width = w + 2 * edgeSize;
  planes.height = h + 2 * edgeSize;
  planes.body.assign(static_cast<size_t>(planes.width) * planes.height, 0);
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = bits + static_cast<ptrdiff_t>(y) * pitch;
    for (int x = 0; x < w; ++x) {
      const int level = antiAlias ? std::min<int>(row[x], 16) : (row[x / 8] >> (7 - x % 8)) & 1;
      planes.Body(x + edgeSize, y + edgeSize) = static_cast<uint8_t>(level);
    }
  }
}

void GrowEdge(GlyphPlanes& planes, int edgeSize, int kind) {
  planes.edge.assign(planes.body.size(), 0);
  GrowGlyphEdge(planes.body.data(), planes.width, planes.height, edgeSize, kind, planes.edge.data());
}

// Writes the planes into the cell whose content starts at (cellX, cellY) and ends at `limit`
// (exclusive); returns nothing, the caller cuts the slot's box to the same limit.
void ComposeIntoByteCache(FontRecord& font, GlyphPlanes& planes, int cellY, int cellBottom) {
  const int type = font.Type;
  for (int y = 0; y < planes.height && cellY + y < cellBottom; ++y) {
    uint8_t* row = font.BytePixels + static_cast<ptrdiff_t>(cellY + y) * font.BytePitch;
    for (int x = 0; x < planes.width && x < font.CellSize; ++x) {
      const int level = planes.Body(x, y);
      switch (type) {
        case 0:
          if (level) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
          break;
        case 1:
          row[x] = level ? 1 : (planes.Edge(x, y) ? 2 : 0);
          break;
        case 2:
          row[x] = static_cast<uint8_t>(level > 0 ? level - 1 : 0);
          break;
        default:
          row[x] = static_cast<uint8_t>((level > 0 ? level - 1 : 0) | planes.Edge(x, y) << 4);
          break;
      }
    }
  }
}

void ComposeIntoCacheImage(FontRecord& font, GlyphPlanes& planes, const RECT& content) {
  BaseImage& image = font.CacheImage;
  const bool antiAlias = (font.Type & kFontTypeAntiAlias) != 0;
  const bool edge = (font.Type & kFontTypeEdge) != 0;
  uint32_t byLevel[17];  // The cache pixel of each level a plane holds.
  for (int level = 0; level <= 16; ++level) byLevel[level] = CachePixel(image.color, antiAlias, level);
  const int rows = std::min<int>(planes.height, content.bottom - content.top);
  const int columns = std::min<int>(planes.width, content.right - content.left);
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < columns; ++x) {
      PutCachePixel(image, content.left + x, content.top + y, byLevel[std::min<int>(planes.Body(x, y), 16)]);
      if (edge)
        PutCachePixel(image, content.left + x + font.CacheWidth, content.top + y,
                      byLevel[std::min<int>(planes.Edge(x, y), 16)]);
    }
}

// The part of a cell a glyph may occupy: device cells start one pixel in, and stop at the cache.
RECT CellContent(const FontRecord& font, int slot) {
  int x = 0, y = 0;
  GetGlyphCellPosition(&font, slot, &x, &y);
  if (!font.TextureCache) return RECT{0, y, font.CellSize, y + font.CellSize};
  const int column = slot / font.CellsPerColumn, row = slot % font.CellsPerColumn;
  return RECT{x, y, std::min((column + 1) * font.CellSize, font.CacheWidth),
              std::min((row + 1) * font.CellSize, font.CacheHeight)};
}

void ClearCell(FontRecord& font, const RECT& content) {
  if (!font.TextureCache) {
    std::memset(font.BytePixels + static_cast<ptrdiff_t>(content.top) * font.BytePitch, 0,
                static_cast<size_t>(font.BytePitch) * (content.bottom - content.top));
    return;
  }
  const uint32_t empty = CachePixel(font.CacheImage.color, false, 0);
  FillCacheRect(font.CacheImage, content, empty);
  if (font.Type & kFontTypeEdge)
    FillCacheRect(font.CacheImage,
                  RECT{content.left + font.CacheWidth, content.top, content.right + font.CacheWidth, content.bottom},
                  empty);
}

void ClearWholeCacheImage(FontRecord& font) {
  BaseImage& image = font.CacheImage;
  if (!image.pixels) return;
  FillCacheRect(image, RECT{0, 0, image.width, image.height}, CachePixel(image.color, false, 0));
  UploadCacheRect(font, RECT{0, 0, image.width, image.height});
}

HFONT CreateGdiFont(const FontRecord& font, const char* face, DWORD charSet, int italic) {
  return CreateFontA(font.Size, 0, 0, 0, font.Thickness * 100, static_cast<DWORD>(italic), FALSE, FALSE, charSet,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, FIXED_PITCH, face);
}

// Steps 7 and 8 of creation: the GDI font, the cell size and the line height. -1 with the log line.
int OpenGdiFont(FontRecord& font, int charSetId) {
  const DWORD tableCharSet = kCharSetCodeTable[charSetId >= 0 && charSetId < 5 ? charSetId : 0];
  if (font.FaceName[0]) {
    for (DWORD charSet : {tableCharSet, DWORD{DEFAULT_CHARSET}, DWORD{SHIFTJIS_CHARSET}}) {
      font.Font = CreateGdiFont(font, font.FaceName, charSet, font.Italic);
      if (font.Font) break;
    }
    if (!font.Font) {
      AddLogText("指定のフォントの作成に失敗しました\n");
      return -1;
    }
  } else {
    font.Font = CreateGdiFont(font, "ＭＳ ゴシック", tableCharSet, font.Italic);
    if (!font.Font) font.Font = CreateGdiFont(font, "ＭＳ ゴシック", DEFAULT_CHARSET, 0);
    if (!font.Font) font.Font = CreateGdiFont(font, nullptr, DEFAULT_CHARSET, 0);
    if (!font.Font) {
      AddLogText("フォントの作成に失敗しました\n");
      return -1;
    }
  }
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) {
    AddLogText("ＤＣの取得に失敗しました\n");
    DeleteObject(font.Font);
    font.Font = nullptr;
    return -1;
  }
  HGDIOBJ previous = SelectObject(dc, font.Font);
  TEXTMETRICA metrics{};
  GetTextMetricsA(dc, &metrics);
  const int64_t edge = (font.Type & kFontTypeEdge) ? int64_t{font.EdgeSize} * 2 : 0;
  const int64_t cell = RoundUp(int64_t{metrics.tmMaxCharWidth} + 2 + edge, 8);
  const int64_t lineHeight = RoundUp(int64_t{metrics.tmHeight} + edge, 2);
  SelectObject(dc, previous);
  DeleteDC(dc);
  // A wide edge can make a cell that no cache holds, whatever the font's size.
  if (std::max(cell, lineHeight) > kCellSizeLimit) {
    WriteLogFormat("文字キャッシュのセルの大きさ %lld が上限の %d を超えています in CreateFontToHandle",
                   static_cast<long long>(std::max(cell, lineHeight)), kCellSizeLimit);
    DeleteObject(font.Font);
    font.Font = nullptr;
    return -1;
  }
  font.CellSize = static_cast<int>(std::max(cell, lineHeight));
  font.LineHeight = static_cast<int>(lineHeight);
  return 0;
}

// The cache image's bytes at 16 bits a pixel, edge fonts twice as wide.
int64_t CacheImageBytes(const FontRecord& font, int64_t width, int64_t height) {
  return width * ((font.Type & kFontTypeEdge) ? 2 : 1) * height * 2;
}

int SetUpTextureCache(int handle, FontRecord& font) {
  int64_t width = 512, height = 512;
  const int64_t cell = font.CellSize;
  int64_t count = (512 / cell) * (512 / cell);
  while (count < 10 && CacheImageBytes(font, width, height) <= kFontCacheByteLimit) {
    if (width <= height)
      width *= 2;
    else
      height *= 2;
    count = (height / cell) * (width / cell);
  }
  if (CacheImageBytes(font, width, height) > kFontCacheByteLimit) {
    AddLogText("文字キャッシュ基本イメージ用のメモリの確保に失敗しました\n");
    return -1;
  }
  font.CacheWidth = static_cast<int32_t>(width);
  font.CacheHeight = static_cast<int32_t>(height);
  font.SlotCount = static_cast<int32_t>(std::min<int64_t>(count, kGlyphSlotLimit));
  font.CellsPerColumn = font.CacheHeight / font.CellSize;
  font.CacheLost = 1;
  if (CreateFontCacheGraphs(handle) != 0) return 1;
  const bool antiAlias = (font.Type & kFontTypeAntiAlias) != 0;
  const ColorData* format = ChooseTextureFormatFor(antiAlias ? 1 : 0, antiAlias ? 0 : 1, 0, 0);
  if (!format) return 1;
  BaseImage& image = font.CacheImage;
  image.color = *format;
  image.width = font.CacheWidth * ((font.Type & kFontTypeEdge) ? 2 : 1);
  image.height = font.CacheHeight;
  image.pitch = image.width * format->bytesPerPixel;
  const int64_t bytes = int64_t{image.pitch} * image.height;
  image.pixels = bytes <= kFontCacheByteLimit ? static_cast<uint8_t*>(ZV_ALLOC(static_cast<int>(bytes))) : nullptr;
  if (!image.pixels) {
    AddLogText("文字キャッシュ基本イメージ用のメモリの確保に失敗しました\n");
    return -1;
  }
  ClearWholeCacheImage(font);
  return 0;
}

int SetUpByteCache(FontRecord& font) {
  const int64_t cell = font.CellSize;
  font.ByteBitsPerPixel = font.Type == 0 ? 1 : 8;
  font.SlotCount = static_cast<int32_t>(std::clamp<int64_t>(0x50000 / (cell * cell), 20, kGlyphSlotLimit));
  const int64_t height = cell * font.SlotCount;
  const int64_t pitch = (font.ByteBitsPerPixel * cell + 7) / 8;
  font.BytePixels = pitch * height <= kFontCacheByteLimit
                        ? static_cast<uint8_t*>(ZV_ALLOC_ZEROED(static_cast<int>(pitch * height)))
                        : nullptr;
  font.CacheHeight = static_cast<int32_t>(height);
  font.CacheWidth = static_cast<int32_t>(cell);
  font.CellsPerColumn = font.SlotCount;
  font.BytePitch = static_cast<int32_t>(pitch);
  if (!font.BytePixels) {
    AddLogText("フォントのキャッシュ用メモリの確保に失敗しました in CreateFontToHandle");
    return -1;
  }
  return 0;
}

// Whether a byte may follow a lead byte in the character set's code page. A lead byte followed by
// anything else is a character of its own (drawn as the code page's '?'), and the byte after it
// is read as itself, so a broken pair never swallows the character behind it.
bool IsTrailByte(uint8_t byte, int charSet) {
  switch (charSet) {
    case CHARSET_HANGEUL:
      return (byte >= 0x41 && byte <= 0x5A) || (byte >= 0x61 && byte <= 0x7A) || (byte >= 0x81 && byte <= 0xFE);
    case CHARSET_BIG5:
      return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0xA1 && byte <= 0xFE);
    case CHARSET_GB2312:
      return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFE);
    default:
      return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
  }
}

int FindCharacterLength(const char* text, int at, int length, int charSet) {
  return at + 1 < length && CheckLeadByte(text + at, charSet) &&
                 IsTrailByte(static_cast<uint8_t>(text[at + 1]), charSet)
             ? 2
             : 1;
}

}  // namespace

// ---- Handles ----

FontRecord* GetFontRecord(int handle) {
  if (handle < 0 || HandleKindOf(handle) != HANDLE_KIND_FONT) return nullptr;
  const int slot = HandleSlotOf(handle);
  if (slot >= kFontTableSize) return nullptr;
  FontRecord* font = g_fontTable.Records[slot];
  if (!font || font->CheckValue != HandleCheckCountOf(handle)) return nullptr;
  return font;
}

int CheckFontHandle(int handle) { return GetFontRecord(handle) ? 1 : 0; }

void GetGlyphCellPosition(const FontRecord* font, int slot, int* x, int* y) {
  const int column = slot / font->CellsPerColumn, row = slot % font->CellsPerColumn;
  const int inset = font->TextureCache ? 1 : 0;
  *x = column * font->CellSize + inset;
  *y = row * font->CellSize + inset;
}

int CreateFontToHandle(const char* faceName, int size, int thickness, int fontType, int charSet, int edgeSize,
                       int italic, int slot, int checkValue) {
  if (IsMainWindowDestroyed()) return -1;
  // Only the two type bits mean anything.
  int type = fontType == -1 ? 0 : fontType & (kFontTypeEdge | kFontTypeAntiAlias);
  if (edgeSize > 1) type |= kFontTypeEdge;
  if (charSet == -1) charSet = GetCharSet();
  if (size != -1 && (size > kFontSizeLimit || size < -kFontSizeLimit)) {
    WriteLogFormat("フォントのサイズ %d が上限の %d を超えています in CreateFontToHandle", size, kFontSizeLimit);
    return -1;
  }

  if (slot == -1) {
    for (slot = 0; slot < kFontTableSize && g_fontTable.Records[slot]; ++slot) {
    }
    if (slot == kFontTableSize) {
      WriteLogFormat("作成できるフォントハンドル数 %d の限界を超えました", kFontTableSize);
      return -1;
    }
  } else if (slot < 0 || slot >= kFontTableSize || g_fontTable.Records[slot]) {
    return -1;
  }
  auto* font = static_cast<FontRecord*>(ZV_ALLOC_ZEROED(static_cast<int>(sizeof(FontRecord))));
  if (!font) {
    AddLogText("フォント管理用メモリ領域の確保に失敗しました\n");
    return -1;
  }
  g_fontTable.Records[slot] = font;
  font->CacheGraph = font->EdgeGraph = -1;
  if (GetScreenColorBits() == 8) type &= ~kFontTypeAntiAlias;
  font->EdgeSize = edgeSize == -1 ? 1 : edgeSize;
  if (font->EdgeSize < 1) font->EdgeSize = 1;
  font->Type = type;
  font->Size = size == -1 ? 16 : size;
  font->Thickness = thickness == -1 ? 6 : thickness;
  font->Italic = italic == 1 ? 1 : 0;
  font->CharSpacing = 0;
  if (checkValue == -1) {
    font->CheckValue = g_fontTable.NextCheck;
    g_fontTable.NextCheck = (g_fontTable.NextCheck + 1) % HANDLE_CHECK_COUNT_LIMIT;
  } else {
    font->CheckValue = checkValue & (HANDLE_CHECK_COUNT_LIMIT - 1);
  }
  const int handle = MakeHandleWord(slot, font->CheckValue, HANDLE_KIND_FONT);
  font->TextureCache = g_screenSettings.HardwareInUse ? 1 : 0;
  if (faceName) CopyStringN(font->FaceName, faceName, static_cast<int>(sizeof font->FaceName) - 1);

  int result = OpenGdiFont(*font, charSet);
  if (result == 0 && font->TextureCache) {
    result = SetUpTextureCache(handle, *font);
    if (result == 1) {
      AddLogText("テクスチャ文字キャッシュの作成に失敗しました\n");
      if (font->EdgeGraph != -1) DeleteGraphHandle(font->EdgeGraph);
      if (font->CacheGraph != -1) DeleteGraphHandle(font->CacheGraph);
      font->CacheGraph = font->EdgeGraph = -1;
      font->TextureCache = 0;
      result = 0;
    }
  }
  if (result == 0 && !font->TextureCache) result = SetUpByteCache(*font);
  if (result != 0) {
    FreeFontRecord(slot);
    return -1;
  }
  ResetFontGlyphCache(handle);
  font->CharSet = charSet;
  font->LostFlag = nullptr;
  return handle;
}

int DeleteFontHandle(int handle) {
  if (!GetFontRecord(handle)) return -1;
  FreeFontRecord(HandleSlotOf(handle));
  return 0;
}

int SetFontLostFlag(int handle, int* flag) {
  FontRecord* font = GetFontRecord(handle);
  if (!font) return -1;
  font->LostFlag = flag;
  if (flag) *flag = 0;
  return 0;
}

int SetFontCharSpacing(int spacing, int handle) {
  FontRecord* font = GetFontRecord(handle);
  if (!font) return -1;
  font->CharSpacing = spacing;
  return 0;
}

int QueryFontInfo(char* faceName, int* size, int* thickness, int handle) {
  const FontRecord* font = GetFontRecord(handle);
  if (!font) return -1;
  if (faceName) CopyString(faceName, font->FaceName);
  if (size) *size = font->Size;
  if (thickness) *thickness = font->Thickness;
  return 0;
}

int QueryFontSize(int handle) {
  const FontRecord* font = GetFontRecord(handle);
  return font ? font->Size : -1;
}

int QueryDefaultFontHandle() { return g_fontDefaults.Handle; }

// ---- The glyph cache ----

int ResetFontGlyphCache(int handle) {
  FontRecord* font = GetFontRecord(handle);
  if (!font) return -1;
  std::memset(font->Codes, 0, sizeof font->Codes);
  std::memset(font->Slots, 0, sizeof font->Slots);
  for (int i = 0; i < font->SlotCount; ++i) font->Slots[i].Index = i;
  font->Slots[font->SlotCount].Index = -1;
  font->NextSlot = 0;
  return 0;
}

int CreateFontCacheGraphs(int handle) {
  FontRecord* font = GetFontRecord(handle);
  if (!font) return -1;
  if (!font->CacheLost) return 0;
  font->CacheLost = 0;
  // Only the cache graph may have gone: its edge half goes too before both are made again.
  if (font->EdgeGraph != -1) DeleteGraphHandle(font->EdgeGraph);
  if (font->CacheGraph != -1) DeleteGraphHandle(font->CacheGraph);
  font->CacheGraph = font->EdgeGraph = -1;
  DrawState& state = g_drawState;
  const int savedAlpha = state.CreateAlphaGraph, savedTransparent = state.UseTransparentColor;
  const int savedBits = state.CreateColorBits, savedTarget = state.CreateRenderTargetGraph;
  const bool antiAlias = (font->Type & kFontTypeAntiAlias) != 0;
  const bool edge = (font->Type & kFontTypeEdge) != 0;
  state.CreateAlphaGraph = antiAlias ? 1 : 0;
  state.UseTransparentColor = antiAlias ? 0 : 1;
  state.CreateColorBits = 16;
  // A drawable graph has no alpha: the text would draw as solid boxes.
  state.CreateRenderTargetGraph = 0;
  font->CacheGraph = MakeBlankGraph(font->CacheWidth * (edge ? 2 : 1), font->CacheHeight);
  font->EdgeGraph = -1;
  if (font->CacheGraph != -1 && edge)
    font->EdgeGraph = CutSubGraph(font->CacheWidth, 0, font->CacheWidth * 2, font->CacheHeight, font->CacheGraph);
  state.CreateAlphaGraph = savedAlpha;
  state.UseTransparentColor = savedTransparent;
  state.CreateColorBits = savedBits;
  state.CreateRenderTargetGraph = savedTarget;
  if (font->CacheGraph == -1 || (edge && font->EdgeGraph == -1)) {
    if (font->CacheGraph != -1) DeleteGraphHandle(font->CacheGraph);
    font->CacheGraph = -1;
    // Tried again at the next draw.
    font->CacheLost = 1;
    return -1;
  }
  SetGraphLostFlag(font->CacheGraph, &font->CacheLost);
  FillGraphColor(font->CacheGraph, 255, 255, 255, 0);
  ClearWholeCacheImage(*font);
  ResetFontGlyphCache(handle);
  return 0;
}

int CacheTextGlyphs(int maxLength, const char* text, int handle, CharacterEntry* list, int* count) {
  FontRecord* font = GetFontRecord(handle);
  if (!font || !text) return -1;
  int length = static_cast<int>(std::strlen(text));
  if (maxLength != -1 && maxLength < length) length = maxLength;
  if (length < 0) length = 0;

  CharacterEntry* characters = g_characterList;
  uint16_t* codes = g_codeList;
  CharacterEntry* pending = g_pendingList;
  void* block = nullptr;
  if (length > kStaticTextLength) {
    // Characters, codes and the pending list all grow with the string.
    if (int64_t{length} * 8 > INT_MAX / 2) return -1;
    block = ZV_ALLOC(length * 8);
    if (!block) return -1;
    characters = static_cast<CharacterEntry*>(block);
    codes = reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(block) + 3 * length);
    pending = reinterpret_cast<CharacterEntry*>(static_cast<uint8_t*>(block) + 5 * length);
  }
  if (list) characters = list;

  int characterCount = 0, pendingCount = 0;
  for (int at = 0; at < length;) {
    const int bytes = FindCharacterLength(text, at, length, font->CharSet);
    CharacterEntry entry{
        {static_cast<uint8_t>(text[at]), bytes == 2 ? static_cast<uint8_t>(text[at + 1]) : uint8_t{0}, 0}};
    characters[characterCount++] = entry;
    const uint16_t code = static_cast<uint16_t>(entry.Bytes[0] | entry.Bytes[1] << 8);
    GlyphCodeEntry& codeEntry = font->Codes[code];
    if (!codeEntry.Cached && pendingCount < font->SlotCount) {
      codeEntry.Cached = 1;
      codes[pendingCount] = code;
      pending[pendingCount++] = entry;
    }
    at += bytes;
  }
  for (int i = 0; i < pendingCount; ++i) font->Codes[codes[i]].Cached = 0;
  if (pendingCount > 0) RenderGlyphsToCache(handle, pendingCount, pending);
  if (count) *count = characterCount;
  if (block) ZV_FREE(block);
  return 0;
}

GlyphSlot* RenderGlyphsToCache(int handle, int count, const CharacterEntry* list) {
  FontRecord* font = GetFontRecord(handle);
  if (!font) return nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) AbortWithLog("テキストキャッシュサーフェスのＤＣの取得に失敗しました");
  HGDIOBJ previous = SelectObject(dc, font->Font);
  if (!previous) AbortWithLog("テキストキャッシュサーフェスのＤＣの取得に失敗しました");
  TEXTMETRICA metrics{};
  GetTextMetricsA(dc, &metrics);
  const bool edge = (font->Type & kFontTypeEdge) != 0;
  const bool antiAlias = (font->Type & kFontTypeAntiAlias) != 0;
  const int edgeSize = edge ? font->EdgeSize : 0;
  const UINT format = antiAlias ? GGO_GRAY4_BITMAP : GGO_BITMAP;
  const MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  GlyphPlanes planes;
  GlyphSlot* last = nullptr;
  // The cells cleared or written, uploaded together at the end: one texture update a half of the
  // cache for the batch rather than one a glyph. Cells between them go up unchanged.
  RECT touched = {0, 0, 0, 0};

  for (int i = 0; i < count; ++i) {
    const CharacterEntry& character = list[i];
    GlyphSlot& slot = font->Slots[font->NextSlot];
    if (slot.Used) {
      slot.Code->Cached = 0;
      slot.Code->Slot = nullptr;
      slot.Used = 0;
    }
    const RECT content = CellContent(*font, font->NextSlot);
    ClearCell(*font, content);
    if (touched.right <= touched.left)
      touched = content;
    else
      touched = RECT{std::min(touched.left, content.left), std::min(touched.top, content.top),
                     std::max(touched.right, content.right), std::max(touched.bottom, content.bottom)};

    const UINT code = character.Bytes[1] ? character.Bytes[0] << 8 | character.Bytes[1] : character.Bytes[0];
    GLYPHMETRICS glyph{};
    const DWORD size = GetGlyphOutlineA(dc, code, format, &glyph, 0, nullptr, &identity);
    if (size == GDI_ERROR) {
      AddLogText("GetGlyphOutline 関数が失敗しました\n");
      continue;
    }
    slot.OriginX = static_cast<int16_t>(glyph.gmptGlyphOrigin.x);
    slot.OffsetY = static_cast<int16_t>(metrics.tmAscent - glyph.gmptGlyphOrigin.y);
    slot.Advance = glyph.gmCellIncX;
    slot.Width = slot.Height = 0;
    // A character without ink (the platform reports a 1 x 1 box and no bytes) is a blank too.
    if (!IsBlank(character) && size > 0 && glyph.gmBlackBoxY > 0) {
      const int64_t pitch = (size / glyph.gmBlackBoxY) & ~DWORD{3};
      const int64_t bytes = int64_t{size} + 2 * pitch;
      // A bitmap no cell could hold is not fetched; the character is left out like a failed one.
      if (bytes > kFontCacheByteLimit) {
        AddLogText("GetGlyphOutline 関数が失敗しました\n");
        continue;
      }
      auto* buffer = static_cast<uint8_t*>(ZV_ALLOC_ZEROED(static_cast<int>(bytes)));
      if (!buffer) AbortWithLog("アンチエイリアス文字取得用バッファの確保に失敗しました");
      if (GetGlyphOutlineA(dc, code, format, &glyph, size, buffer + pitch, &identity) == GDI_ERROR) {
        AddLogText("GetGlyphOutline 関数が失敗しました\n");
        ZV_FREE(buffer);
        continue;
      }
      const int w = static_cast<int>(std::min<DWORD>(glyph.gmBlackBoxX, kCellSizeLimit));
      const int h = static_cast<int>(std::min<DWORD>(glyph.gmBlackBoxY, kCellSizeLimit));
      // The rows the buffer holds bound what is read, whatever the metrics claim; what lies past
      // the cell is cut there anyway, so it is not decoded.
      const int64_t rowBytes = antiAlias ? w : (w + 7) / 8;
      const int readableWidth = std::min<int>(
          font->CellSize, static_cast<int>(rowBytes <= pitch ? w : (antiAlias ? pitch : pitch * 8)));
      const int readableRows = std::min<int>(font->CellSize,
                                             static_cast<int>(pitch > 0 ? std::min<int64_t>(h, size / pitch) : 0));
      DecodeGlyph(planes, buffer + pitch, static_cast<int>(pitch), readableWidth, readableRows, edgeSize, antiAlias);
      ZV_FREE(buffer);
      if (edge) GrowEdge(planes, edgeSize, font->TextureCache ? (antiAlias ? 1 : 0) : (antiAlias ? 2 : 0));
      if (font->TextureCache) {
        ComposeIntoCacheImage(*font, planes, content);
      } else {
        ComposeIntoByteCache(*font, planes, content.top, content.bottom);
      }
      slot.Width = static_cast<int16_t>(std::min<int>(w + 2 * edgeSize, content.right - content.left));
      slot.Height = static_cast<int16_t>(std::min<int>(h + 2 * edgeSize, content.bottom - content.top));
    }
    slot.Advance = static_cast<int16_t>(slot.Advance + 2 * edgeSize);
    GlyphCodeEntry& codeEntry = font->Codes[character.Bytes[0] | character.Bytes[1] << 8];
    codeEntry.Cached = 1;
    codeEntry.Slot = &slot;
    slot.Used = 1;
    slot.Code = &codeEntry;
    font->NextSlot = font->NextSlot + 1 == font->SlotCount ? 0 : font->NextSlot + 1;
    last = &slot;
  }
  SelectObject(dc, previous);
  DeleteDC(dc);
  if (font->TextureCache) {
    UploadCacheRect(*font, touched);
    if (edge)
      UploadCacheRect(
          *font, RECT{touched.left + font->CacheWidth, touched.top, touched.right + font->CacheWidth, touched.bottom});
  }
  return last;
}

// ---- Font system ----

int RecreateAllFonts() {
  for (int slot = 0; slot < kFontTableSize; ++slot) {
    FontRecord* font = g_fontTable.Records[slot];
    if (!font) continue;
    char face[256];
    CopyString(face, font->FaceName);
    const int check = font->CheckValue, thickness = font->Thickness, type = font->Type, size = font->Size;
    const int charSet = font->CharSet, edgeSize = font->EdgeSize, italic = font->Italic;
    const int spacing = font->CharSpacing;
    int* lostFlag = font->LostFlag;
    // The handle lives on, so its owner is not told it was lost.
    font->LostFlag = nullptr;
    FreeFontRecord(slot);
    const int handle = CreateFontToHandle(face[0] ? face : nullptr, size, thickness, type, charSet, edgeSize, italic,
                                          slot, check);
    FontRecord* made = GetFontRecord(handle);
    if (made) {
      made->CharSpacing = spacing;
      made->LostFlag = lostFlag;
    } else if (lostFlag) {
      *lostFlag = 1;
    }
  }
  return 0;
}

int RefreshDefaultFont() {
  FontDefaults& d = g_fontDefaults;
  const FontRecord* font = GetFontRecord(d.Handle);
  if (font && std::strcmp(font->FaceName, d.FaceName) == 0 && font->Type == d.Type && font->Size == d.Size &&
      font->Thickness == d.Thickness && font->CharSet == d.CharSet && font->EdgeSize == d.EdgeSize &&
      font->Italic == d.Italic)
    return 0;
  DeleteFontHandle(d.Handle);
  d.Handle = CreateFontToHandle(d.FaceName[0] ? d.FaceName : nullptr, d.Size, d.Thickness, d.Type, d.CharSet,
                                (d.Type & kFontTypeEdge) ? d.EdgeSize : -1, d.Italic, -1, -1);
  SetFontCharSpacing(d.CharSpacing, d.Handle);
  return 0;
}

int SetDefaultFontSize(const char*, int size, int thickness) {
  g_fontDefaults.Size = size;
  g_fontDefaults.Thickness = thickness;
  return RefreshDefaultFont();
}

int RebuildFontSystem() {
  AddLogText("フォントの初期化を行います\n");
  PushLogIndent();
  FontDefaults& d = g_fontDefaults;
  FontDefaults from = d;
  from.FaceName[0] = 0;
  if (const FontRecord* font = GetFontRecord(d.Handle)) {
    CopyStringN(from.FaceName, font->FaceName, static_cast<int>(sizeof from.FaceName) - 1);
    from.Thickness = font->Thickness;
    from.Type = font->Type;
    from.Size = font->Size;
    from.EdgeSize = font->EdgeSize;
    from.CharSet = font->CharSet;
    from.Italic = font->Italic;
  }
  for (int slot = 0; slot < kFontTableSize; ++slot) FreeFontRecord(slot);
  d.Handle = CreateFontToHandle(from.FaceName[0] ? from.FaceName : nullptr, from.Size, from.Thickness, from.Type,
                                from.CharSet, (from.Type & kFontTypeEdge) ? from.EdgeSize : -1, from.Italic, -1, -1);
  PopLogIndent();
  AddLogText("フォントの初期化は正常に終了しました\n");
  return 0;
}

int StartFontSystem() {
  g_fontTable = FontHandleTable{};
  g_fontDefaults = FontDefaults{};
  g_fontDefaults.CharSet = GetCharSet();
  return RebuildFontSystem();
}

int EndFontSystem() {
  RebuildFontSystem();
  DeleteFontHandle(g_fontDefaults.Handle);
  g_fontDefaults.Handle = -1;
  return 0;
}
