// Text through the glyph cache, in glyphs per second, on both rendering paths: drawing a string
// whose glyphs are all cached into a MEMIMG with the software writers (beside a memcpy of the same
// cell pixels, the cost of moving them), the same string through DrawTextWithFont with the library
// up on the device path and on the software path, onto a 1920 x 1080 back buffer, and filling an
// empty cache (beside the platform's own glyph rasterising of the same characters, the cost of the
// outlines alone). FreeType rendering the same glyphs from scratch, from the same face file at the
// same em size and weight, is the reference the cached paths are measured against. Plain and
// anti-aliased edge fonts at 24 and 64 pixels; the strings mix Latin letters, kana and kanji so no
// glyph size repeats in step. The string is drawn as two lines, so that every glyph lands on the
// target at 64 pixels too.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "../tests/font_files.h"
#include "graphics/device/render_device.h"
#include "graphics/fonts/fonts.h"
#include "graphics/graphs/draw_state.h"
#include "graphics/graphs/screen_settings.h"
#include "graphics/graphs/screens.h"
#include "platform/kernel.h"
#include "platform/testing.h"
#include "ratio_report.h"
#include "runtime/runtime_state.h"
#include "window/window_services.h"
#include "zyvel/graphics.h"
#include "zyvel/memimg.h"
#include "zyvel/window.h"

namespace {

// The strings drawn (CP932), whole and as the two lines that are drawn. At 24 pixels, 64 distinct
// characters; at 64 pixels, 37, so that every glyph stays in the cache on both paths (the device
// path's cache holds 49 cells of a 64-pixel edge font) and the warm-cache figures measure drawing,
// not rasterising again.
struct TextCase {
  const char* text;
  const char* lines[2];
};
const TextCase kSmallText = {
    "GAME CLEAR push [S] key 0123456789"
    "あいうえおかきくけこさしすせそ"
    "漢字表示速度計測文字列",
    {"GAME CLEAR push [S] key 0123456789あいうえお", "かきくけこさしすせそ漢字表示速度計測文字列"}};
const TextCase kLargeText = {
    "GAME CLEAR 0123456789"
    "あいうえおかきくけこ漢字表示速度計測",
    {"GAME CLEAR 0123456789", "あいうえおかきくけこ漢字表示速度計測"}};
const TextCase& TextAt(int size) { return size <= 32 ? kSmallText : kLargeText; }

constexpr int kScreenWidth = 1920, kScreenHeight = 1080;
// Rows the drawing moves through, so that the lines do not land on the same pixels every time.
constexpr int kRowStep = 97, kRowRange = 900;

// The characters as GetGlyphOutlineA codes (lead byte high).
std::vector<UINT> CharacterCodes(const char* text) {
  std::vector<UINT> codes;
  for (const char* p = text; *p;) {
    const auto lead = static_cast<unsigned char>(*p);
    if (platform::IsCp932LeadByte(lead) && p[1]) {
      codes.push_back(lead << 8 | static_cast<unsigned char>(p[1]));
      p += 2;
    } else {
      codes.push_back(lead);
      ++p;
    }
  }
  return codes;
}

int CountCharacters(const char* text) { return static_cast<int>(CharacterCodes(text).size()); }

// Whether the font's cache has a cell for every distinct character of the text: otherwise drawing
// it again rasterises glyphs again, and a warm-cache figure would measure that.
bool CacheHolds(int font, const char* text) {
  const std::vector<UINT> codes = CharacterCodes(text);
  const FontRecord* record = GetFontRecord(font);
  return record && std::set<UINT>(codes.begin(), codes.end()).size() <= static_cast<size_t>(record->SlotCount);
}

int MakeFont(int size, int type) {
  return CreateFontToHandle(nullptr, size, 9, type, -1, type & FONT_TYPE_EDGE ? 2 : -1, 0, -1, -1);
}

constexpr unsigned kTextColour = 0xFFFFFF, kEdgeColour = 0x0000FF;

// A 1920 x 1080 picture as 0xRRGGBB.
struct Picture {
  std::vector<uint32_t> pixels;
};

// How far the library's text may be from the software writers' text, channel by channel. Plain
// glyphs are the same cells on both paths and match exactly. With anti-aliasing the text colour
// (white: red and green) is 4-bit alpha in the device cache and 16 x level in the byte cache, up to
// 16 apart; the edge colour (blue) of the outer rim follows different rules on the two paths (the
// device cache accumulates the neighbouring levels, the byte cache takes the highest), over 120
// apart on dense kanji, so there only the coverage is compared: the same pixels are inked.
struct TextComparison {
  int largestTextDifference = 0;  // Red and green.
  int inkMismatches = 0;          // Pixels inked in one picture and not in the other.
  int ink = 0;
  bool Same(int type) const {
    return ink >= 1000 && inkMismatches == 0 && largestTextDifference <= (type & FONT_TYPE_ANTIALIAS ? 16 : 0);
  }
};

TextComparison Compare(const Picture& a, const Picture& b, int type) {
  TextComparison result;
  if (a.pixels.size() != b.pixels.size()) return result;
  const int exactBlue = type & FONT_TYPE_ANTIALIAS ? 0 : 1;
  for (size_t i = 0; i < a.pixels.size(); ++i) {
    const uint32_t p = a.pixels[i], q = b.pixels[i];
    for (int shift = exactBlue ? 0 : 8; shift <= 16; shift += 8)
      result.largestTextDifference = std::max(
          result.largestTextDifference,
          std::abs(static_cast<int>(p >> shift & 0xFF) - static_cast<int>(q >> shift & 0xFF)));
    result.inkMismatches += (p != 0) != (q != 0);
    result.ink += p != 0;
  }
  return result;
}

// ---- The software writers alone ----

struct TextBench {
  MEMIMG target = {};
  int font = -1;
  const TextCase& text;
  TextBench(int size, int type) : text(TextAt(size)) {
    platform::testing::PinFontFiles({font_files::kGothic});
    g_screenSettings.ColorBits = 32;
    g_screenSettings.HardwareInUse = 0;
    SetupMemImgBlendTables();
    SetupMemImg(&target, kScreenWidth, kScreenHeight, -1, 0, kMemImgFormat32, 0, 1, 0, nullptr);
    FillMemImgRaw(&target, nullptr, 0);
    g_drawState.DrawArea = {0, 0, kScreenWidth, kScreenHeight};
    g_drawState.BrightColor = 0xFFFFFF;
    font = MakeFont(size, type);
  }
  ~TextBench() {
    DeleteFontHandle(font);
    ReleaseMemImg(&target);
  }
  void Draw(int row) {
    const RECT clip = {0, 0, kScreenWidth, kScreenHeight};
    const int lineHeight = GetFontRecord(font)->LineHeight;
    for (int line = 0; line < 2; ++line)
      DrawTextCore(1, 0, row + line * lineHeight, text.lines[line], kTextColour, &target, &clip, 1, font, kEdgeColour,
                   -1, 0, nullptr);
  }
  // The target's pixels over black (the writers store the colour and its alpha).
  Picture Read() const {
    Picture picture;
    picture.pixels.reserve(static_cast<size_t>(kScreenWidth) * kScreenHeight);
    for (int y = 0; y < kScreenHeight; ++y) {
      const uint8_t* row = target.Pixels + static_cast<ptrdiff_t>(y) * target.Core->Pitch;
      for (int x = 0; x < kScreenWidth; ++x) {
        const uint8_t* p = row + x * 4;
        uint32_t out = 0;
        for (int c = 0; c < 3; ++c) out |= static_cast<uint32_t>((p[c] * p[3] + 127) / 255) << (8 * c);
        picture.pixels.push_back(out);
      }
    }
    return picture;
  }
};

// ---- The library on one path ----

// The library up on the device or the software path at 1920 x 1080 (the dummy video driver, a
// private working directory), drawing into the back buffer; taken down again at the end.
class LibraryText {
 public:
  LibraryText(bool device, int size, int type) : text_(TextAt(size)) {
    char pattern[] = "/tmp/zyvel-bench-text-XXXXXX";
    const char* made = mkdtemp(pattern);
    directory_ = made ? made : "";
    char previous[4096];
    previous_ = getcwd(previous, sizeof previous) ? previous : "/";
    if (directory_.empty() || chdir(directory_.c_str()) != 0) return;
    platform::testing::UseDummyVideoDriver();
    platform::testing::UseSoundDriver("dummy");
    platform::testing::SetDisplayModes({{1920, 1080, 32, 60}, {2560, 1440, 32, 60}}, {2560, 1440, 32, 60});
    platform::testing::SetWindowLockDirectory(directory_);
    platform::testing::CaptureDebugOutput([](const std::string&) {});
    platform::testing::PinFontFiles({font_files::kGothic});
    SetScreenMode(kScreenWidth, kScreenHeight, 32, 60);
    SetHardwareAccelFlag(device ? 1 : 0);
    SetFlipVSyncWait(0);
    if (InitializeLibrary() != 0) return;
    started_ = true;
    SelectDrawTarget(SCREEN_BACK);
    ClearDrawScreenAll();
    font_ = MakeFont(size, type);
    const FontRecord* record = GetFontRecord(font_);
    ready_ = record && (record->TextureCache != 0) == device;
  }
  ~LibraryText() {
    if (started_) FinishLibrary();
    // Back to the records of a library never started, as the software writers' benchmarks use it.
    g_windowSystem = WindowSystemRecord{};
    g_runtime = RuntimeRecord{};
    if (chdir(previous_.c_str()) != 0) std::perror("chdir");
    std::error_code ignored;
    if (!directory_.empty()) std::filesystem::remove_all(directory_, ignored);
    SetHardwareAccelFlag(1);
    platform::testing::ResetFontSwitches();
  }
  bool Ready() const { return ready_; }
  int Font() const { return font_; }

  // The two lines from (0, row). The device's queued glyphs are drawn before it returns.
  void Draw(int row) {
    const int lineHeight = GetFontRecord(font_)->LineHeight;
    for (int line = 0; line < 2; ++line)
      DrawTextWithFont(0, row + line * lineHeight, text_.lines[line], kTextColour, font_, kEdgeColour, 0);
    if (g_screenSettings.HardwareInUse) FlushVertexBatch();
  }

  Picture Read() const {
    Picture picture;
    const RECT whole = {0, 0, kScreenWidth, kScreenHeight};
    BaseImage image{};
    if (LockDrawScreenBuffer(&whole, &image) != 0 || !image.pixels) return picture;
    picture.pixels.reserve(static_cast<size_t>(kScreenWidth) * kScreenHeight);
    for (int y = 0; y < kScreenHeight; ++y)
      for (int x = 0; x < kScreenWidth; ++x) {
        const uint8_t* p = image.pixels + static_cast<ptrdiff_t>(y) * image.pitch + x * image.color.bytesPerPixel;
        picture.pixels.push_back(static_cast<uint32_t>(p[2] << 16 | p[1] << 8 | p[0]));
      }
    UnlockDrawScreenBuffer();
    return picture;
  }

 private:
  std::string directory_, previous_;
  const TextCase& text_;
  int font_ = -1;
  bool started_ = false, ready_ = false;
};

void ReportGlyphs(benchmark::State& state, int64_t glyphs) {
  state.counters["glyphs"] = benchmark::Counter(static_cast<double>(glyphs) * state.iterations(),
                                                benchmark::Counter::kIsRate);
}

// The string once through the software writers and once through the library on the given path,
// from the top left corner of cleared targets; the run stops when they differ beyond the
// tolerance or nothing was drawn.
void RequireSameTextAsWriters(bool device, int size, int type) {
  if (!FirstTime(std::string(device ? "device" : "software") + " text " + std::to_string(size) + " " +
                 std::to_string(type)))
    return;
  Picture writers;
  {
    TextBench bench(size, type);
    bench.Draw(0);
    writers = bench.Read();
  }
  Picture library;
  {
    LibraryText text(device, size, type);
    if (!text.Ready()) return;
    text.Draw(0);
    library = text.Read();
  }
  const TextComparison comparison = Compare(writers, library, type);
  if (!comparison.Same(type))
    std::fprintf(stderr,
                 "%s text at %d px, type %d: text colour up to %d apart, %d pixels inked on one side only, %d inked\n",
                 device ? "device" : "software", size, type, comparison.largestTextDifference, comparison.inkMismatches,
                 comparison.ink);
  RequireSameOutput(comparison.Same(type), "the library's text and the software writers' text");
}

void BM_DrawFromWarmCache(benchmark::State& state) {
  TextBench bench(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  if (!CacheHolds(bench.font, bench.text.text)) {
    state.SkipWithError("the string has more glyphs than the font's cache holds");
    return;
  }
  const int glyphs = CountCharacters(TextAt(static_cast<int>(state.range(0))).text);
  int row = 0;
  for (auto _ : state) {
    bench.Draw(row);
    row = (row + kRowStep) % kRowRange;
    benchmark::ClobberMemory();
  }
  ReportGlyphs(state, glyphs);
}

// The same string through DrawTextWithFont, on the device path or the software path.
void BM_LibraryText(benchmark::State& state, bool device) {
  const int size = static_cast<int>(state.range(0)), type = static_cast<int>(state.range(1));
  RequireSameTextAsWriters(device, size, type);
  LibraryText text(device, size, type);
  if (!text.Ready()) {
    state.SkipWithError("the library did not start on this path");
    return;
  }
  if (!CacheHolds(text.Font(), TextAt(size).text)) {
    state.SkipWithError("the string has more glyphs than the font's cache holds");
    return;
  }
  const int glyphs = CountCharacters(TextAt(static_cast<int>(state.range(0))).text);
  text.Draw(0);  // Fills the cache.
  int row = 0;
  for (auto _ : state) {
    text.Draw(row);
    row = (row + kRowStep) % kRowRange;
  }
  ReportGlyphs(state, glyphs);
}

void BM_DeviceText(benchmark::State& state) { BM_LibraryText(state, true); }
void BM_SoftwareText(benchmark::State& state) { BM_LibraryText(state, false); }

// The reference: the cells' pixels of one string moved with memcpy, row by row.
void BM_CopyCellsWithMemcpy(benchmark::State& state) {
  const int size = static_cast<int>(state.range(0));
  const int glyphs = CountCharacters(TextAt(static_cast<int>(state.range(0))).text);
  std::vector<uint32_t> from(static_cast<size_t>(size) * size * glyphs, 0x5A5A5A5A), to(from.size());
  for (auto _ : state) {
    for (int g = 0; g < glyphs; ++g)
      for (int y = 0; y < size; ++y) {
        const size_t at = (static_cast<size_t>(g) * size + y) * size;
        std::memcpy(&to[at], &from[at], static_cast<size_t>(size) * 4);
      }
    benchmark::ClobberMemory();
  }
  ReportGlyphs(state, glyphs);
}

void BM_FillColdCache(benchmark::State& state) {
  TextBench bench(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const int glyphs = CountCharacters(TextAt(static_cast<int>(state.range(0))).text);
  for (auto _ : state) {
    ResetFontGlyphCache(bench.font);
    CacheTextGlyphs(-1, TextAt(static_cast<int>(state.range(0))).text, bench.font, nullptr, nullptr);
    benchmark::ClobberMemory();
  }
  ReportGlyphs(state, glyphs);
}

// The same on the device path: the cells are uploaded into the cache graph's texture as well.
void BM_DeviceFillColdCache(benchmark::State& state) {
  LibraryText text(true, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  if (!text.Ready()) {
    state.SkipWithError("the library did not start on the device path");
    return;
  }
  const int glyphs = CountCharacters(TextAt(static_cast<int>(state.range(0))).text);
  for (auto _ : state) {
    ResetFontGlyphCache(text.Font());
    CacheTextGlyphs(-1, TextAt(static_cast<int>(state.range(0))).text, text.Font(), nullptr, nullptr);
  }
  ReportGlyphs(state, glyphs);
}

// The platform's rasterising of the characters the font caches, as the glyph cache asks for it.
struct PlatformGlyphs {
  TextBench bench;
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ previous;
  UINT format;
  PlatformGlyphs(int size, int type)
      : bench(size, type),
        previous(SelectObject(dc, GetFontRecord(bench.font)->Font)),
        format(type & FONT_TYPE_ANTIALIAS ? GGO_GRAY4_BITMAP : GGO_BITMAP) {}
  ~PlatformGlyphs() {
    SelectObject(dc, previous);
    DeleteDC(dc);
  }
  // The bitmap of one character (empty for a character without ink), and its metrics.
  std::vector<BYTE> Glyph(UINT code, GLYPHMETRICS* metrics) {
    static const MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    const DWORD size = GetGlyphOutlineA(dc, code, format, metrics, 0, nullptr, &identity);
    std::vector<BYTE> bits(size == GDI_ERROR ? 0 : size);
    if (!bits.empty()) GetGlyphOutlineA(dc, code, format, metrics, size, bits.data(), &identity);
    return bits;
  }
  TEXTMETRICA Metrics() {
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    return metrics;
  }
};

// The reference: the platform's rasterising of the same characters, size query and bitmap.
void BM_PlatformGlyphOutlines(benchmark::State& state) {
  PlatformGlyphs platform(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const std::vector<UINT> codes = CharacterCodes(TextAt(static_cast<int>(state.range(0))).text);
  static const MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  std::vector<BYTE> buffer(1 << 16);
  for (auto _ : state) {
    for (UINT code : codes) {
      GLYPHMETRICS metrics{};
      const DWORD size = GetGlyphOutlineA(platform.dc, code, platform.format, &metrics, 0, nullptr, &identity);
      if (size != GDI_ERROR && size > 0 && size <= buffer.size())
        GetGlyphOutlineA(platform.dc, code, platform.format, &metrics, size, buffer.data(), &identity);
    }
    benchmark::ClobberMemory();
  }
  ReportGlyphs(state, static_cast<int64_t>(codes.size()));
}

// ---- FreeType from scratch ----

// The face file the font draws with, at the font's em size, emboldened as the font's weight asks
// (the thickness 9 the benchmarks use is bold; the gothic face is regular). Each glyph is looked
// up, loaded from its outline and rendered, monochrome for plain fonts and grey for anti-aliased
// ones.
struct FreeTypeGlyphs {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  bool mono = false;
  FT_Pos embolden = 0;
  std::vector<FT_ULong> characters;

  FreeTypeGlyphs(int emPixels, bool mono, const std::vector<UINT>& codes) : mono(mono) {
    if (FT_Init_FreeType(&library) != 0 || FT_New_Face(library, font_files::kGothic, 0, &face) != 0 ||
        FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(emPixels)) != 0) {
      face = nullptr;
      return;
    }
    embolden = std::max(1L, std::lround(emPixels / 24.0)) * 64;
    for (UINT code : codes) {
      char bytes[2];
      int length = 0;
      if (code > 0xFF) bytes[length++] = static_cast<char>(code >> 8);
      bytes[length++] = static_cast<char>(code & 0xFF);
      WCHAR wide[2] = {};
      characters.push_back(MultiByteToWideChar(932, 0, bytes, length, wide, 2) == 1 ? wide[0] : 0);
    }
  }
  ~FreeTypeGlyphs() {
    if (face) FT_Done_Face(face);
    if (library) FT_Done_FreeType(library);
  }
  // One character into the face's glyph slot; null when it has no ink or failed.
  const FT_Bitmap* Render(FT_ULong character) {
    if (FT_Load_Char(face, character, FT_LOAD_NO_BITMAP | (mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL)) != 0)
      return nullptr;
    FT_GlyphSlot slot = face->glyph;
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE || slot->outline.n_contours == 0) return nullptr;
    FT_Outline_EmboldenXY(&slot->outline, embolden, 0);
    if (FT_Render_Glyph(slot, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) return nullptr;
    return &slot->bitmap;
  }
};

// FreeType's bitmaps against the platform's for the same characters: the same rows and bits (grey
// coverage in the platform's 17 levels). The run stops at the first that differs.
void RequireSameGlyphsAsPlatform(PlatformGlyphs& platform, FreeTypeGlyphs& freetype, const std::vector<UINT>& codes) {
  bool same = freetype.face != nullptr;
  for (size_t i = 0; same && i < codes.size(); ++i) {
    GLYPHMETRICS metrics{};
    const std::vector<BYTE> bits = platform.Glyph(codes[i], &metrics);
    const FT_Bitmap* bitmap = freetype.Render(freetype.characters[i]);
    if (!bitmap || bitmap->rows == 0) {
      same = bits.empty();
      continue;
    }
    const UINT width = bitmap->width, rows = bitmap->rows;
    const size_t pitch = freetype.mono ? (width + 31) / 32 * 4 : (width + 3) / 4 * 4;
    same = metrics.gmBlackBoxX == width && metrics.gmBlackBoxY == rows && bits.size() == pitch * rows;
    for (UINT y = 0; same && y < rows; ++y) {
      const unsigned char* row = bitmap->buffer + static_cast<ptrdiff_t>(y) * bitmap->pitch;
      for (UINT x = 0; same && x < (freetype.mono ? (width + 7) / 8 : width); ++x) {
        const int level = freetype.mono ? row[x] : (row[x] * 16 + 127) / 255;
        same = bits[y * pitch + x] == level;
      }
    }
  }
  RequireSameOutput(same, "FreeType's glyphs and the platform's glyphs of the same characters");
}

void BM_FreeTypeFromScratch(benchmark::State& state) {
  const int size = static_cast<int>(state.range(0)), type = static_cast<int>(state.range(1));
  const std::vector<UINT> codes = CharacterCodes(TextAt(static_cast<int>(state.range(0))).text);
  int emPixels = 0;
  {
    PlatformGlyphs platform(size, type);
    const TEXTMETRICA metrics = platform.Metrics();
    emPixels = metrics.tmHeight - metrics.tmInternalLeading;
    FreeTypeGlyphs check(emPixels, !(type & FONT_TYPE_ANTIALIAS), codes);
    if (FirstTime("glyphs " + std::to_string(size) + " " + std::to_string(type)))
      RequireSameGlyphsAsPlatform(platform, check, codes);
  }
  FreeTypeGlyphs freetype(emPixels, !(type & FONT_TYPE_ANTIALIAS), codes);
  for (auto _ : state) {
    for (FT_ULong character : freetype.characters) benchmark::DoNotOptimize(freetype.Render(character));
    benchmark::ClobberMemory();
  }
  ReportGlyphs(state, static_cast<int64_t>(codes.size()));
}

// Sizes 24 and 64; types plain and anti-aliased with an edge.
void FontCases(benchmark::internal::Benchmark* bench) {
  for (int size : {24, 64})
    for (int type : {FONT_TYPE_PLAIN, FONT_TYPE_ANTIALIAS_EDGE}) bench->Args({size, type});
}

BENCHMARK(BM_DrawFromWarmCache)->Apply(FontCases);
// The library starts threads of its own: rates per processor second of the whole process.
BENCHMARK(BM_DeviceText)->Apply(FontCases)->MeasureProcessCPUTime();
BENCHMARK(BM_SoftwareText)->Apply(FontCases)->MeasureProcessCPUTime();
BENCHMARK(BM_FreeTypeFromScratch)->Apply(FontCases);
BENCHMARK(BM_CopyCellsWithMemcpy)->Arg(24)->Arg(64);
BENCHMARK(BM_FillColdCache)->Apply(FontCases);
BENCHMARK(BM_DeviceFillColdCache)->Apply(FontCases)->MeasureProcessCPUTime();
BENCHMARK(BM_PlatformGlyphOutlines)->Apply(FontCases);

}  // namespace

int main(int argc, char** argv) {
  std::vector<RatioPair> pairs;
  for (const char* size : {"24", "64"})
    for (const char* type : {"0", "3"}) {
      const std::string args = std::string("/") + size + "/" + type;
      const std::string device = "BM_DeviceText" + args + "/process_time";
      const std::string software = "BM_DrawFromWarmCache" + args;
      const std::string freetype = "BM_FreeTypeFromScratch" + args;
      pairs.push_back({device, software});
      pairs.push_back({device, "BM_SoftwareText" + args + "/process_time"});
      pairs.push_back({device, freetype});
      pairs.push_back({software, freetype});
      pairs.push_back({software, std::string("BM_CopyCellsWithMemcpy/") + size});
      pairs.push_back({"BM_FillColdCache" + args, "BM_PlatformGlyphOutlines" + args});
      pairs.push_back({"BM_DeviceFillColdCache" + args + "/process_time", "BM_PlatformGlyphOutlines" + args});
    }
  return RunBenchmarksWithRatios(argc, argv, "glyphs", pairs, 1e3);
}
