// Text through the glyph cache on the software path, in glyphs per second: drawing a string whose
// glyphs are all cached (beside a memcpy of the same cell pixels, the cost of moving them), and
// filling an empty cache (beside the platform's own glyph rasterising of the same characters, the
// cost of the outlines alone). Plain and anti-aliased edge fonts at the game's sizes; the strings
// mix Latin letters, kana and kanji so no glyph size repeats in step.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "../tests/font_files.h"
#include "graphics/fonts/fonts.h"
#include "graphics/graphs/draw_state.h"
#include "graphics/graphs/screen_settings.h"
#include "platform/testing.h"
#include "zyvel/graphics.h"
#include "zyvel/memimg.h"

namespace {

// 64 distinct characters (CP932).
const char kText[] =
    "GAME CLEAR push [S] key 0123456789"
    "あいうえおかきくけこさしすせそ"
    "漢字表示速度計測文字列";

int CountCharacters(const char* text) {
  int count = 0;
  for (const char* p = text; *p; ++count) p += (static_cast<unsigned char>(*p) >= 0x81 && p[1]) ? 2 : 1;
  return count;
}

struct TextBench {
  MEMIMG target = {};
  int font = -1;
  TextBench(int size, int type) {
    platform::testing::PinFontFiles({font_files::kGothic});
    g_screenSettings.ColorBits = 32;
    g_screenSettings.HardwareInUse = 0;
    SetupMemImgBlendTables();
    SetupMemImg(&target, 1920, 1080, -1, 0, kMemImgFormat32, 0, 1, 0, nullptr);
    FillMemImgRaw(&target, nullptr, 0);
    g_drawState.DrawArea = {0, 0, 1920, 1080};
    g_drawState.BrightColor = 0xFFFFFF;
    font = CreateFontToHandle(nullptr, size, 9, type, -1, type & FONT_TYPE_EDGE ? 2 : -1, 0, -1, -1);
  }
  ~TextBench() {
    DeleteFontHandle(font);
    ReleaseMemImg(&target);
  }
};

void ReportGlyphs(benchmark::State& state, int64_t glyphs) {
  state.counters["glyphs"] = benchmark::Counter(static_cast<double>(glyphs) * state.iterations(),
                                                benchmark::Counter::kIsRate);
}

void BM_DrawFromWarmCache(benchmark::State& state) {
  TextBench bench(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const RECT clip = {0, 0, 1920, 1080};
  const int glyphs = CountCharacters(kText);
  int row = 0;
  for (auto _ : state) {
    DrawTextCore(1, 0, row, kText, 0xFFFFFF, &bench.target, &clip, 1, bench.font, 0x0000FF, -1, 0, nullptr);
    row = (row + 97) % 900;
    benchmark::ClobberMemory();
  }
  ReportGlyphs(state, glyphs);
}

// The reference: the cells' pixels of one string moved with memcpy, row by row.
void BM_CopyCellsWithMemcpy(benchmark::State& state) {
  const int size = static_cast<int>(state.range(0));
  const int glyphs = CountCharacters(kText);
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
  const int glyphs = CountCharacters(kText);
  for (auto _ : state) {
    ResetFontGlyphCache(bench.font);
    CacheTextGlyphs(-1, kText, bench.font, nullptr, nullptr);
    benchmark::ClobberMemory();
  }
  ReportGlyphs(state, glyphs);
}

// The reference: the platform's rasterising of the same characters, size query and bitmap.
void BM_PlatformGlyphOutlines(benchmark::State& state) {
  TextBench bench(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const FontRecord* font = GetFontRecord(bench.font);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ previous = SelectObject(dc, font->Font);
  const UINT format = font->Type & FONT_TYPE_ANTIALIAS ? GGO_GRAY4_BITMAP : GGO_BITMAP;
  const MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  std::vector<UINT> codes;
  for (const char* p = kText; *p;) {
    const auto lead = static_cast<unsigned char>(*p);
    if (lead >= 0x81 && p[1]) {
      codes.push_back(lead << 8 | static_cast<unsigned char>(p[1]));
      p += 2;
    } else {
      codes.push_back(lead);
      ++p;
    }
  }
  std::vector<BYTE> buffer(1 << 16);
  for (auto _ : state) {
    for (UINT code : codes) {
      GLYPHMETRICS metrics{};
      const DWORD size = GetGlyphOutlineA(dc, code, format, &metrics, 0, nullptr, &identity);
      if (size != GDI_ERROR && size > 0 && size <= buffer.size())
        GetGlyphOutlineA(dc, code, format, &metrics, size, buffer.data(), &identity);
    }
    benchmark::ClobberMemory();
  }
  SelectObject(dc, previous);
  DeleteDC(dc);
  ReportGlyphs(state, static_cast<int64_t>(codes.size()));
}

// Sizes 24 and 64; types plain and anti-aliased with an edge.
void FontCases(benchmark::internal::Benchmark* bench) {
  for (int size : {24, 64})
    for (int type : {FONT_TYPE_PLAIN, FONT_TYPE_ANTIALIAS_EDGE}) bench->Args({size, type});
}

BENCHMARK(BM_DrawFromWarmCache)->Apply(FontCases);
BENCHMARK(BM_CopyCellsWithMemcpy)->Arg(24)->Arg(64);
BENCHMARK(BM_FillColdCache)->Apply(FontCases);
BENCHMARK(BM_PlatformGlyphOutlines)->Apply(FontCases);

}  // namespace
