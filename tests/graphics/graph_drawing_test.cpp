// Graphs and boxes drawn on both rendering paths into the 408 x 504 32-bit screen: the same
// scenes, read back from the locked screen, against pixels worked out from the sheet's pattern.
// The software path must match exactly; the device path too wherever the pixel rules make a
// texel land on exactly one pixel, and within one step per channel where blending rounds.
#include "../window/window_fixture.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "graphics/device/render_device.h"
#include "graphics/graphs/draw_settings.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/graphs/graph_records.h"
#include "graphics/graphs/screen_settings.h"
#include "graphics/graphs/screens.h"
#include "graphics/models/model_buffers.h"
#include "image_test_support.h"
#include "platform/testing.h"
#include "runtime/tracked_heap.h"
#include "window/window_state.h"

namespace {

enum class Path { kDevice, kSoftware };

constexpr uint32_t kBackground = 0x204060;
constexpr int kScreenWidth = 408, kScreenHeight = 504;

// The sheet's colour at (x, y): every pixel different and none black, except the key pixels.
uint32_t Pattern(int x, int y) {
  if ((x + 2 * y) % 11 == 0) return 0;
  return static_cast<uint32_t>(((x * 9 + 17) & 0xFF) << 16 | ((y * 11 + 5) & 0xFF) << 8 | ((x * y + 3) & 0x7F)) |
         0x800000;
}

// A bottom-up 24-bit BMP file of the colour function.
template <typename Color>
void WriteBmp(const std::string& path, int width, int height, Color color) {
  const std::vector<uint8_t> file = image_test::MakeBmp24(width, height, color);
  FILE* out = std::fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  std::fwrite(file.data(), 1, file.size(), out);
  std::fclose(out);
}

struct Screen {
  std::vector<uint32_t> pixels;
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * kScreenWidth + x]; }
};

class GraphDrawingTest : public windowtest::LibraryTest, public ::testing::WithParamInterface<Path> {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    SetHardwareAccelFlag(GetParam() == Path::kDevice ? 1 : 0);
    g_windowSystem.backgroundRed = kBackground >> 16;
    g_windowSystem.backgroundGreen = kBackground >> 8 & 0xFF;
    g_windowSystem.backgroundBlue = kBackground & 0xFF;
    blocksBefore_ = GetTrackedBlockCount();
    ASSERT_EQ(InitializeLibrary(), 0);
    ASSERT_EQ(g_screenSettings.HardwareInUse, Device() ? 1 : 0);
    ASSERT_EQ(SelectDrawTarget(SCREEN_BACK), 0);
    ASSERT_EQ(ClearDrawScreenAll(), 0);
    WriteBmp("sheet.bmp", 48, 24, Pattern);
  }
  void TearDown() override {
    EXPECT_EQ(FinishLibrary(), 0);
    EXPECT_EQ(GetTrackedBlockCount(), blocksBefore_) << "graphs left behind by shut-down";
    LibraryTest::TearDown();
    SetHardwareAccelFlag(1);
  }

  static bool Device() { return GetParam() == Path::kDevice; }

  static Screen ReadScreen() {
    Screen screen;
    BaseImage locked{};
    const RECT whole{0, 0, kScreenWidth, kScreenHeight};
    EXPECT_EQ(LockDrawScreenBuffer(&whole, &locked), 0);
    if (!locked.pixels) return screen;
    for (int y = 0; y < locked.height; ++y) {
      const auto* row = reinterpret_cast<const uint32_t*>(locked.pixels + y * locked.pitch);
      for (int x = 0; x < locked.width; ++x) screen.pixels.push_back(row[x] & 0xFFFFFF);
    }
    UnlockDrawScreenBuffer();
    return screen;
  }

  // Every pixel against expect(x, y); failures name the first few.
  template <typename Expect>
  static void ExpectScreen(const Screen& screen, Expect expect, int tolerance = 0) {
    ASSERT_EQ(screen.pixels.size(), static_cast<size_t>(kScreenWidth) * kScreenHeight);
    int wrong = 0;
    for (int y = 0; y < kScreenHeight; ++y)
      for (int x = 0; x < kScreenWidth; ++x) {
        const uint32_t got = screen.At(x, y), want = expect(x, y);
        bool close = true;
        for (int shift : {0, 8, 16}) {
          const int a = static_cast<int>(got >> shift & 0xFF), b = static_cast<int>(want >> shift & 0xFF);
          close = close && std::abs(a - b) <= tolerance;
        }
        if (!close && ++wrong <= 5)
          ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << got << ", wanted " << want;
      }
    EXPECT_EQ(wrong, 0);
  }

  int blocksBefore_ = 0;
};

// The game's way: a sheet loaded, cells cut from it, drawn unscaled; the cut graphs live on
// after the sheet is deleted.
TEST_P(GraphDrawingTest, GraphsCutFromASheetLandOnTheirPixels) {
  const int sheet = LoadGraphFile("sheet.bmp", 0);
  ASSERT_NE(sheet, -1);
  int width = 0, height = 0;
  ASSERT_EQ(GetGraphDimensions(sheet, &width, &height), 0);
  EXPECT_EQ(width, 48);
  EXPECT_EQ(height, 24);
  const int cell = CutSubGraph(24, 0, 24, 24, sheet);
  const int strip = CutSubGraph(40, 10, 100, 100, sheet);  // Cut at the sheet's edges: 8 x 14.
  ASSERT_NE(cell, -1);
  ASSERT_EQ(GetGraphDimensions(strip, &width, &height), 0);
  EXPECT_EQ(width, 8);
  EXPECT_EQ(height, 14);
  EXPECT_EQ(CutSubGraph(48, 0, 1, 1, sheet), -1);
  EXPECT_EQ(CutSubGraph(-1, 0, 1, 1, sheet), -1);
  EXPECT_EQ(DeleteGraphHandle(sheet), 0);
  EXPECT_EQ(DrawGraphAt(0, 0, sheet, 0), -1) << "a deleted graph";

  EXPECT_EQ(DrawGraphAt(12, 468, cell, 0), 0);
  EXPECT_EQ(DrawGraphAt(100, 100, strip, 0), 0);
  ExpectScreen(ReadScreen(), [](int x, int y) {
    if (x >= 12 && x < 36 && y >= 468 && y < 492) return Pattern(24 + x - 12, y - 468);
    if (x >= 100 && x < 108 && y >= 100 && y < 114) return Pattern(40 + x - 100, 10 + y - 100);
    return kBackground;
  });
  EXPECT_EQ(DeleteGraphHandle(cell), 0);
  EXPECT_EQ(DeleteGraphHandle(cell), -1);
}

// Transparent draws leave the key colour out; the draw area clips on every side.
TEST_P(GraphDrawingTest, KeyColourAndDrawAreaClipping) {
  const int sheet = LoadGraphFile("sheet.bmp", 0);
  ASSERT_NE(sheet, -1);
  EXPECT_EQ(DrawGraphAt(200, 300, sheet, 1), 0);
  ASSERT_EQ(SetDrawClipArea(10, 20, 50, 30), 0);
  // Crosses the area's left, top and bottom edges.
  EXPECT_EQ(DrawGraphAt(-5, 12, sheet, 0), 0);
  ExpectScreen(ReadScreen(), [](int x, int y) {
    if (x >= 200 && x < 248 && y >= 300 && y < 324) {
      const uint32_t c = Pattern(x - 200, y - 300);
      return c ? c : kBackground;
    }
    if (x >= 10 && x < 43 && y >= 20 && y < 30) return Pattern(x + 5, y - 12);
    return kBackground;
  });
}

// Stretched by two, mirrored through both calls, and equal corners refused.
TEST_P(GraphDrawingTest, StretchedAndMirroredDraws) {
  const int sheet = LoadGraphFile("sheet.bmp", 0);
  ASSERT_NE(sheet, -1);
  EXPECT_EQ(DrawGraphStretched(10, 10, 106, 58, sheet, 0), 0);
  EXPECT_EQ(DrawGraphMirrored(200, 10, sheet, 0), 0);
  EXPECT_EQ(DrawGraphStretched(348, 10, 300, 34, sheet, 0), 0);
  EXPECT_EQ(DrawGraphStretched(5, 5, 5, 50, sheet, 0), -1);
  EXPECT_EQ(DrawGraphStretchedF(10.2f, 5, 10.7f, 50, sheet, 0), -1) << "corners compared after truncation";
  ExpectScreen(ReadScreen(), [](int x, int y) {
    if (x >= 10 && x < 106 && y >= 10 && y < 58) return Pattern((x - 10) / 2, (y - 10) / 2);
    if (x >= 200 && x < 248 && y >= 10 && y < 34) return Pattern(47 - (x - 200), y - 10);
    if (x >= 300 && x < 348 && y >= 10 && y < 34) return Pattern(47 - (x - 300), y - 10);
    return kBackground;
  });
}

// A four-corner draw onto the graph's own rectangle, and a source rectangle of it.
TEST_P(GraphDrawingTest, FourCornerAndSourceRectangleDraws) {
  const int sheet = LoadGraphFile("sheet.bmp", 0);
  ASSERT_NE(sheet, -1);
  EXPECT_EQ(DrawGraphQuad(100, 200, 148, 200, 148, 224, 100, 224, sheet, 0), 0);
  EXPECT_EQ(DrawGraphRect(20, 300, 8, 4, 10, 6, sheet, 0, 0), 0);
  EXPECT_EQ(DrawGraphRect(60, 300, 8, 4, 10, 6, sheet, 0, 1), 0);
  RECT area{};
  GetDrawClipArea(&area);
  EXPECT_EQ(g_drawState.DrawArea.right, kScreenWidth) << "the draw area is given back";
  ExpectScreen(ReadScreen(), [](int x, int y) {
    if (x >= 100 && x < 148 && y >= 200 && y < 224) return Pattern(x - 100, y - 200);
    if (x >= 20 && x < 30 && y >= 300 && y < 306) return Pattern(8 + x - 20, 4 + y - 300);
    // Mirrored: the rectangle's columns run the other way.
    if (x >= 60 && x < 70 && y >= 300 && y < 306) return Pattern(17 - (x - 60), 4 + y - 300);
    return kBackground;
  });
}

// A graph wider than the largest tile the screen allows is drawn tile by tile, clipped at both
// edges of the screen, unscaled, stretched and through four corners.
TEST_P(GraphDrawingTest, GraphsOfSeveralTilesAreClippedPerTile) {
  WriteBmp("wide.bmp", 600, 8, Pattern);
  const int wide = LoadGraphFile("wide.bmp", 0);
  ASSERT_NE(wide, -1);
  if (Device()) {
    EXPECT_GE(GetGraphRecord(wide)->TileCount, 2);
  }
  EXPECT_EQ(DrawGraphAt(-100, 10, wide, 0), 0);
  EXPECT_EQ(DrawGraphStretched(-150, 30, 1050, 46, wide, 0), 0);
  EXPECT_EQ(DrawGraphQuad(-50, 60, 550, 60, 550, 68, -50, 68, wide, 0), 0);
  EXPECT_EQ(DrawGraphPartStretchedF(0, 80, 40, 84, 300, 2, 20, 2, wide, 0), 0);
  ExpectScreen(ReadScreen(), [](int x, int y) {
    if (y >= 10 && y < 18) return Pattern(x + 100, y - 10);
    if (y >= 30 && y < 46) return Pattern((x + 150) / 2, (y - 30) / 2);
    if (y >= 60 && y < 68) return Pattern(x + 50, y - 60);
    if (x < 40 && y >= 80 && y < 84) return Pattern(300 + x / 2, 2 + (y - 80) / 2);
    return kBackground;
  });
}

// A drawable graph takes boxes and graphs as the draw target, and is then drawn itself.
TEST_P(GraphDrawingTest, BoxesGoIntoADrawableGraph) {
  SetCreateRenderTargetGraph(1);
  const int canvas = MakeBlankGraph(20, 12);
  SetCreateRenderTargetGraph(0);
  ASSERT_NE(canvas, -1);
  ASSERT_EQ(SelectDrawTarget(canvas), 0);
  const unsigned green = static_cast<unsigned>(MakeColorCode(0, 255, 0));
  EXPECT_EQ(DrawOutlineBox(12, 2, 2, 8, green), 0);  // x reversed, y in order.
  EXPECT_EQ(DrawFilledBox(15, 9, 30, 30, static_cast<unsigned>(MakeColorCode(0, 0, 255))), 0);
  ASSERT_EQ(SelectDrawTarget(SCREEN_BACK), 0);
  EXPECT_EQ(DrawGraphAt(200, 200, canvas, 0), 0);
  ExpectScreen(ReadScreen(), [](int x, int y) -> uint32_t {
    if (x < 200 || x >= 220 || y < 200 || y >= 212) return kBackground;
    const int gx = x - 200, gy = y - 200;
    if (gx >= 2 && gx < 12 && gy >= 2 && gy < 8 && (gx == 2 || gx == 11 || gy == 2 || gy == 7)) return 0x00FF00;
    if (gx >= 15 && gy >= 9) return 0x0000FF;
    return 0;
  });
  EXPECT_EQ(DeleteGraphHandle(canvas), 0);
  EXPECT_EQ(GetDrawTarget(), SCREEN_BACK) << "the deleted target";
}

// Filled and outline boxes: reversed corners fill the same pixels, an outline is the one-pixel
// border drawn once, and the draw area clips both.
TEST_P(GraphDrawingTest, FilledAndOutlineBoxes) {
  const unsigned red = static_cast<unsigned>(MakeColorCode(255, 0, 0));
  const unsigned green = static_cast<unsigned>(MakeColorCode(0, 255, 0));
  EXPECT_EQ(DrawFilledBox(10, 10, 20, 15, red), 0);
  EXPECT_EQ(DrawFilledBox(40, 15, 30, 10, red), 0);
  EXPECT_EQ(DrawOutlineBox(0, 100, 10, 110, green), 0);
  DrawBoxShape(60, 110, 50, 100, green, 0);  // Both axes reversed.
  EXPECT_EQ(DrawOutlineBox(80, 100, 90, 110, green), 0);
  SetDrawClipArea(0, 200, 408, 210);
  EXPECT_EQ(DrawFilledBox(5, 190, 15, 220, red), 0);
  EXPECT_EQ(DrawFilledBox(5, 300, 15, 320, red), 0) << "outside the area";
  EXPECT_EQ(DrawOutlineBox(20, 195, 30, 215, green), 0);  // Only its sides cross the area.
  auto border = [](int x, int y, int left, int top) {
    return x >= left && x < left + 10 && y >= top && y < top + 10 &&
           (x == left || x == left + 9 || y == top || y == top + 9);
  };
  const Screen screen = ReadScreen();
  ExpectScreen(screen, [&](int x, int y) {
    if (((x >= 10 && x < 20) || (x >= 30 && x < 40)) && y >= 10 && y < 15) return 0xFF0000u;
    if (border(x, y, 0, 100) || border(x, y, 50, 100) || border(x, y, 80, 100)) return 0x00FF00u;
    if (x >= 5 && x < 15 && y >= 200 && y < 210) return 0xFF0000u;
    if ((x == 20 || x == 29) && y >= 200 && y < 210) return 0x00FF00u;
    return kBackground;
  });
  int outline = 0;
  for (int y = 100; y < 110; ++y)
    for (int x = 0; x < 10; ++x) outline += screen.At(x, y) == 0x00FF00u;
  EXPECT_EQ(outline, 36);
}

// Blend modes and the draw-bright colour on both paths; alpha-channel graphs from the "_a"
// companion. Worked: red at 128 over the background 0x204060 gives 0x20 + (0xFF - 0x20) * 128 /
// 255 = 0x8F, 0x40 * 127 / 255 = 0x1F, 0x60 * 127 / 255 = 0x2F.
TEST_P(GraphDrawingTest, BlendModesBrightColourAndAlphaCompanion) {
  WriteBmp("alpha.bmp", 4, 1, [](int x, int) { return x == 0 ? 0xFF0000u : x == 1 ? 0x00FF00u : 0x0000FFu; });
  WriteBmp("alpha_a.bmp", 4, 1, [](int x, int) { return x == 0 ? 0xFFFFFFu : x == 1 ? 0u : 0x808080u; });
  const int graph = LoadGraphFile("alpha.bmp", 0);
  ASSERT_NE(graph, -1);
  EXPECT_EQ(DrawGraphAt(10, 10, graph, 1), 0);
  EXPECT_EQ(SetDrawBlendMode(BLEND_MODE_ALPHA, 128), 0);
  EXPECT_EQ(DrawFilledBox(20, 10, 24, 11, static_cast<unsigned>(MakeColorCode(255, 0, 0))), 0);
  EXPECT_EQ(SetDrawBlendMode(BLEND_MODE_COPY, 0), 0);
  EXPECT_EQ(SetDrawBright(255, 0, 128), 0);
  EXPECT_EQ(DrawFilledBox(30, 10, 34, 11, static_cast<unsigned>(MakeColorCode(255, 255, 255))), 0);
  EXPECT_EQ(SetDrawBright(255, 255, 255), 0);
  ExpectScreen(
      ReadScreen(),
      [](int x, int y) -> uint32_t {
        if (y != 10) return kBackground;
        if (x == 10) return 0xFF0000;
        if (x == 11) return kBackground;
        if (x == 12 || x == 13) return 0x1020B0;  // Blue at 128: 0x20 - 0x10, 0x40 - 0x20, 0x60 + 0x50.
        if (x >= 20 && x < 24) return 0x8F1F2F;
        if (x >= 30 && x < 34) return 0xFF0080;
        return kBackground;
      },
      1);
}

// An empty draw area draws nothing and succeeds; a blend graph smaller than the graph refuses it.
TEST_P(GraphDrawingTest, EmptyAreaAndUncoveringBlendGraph) {
  const int sheet = LoadGraphFile("sheet.bmp", 0);
  const int small = CutSubGraph(0, 0, 8, 8, sheet);
  ASSERT_EQ(SetDrawClipArea(50, 50, 50, 80), 0);
  const int pending = g_renderDevice.Batch.PendingCount;
  EXPECT_EQ(DrawGraphAt(0, 0, sheet, 0), 0);
  EXPECT_EQ(DrawGraphStretched(0, 0, 5, 5, sheet, 0), 0);
  EXPECT_EQ(DrawGraphQuad(0, 0, 9, 0, 9, 9, 0, 9, sheet, 0), 0);
  EXPECT_EQ(DrawFilledBox(0, 0, 100, 100, 0xFFFFFFFF), 0);
  EXPECT_EQ(DrawOutlineBox(0, 0, 100, 100, 0xFFFFFFFF), 0);
  EXPECT_EQ(g_renderDevice.Batch.PendingCount, pending);
  SetDrawClipArea(0, 0, kScreenWidth, kScreenHeight);
  ASSERT_EQ(SetBlendGraph(small, 0, 0), 0);
  EXPECT_EQ(DrawGraphAt(0, 0, sheet, 0), -1);
  SetBlendGraph(-1, 0, 0);
  ExpectScreen(ReadScreen(), [](int, int) { return kBackground; });
}

// Blank graphs, filling, and graphs from images in memory.
TEST_P(GraphDrawingTest, BlankGraphsFillAndGraphsFromImages) {
  EXPECT_EQ(HasGraphRestoreCallback(), 1);
  const int blank = MakeBlankGraph(6, 4);
  ASSERT_NE(blank, -1);
  EXPECT_EQ(MakeBlankGraph(0, 4), -1);
  EXPECT_EQ(FillGraphColor(blank, 300, -4, 0x33, 255), 0);
  SetCreateRenderTargetGraph(1);
  const int drawable = MakeBlankGraph(6, 4);
  SetCreateRenderTargetGraph(0);
  ASSERT_NE(drawable, -1);
  EXPECT_EQ(FillGraphColor(drawable, 0x11, 0x22, 0x33, 255), 0);

  BaseImage image{};
  ASSERT_EQ(CreateXRGB8BaseImage(5, 3, &image), 0);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) reinterpret_cast<uint32_t*>(image.pixels + y * image.pitch)[x] = Pattern(x + 1, y);
  const int fromImage = CreateGraphFromImages(&image, nullptr, 0, 0);
  const int mirrored = CreateGraphFromImages(&image, nullptr, 1, 1);
  ASSERT_NE(fromImage, -1);
  EXPECT_EQ(reinterpret_cast<uint32_t*>(image.pixels)[0], Pattern(1, 0)) << "the image is given back as it came";
  ReleaseBaseImage(&image);

  EXPECT_EQ(DrawGraphAt(10, 10, blank, 0), 0);
  EXPECT_EQ(DrawGraphAt(20, 10, drawable, 0), 0);
  EXPECT_EQ(DrawGraphAt(30, 10, fromImage, 0), 0);
  EXPECT_EQ(DrawGraphAt(40, 10, mirrored, 0), 0);
  // The device keeps a plain graph's textures as they were made (cleared); a software graph and
  // a drawable device graph take the colour.
  const uint32_t blankColor = Device() ? 0x000000 : 0xFF0033;
  ExpectScreen(ReadScreen(), [&](int x, int y) {
    if (x >= 10 && x < 16 && y >= 10 && y < 14) return blankColor;
    if (x >= 20 && x < 26 && y >= 10 && y < 14) return 0x112233u;
    if (x >= 30 && x < 35 && y >= 10 && y < 13) return Pattern(x - 30 + 1, y - 10);
    if (x >= 40 && x < 45 && y >= 10 && y < 13) return Pattern(44 - x + 1, y - 10);
    return kBackground;
  });
}

// A missing file logs its line; a file that is no image is offered to the movies and fails.
TEST_P(GraphDrawingTest, FilesThatDoNotLoad) {
  EXPECT_EQ(LoadGraphFile("missing.bmp", 0), -1);
  FILE* text = std::fopen("notes.txt", "wb");
  ASSERT_NE(text, nullptr);
  std::fputs("no picture here", text);
  std::fclose(text);
  EXPECT_EQ(LoadGraphFile("notes.txt", 0), -1);
  const std::string log = ReadLog();
  if (log.empty()) GTEST_SKIP() << "no Log.txt written by this build's log";
  EXPECT_NE(log.find("グラフィックファイル missing.bmp がありません"), std::string::npos);
  EXPECT_EQ(log.find("：missing.bmp"), std::string::npos) << "the missing file is not offered as a movie";
  EXPECT_NE(log.find("右記のグラフィックファイルのロードに失敗しました：notes.txt"), std::string::npos);
}

// A lost device takes the textures; the first flip after it can be reset restores every graph
// loaded from a file with the same pixels.
TEST_P(GraphDrawingTest, GraphsSurviveALostDevice) {
  if (!Device()) GTEST_SKIP();
  const int sheet = LoadGraphFile("sheet.bmp", 0);
  const int cell = CutSubGraph(24, 0, 24, 24, sheet);
  ASSERT_NE(cell, -1);
  auto draw = [&] {
    ClearDrawScreenAll();
    EXPECT_EQ(DrawGraphAt(0, 0, sheet, 0), 0);
    EXPECT_EQ(DrawGraphAt(100, 50, cell, 1), 0);
  };
  draw();
  const Screen before = ReadScreen();
  ASSERT_EQ(FlipScreen(), 0);
  platform::testing::LoseDevices();
  EXPECT_EQ(FlipScreen(), -1);
  EXPECT_EQ(DrawGraphAt(0, 0, sheet, 0), -1) << "nothing is drawn on a lost device";
  platform::testing::RegainLostDevices();
  ASSERT_EQ(FlipScreen(), 0);
  ASSERT_EQ(SelectDrawTarget(SCREEN_BACK), 0);
  draw();
  const Screen after = ReadScreen();
  EXPECT_EQ(after.pixels, before.pixels);
  ExpectScreen(after, [](int x, int y) {
    if (x < 48 && y < 24) return Pattern(x, y);
    if (x >= 100 && x < 124 && y >= 50 && y < 74) {
      const uint32_t c = Pattern(24 + x - 100, y - 50);
      return c ? c : kBackground;
    }
    return kBackground;
  });
  const std::string log = ReadLog();
  if (!log.empty()) {
    EXPECT_NE(log.find("グラフィックを復帰します"), std::string::npos);
  }
}

// Four corners that are no rectangle. A parallelogram is one affine map on both paths, so its
// pixels are exact: pixel centre (x + 0.5, y + 0.5) shows texel (x + 0.5 - 100 - (y + 0.5 - 200)
// / 2, y - 200). A trapezoid covers the same pixels on both paths (row r from 100 - r to 148 + r)
// but is filled differently inside: the device lays the texture over a 7 x 7 mesh, the software
// path over two affine triangles; each path's picture is pinned by its checksum.
TEST_P(GraphDrawingTest, FourCornerDrawsOfParallelogramsAndTrapezoids) {
  const int sheet = LoadGraphFile("sheet.bmp", 0);
  ASSERT_NE(sheet, -1);
  EXPECT_EQ(DrawGraphQuad(100, 200, 148, 200, 160, 224, 112, 224, sheet, 0), 0);
  EXPECT_EQ(DrawGraphQuad(100, 300, 148, 300, 172, 324, 76, 324, sheet, 0), 0);
  const Screen screen = ReadScreen();
  uint64_t checksum = 1469598103934665603ull;
  ExpectScreen(screen, [&](int x, int y) {
    if (y >= 200 && y < 224) {
      const int column = static_cast<int>(std::floor(x + 0.5f - 100 - (y + 0.5f - 200) / 2));
      if (column >= 0 && column < 48) return Pattern(column, y - 200);
    }
    if (y >= 300 && y < 324 && x >= 100 - (y - 300) && x < 148 + (y - 300)) {
      checksum = (checksum ^ screen.At(x, y)) * 1099511628211ull;
      return screen.At(x, y);
    }
    return kBackground;
  });
  EXPECT_EQ(checksum, Device() ? 0xafb72e3a4f19eccbull : 0x1c75cb757453bedbull) << std::hex << checksum;
}

// With a blend graph the device path queues two-texture vertices: the blend graph's coordinates
// laid texel for pixel from the graph's top-left corner, the graph's own beside them, and an
// opaque white specular word, whose alpha the blend-graph stage sets read.
TEST_P(GraphDrawingTest, BlendGraphDrawsCarryBlendCoordinatesAndOpaqueSpecular) {
  if (!Device()) GTEST_SKIP();
  const int sheet = LoadGraphFile("sheet.bmp", 0);
  const int blend = MakeBlankGraph(64, 32);
  ASSERT_EQ(SetBlendGraph(blend, 0, 0), 0);
  ReadScreen();  // Empties the batch.
  ASSERT_EQ(DrawGraphAt(10, 20, sheet, 0), 0);
  const VertexBatch& batch = g_renderDevice.Batch;
  ASSERT_EQ(batch.Kind, 2);
  ASSERT_EQ(batch.PendingCount, 6);
  const auto* vertex = reinterpret_cast<const BlendVertex2D*>(batch.Caches[2]);
  // Vertex 3 is the bottom-right corner: (10 + 48, 20 + 24) less half a pixel.
  EXPECT_FLOAT_EQ(vertex[3].x, 57.5f);
  EXPECT_FLOAT_EQ(vertex[3].y, 43.5f);
  EXPECT_FLOAT_EQ(vertex[3].u1, 48.0f / 64.0f);
  EXPECT_FLOAT_EQ(vertex[3].v1, 24.0f / 32.0f);
  EXPECT_FLOAT_EQ(vertex[3].u2, 48.0f / 64.0f);  // The sheet's own tile is 64 x 32 too.
  for (int i = 0; i < 6; ++i) EXPECT_EQ(vertex[i].specular, 0xFFFFFFFFu) << i;
  SetBlendGraph(-1, 0, 0);
  EXPECT_EQ(DeleteGraphHandle(blend), 0);
}

// Subtractive blending: the background less the sheet, saturating at 0, on the software path,
// on the device with its reverse-subtract operation, and on a device without it (inverted,
// added, inverted again).
TEST_P(GraphDrawingTest, SubtractiveBlendingWithAndWithoutTheDeviceOperation) {
  const int sheet = LoadGraphFile("sheet.bmp", 0);
  ASSERT_NE(sheet, -1);
  ASSERT_EQ(SetDrawBlendMode(BLEND_MODE_SUBTRACT, 255), 0);
  EXPECT_EQ(DrawGraphAt(10, 10, sheet, 0), 0);
  const int savedCap = g_renderDevice.BlendOpCap;
  g_renderDevice.BlendOpCap = 0;
  EXPECT_EQ(DrawGraphAt(10, 50, sheet, 0), 0);
  g_renderDevice.BlendOpCap = savedCap;
  EXPECT_EQ(g_drawState.BlendMode, BLEND_MODE_SUBTRACT);
  EXPECT_EQ(g_drawState.BlendParam, 255);
  SetDrawBlendMode(BLEND_MODE_COPY, 0);
  auto subtract = [](uint32_t destination, uint32_t source) {
    uint32_t out = 0;
    for (int shift : {0, 8, 16}) {
      const int d = static_cast<int>(destination >> shift & 0xFF), s = static_cast<int>(source >> shift & 0xFF);
      out |= static_cast<uint32_t>(std::max(0, d - s)) << shift;
    }
    return out;
  };
  ExpectScreen(
      ReadScreen(),
      [&](int x, int y) {
        if (x >= 10 && x < 58 && y >= 10 && y < 34) return subtract(kBackground, Pattern(x - 10, y - 10));
        if (x >= 10 && x < 58 && y >= 50 && y < 74) return subtract(kBackground, Pattern(x - 10, y - 50));
        return kBackground;
      },
      // The software blits subtract without the lowest bits of each channel.
      Device() ? 1 : 3);
}

// Subtractive boxes, filled and outlined, take the box's colour off what lies under them; on the
// device path the device reports no blend operations, so its boxes go through the same emulation
// as graphs. Without it the device's fallback factors give (1 - destination) x box:
// 0x20 x (255 - 0xC0) / 255 = 0x08, 0x20 x 0x7F / 255 = 0x10, 0x20 x 0xBF / 255 = 0x18.
TEST_P(GraphDrawingTest, SubtractiveBoxesTakeTheirColourOffWithoutTheDeviceOperation) {
  struct SwitchesReset {
    ~SwitchesReset() { platform::testing::ResetDirect3DSwitches(); }
  } switchesReset;
  if (Device()) {
    ASSERT_EQ(FinishLibrary(), 0);
    platform::testing::Direct3DSwitches switches;
    switches.noBlendOperations = true;
    platform::testing::SetDirect3DSwitches(switches);
    ASSERT_EQ(InitializeLibrary(), 0);
    ASSERT_EQ(g_screenSettings.HardwareInUse, 1);
    ASSERT_EQ(g_renderDevice.BlendOpCap, 0);
    ASSERT_EQ(SelectDrawTarget(SCREEN_BACK), 0);
    ASSERT_EQ(ClearDrawScreenAll(), 0);
  }
  constexpr uint32_t kUnder = 0xC08040;
  EXPECT_EQ(DrawFilledBox(10, 10, 110, 60, static_cast<unsigned>(MakeColorCode(0xC0, 0x80, 0x40))), 0);
  ASSERT_EQ(SetDrawBlendMode(BLEND_MODE_SUBTRACT, 255), 0);
  const unsigned box = static_cast<unsigned>(MakeColorCode(0x20, 0x20, 0x20));
  EXPECT_EQ(DrawFilledBox(20, 20, 50, 40, box), 0);
  EXPECT_EQ(DrawOutlineBox(60, 20, 100, 40, box), 0);
  EXPECT_EQ(g_drawState.BlendMode, BLEND_MODE_SUBTRACT);
  EXPECT_EQ(g_drawState.BlendParam, 255);
  SetDrawBlendMode(BLEND_MODE_COPY, 0);
  ExpectScreen(
      ReadScreen(),
      [](int x, int y) {
        const bool filled = x >= 20 && x < 50 && y >= 20 && y < 40;
        const bool outline = x >= 60 && x < 100 && y >= 20 && y < 40 && (x == 60 || x == 99 || y == 20 || y == 39);
        if (filled || outline) return 0xA06020u;
        if (x >= 10 && x < 110 && y >= 10 && y < 60) return kUnder;
        return kBackground;
      },
      // The software blits subtract without the lowest bits of each channel.
      Device() ? 0 : 3);
}

// A lost device comes back with empty textures. A model's texture lives in a graph that has no
// file, so the restore fills it again from the model's own picture.
TEST_P(GraphDrawingTest, AModelTextureShowsItsPictureAgainAfterALostDevice) {
  if (!Device()) GTEST_SKIP();
  const std::vector<uint8_t> picture = image_test::MakeBmp24(16, 16, Pattern);
  const int graph = MakeBlankGraph(16, 16);
  ASSERT_NE(graph, -1);
  const ModelTexture texture = {graph, picture.data(), static_cast<int>(picture.size()), nullptr, 0, 0, 0.0f, 0};
  const int base = AddModelBase(nullptr, 0, &texture, 1);
  ASSERT_GE(base, 0);
  auto expectPicture = [&] {
    ASSERT_EQ(ClearDrawScreenAll(), 0);
    ASSERT_EQ(DrawGraphAt(30, 40, graph, 0), 0);
    ExpectScreen(ReadScreen(), [](int x, int y) {
      return x >= 30 && x < 46 && y >= 40 && y < 56 ? Pattern(x - 30, y - 40) : kBackground;
    });
  };
  ASSERT_EQ(ReloadModelTextures(), 0);
  expectPicture();

  platform::testing::LoseDevices();
  EXPECT_EQ(FlipScreen(), -1);
  platform::testing::RegainLostDevices();
  ASSERT_EQ(FlipScreen(), 0) << "the device is made again";
  expectPicture();
  EXPECT_EQ(DeleteModelBase(base), 0);
}

// Graphs from each kind of picture the loaders take (true colour, 16-bit, grey JPEG, palette, with an
// alpha channel drawn without transparency) show the decoded colours, made with ImageMagick
// beside each fixture.
TEST_P(GraphDrawingTest, PicturesOfEveryKindBecomeGraphs) {
  for (const char* name : {"tga24.tga", "tga16.tga", "jpeg_grey.jpg", "tga8mapped.tga", "tga32.tga"}) {
    SCOPED_TRACE(name);
    const std::string path = std::string(ZYVEL_SOURCE_DIR) + "/tests/fixtures/images/" + name;
    const int graph = LoadGraphFile(path.c_str(), 0);
    ASSERT_NE(graph, -1);
    int width = 0, height = 0;
    GetGraphDimensions(graph, &width, &height);
    std::vector<uint8_t> rgba;
    FILE* file = std::fopen((path + ".rgba").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    rgba.resize(static_cast<size_t>(width) * height * 4);
    ASSERT_EQ(std::fread(rgba.data(), 1, rgba.size(), file), rgba.size());
    std::fclose(file);
    ClearDrawScreenAll();
    EXPECT_EQ(DrawGraphAt(3, 5, graph, 0), 0);
    ExpectScreen(ReadScreen(), [&](int x, int y) {
      if (x < 3 || y < 5 || x >= 3 + width || y >= 5 + height) return kBackground;
      const uint8_t* at = &rgba[(static_cast<size_t>(y - 5) * width + (x - 3)) * 4];
      return static_cast<uint32_t>(at[0] << 16 | at[1] << 8 | at[2]);
    });
    EXPECT_EQ(DeleteGraphHandle(graph), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(BothPaths, GraphDrawingTest, ::testing::Values(Path::kDevice, Path::kSoftware),
                         [](const auto& info) { return info.param == Path::kDevice ? "Device" : "Software"; });

}  // namespace
