// Fonts and glyphs: CreateFontA, GetTextMetricsA and GetGlyphOutlineA over FreeType, with
// fontconfig choosing the files.
//
// A font resolves its request once, when it is made: fontconfig sorts the installed fonts for the
// face name, the character set's language, the weight, the slant and fixed pitch, and the first
// is the face. Characters the face lacks come from the next font of that sorted list that has
// them (each opened at the face's em size, on the same baseline); a character no font has is the
// face's missing-glyph box, as GDI draws it. Metrics follow GDI's rules for TrueType fonts: a
// positive height is the cell height (Windows ascent + descent), a negative one the em height,
// and the em is a whole number of pixels, so hinting works on whole pixels.
//
// Limitations: only the identity matrix; no embedded bitmaps (every glyph is rendered from its
// outline); width, escapement, orientation, underline, strike-out and quality are kept in the
// request but change nothing.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/gdi_object.h"
#include "platform/kernel.h"
#include "platform/testing.h"

namespace platform {
namespace {

// Weights from this one up are drawn bold; a face lighter than it is emboldened to get there.
constexpr int kBoldWeight = 600;
constexpr int kDefaultCellHeight = 16;

struct FontEngine {
  // FreeType's library and faces, and fontconfig, are used under this lock. It is taken after the
  // GDI registry's lock, never before it: a font is destroyed under that one.
  std::mutex mutex;
  FT_Library library = nullptr;
  bool fontconfigReady = false;
  std::vector<std::string> pinnedFiles;
  std::atomic<int> failCreations{0};
  std::atomic<int> failOutlines{0};
};

FontEngine& Engine() {
  static FontEngine* engine = new FontEngine;  // Never destroyed: fonts may outlive exit.
  return *engine;
}

// Takes one from a fault counter: true when this call is to fail.
bool TakeFault(std::atomic<int>& counter) {
  int count = counter.load();
  while (count != 0) {
    if (count < 0) return true;
    if (counter.compare_exchange_weak(count, count - 1)) return true;
  }
  return false;
}

// The characters a font has: 256-character pages, each a bit map, in page order.
struct CharacterCoverage {
  std::vector<FcChar32> pages;  // First character of each page.
  std::vector<std::array<FcChar32, FC_CHARSET_MAP_SIZE>> maps;

  void CopyFrom(const FcCharSet* set) {
    FcChar32 map[FC_CHARSET_MAP_SIZE];
    FcChar32 next = 0;
    for (FcChar32 page = FcCharSetFirstPage(set, map, &next); page != FC_CHARSET_DONE;
         page = FcCharSetNextPage(set, map, &next)) {
      pages.push_back(page);
      maps.emplace_back();
      std::copy(map, map + FC_CHARSET_MAP_SIZE, maps.back().begin());
    }
  }
  bool Has(uint32_t character) const {
    const FcChar32 page = character & ~0xFFu;
    const auto found = std::lower_bound(pages.begin(), pages.end(), page);
    if (found == pages.end() || *found != page) return false;
    const auto& map = maps[static_cast<size_t>(found - pages.begin())];
    return (map[(character & 0xFF) >> 5] >> (character & 31)) & 1;
  }
};

// A font file the font may draw from, as fontconfig listed it.
struct FontCandidate {
  std::string path;
  int index = 0;
  int weight = FW_NORMAL;  // OpenType weight of the face.
  bool italic = false;
  bool listed = false;  // Fontconfig listed its characters; pinned files are asked themselves.
  CharacterCoverage characters;
};

// One opened face at the font's em size.
struct OpenedFace {
  FT_Face face = nullptr;
  bool embolden = false;
  bool slant = false;
};

const char* LanguageOf(int charSet) {
  switch (charSet) {
    case HANGEUL_CHARSET:
      return "ko";
    case GB2312_CHARSET:
      return "zh-cn";
    case CHINESEBIG5_CHARSET:
      return "zh-tw";
    default:
      return "ja";  // SHIFTJIS_CHARSET, and DEFAULT_CHARSET with code page 932.
  }
}

UINT CodePageOf(int charSet) {
  switch (charSet) {
    case HANGEUL_CHARSET:
      return 949;
    case GB2312_CHARSET:
      return 936;
    case CHINESEBIG5_CHARSET:
      return 950;
    default:
      return GetACP();
  }
}

class FontObject : public GdiObject {
 public:
  explicit FontObject(const LOGFONTA& request) : GdiObject(OBJ_FONT), request_(request) {}
  ~FontObject() override {
    std::lock_guard<std::mutex> lock(Engine().mutex);
    for (OpenedFace& opened : faces_)
      if (opened.face) FT_Done_Face(opened.face);
  }

  int Describe(int size, void* out) const override {
    if (!out) return sizeof(LOGFONTA);
    if (size < static_cast<int>(sizeof(LOGFONTA))) return 0;
    std::memcpy(out, &request_, sizeof(LOGFONTA));
    return sizeof(LOGFONTA);
  }

  // Finds the candidates and opens the face; false when no file can be opened. Under the lock.
  bool Resolve();
  void FillTextMetrics(TEXTMETRICA* out) const { *out = metrics_; }
  // GetGlyphOutlineA's work for one Unicode character. Under the lock.
  DWORD Outline(uint32_t character, UINT format, GLYPHMETRICS* metrics, DWORD bufferSize, BYTE* buffer);
  UINT codePage() const { return CodePageOf(request_.lfCharSet); }
  const std::string& facePath() const { return candidates_.front().path; }

 private:
  bool ListCandidates();
  bool Open(size_t candidate);
  // The face that draws `character` and its glyph index there (the face's own index 0, its
  // missing-glyph box, when no candidate has it).
  OpenedFace* FaceFor(uint32_t character, FT_UInt* glyph);
  void ComputeMetrics();

  // The last glyph rendered, in GDI's layout: callers ask for the size, then for the bitmap.
  struct RenderedGlyph {
    uint32_t character = 0;
    UINT format = GGO_METRICS;
    GLYPHMETRICS metrics{};
    DWORD size = 0;
    std::vector<BYTE> bits;
  } last_;

  LOGFONTA request_;
  std::vector<FontCandidate> candidates_;
  std::vector<OpenedFace> faces_;  // One per candidate; null faces are not opened yet.
  int emPixels_ = 0;
  int emboldenPixels_ = 0;
  TEXTMETRICA metrics_{};
};

bool FontObject::ListCandidates() {
  FontEngine& engine = Engine();
  if (!engine.pinnedFiles.empty()) {
    for (const std::string& path : engine.pinnedFiles) {
      FontCandidate candidate;
      candidate.path = path;
      candidates_.push_back(std::move(candidate));
    }
    return true;
  }
  if (!engine.fontconfigReady) {
    if (!FcInit()) return false;
    engine.fontconfigReady = true;
    // Fontconfig's configuration is only given back by FcFini; without it every process would end
    // with a leak report. Nothing may hold on to fontconfig's caches by then, so candidates keep
    // their own copy of the characters a font has.
    std::atexit([] {
      std::lock_guard<std::mutex> lock(Engine().mutex);
      FcFini();
      Engine().fontconfigReady = false;
    });
  }
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return false;
  char face[LF_FACESIZE + 1] = {};
  std::memcpy(face, request_.lfFaceName, LF_FACESIZE);
  if (face[0]) {
    const std::string family = Cp932ToUtf8(face);
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  }
  FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>(LanguageOf(request_.lfCharSet)));
  const int weight = request_.lfWeight <= 0 ? FW_NORMAL : request_.lfWeight;
  FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight > 1000 ? 1000 : weight));
  FcPatternAddInteger(pattern, FC_SLANT, request_.lfItalic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  if ((request_.lfPitchAndFamily & 3) == FIXED_PITCH) FcPatternAddInteger(pattern, FC_SPACING, FC_MONO);
  // GetGlyphOutline needs outlines.
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcFontSet* sorted = FcFontSort(nullptr, pattern, FcTrue, nullptr, &result);
  FcPatternDestroy(pattern);
  if (!sorted) return false;
  for (int i = 0; i < sorted->nfont; ++i) {
    FcPattern* font = sorted->fonts[i];
    FcChar8* file = nullptr;
    FcBool scalable = FcFalse;
    if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch) continue;
    if (FcPatternGetBool(font, FC_SCALABLE, 0, &scalable) == FcResultMatch && !scalable) continue;
    FontCandidate candidate;
    candidate.path = reinterpret_cast<const char*>(file);
    FcPatternGetInteger(font, FC_INDEX, 0, &candidate.index);
    int fcWeight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
    if (FcPatternGetInteger(font, FC_WEIGHT, 0, &fcWeight) == FcResultMatch)
      candidate.weight = FcWeightToOpenType(fcWeight);
    if (FcPatternGetInteger(font, FC_SLANT, 0, &slant) == FcResultMatch) candidate.italic = slant != FC_SLANT_ROMAN;
    FcCharSet* characters = nullptr;
    if (FcPatternGetCharSet(font, FC_CHARSET, 0, &characters) == FcResultMatch) {
      candidate.characters.CopyFrom(characters);
      candidate.listed = true;
    }
    candidates_.push_back(std::move(candidate));
  }
  FcFontSetDestroy(sorted);
  return !candidates_.empty();
}

bool FontObject::Open(size_t index) {
  OpenedFace& opened = faces_[index];
  if (opened.face) return true;
  const FontCandidate& candidate = candidates_[index];
  FT_Face face = nullptr;
  if (FT_New_Face(Engine().library, candidate.path.c_str(), candidate.index, &face) != 0) return false;
  if (!FT_IS_SCALABLE(face) || FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(emPixels_ ? emPixels_ : 1)) != 0) {
    FT_Done_Face(face);
    return false;
  }
  int weight = candidate.weight;
  bool italic = candidate.italic;
  if (!candidate.listed) {  // A pinned file speaks for itself.
    const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    weight = os2 ? os2->usWeightClass : ((face->style_flags & FT_STYLE_FLAG_BOLD) ? FW_BOLD : FW_NORMAL);
    italic = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
  }
  opened.face = face;
  opened.embolden = request_.lfWeight >= kBoldWeight && weight < kBoldWeight;
  opened.slant = request_.lfItalic && !italic;
  return true;
}

bool FontObject::Resolve() {
  if (!ListCandidates()) return false;
  faces_.resize(candidates_.size());
  // The em is only known once a face is open; open at a provisional size, then size it.
  for (size_t i = 0; i < candidates_.size(); ++i) {
    if (!Open(i)) continue;
    if (i != 0) {
      std::swap(candidates_[0], candidates_[i]);
      std::swap(faces_[0], faces_[i]);
    }
    ComputeMetrics();
    return FT_Set_Pixel_Sizes(faces_[0].face, 0, static_cast<FT_UInt>(emPixels_)) == 0;
  }
  return false;
}

void FontObject::ComputeMetrics() {
  FT_Face face = faces_[0].face;
  const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  const TT_HoriHeader* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
  double winAscent = face->ascender, winDescent = -face->descender;
  if (os2 && os2->usWinAscent + os2->usWinDescent > 0) {
    winAscent = os2->usWinAscent;
    winDescent = os2->usWinDescent;
  }
  const double units = face->units_per_EM ? face->units_per_EM : 1000;
  int height = request_.lfHeight == 0 ? kDefaultCellHeight : request_.lfHeight;
  int ascent, descent;
  if (height > 0) {
    emPixels_ = static_cast<int>(std::lround(height * units / (winAscent + winDescent)));
    if (emPixels_ < 1) emPixels_ = 1;
    ascent = static_cast<int>(std::lround(winAscent * emPixels_ / units));
    if (ascent > height) ascent = height;
    descent = height - ascent;
  } else {
    emPixels_ = -height;
    ascent = static_cast<int>(std::lround(winAscent * emPixels_ / units));
    descent = static_cast<int>(std::lround(winDescent * emPixels_ / units));
    height = ascent + descent;
  }
  // Emboldening widens each glyph by about a 24th of the em, at least a pixel, to the right.
  emboldenPixels_ = faces_[0].embolden ? std::max(1, static_cast<int>(std::lround(emPixels_ / 24.0))) : 0;
  const double maxAdvance = hhea ? hhea->advance_Width_Max : face->max_advance_width;
  const double averageWidth = os2 && os2->xAvgCharWidth > 0 ? os2->xAvgCharWidth : maxAdvance / 2;
  TEXTMETRICA& m = metrics_;
  m = TEXTMETRICA{};
  m.tmHeight = height;
  m.tmAscent = ascent;
  m.tmDescent = descent;
  m.tmInternalLeading = height - emPixels_ > 0 ? height - emPixels_ : 0;
  m.tmExternalLeading = hhea ? static_cast<LONG>(std::lround(hhea->Line_Gap * emPixels_ / units)) : 0;
  m.tmAveCharWidth = static_cast<LONG>(std::lround(averageWidth * emPixels_ / units)) + emboldenPixels_;
  m.tmMaxCharWidth = static_cast<LONG>(std::lround(maxAdvance * emPixels_ / units)) + emboldenPixels_;
  m.tmWeight = request_.lfWeight <= 0 ? FW_NORMAL : request_.lfWeight;
  m.tmDigitizedAspectX = 96;
  m.tmDigitizedAspectY = 96;
  m.tmFirstChar = 0x20;
  m.tmLastChar = 0xFF;
  m.tmDefaultChar = 0x1F;
  m.tmBreakChar = 0x20;
  m.tmItalic = request_.lfItalic ? 1 : 0;
  m.tmUnderlined = request_.lfUnderline ? 1 : 0;
  m.tmStruckOut = request_.lfStrikeOut ? 1 : 0;
  m.tmPitchAndFamily = TMPF_VECTOR | TMPF_TRUETYPE | (FT_IS_FIXED_WIDTH(face) ? 0 : TMPF_FIXED_PITCH);
  m.tmCharSet = request_.lfCharSet == DEFAULT_CHARSET ? SHIFTJIS_CHARSET : request_.lfCharSet;
}

OpenedFace* FontObject::FaceFor(uint32_t character, FT_UInt* glyph) {
  for (size_t i = 0; i < candidates_.size(); ++i) {
    if (candidates_[i].listed && !candidates_[i].characters.Has(character)) continue;
    if (!Open(i)) continue;
    const FT_UInt index = FT_Get_Char_Index(faces_[i].face, character);
    if (index != 0) {
      *glyph = index;
      return &faces_[i];
    }
  }
  *glyph = 0;
  return &faces_[0];
}

DWORD FontObject::Outline(uint32_t character, UINT format, GLYPHMETRICS* metrics, DWORD bufferSize, BYTE* buffer) {
  if (format != GGO_METRICS && last_.format == format && last_.character == character) {
    if (metrics) *metrics = last_.metrics;
    if (!buffer || bufferSize == 0 || last_.size == 0) return last_.size;
    if (bufferSize < last_.size) return GDI_ERROR;
    std::memcpy(buffer, last_.bits.data(), last_.size);
    return last_.size;
  }
  FT_UInt glyph = 0;
  OpenedFace* opened = FaceFor(character, &glyph);
  FT_Face face = opened->face;
  const bool mono = format == GGO_BITMAP;
  FT_Int32 flags = FT_LOAD_NO_BITMAP | (mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL);
  if (FT_Load_Glyph(face, glyph, flags) != 0 || face->glyph->format != FT_GLYPH_FORMAT_OUTLINE) return GDI_ERROR;
  FT_GlyphSlot slot = face->glyph;
  FT_Pos advance = slot->advance.x;
  if (opened->slant) {
    // About 12 degrees, leaning right around the baseline.
    FT_Matrix shear = {0x10000, 0x0366A, 0, 0x10000};
    FT_Outline_Transform(&slot->outline, &shear);
  }
  if (opened->embolden) {
    // Whole pixels, so the grown advance stays on the pixel grid.
    const FT_Pos strength = static_cast<FT_Pos>(emboldenPixels_) * 64;
    FT_Outline_EmboldenXY(&slot->outline, strength, 0);
    advance += strength;
  }
  // An outline without contours has no ink; the monochrome renderer would still make a pixel.
  const bool empty = slot->outline.n_contours == 0;
  if (!empty && FT_Render_Glyph(slot, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) return GDI_ERROR;
  const FT_Bitmap& bitmap = slot->bitmap;
  const UINT width = empty ? 0 : bitmap.width, rows = empty ? 0 : bitmap.rows;
  const bool inkless = width == 0 || rows == 0;
  GLYPHMETRICS out{};
  out.gmBlackBoxX = inkless ? 1 : width;
  out.gmBlackBoxY = inkless ? 1 : rows;
  if (!inkless) {
    out.gmptGlyphOrigin.x = slot->bitmap_left;
    out.gmptGlyphOrigin.y = slot->bitmap_top;
  }
  out.gmCellIncX = static_cast<SHORT>((advance + 32) >> 6);
  out.gmCellIncY = 0;
  if (metrics) *metrics = out;
  if (format == GGO_METRICS) return inkless ? 0 : 1;
  if (inkless) return 0;
  const DWORD pitch = mono ? (width + 31) / 32 * 4 : (width + 3) / 4 * 4;
  const DWORD size = pitch * rows;
  last_.character = character;
  last_.format = format;
  last_.metrics = out;
  last_.size = size;
  last_.bits.assign(size, 0);
  for (UINT y = 0; y < rows; ++y) {
    const unsigned char* source = bitmap.buffer + static_cast<ptrdiff_t>(y) * bitmap.pitch;
    BYTE* target = last_.bits.data() + y * pitch;
    if (mono) {
      std::memcpy(target, source, (width + 7) / 8);
    } else {
      // Coverage 0-255 to GDI's 17 levels.
      for (UINT x = 0; x < width; ++x) target[x] = static_cast<BYTE>((source[x] * 16 + 127) / 255);
    }
  }
  if (!buffer || bufferSize == 0) return size;
  if (bufferSize < size) return GDI_ERROR;
  std::memcpy(buffer, last_.bits.data(), size);
  return size;
}

FontObject* SelectedFont(HDC dc) {
  DeviceContext* context = LookUpDeviceContext(dc);
  if (!context || !context->selectedFont) return nullptr;
  GdiObject* object = LookUpGdiObject(static_cast<HGDIOBJ>(context->selectedFont));
  return object && object->kind() == OBJ_FONT ? static_cast<FontObject*>(object) : nullptr;
}

// The Unicode character behind a GetGlyphOutlineA code, by the font's code page.
uint32_t UnicodeOf(UINT code, UINT codePage) {
  char bytes[2];
  int length = 0;
  if (code > 0xFF) bytes[length++] = static_cast<char>((code >> 8) & 0xFF);
  bytes[length++] = static_cast<char>(code & 0xFF);
  WCHAR wide[4] = {};
  const int count = MultiByteToWideChar(codePage, 0, bytes, length, wide, 4);
  if (count <= 0) return '?';
  if (count >= 2 && wide[0] >= 0xD800 && wide[0] < 0xDC00 && wide[1] >= 0xDC00 && wide[1] < 0xE000)
    return 0x10000 + ((static_cast<uint32_t>(wide[0]) - 0xD800) << 10) + (wide[1] - 0xDC00);
  return wide[0];
}

}  // namespace
}  // namespace platform

using namespace platform;

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic, DWORD underline,
                  DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                  DWORD pitchAndFamily, LPCSTR faceName) {
  FontEngine& engine = Engine();
  if (TakeFault(engine.failCreations)) return nullptr;
  LOGFONTA request{};
  request.lfHeight = height;
  request.lfWidth = width;
  request.lfEscapement = escapement;
  request.lfOrientation = orientation;
  request.lfWeight = weight;
  request.lfItalic = italic ? 1 : 0;
  request.lfUnderline = underline ? 1 : 0;
  request.lfStrikeOut = strikeOut ? 1 : 0;
  request.lfCharSet = static_cast<BYTE>(charSet);
  request.lfOutPrecision = static_cast<BYTE>(outPrecision);
  request.lfClipPrecision = static_cast<BYTE>(clipPrecision);
  request.lfQuality = static_cast<BYTE>(quality);
  request.lfPitchAndFamily = static_cast<BYTE>(pitchAndFamily);
  // Face names longer than the field are cut, as the platform keeps only LF_FACESIZE - 1 bytes.
  if (faceName) std::strncpy(request.lfFaceName, faceName, LF_FACESIZE - 1);
  auto font = std::make_unique<FontObject>(request);
  {
    std::lock_guard<std::mutex> lock(engine.mutex);
    if (!engine.library && FT_Init_FreeType(&engine.library) != 0) {
      engine.library = nullptr;
      return nullptr;
    }
    if (!font->Resolve()) return nullptr;
  }
  return static_cast<HFONT>(RegisterGdiObject(font.release()));
}

BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics) {
  if (!metrics) return FALSE;
  // A font selected into a context cannot be deleted, so it stays alive while this runs.
  FontObject* font = SelectedFont(dc);
  if (!font) return FALSE;
  std::lock_guard<std::mutex> lock(Engine().mutex);
  font->FillTextMetrics(metrics);
  return TRUE;
}

DWORD GetGlyphOutlineA(HDC dc, UINT character, UINT format, GLYPHMETRICS* metrics, DWORD bufferSize, LPVOID buffer,
                       const MAT2* matrix) {
  if (!matrix || (format != GGO_METRICS && format != GGO_BITMAP && format != GGO_GRAY4_BITMAP)) return GDI_ERROR;
  const bool identity = matrix->eM11.value == 1 && matrix->eM11.fract == 0 && matrix->eM22.value == 1 &&
                        matrix->eM22.fract == 0 && matrix->eM12.value == 0 && matrix->eM12.fract == 0 &&
                        matrix->eM21.value == 0 && matrix->eM21.fract == 0;
  if (!identity) return GDI_ERROR;
  FontEngine& engine = Engine();
  if (TakeFault(engine.failOutlines)) return GDI_ERROR;
  FontObject* font = SelectedFont(dc);
  if (!font) return GDI_ERROR;
  std::lock_guard<std::mutex> lock(engine.mutex);
  return font->Outline(UnicodeOf(character, font->codePage()), format, metrics, bufferSize, static_cast<BYTE*>(buffer));
}

namespace platform::testing {

void PinFontFiles(const std::vector<std::string>& paths) {
  std::lock_guard<std::mutex> lock(Engine().mutex);
  Engine().pinnedFiles = paths;
}

void FailFontCreation(int count) { Engine().failCreations = count; }
void FailGlyphOutlines(int count) { Engine().failOutlines = count; }

std::string FontFileOf(HFONT handle) {
  GdiObject* object = LookUpGdiObject(static_cast<HGDIOBJ>(handle));
  if (!object || object->kind() != OBJ_FONT) return {};
  std::lock_guard<std::mutex> lock(Engine().mutex);
  return static_cast<FontObject*>(object)->facePath();
}

void ResetFontSwitches() {
  PinFontFiles({});
  FailFontCreation(0);
  FailGlyphOutlines(0);
}

}  // namespace platform::testing
