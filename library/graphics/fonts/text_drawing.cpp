// String drawing and measuring through a font's glyph cache.
//
// On the device path every glyph is a rectangle of the font's cache graph drawn as DrawGraphRect
// draws it (its edge picture first, in the edge colour, then its body in the text colour, both by
// the draw-bright colour), the rectangles of a string queued together after one preparation of
// the device per colour; vertical glyphs are the whole cache graph turned a quarter clockwise
// under a clip area of one glyph. On the software path the glyph cells are
// written pixel by pixel into a MEMIMG by writers chosen by the cell encoding (the font type) and
// the target's pixel layout; blended and anti-aliased strings are written into a work image first
// and blitted once, so the blend applies to the string as a whole.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include "graphics/device/render_device.h"
#include "graphics/fonts/fonts.h"
#include "graphics/graphs/blend_mode.h"
#include "graphics/graphs/draw_settings.h"
#include "graphics/graphs/draw_state.h"
#include "graphics/graphs/graph_drawing.h"
#include "graphics/graphs/graph_records.h"
#include "graphics/graphs/masks.h"
#include "graphics/graphs/screen_settings.h"
#include "graphics/graphs/screens.h"
#include "graphics/graphs/software_drawing.h"
#include "window/window_services.h"
#include "zyvel/graphics.h"
#include "zyvel/memimg.h"
#include "zyvel/runtime.h"

namespace {

constexpr int kStaticTextLength = 256;
CharacterEntry g_walkList[kStaticTextLength];

// The text and edge colours after the draw-bright colour: words for the device's vertex colour,
// codes in the screen's pixel format (without its spare bits) for the software writers.
struct TextColours {
  uint32_t textWord, edgeWord;
  uint32_t text, edge;
};

TextColours MakeTextColours(unsigned color, unsigned edgeColor) {
  const uint32_t bright = g_drawState.BrightColor;
  const int brightChannel[3] = {static_cast<int>(bright >> 16 & 0xFF), static_cast<int>(bright >> 8 & 0xFF),
                                static_cast<int>(bright & 0xFF)};
  const uint32_t spare = static_cast<uint32_t>(MakeColorCode(0, 0, 0));
  auto make = [&](unsigned code, uint32_t* word, uint32_t* screenCode) {
    int channel[3] = {0, 0, 0};
    GetColorComponents(static_cast<int>(code), &channel[0], &channel[1], &channel[2]);
    for (int i = 0; i < 3; ++i) channel[i] = channel[i] * brightChannel[i] / 255;
    *word = 0xFF000000u | static_cast<uint32_t>(channel[0]) << 16 | static_cast<uint32_t>(channel[1]) << 8 |
            static_cast<uint32_t>(channel[2]);
    *screenCode = static_cast<uint32_t>(MakeColorCode(channel[0], channel[1], channel[2])) & ~spare;
  };
  TextColours colours{};
  make(color, &colours.textWord, &colours.text);
  make(edgeColor, &colours.edgeWord, &colours.edge);
  return colours;
}

bool IsBlank(const CharacterEntry& c) { return c.Bytes[0] == 0x20 || (c.Bytes[0] == 0x81 && c.Bytes[1] == 0x40); }

// ---- Software writers ----

// The target's pixel layout.
enum class TargetLayout { kPalette8, kPlain16, kAlpha16, kColour32 };

TargetLayout LayoutOf(const MEMIMG* image) {
  const MemImgCore* core = image->Core;
  const int bytes = GetMemImgBytesPerPixel(core);
  if (bytes == 1) return TargetLayout::kPalette8;
  if (bytes == 2) return TargetLayout::kPlain16;
  return core->Format == kMemImgFormat16 ? TargetLayout::kAlpha16 : TargetLayout::kColour32;
}

// What one cell value becomes: nothing, or a colour with an alpha (255 = opaque).
struct TextPixel {
  bool write;
  uint32_t colour;
  int alpha;
};

// The mix of the type-3 rule between the edge colour and the text colour by the body's share f
// (0..256), channel by channel in the layout's channel widths.
uint32_t MixColours(uint32_t edge, uint32_t text, int f, bool sixteen) {
  auto mix = [f](uint32_t e, uint32_t c) {
    return static_cast<uint32_t>(static_cast<int>(e) + (static_cast<int>(c) - static_cast<int>(e)) * f / 256);
  };
  if (sixteen)
    return mix(edge >> 11 & 31, text >> 11 & 31) << 11 | mix(edge >> 5 & 63, text >> 5 & 63) << 5 |
           mix(edge & 31, text & 31);
  return mix(edge >> 16 & 255, text >> 16 & 255) << 16 | mix(edge >> 8 & 255, text >> 8 & 255) << 8 |
         mix(edge & 255, text & 255);
}

template <int Type>
TextPixel ResolveCell(int value, const TextColours& c, bool sixteen) {
  if (Type == 0) return {value != 0, c.text, 255};
  if (Type == 1) return value == 1 ? TextPixel{true, c.text, 255} : TextPixel{value == 2, c.edge, 255};
  if (Type == 2) {
    // A full level is opaque, as the type-3 rule has it for bodies and the device cache for all.
    if (value == 0) return {false, 0, 0};
    return {true, c.text, value == 15 ? 255 : value * 16};
  }
  const int body = value & 15, edge = value >> 4;
  if (body == 15) return {true, c.text, 255};
  if (body > 0) {
    const int alpha = (15 - body) * edge + 16 * body;
    const int f = body * 4096 / alpha;
    return {true, MixColours(c.edge, c.text, f, sixteen), alpha};
  }
  if (edge > 0) return {true, c.edge, edge == 15 ? 255 : edge * 16};
  return {false, 0, 0};
}

template <TargetLayout Layout>
void StorePixel(uint8_t* at, const TextPixel& p) {
  if (Layout == TargetLayout::kPalette8) {
    *at = static_cast<uint8_t>(p.colour);
  } else if (Layout == TargetLayout::kPlain16) {
    const uint16_t v = static_cast<uint16_t>(p.colour);
    std::memcpy(at, &v, 2);
  } else if (Layout == TargetLayout::kAlpha16) {
    const uint16_t v = static_cast<uint16_t>(p.colour);
    std::memcpy(at, &v, 2);
    at[2] = static_cast<uint8_t>(p.alpha);
  } else {
    const uint32_t v = (p.colour & 0xFFFFFF) | static_cast<uint32_t>(p.alpha) << 24;
    std::memcpy(at, &v, 4);
  }
}

// One glyph cell (width x height at row `cellY` of the byte cache) into the target, clipped to
// `clip`; horizontal glyphs land with their top-left at (left, top), vertical ones are turned a
// quarter clockwise with their first source row in column `left` + height - 1.
template <int Type, TargetLayout Layout>
void WriteGlyph(const FontRecord& font, int cellY, int width, int height, MEMIMG* target, const RECT& clip, int left,
                int top, bool vertical, bool transparent, const TextColours& colours) {
  const int bytes = Layout == TargetLayout::kPalette8 ? 1 : Layout == TargetLayout::kPlain16 ? 2 : 4;
  const bool sixteen = Layout == TargetLayout::kPlain16 || Layout == TargetLayout::kAlpha16;
  const int pitch = target->Core->Pitch;
  // The source rectangle that lands inside the clip.
  int x0, x1, y0, y1;
  if (!vertical) {
    x0 = std::max(0, static_cast<int>(clip.left) - left), x1 = std::min(width, static_cast<int>(clip.right) - left);
    y0 = std::max(0, static_cast<int>(clip.top) - top), y1 = std::min(height, static_cast<int>(clip.bottom) - top);
  } else {
    // Source (gx, gy) lands at column left + height - 1 - gy, row top + gx.
    x0 = std::max(0, static_cast<int>(clip.top) - top), x1 = std::min(width, static_cast<int>(clip.bottom) - top);
    y0 = std::max(0, left + height - static_cast<int>(clip.right));
    y1 = std::min(height, left + height - static_cast<int>(clip.left));
  }
  if (x0 >= x1 || y0 >= y1) return;
  for (int gy = y0; gy < y1; ++gy) {
    const uint8_t* source = font.BytePixels + static_cast<ptrdiff_t>(cellY + gy) * font.BytePitch;
    for (int gx = x0; gx < x1; ++gx) {
      const int value = Type == 0 ? (source[gx >> 3] >> (7 - (gx & 7))) & 1 : source[gx];
      const TextPixel pixel = ResolveCell<Type>(value, colours, sixteen);
      if (!pixel.write && transparent) continue;
      const int px = vertical ? left + height - 1 - gy : left + gx;
      const int py = vertical ? top + gx : top + gy;
      uint8_t* at = target->Pixels + static_cast<ptrdiff_t>(py) * pitch + static_cast<ptrdiff_t>(px) * bytes;
      StorePixel<Layout>(at, pixel.write ? pixel : TextPixel{true, 0, 0});
    }
  }
}

using GlyphWriter = void (*)(const FontRecord&, int, int, int, MEMIMG*, const RECT&, int, int, bool, bool,
                             const TextColours&);

// Writers by font type and target layout; null where the layout cannot hold the type (levels on
// 8-bit palettes and on 16-bit images without an alpha byte).
constexpr GlyphWriter kGlyphWriters[4][4] = {
    {WriteGlyph<0, TargetLayout::kPalette8>, WriteGlyph<0, TargetLayout::kPlain16>,
     WriteGlyph<0, TargetLayout::kAlpha16>, WriteGlyph<0, TargetLayout::kColour32>},
    {WriteGlyph<1, TargetLayout::kPalette8>, WriteGlyph<1, TargetLayout::kPlain16>,
     WriteGlyph<1, TargetLayout::kAlpha16>, WriteGlyph<1, TargetLayout::kColour32>},
    {nullptr, nullptr, WriteGlyph<2, TargetLayout::kAlpha16>, WriteGlyph<2, TargetLayout::kColour32>},
    {nullptr, nullptr, WriteGlyph<3, TargetLayout::kAlpha16>, WriteGlyph<3, TargetLayout::kColour32>},
};

// ---- Device glyphs ----

// A vertical glyph: the whole cache graph turned a quarter clockwise under a clip area of the glyph.
void DrawVerticalGlyphOnDevice(const FontRecord& font, const GlyphSlot& slot, int cellX, int cellY, int x, int y,
                               int pen, const TextColours& colours) {
  const bool edge = (font.Type & kFontTypeEdge) != 0;
  DrawState& state = g_drawState;
  const RECT saved = state.DrawArea;
  const int right = x + font.LineHeight - slot.OffsetY;
  RECT area = {right - slot.Height - 1, y + pen + slot.OriginX, right + 1, y + pen + slot.OriginX + slot.Width};
  ClipRectToRect(&area, &saved);
  if (area.right > area.left && area.bottom > area.top) {
    SetDrawClipArea(area.left, area.top, area.right, area.bottom);
    const float x0 = static_cast<float>(right + cellY) - 0.5f;
    const float y0 = static_cast<float>(y + pen + slot.OriginX - cellX) - 0.5f;
    auto turned = [&](int graph, uint32_t word) {
      int w = 0, h = 0;
      if (GetGraphDimensions(graph, &w, &h) != 0) return;
      SetDrawBrightColor(word);
      const float fw = static_cast<float>(w), fh = static_cast<float>(h);
      DrawGraphQuad(x0, y0, x0, y0 + fw, x0 - fh, y0 + fw, x0 - fh, y0, graph, 1);
    };
    if (edge) turned(font.EdgeGraph, colours.edgeWord);
    turned(font.CacheGraph, colours.textWord);
    SetDrawClipArea(saved.left, saved.top, saved.right, saved.bottom);
  }
}

// Horizontal glyphs gathered for one draw of their cache rectangles. The edge pictures of edge
// fonts go first and the bodies after them, each in one colour, so the device is prepared twice
// for the lot and not twice a glyph; that is the picture of the glyph-by-glyph order as long as
// no glyph box overlaps an earlier one of the batch, so a glyph that would overlap one draws the
// batch out first.
class DeviceGlyphBatch {
 public:
  DeviceGlyphBatch(const FontRecord& font, const TextColours& colours) : font_(font), colours_(colours) {}

  void Add(int cellX, int cellY, int left, int top, int width, int height) {
    const RECT box = {left, top, left + width, top + height};
    if (count_ == kLimit || ((font_.Type & kFontTypeEdge) && OverlapsBatch(box))) Draw();
    pieces_[count_++] = GraphRectPiece{left, top, cellX, cellY, width, height};
    bounds_ = count_ == 1 ? box
                          : RECT{std::min(bounds_.left, box.left), std::min(bounds_.top, box.top),
                                 std::max(bounds_.right, box.right), std::max(bounds_.bottom, box.bottom)};
  }

  // Draws what was gathered (before the cache changes under it, and at the end).
  void Draw() {
    if (count_ == 0) return;
    const bool edge = (font_.Type & kFontTypeEdge) != 0;
    bool batched = true;
    if (edge) {
      SetDrawBrightColor(colours_.edgeWord);
      batched = DrawGraphRectsOnDevice(font_.EdgeGraph, pieces_, count_) >= 0;
    }
    if (batched) {
      SetDrawBrightColor(colours_.textWord);
      if (DrawGraphRectsOnDevice(font_.CacheGraph, pieces_, count_) < 0)
        for (int i = 0; i < count_; ++i) DrawPiece(font_.CacheGraph, pieces_[i]);
    } else {
      // Glyph by glyph, edge and body, through the single draws.
      for (int i = 0; i < count_; ++i) {
        SetDrawBrightColor(colours_.edgeWord);
        DrawPiece(font_.EdgeGraph, pieces_[i]);
        SetDrawBrightColor(colours_.textWord);
        DrawPiece(font_.CacheGraph, pieces_[i]);
      }
    }
    count_ = 0;
  }

 private:
  static constexpr int kLimit = 128;

  static void DrawPiece(int graph, const GraphRectPiece& p) {
    DrawGraphRect(p.x, p.y, p.sourceX, p.sourceY, p.width, p.height, graph, 1, 0);
  }

  bool OverlapsBatch(const RECT& box) const {
    auto overlap = [&](const RECT& a) {
      return box.left < a.right && a.left < box.right && box.top < a.bottom && a.top < box.bottom;
    };
    if (count_ == 0 || !overlap(bounds_)) return false;
    for (int i = 0; i < count_; ++i) {
      const GraphRectPiece& p = pieces_[i];
      if (overlap(RECT{p.x, p.y, p.x + p.width, p.y + p.height})) return true;
    }
    return false;
  }

  const FontRecord& font_;
  const TextColours& colours_;
  GraphRectPiece pieces_[kLimit];
  int count_ = 0;
  RECT bounds_ = {};
};

}  // namespace

int DrawTextCore(int draw, int x, int y, const char* text, unsigned color, MEMIMG* target, const RECT* clip,
                 int transparent, int handle, unsigned edgeColor, int length, int vertical, int size[2]) {
  FontRecord* font = GetFontRecord(handle);
  if (!font) return -1;
  const TextColours colours = MakeTextColours(color, edgeColor);
  if (!text || !text[0]) return 0;
  const int textLength = static_cast<int>(std::strlen(text));
  if (length == -1 || length > textLength) length = textLength;

  CharacterEntry* list = g_walkList;
  if (length > kStaticTextLength) {
    if (int64_t{length} * 3 > INT_MAX / 2) return -1;
    list = static_cast<CharacterEntry*>(ZV_ALLOC(3 * length));
    if (!list) return -1;
  }
  int count = 0;
  CacheTextGlyphs(length, text, handle, list, &count);

  // The device path keeps the blend graph out of the glyphs and puts the bright colour back.
  const bool device = draw && font->TextureCache;
  DrawState& state = g_drawState;
  const int savedBlendGraph = state.BlendGraph, savedBorder = state.BlendGraphBorderParam;
  const int savedRange = state.BlendGraphBorderRange;
  const uint32_t savedBright = state.BrightColor;
  if (device && savedBlendGraph != -1) SetBlendGraph(-1, 0, 0);

  GlyphWriter writer = nullptr;
  if (draw && !font->TextureCache && target && IsMemImgValid(target))
    writer = kGlyphWriters[font->Type & 3][static_cast<int>(LayoutOf(target))];
  RECT bounds = {0, 0, target ? target->Width : 0, target ? target->Height : 0};
  if (writer && clip) ClipRectToRect(&bounds, clip);

  double pen = 0.0;
  DeviceGlyphBatch batch(*font, colours);
  for (int i = 0; i < count; ++i) {
    const CharacterEntry& character = list[i];
    const GlyphCodeEntry& code = font->Codes[character.Bytes[0] | character.Bytes[1] << 8];
    // A glyph rendered now may take the cell of one the batch still has to draw.
    if (!code.Cached) batch.Draw();
    const GlyphSlot* slot = code.Cached ? code.Slot : RenderGlyphsToCache(handle, 1, &character);
    // A character whose glyph cannot be had is left out; the rest of the string still draws.
    if (!slot) continue;
    const int at = static_cast<int>(pen);
    if (draw && !IsBlank(character) && slot->Width > 0 && slot->Height > 0) {
      int cellX = 0, cellY = 0;
      GetGlyphCellPosition(font, slot->Index, &cellX, &cellY);
      if (device && !vertical) {
        batch.Add(cellX, cellY, x + at + slot->OriginX, y + slot->OffsetY, slot->Width, slot->Height);
      } else if (device) {
        DrawVerticalGlyphOnDevice(*font, *slot, cellX, cellY, x, y, at, colours);
      } else if (writer) {
        const int left = vertical ? x + font->LineHeight - slot->OffsetY - slot->Height : x + at + slot->OriginX;
        const int top = vertical ? y + at + slot->OriginX : y + slot->OffsetY;
        writer(*font, cellY, slot->Width, slot->Height, target, bounds, left, top, vertical != 0, transparent != 0,
               colours);
      }
    }
    pen += slot->Advance + font->CharSpacing;
  }
  batch.Draw();
  if (writer) InvalidateMemImgDerivedData(target);
  if (device) {
    SetDrawBrightColor(savedBright);
    if (savedBlendGraph != -1) SetBlendGraph(savedBlendGraph, savedBorder, savedRange);
  }
  if (size) {
    size[0] = vertical ? font->LineHeight : static_cast<int>(pen);
    size[1] = vertical ? static_cast<int>(pen) : font->LineHeight;
  }
  if (list != g_walkList) ZV_FREE(list);
  return static_cast<int>(pen);
}

int DrawTextTextureCache(int handle, const char* text, int x, int y, unsigned color, unsigned edgeColor, int vertical) {
  CreateFontCacheGraphs(handle);
  const RECT area = g_drawState.DrawArea;
  DrawTextCore(1, x, y, text, color, nullptr, &area, 1, handle, edgeColor, static_cast<int>(std::strlen(text)),
               vertical, nullptr);
  return 0;
}

int DrawTextSoftware(int handle, int x, int y, const char* text, unsigned color, unsigned edgeColor, int vertical) {
  const FontRecord* font = GetFontRecord(handle);
  if (!font) return -1;
  DrawState& state = g_drawState;
  MEMIMG* target = g_softwareScreen.TargetImage;
  if (!target || !IsMemImgValid(target)) return -1;
  int size[2] = {0, 0};
  DrawTextCore(0, 0, 0, text, color, nullptr, nullptr, 1, handle, edgeColor, -1, vertical, size);
  const bool antiAlias = (font->Type & kFontTypeAntiAlias) != 0;
  const bool direct = !antiAlias &&
                      (state.BlendMode == kBlendCopy || (state.BlendMode == kBlendAlpha && state.BlendParam == 255));
  if (direct) {
    const RECT area = state.DrawArea;
    DrawTextCore(1, x, y, text, color, target, &area, 1, handle, edgeColor, -1, vertical, nullptr);
    return 0;
  }

  MEMIMG& work = g_softwareScreen.WorkImages[antiAlias ? 1 : 0];
  if (!IsMemImgValid(&work)) return -1;
  const RECT savedArea = state.DrawArea;
  const uint32_t savedBright = state.BrightColor;
  RECT rect = {0, 0, size[0], size[1]};
  const RECT screen = {0, 0, work.Width, work.Height};
  ClipRectToRect(&rect, &screen);
  if (rect.right <= rect.left || rect.bottom <= rect.top) return 0;
  SetDrawClipArea(rect.left, rect.top, rect.right, rect.bottom);

  // The key must differ from both colours, or the text would vanish with the background.
  uint32_t key = 0;
  if (!antiAlias) {
    const TextColours colours = MakeTextColours(color, edgeColor);
    key = work.Core->KeyColor;
    while (key == colours.text || key == colours.edge) ++key;
    work.Core->KeyColor = key;
  }
  FillMemImgRaw(&work, &rect, key);
  DrawTextCore(1, 0, 0, text, color, &work, &rect, 1, handle, edgeColor, -1, vertical, nullptr);

  SetDrawBrightColor(0xFFFFFF);
  RECT area = {x, y, x + rect.right, y + rect.bottom};
  ClipRectToRect(&area, &savedArea);
  SetDrawClipArea(area.left, area.top, area.right, area.bottom);
  if (area.right > area.left && area.bottom > area.top) {
    MEMIMG view{};
    MakeMemImgView(&view, &work, 0, 0, rect.right, rect.bottom);
    BlitMemImgAt(target, &view, x, y, 1, state.SoftBlendImage, SoftDrawSettings());
    ReleaseMemImg(&view);
  }
  SetDrawClipArea(savedArea.left, savedArea.top, savedArea.right, savedArea.bottom);
  SetDrawBrightColor(savedBright);
  return 0;
}

int DrawTextWithFont(int x, int y, const char* text, unsigned color, int handle, unsigned edgeColor, int vertical) {
  if (!g_screenSettings.Initialised) return -1;
  if (!text || !text[0] || g_drawState.DrawAreaEmpty) return 0;
  const FontRecord* font = GetFontRecord(handle);
  if (!font) {
    AddLogText("フォントハンドル値が異常です\n");
    return -1;
  }
  const bool textured = font->TextureCache != 0;
  if (!IsWindowActive()) WaitWhileInactive();
  DrawState& state = g_drawState;
  RECT rect = {0, 0, 0, 0};
  const bool subtract = state.BlendMode == kBlendSubtract;
  if ((subtract && textured) || GetUseMaskFlag() || state.DrawTarget == SCREEN_FRONT) {
    rect = vertical ? RECT{x, y, x + font->Size + 3, state.DrawArea.bottom}
                    : RECT{x, y, state.DrawArea.right, y + font->Size + 3};
    if (rect.left >= state.DrawArea.right) return 0;
  }
  auto draw = [&]() {
    if (!textured) return DrawTextSoftware(handle, x, y, text, color, edgeColor, vertical);
    return DrawWithSubtractEmulation(
        rect, [&] { return DrawTextTextureCache(handle, text, x, y, color, edgeColor, vertical); });
  };
  // While masking is active the text goes through the mask over the rectangle it may cover.
  if (!IsMaskActive()) return draw();
  BeginMaskedDrawing(rect.left, rect.top, rect.right, rect.bottom);
  const int result = draw();
  EndMaskedDrawing(rect.left, rect.top, rect.right, rect.bottom);
  return result;
}

int MeasureTextWidth(const char* text, int length, int handle, int vertical) {
  return DrawTextCore(0, 0, 0, text, 0, nullptr, nullptr, 1, handle, 0, length, vertical, nullptr);
}
