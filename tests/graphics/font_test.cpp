// Font handles, glyph caches and string drawing on both rendering paths, with the gothic face
// pinned so that metrics and pixels stay put: the handle table, the cache layouts, measuring,
// the game's centred title, Japanese text, edges, vertical text, strings that overflow the cache,
// the same picture on both paths, fonts after a lost device, and the on-screen log.
#include "../window/window_fixture.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "font_files.h"
#include "graphics/device/render_device.h"
#include "graphics/fonts/fonts.h"
#include "graphics/graphs/draw_settings.h"
#include "graphics/graphs/draw_state.h"
#include "graphics/graphs/graph_records.h"
#include "graphics/graphs/screen_settings.h"
#include "graphics/graphs/screens.h"
#include "runtime/runtime_state.h"
#include "runtime/tracked_heap.h"
#include "zyvel/graphics.h"

namespace {

enum class Path { kDevice, kSoftware };

// The back screen's pixels as 0xRRGGBB.
struct Picture {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
  uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
  bool Ink(int x, int y) const { return (at(x, y) & 0xFFFFFF) != 0; }
  // The bounding box of pixels that are not black: left, top, right, bottom (exclusive).
  RECT InkBox() const {
    RECT box = {width, height, 0, 0};
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        if (Ink(x, y)) {
          box.left = std::min<LONG>(box.left, x), box.top = std::min<LONG>(box.top, y);
          box.right = std::max<LONG>(box.right, x + 1), box.bottom = std::max<LONG>(box.bottom, y + 1);
        }
    return box;
  }
  int InkCount() const {
    int count = 0;
    for (uint32_t p : pixels) count += (p & 0xFFFFFF) != 0;
    return count;
  }
};

Picture ReadBackScreen() {
  FlushVertexBatch();
  Picture picture;
  GetScreenSizeSetting(&picture.width, &picture.height);
  const RECT whole = {0, 0, picture.width, picture.height};
  BaseImage image{};
  EXPECT_EQ(LockDrawScreenBuffer(&whole, &image), 0);
  if (!image.pixels) return picture;
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width; ++x) {
      const uint8_t* p = image.pixels + y * image.pitch + x * image.color.bytesPerPixel;
      picture.pixels.push_back((p[2] << 16 | p[1] << 8 | p[0]) & 0xFFFFFFu);
    }
  UnlockDrawScreenBuffer();
  return picture;
}

class FontTest : public windowtest::LibraryTest, public ::testing::WithParamInterface<Path> {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    platform::testing::PinFontFiles({font_files::kGothic});
    SetHardwareAccelFlag(GetParam() == Path::kDevice ? 1 : 0);
    ASSERT_EQ(InitializeLibrary(), 0);
    ASSERT_EQ(SelectDrawTarget(SCREEN_BACK), 0);
    ASSERT_EQ(ClearDrawScreenAll(), 0);
    white_ = static_cast<unsigned>(MakeColorCode(255, 255, 255));
    red_ = static_cast<unsigned>(MakeColorCode(255, 0, 0));
  }
  void TearDown() override {
    LibraryTest::TearDown();
    SetHardwareAccelFlag(1);
    platform::testing::ResetFontSwitches();
  }
  bool device() const { return GetParam() == Path::kDevice; }

  unsigned white_ = 0, red_ = 0;
};

// The title and prompt fonts of the game: anti-aliased, thickness 9.
int GameFont(int size) { return CreateFontToHandle(nullptr, size, 9, FONT_TYPE_ANTIALIAS, -1, -1, 0, -1, -1); }

TEST_P(FontTest, TheTableHoldsFortyFontsAndRefusesStaleHandles) {
  std::vector<int> fonts;
  // The default font and the on-screen log's font are already there.
  for (int i = 0; i < kFontTableSize - 2; ++i) {
    const int font = CreateFontToHandle(nullptr, 12, -1, -1, -1, -1, 0, -1, -1);
    ASSERT_NE(font, -1) << i;
    fonts.push_back(font);
  }
  EXPECT_EQ(CreateFontToHandle(nullptr, 12, -1, -1, -1, -1, 0, -1, -1), -1);
  EXPECT_NE(ReadLog().find("作成できるフォントハンドル数 40 の限界を超えました"), std::string::npos);

  const int old = fonts[5];
  EXPECT_EQ(DeleteFontHandle(old), 0);
  const int again = CreateFontToHandle(nullptr, 12, -1, -1, -1, -1, 0, -1, -1);
  ASSERT_NE(again, -1);
  EXPECT_EQ(again & 0xFFFF, old & 0xFFFF) << "the freed slot is taken";
  EXPECT_NE(again, old);
  EXPECT_EQ(CheckFontHandle(old), 0);
  EXPECT_EQ(DeleteFontHandle(old), -1);
  EXPECT_EQ(QueryFontSize(old), -1);
  EXPECT_EQ(QueryFontSize(again), 12);
  EXPECT_EQ(DeleteFontHandle(again), 0);
  for (int font : fonts)
    if (font != old) {
      EXPECT_EQ(DeleteFontHandle(font), 0);
    }

  // Defaults, and an edge size above 1 makes an edge font.
  const int edged = CreateFontToHandle(nullptr, -1, -1, FONT_TYPE_PLAIN, -1, 3, 0, -1, -1);
  const FontRecord* record = GetFontRecord(edged);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->Type, FONT_TYPE_EDGE);
  EXPECT_EQ(record->Size, 16);
  EXPECT_EQ(record->Thickness, 6);
  EXPECT_EQ(record->FaceName[0], 0);
  EXPECT_EQ(record->TextureCache, device() ? 1 : 0);
  DeleteFontHandle(edged);
}

// Cells are the widest advance plus 2 (and the edge), in steps of 8, at least the line height.
TEST_P(FontTest, CacheLayoutFollowsTheCellSize) {
  struct Case {
    int size;
    int cell, lineHeight;
    int deviceSlots, deviceWidth;
    int softwareSlots;
  } const cases[] = {
      {12, 16, 12, 1024, 512, 1280},
      {16, 24, 16, 441, 512, 568},
      {64, 64, 64, 64, 512, 80},
      {136, 136, 136, 21, 1024, 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    const int font = CreateFontToHandle(nullptr, c.size, 4, FONT_TYPE_PLAIN, -1, -1, 0, -1, -1);
    const FontRecord* record = GetFontRecord(font);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->CellSize, c.cell);
    EXPECT_EQ(record->LineHeight, c.lineHeight);
    EXPECT_EQ(record->SlotCount, device() ? c.deviceSlots : c.softwareSlots);
    if (device()) {
      EXPECT_EQ(record->CacheWidth, c.deviceWidth);
    }
    DeleteFontHandle(font);
  }
}

TEST_P(FontTest, MeasuringSumsTheAdvances) {
  const int plain = CreateFontToHandle(nullptr, 16, 4, FONT_TYPE_PLAIN, -1, -1, 0, -1, -1);
  const int edged = CreateFontToHandle(nullptr, 16, 4, FONT_TYPE_EDGE, -1, 2, 0, -1, -1);
  EXPECT_EQ(MeasureTextWidth("ab", -1, plain, 0), 16);  // Two half-width advances of 8.
  EXPECT_EQ(MeasureTextWidth("ab", 1, plain, 0), 8);
  EXPECT_EQ(MeasureTextWidth("あ 　", -1, plain, 0), 15 + 8 + 15) << "blanks advance too";
  EXPECT_EQ(MeasureTextWidth("ab", -1, edged, 0), 16 + 2 * 4);
  EXPECT_EQ(MeasureTextWidth("ab", -1, plain, 1), 16) << "vertical text measures its length";
  SetFontCharSpacing(2, plain);
  EXPECT_EQ(MeasureTextWidth("ab", -1, plain, 0), 20);
  EXPECT_EQ(MeasureTextWidth("", -1, plain, 0), 0);
  EXPECT_EQ(MeasureTextWidth(nullptr, -1, plain, 0), 0);
  EXPECT_EQ(MeasureTextWidth("ab", -1, plain + 1, 0), -1);

  // Blank characters keep an advance and have no box.
  const FontRecord* record = GetFontRecord(plain);
  for (uint16_t code : {uint16_t{0x20}, uint16_t{0x4081}}) {
    const GlyphCodeEntry& entry = record->Codes[code];
    ASSERT_TRUE(entry.Cached) << code;
    EXPECT_GT(entry.Slot->Advance, 0);
    EXPECT_EQ(entry.Slot->Width, 0);
    EXPECT_EQ(entry.Slot->Height, 0);
  }

  EXPECT_EQ(DrawTextWithFont(0, 0, "", white_, plain, 0, 0), 0);
  EXPECT_EQ(DrawTextWithFont(0, 0, "ab", white_, plain + 1, 0, 0), -1);
  EXPECT_NE(ReadLog().find("フォントハンドル値が異常です"), std::string::npos);
  DeleteFontHandle(plain);
  DeleteFontHandle(edged);
}

// The game centres "GAME CLEAR" on its 408-pixel screen by the measured width.
TEST_P(FontTest, GameClearIsCentredByItsMeasuredWidth) {
  const int font = GameFont(64);
  const int width = MeasureTextWidth("GAME CLEAR", 10, font, 0);
  EXPECT_EQ(width, 320);
  ASSERT_EQ(DrawTextWithFont((408 - width) / 2, 150, "GAME CLEAR", white_, font, 0, 0), 0);
  const RECT box = ReadBackScreen().InkBox();
  // The glyphs' side bearings differ by a pixel at most, so the ink is centred within one.
  EXPECT_LE(std::abs(static_cast<int>(box.left + box.right) - 408), 2) << box.left << ".." << box.right;
  EXPECT_GE(box.top, 150);
  EXPECT_LE(box.bottom, 150 + 64);
  DeleteFontHandle(font);
}

TEST_P(FontTest, JapaneseTextDrawsItsGlyphs) {
  const int font = CreateFontToHandle(nullptr, 24, 4, FONT_TYPE_PLAIN, -1, -1, 0, -1, -1);
  // Each glyph alone, and the missing-glyph box of a character no face has.
  auto draw = [&](const char* text) {
    ClearDrawScreenAll();
    DrawTextWithFont(10, 10, text, white_, font, 0, 0);
    return ReadBackScreen();
  };
  const Picture box = draw("\x01");
  ASSERT_GT(box.InkCount(), 0);
  std::vector<Picture> glyphs;
  for (const char* text : {"あ", "漢", "ア", "ｱ"}) {
    glyphs.push_back(draw(text));
    EXPECT_GT(glyphs.back().InkCount(), 20) << text;
    EXPECT_NE(glyphs.back().pixels, box.pixels) << text;
  }
  for (size_t i = 1; i < glyphs.size(); ++i) EXPECT_NE(glyphs[i].pixels, glyphs[0].pixels);
  DeleteFontHandle(font);
}

TEST_P(FontTest, EdgeTextHasTheEdgeColourAroundTheGlyph) {
  for (int type : {FONT_TYPE_EDGE, FONT_TYPE_ANTIALIAS_EDGE}) {
    SCOPED_TRACE(type);
    ClearDrawScreenAll();
    const int font = CreateFontToHandle(nullptr, 32, 4, type, -1, 2, 0, -1, -1);
    ASSERT_EQ(DrawTextWithFont(20, 20, "HI", white_, font, red_, 0), 0);
    const Picture picture = ReadBackScreen();
    int body = 0, edge = 0, bare = 0;
    for (int y = 1; y + 1 < picture.height; ++y)
      for (int x = 1; x + 1 < picture.width; ++x) {
        const uint32_t p = picture.at(x, y);
        if (p != 0xFFFFFF) continue;
        ++body;
        // A solid body pixel's side neighbours are body or edge, never the background.
        for (auto [dx, dy] : {std::pair{-1, 0}, {1, 0}, {0, -1}, {0, 1}}) bare += picture.at(x + dx, y + dy) == 0;
      }
    for (uint32_t p : picture.pixels) edge += (p >> 16) > 0x80 && (p & 0xFFFF) < 0x40;
    EXPECT_GT(body, 50);
    EXPECT_GT(edge, body / 2);
    EXPECT_EQ(bare, 0);
    DeleteFontHandle(font);
  }
}

// Glyph pixel (u, v) of a horizontal line lands at column LH - 1 - v, row u of a vertical one.
TEST_P(FontTest, VerticalTextTurnsEachGlyphClockwise) {
  for (int type : {FONT_TYPE_PLAIN, FONT_TYPE_ANTIALIAS}) {
    SCOPED_TRACE(type);
    const int font = CreateFontToHandle(nullptr, 24, 4, type, -1, -1, 0, -1, -1);
    const int lineHeight = GetFontRecord(font)->LineHeight;
    const int length = MeasureTextWidth("Fあ", -1, font, 1);
    ClearDrawScreenAll();
    DrawTextWithFont(10, 10, "Fあ", white_, font, 0, 0);
    DrawTextWithFont(300, 100, "Fあ", white_, font, 0, 1);
    const Picture picture = ReadBackScreen();
    int mismatches = 0, ink = 0;
    for (int v = 0; v < lineHeight; ++v)
      for (int u = 0; u < length; ++u) {
        ink += picture.Ink(10 + u, 10 + v);
        mismatches += picture.at(10 + u, 10 + v) != picture.at(300 + lineHeight - 1 - v, 100 + u);
      }
    EXPECT_GT(ink, 50);
    EXPECT_EQ(mismatches, 0);
    DeleteFontHandle(font);
  }
}

// More distinct characters than the cache has cells: each still draws as it does alone.
TEST_P(FontTest, AStringThatOverflowsTheCacheStillDrawsFully) {
  const int font = CreateFontToHandle(nullptr, 136, 4, FONT_TYPE_PLAIN, -1, -1, 0, -1, -1);
  const char* text = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  ASSERT_LT(GetFontRecord(font)->SlotCount, 26);
  for (int i : {0, 12, 21, 25}) {
    SCOPED_TRACE(i);
    const int pen = MeasureTextWidth(text, i, font, 0);
    ClearDrawScreenAll();
    DrawTextWithFont(10 - pen, 10, text, white_, font, 0, 0);
    const Picture inString = ReadBackScreen();
    const char alone[2] = {text[i], 0};
    ClearDrawScreenAll();
    DrawTextWithFont(10, 10, alone, white_, font, 0, 0);
    const Picture byItself = ReadBackScreen();
    const int advance = MeasureTextWidth(alone, -1, font, 0);
    int ink = 0, mismatches = 0;
    for (int y = 10; y < 10 + 136; ++y)
      for (int x = 10 + 4; x < 10 + advance - 4; ++x) {
        ink += byItself.Ink(x, y);
        mismatches += byItself.at(x, y) != inString.at(x, y);
      }
    EXPECT_GT(ink, 100);
    EXPECT_EQ(mismatches, 0);
  }
  DeleteFontHandle(font);
}

// A glyph the platform cannot give is left out; the rest of the string draws.
TEST_P(FontTest, AGlyphThatCannotBeHadIsSkipped) {
  const int font = CreateFontToHandle(nullptr, 24, 4, FONT_TYPE_PLAIN, -1, -1, 0, -1, -1);
  platform::testing::FailGlyphOutlines(1);
  EXPECT_EQ(DrawTextWithFont(10, 10, "XY", white_, font, 0, 0), 0);
  EXPECT_NE(ReadLog().find("GetGlyphOutline 関数が失敗しました"), std::string::npos);
  const Picture picture = ReadBackScreen();
  EXPECT_GT(picture.InkCount(), 20) << "Y still draws";
  DeleteFontHandle(font);
}

// A glyph wider than its cell (an italic full-width character) is cut at the cell, also in the
// last cell of the cache.
TEST_P(FontTest, GlyphsStayInsideTheirCells) {
  const int font = CreateFontToHandle(nullptr, 64, 4, FONT_TYPE_ANTIALIAS_EDGE, -1, 3, 1, -1, -1);
  FontRecord* record = GetFontRecord(font);
  ASSERT_NE(record, nullptr);
  record->NextSlot = record->SlotCount - 1;
  DrawTextWithFont(0, 0, "＠Ｗ", white_, font, red_, 0);
  for (const char* glyph : {"\x81\x97", "\x82\x76"}) {
    const GlyphSlot* slot = record->Codes[static_cast<uint8_t>(glyph[0]) | static_cast<uint8_t>(glyph[1]) << 8].Slot;
    ASSERT_NE(slot, nullptr);
    EXPECT_LT(slot->Width, record->CellSize);
    EXPECT_LT(slot->Height, record->CellSize + 1);
  }
  DeleteFontHandle(font);
}

TEST_P(FontTest, FontsComeBackUnderTheSameHandleAfterADeviceLoss) {
  if (!device()) GTEST_SKIP() << "only the device can be lost";
  const int font = GameFont(24);
  int lost = -1;
  SetFontLostFlag(font, &lost);
  OnScreenLogState& log = g_runtime.log.onScreen;
  const int logFont = log.font;
  ASSERT_EQ(CheckFontHandle(logFont), 1);
  SetFontCharSpacing(1, font);
  DrawTextWithFont(10, 10, "GAME CLEAR", white_, font, 0, 0);
  const Picture before = ReadBackScreen();
  ASSERT_EQ(FlipScreen(), 0);

  platform::testing::LoseDevices();
  EXPECT_EQ(FlipScreen(), -1);
  platform::testing::RegainLostDevices();
  ASSERT_EQ(FlipScreen(), 0);
  EXPECT_EQ(CheckFontHandle(font), 1);
  EXPECT_EQ(lost, 0) << "the handle lives on, so it is not reported lost";
  EXPECT_EQ(GetFontRecord(font)->CharSpacing, 1);
  // The on-screen log makes a new font when its own is reported lost: it would leave a font
  // behind at every loss until the table was full.
  DrawOnScreenLog();
  EXPECT_EQ(log.fontLost, 0);
  EXPECT_EQ(log.font, logFont);
  ClearDrawScreenAll();
  DrawTextWithFont(10, 10, "GAME CLEAR", white_, font, 0, 0);
  EXPECT_EQ(ReadBackScreen().pixels, before.pixels);
  DeleteFontHandle(font);
  EXPECT_EQ(lost, 1);
}

// A cache graph deleted under the font (a program deleting every graph) is made again at the
// next draw, without leaving its edge half behind.
TEST_P(FontTest, DeletedCacheGraphsAreMadeAgainAtTheNextDraw) {
  if (!device()) GTEST_SKIP() << "the software cache is no graph";
  const int font = CreateFontToHandle(nullptr, 24, 4, FONT_TYPE_EDGE, -1, 2, 0, -1, -1);
  DrawTextWithFont(10, 10, "GAME", white_, font, red_, 0);
  const Picture before = ReadBackScreen();
  const int graphs = g_graphHandleTable.usedCount;
  FontRecord* record = GetFontRecord(font);
  ASSERT_EQ(DeleteGraphHandle(record->CacheGraph), 0);
  EXPECT_EQ(record->CacheLost, 1);
  ClearDrawScreenAll();
  DrawTextWithFont(10, 10, "GAME", white_, font, red_, 0);
  EXPECT_EQ(ReadBackScreen().pixels, before.pixels);
  EXPECT_EQ(g_graphHandleTable.usedCount, graphs);
  DeleteFontHandle(font);
  EXPECT_EQ(g_graphHandleTable.usedCount, graphs - 2);
}

// The cache graphs ignore a caller's render-target setting: text never draws as boxes.
TEST_P(FontTest, TheCacheIgnoresTheRenderTargetSetting) {
  const int plain = GameFont(24);
  DrawTextWithFont(10, 10, "GAME", white_, plain, 0, 0);
  const int ink = ReadBackScreen().InkCount();
  ClearDrawScreenAll();
  SetCreateRenderTargetGraph(1);
  const int font = GameFont(24);
  SetCreateRenderTargetGraph(0);
  DrawTextWithFont(10, 10, "GAME", white_, font, 0, 0);
  EXPECT_EQ(ReadBackScreen().InkCount(), ink);
  DeleteFontHandle(font);
  DeleteFontHandle(plain);
}

TEST_P(FontTest, TheOnScreenLogDrawsOverThePicture) {
  OnScreenLogState& log = g_runtime.log.onScreen;
  ASSERT_EQ(log.started, 1);
  ASSERT_EQ(CheckFontHandle(log.font), 1);
  CopyString(log.lines[1], "READY");
  log.show = 1;
  platform::testing::KeepPresentedFrames(true);
  ASSERT_EQ(FlipScreen(), 0);
  platform::testing::PresentedFrame frame;
  ASSERT_TRUE(platform::testing::LastPresentedFrame(&frame));
  platform::testing::KeepPresentedFrames(false);
  int white = 0, elsewhere = 0;
  for (int y = 0; y < frame.height; ++y)
    for (int x = 0; x < frame.width; ++x) {
      const bool ink = (frame.pixels[static_cast<size_t>(y) * frame.width + x] & 0xFFFFFF) == 0xFFFFFF;
      if (y >= 16 && y < 32 && x < 80)
        white += ink;
      else
        elsewhere += ink;
    }
  EXPECT_GT(white, 30);
  EXPECT_EQ(elsewhere, 0);

  // A lost font is made again at the next draw.
  DeleteFontHandle(log.font);
  EXPECT_EQ(log.fontLost, 1);
  DrawOnScreenLog();
  EXPECT_EQ(CheckFontHandle(log.font), 1);
  EXPECT_EQ(FinishLibrary(), 0);
  EXPECT_EQ(log.started, 0);
}

// Blended software text goes through a work image and is blended once as a whole, so the
// overlapping edges of neighbouring glyphs are not blended twice.
TEST_P(FontTest, BlendedSoftwareTextIsBlendedOnce) {
  if (device()) GTEST_SKIP() << "the device blends glyph by glyph";
  const int font = CreateFontToHandle(nullptr, 32, 4, FONT_TYPE_EDGE, -1, 3, 0, -1, -1);
  SetFontCharSpacing(-8, font);  // Neighbouring edges overlap.
  const unsigned grey = static_cast<unsigned>(MakeColorCode(0x40, 0x40, 0x40));
  DrawFilledBox(0, 0, 408, 100, grey);
  DrawTextWithFont(10, 10, "WWW", white_, font, red_, 0);
  const Picture opaque = ReadBackScreen();
  DrawFilledBox(0, 0, 408, 100, grey);
  SetDrawBlendMode(BLEND_MODE_ALPHA, 128);
  DrawTextWithFont(10, 10, "WWW", white_, font, red_, 0);
  SetDrawBlendMode(BLEND_MODE_COPY, 0);
  const Picture blended = ReadBackScreen();
  // The string is blended over its measured length (ink past the last pen position is cut).
  const int length = MeasureTextWidth("WWW", -1, font, 0);
  int off = 0, drawn = 0;
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 10 + length; ++x) {
      const uint32_t o = opaque.at(x, y), b = blended.at(x, y);
      if (o == 0x404040) continue;
      ++drawn;
      for (int shift : {0, 8, 16}) {
        const int expected = 0x40 + ((static_cast<int>(o >> shift & 0xFF) - 0x40) * 128) / 255;
        off += std::abs(static_cast<int>(b >> shift & 0xFF) - expected) > 1;
      }
    }
  EXPECT_GT(drawn, 200);
  EXPECT_EQ(off, 0);

  // Black text in the plain work image's key colour still shows: the key moves out of its way.
  const unsigned black = static_cast<unsigned>(MakeColorCode(0, 0, 0));
  DrawFilledBox(0, 0, 408, 100, white_);
  SetDrawBlendMode(BLEND_MODE_ALPHA, 128);
  DrawTextWithFont(10, 10, "WWW", black, font, black, 0);
  SetDrawBlendMode(BLEND_MODE_COPY, 0);
  int darkened = 0;
  const Picture keyed = ReadBackScreen();
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 408; ++x) darkened += keyed.at(x, y) != 0xFFFFFF;
  EXPECT_GT(darkened, 200);
  DeleteFontHandle(font);
}

// Subtracted text: the same with the device's reverse-subtract operation and without it (the
// text's rectangle inverted, the text added, the rectangle inverted again).
TEST_P(FontTest, SubtractedTextWithAndWithoutTheDeviceOperation) {
  const int font = CreateFontToHandle(nullptr, 24, 4, FONT_TYPE_PLAIN, -1, -1, 0, -1, -1);
  DrawFilledBox(0, 0, 408, 120, static_cast<unsigned>(MakeColorCode(0x80, 0x90, 0xA0)));
  const unsigned teal = static_cast<unsigned>(MakeColorCode(0x30, 0x60, 0x90));
  SetDrawBlendMode(BLEND_MODE_SUBTRACT, 255);
  DrawTextWithFont(10, 10, "HIJK", teal, font, 0, 0);
  const int savedCap = g_renderDevice.BlendOpCap;
  g_renderDevice.BlendOpCap = 0;
  DrawTextWithFont(10, 60, "HIJK", teal, font, 0, 0);
  g_renderDevice.BlendOpCap = savedCap;
  SetDrawBlendMode(BLEND_MODE_COPY, 0);
  const Picture picture = ReadBackScreen();
  int text = 0, differ = 0;
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 408; ++x) {
      const uint32_t upper = picture.at(x, y), lower = picture.at(x, y + 50);
      text += upper != 0x8090A0;
      for (int shift : {0, 8, 16})
        differ += std::abs(static_cast<int>(upper >> shift & 0xFF) - static_cast<int>(lower >> shift & 0xFF)) > 1;
    }
  EXPECT_GT(text, 50);
  EXPECT_EQ(differ, 0);
  EXPECT_EQ(picture.at(0, 0), 0x8090A0u);
  DeleteFontHandle(font);
}

// A lead byte whose next byte cannot trail it is a character of its own (the code page's '?'),
// and the next byte is read as itself: nothing behind a broken pair is swallowed.
TEST_P(FontTest, ABrokenDoubleBytePairDrawsAQuestionMarkAndKeepsTheNextByte) {
  const int font = CreateFontToHandle(nullptr, 24, 4, FONT_TYPE_PLAIN, -1, -1, 0, -1, -1);
  struct Case {
    const char* text;
    const char* drawnAs;
  } const cases[] = {
      {"A\x81\x20"
       "B",
       "A? B"},  // A space cannot trail.
      {"\x9F\x3F"
       "C",
       "??C"},  // Nor can a byte below 0x40.
      {"\xE0\x7F"
       "D",
       "?\x7F"
       "D"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.drawnAs);
    EXPECT_EQ(MeasureTextWidth(c.text, -1, font, 0), MeasureTextWidth(c.drawnAs, -1, font, 0));
    ClearDrawScreenAll();
    DrawTextWithFont(10, 10, c.text, white_, font, 0, 0);
    const Picture broken = ReadBackScreen();
    ClearDrawScreenAll();
    DrawTextWithFont(10, 10, c.drawnAs, white_, font, 0, 0);
    const Picture expected = ReadBackScreen();
    EXPECT_GT(expected.InkCount(), 20);
    EXPECT_EQ(broken.pixels, expected.pixels);
  }
  DeleteFontHandle(font);
}

// A font whose cells would outgrow any cache (a huge size, or an edge that makes the cell huge)
// is refused with a log line before anything is allocated for it.
TEST_P(FontTest, FontsTooLargeForTheirCacheAreRefused) {
  const int blocks = GetTrackedBlockCount();
  const int bytes = GetTrackedTotalBytes();
  struct Case {
    int size, type, edgeSize;
    const char* logged;
  } const cases[] = {
      {10000, FONT_TYPE_PLAIN, -1, "フォントのサイズ 10000 が上限の 1024 を超えています"},
      {100000, FONT_TYPE_ANTIALIAS_EDGE, 2, "フォントのサイズ 100000 が上限の 1024 を超えています"},
      {-10000, FONT_TYPE_ANTIALIAS, -1, "フォントのサイズ -10000 が上限の 1024 を超えています"},
      {kFontSizeLimit + 1, FONT_TYPE_EDGE, -1, "フォントのサイズ 1025 が上限の 1024 を超えています"},
      {16, FONT_TYPE_EDGE, 5000, "文字キャッシュのセルの大きさ"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    EXPECT_EQ(CreateFontToHandle(nullptr, c.size, 4, c.type, -1, c.edgeSize, 0, -1, -1), -1);
    EXPECT_NE(ReadLog().find(c.logged), std::string::npos);
    EXPECT_EQ(GetTrackedBlockCount(), blocks);
    EXPECT_EQ(GetTrackedTotalBytes(), bytes);
  }
  // The largest size still makes a font, and its text draws.
  const int largest = CreateFontToHandle(nullptr, kFontSizeLimit, 4, FONT_TYPE_PLAIN, -1, -1, 0, -1, -1);
  ASSERT_NE(largest, -1);
  DrawTextWithFont(0, 0, "l", white_, largest, 0, 0);
  EXPECT_GT(ReadBackScreen().InkCount(), 1000);
  DeleteFontHandle(largest);
}

// The default font is made once at start-up and once more at shut-down, which then deletes it.
TEST_P(FontTest, ShutDownEndsTheFontSystemOnce) {
  ASSERT_EQ(FinishLibrary(), 0);
  const std::string log = ReadLog();
  int rebuilds = 0;
  for (size_t at = log.find("フォントの初期化を行います"); at != std::string::npos;
       at = log.find("フォントの初期化を行います", at + 1))
    ++rebuilds;
  EXPECT_EQ(rebuilds, 2);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, FontTest, ::testing::Values(Path::kDevice, Path::kSoftware),
                         [](const auto& info) { return info.param == Path::kDevice ? "Device" : "Software"; });

}  // namespace

namespace {

class FontPathsTest : public windowtest::LibraryTest {
 protected:
  void TearDown() override {
    LibraryTest::TearDown();
    SetHardwareAccelFlag(1);
    platform::testing::ResetFontSwitches();
  }

  // Starts the library on one path with the gothic font pinned and a cleared back screen.
  static void StartOn(Path path) {
    SetHardwareAccelFlag(path == Path::kDevice ? 1 : 0);
    platform::testing::PinFontFiles({font_files::kGothic});
    EXPECT_EQ(InitializeLibrary(), 0);
    SelectDrawTarget(SCREEN_BACK);
    ClearDrawScreenAll();
  }

  // The back screen's picture, read before the library finishes.
  static Picture ReadBackAndFinish() {
    Picture picture = ReadBackScreen();
    EXPECT_EQ(FinishLibrary(), 0);
    return picture;
  }

  // Each font type, horizontal and vertical, drawn on one path.
  Picture DrawSampler(Path path) {
    StartOn(path);
    const unsigned white = static_cast<unsigned>(MakeColorCode(255, 255, 255));
    const unsigned gold = static_cast<unsigned>(MakeColorCode(0xE0, 0xB0, 0x30));
    const unsigned blue = static_cast<unsigned>(MakeColorCode(0x20, 0x40, 0xC0));
    for (int type = 0; type < 4; ++type) {
      const int font = CreateFontToHandle(nullptr, 24, 9, type, -1, type & FONT_TYPE_EDGE ? 2 : -1, 0, -1, -1);
      DrawTextWithFont(8, 8 + type * 40, "Pylon ラッシュ 123", type % 2 ? white : gold, font, blue, 0);
      DrawTextWithFont(300 + type * 26, 180, "縦書き", white, font, blue, 1);
      DeleteFontHandle(font);
    }
    return ReadBackAndFinish();
  }
};

uint32_t Checksum(const Picture& picture) {
  uint32_t hash = 2166136261u;
  for (uint32_t p : picture.pixels)
    for (int shift : {0, 8, 16}) hash = (hash ^ (p >> shift & 0xFF)) * 16777619u;
  return hash;
}

TEST_F(FontPathsTest, TheSameTextDrawsTheSamePixelsOnBothPaths) {
  const Picture software = DrawSampler(Path::kSoftware);
  const Picture device = DrawSampler(Path::kDevice);
  ASSERT_EQ(software.pixels.size(), device.pixels.size());
  ASSERT_GT(software.InkCount(), 2000);
  // Monochrome glyphs (types 0 and 1) match exactly. Anti-aliased levels are 4-bit alpha on the
  // device and 16 x level on the software path: up to 16 apart per channel. The anti-aliased edge
  // levels follow different rules (the device cache accumulates the neighbouring levels, the
  // byte cache takes the highest), so the faint outer rim of type 3 is up to 96 apart.
  const int tolerance[4] = {0, 0, 16, 96};
  int beyond[4] = {0, 0, 0, 0};
  for (size_t i = 0; i < software.pixels.size(); ++i) {
    const uint32_t s = software.pixels[i], d = device.pixels[i];
    const int x = static_cast<int>(i) % software.width, y = static_cast<int>(i) / software.width;
    const int type = y < 8 + 4 * 40 ? std::min(3, std::max(0, (y - 8) / 40)) : std::min(3, std::max(0, (x - 300) / 26));
    for (int shift : {0, 8, 16})
      beyond[type] += std::abs(static_cast<int>(s >> shift & 0xFF) - static_cast<int>(d >> shift & 0xFF)) >
                      tolerance[type];
  }
  for (int type = 0; type < 4; ++type) EXPECT_EQ(beyond[type], 0) << "type " << type;
  EXPECT_EQ(Checksum(software), 2678574631u) << "the software picture moved";
}

// Glyphs close enough for an edge to reach into the glyph before it: each glyph's edge still goes
// under its own body and over the glyphs before it, on the device path as on the software path
// (monochrome edges match exactly), also when a string is longer than the device draws at once.
TEST_F(FontPathsTest, OverlappingEdgeGlyphsDrawInStringOrderOnBothPaths) {
  auto draw = [](Path path) {
    StartOn(path);
    const unsigned white = static_cast<unsigned>(MakeColorCode(255, 255, 255));
    const unsigned red = static_cast<unsigned>(MakeColorCode(255, 0, 0));
    const int font = CreateFontToHandle(nullptr, 24, 4, FONT_TYPE_EDGE, -1, 3, 0, -1, -1);
    SetFontCharSpacing(-9, font);
    DrawTextWithFont(4, 4, "WWMW ラッシュ 漢字", white, font, red, 0);
    // Two pixels a glyph: each covers the eight before it, and the string ends on the screen.
    const std::string many(160, 'W');
    SetFontCharSpacing(-16, font);
    DrawTextWithFont(4, 40, many.c_str(), white, font, red, 0);
    DeleteFontHandle(font);
    return ReadBackAndFinish();
  };
  const Picture software = draw(Path::kSoftware);
  const Picture device = draw(Path::kDevice);
  ASSERT_EQ(software.pixels.size(), device.pixels.size());
  ASSERT_GT(software.InkCount(), 2000);
  int mismatches = 0;
  for (size_t i = 0; i < software.pixels.size(); ++i) mismatches += software.pixels[i] != device.pixels[i];
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
