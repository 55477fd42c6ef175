// The whole library on each rendering path: start-up brings graphics up, a cleared screen reaches
// the window through the flip, and shut-down takes everything down again.
#include "../window/window_fixture.h"

#include <cstring>

#include "graphics/device/render_device.h"
#include "graphics/graphs/draw_settings.h"
#include "graphics/graphs/screen_settings.h"
#include "graphics/graphs/screens.h"
#include "graphics/models/camera.h"
#include "runtime/tracked_heap.h"
#include "window/window_state.h"

namespace {

enum class Path { kDevice, kSoftware };

class ScreenFlipTest : public windowtest::LibraryTest, public ::testing::WithParamInterface<Path> {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    SetHardwareAccelFlag(GetParam() == Path::kDevice ? 1 : 0);
    platform::testing::KeepPresentedFrames(true);
  }
  void TearDown() override {
    LibraryTest::TearDown();
    platform::testing::KeepPresentedFrames(false);
    SetHardwareAccelFlag(1);
  }
};

TEST_P(ScreenFlipTest, ClearedScreenReachesTheWindow) {
  g_windowSystem.backgroundRed = 0x12;
  g_windowSystem.backgroundGreen = 0x9A;
  g_windowSystem.backgroundBlue = 0xE4;
  // Other tests of this program may keep blocks alive; this run must give back all it took.
  const int blocksBefore = GetTrackedBlockCount();
  ASSERT_EQ(InitializeLibrary(), 0);
  EXPECT_EQ(g_screenSettings.Initialised, 1);
  EXPECT_EQ(g_screenSettings.HardwareInUse, GetParam() == Path::kDevice ? 1 : 0);

  ASSERT_EQ(SelectDrawTarget(SCREEN_BACK), 0);
  EXPECT_EQ(GetDrawTarget(), SCREEN_BACK);
  ASSERT_EQ(ClearDrawScreenAll(), 0);
  ASSERT_EQ(FlipScreen(), 0);

  platform::testing::PresentedFrame frame;
  ASSERT_TRUE(platform::testing::LastPresentedFrame(&frame));
  EXPECT_EQ(frame.window, GetMainWindow());
  EXPECT_EQ(frame.width, 408);
  EXPECT_EQ(frame.height, 504);
  ASSERT_EQ(frame.pixels.size(), 408u * 504u);
  size_t wrong = 0;
  for (uint32_t pixel : frame.pixels) wrong += (pixel & 0xFFFFFF) != 0x129AE4;
  EXPECT_EQ(wrong, 0u) << "first pixel " << std::hex << frame.pixels[0];

  // The locked screen holds the same colour; the rectangle may touch the edges, not pass them.
  BaseImage locked{};
  const RECT whole{0, 0, 408, 504}, past{0, 0, 409, 504};
  EXPECT_EQ(LockDrawScreenBuffer(&past, &locked), -1);
  ASSERT_EQ(LockDrawScreenBuffer(&whole, &locked), 0);
  EXPECT_EQ(LockDrawScreenBuffer(&whole, &locked), -1) << "locked twice";
  ASSERT_EQ(locked.width, 408);
  ASSERT_EQ(locked.height, 504);
  ASSERT_EQ(locked.color.bytesPerPixel, 4);
  wrong = 0;
  for (int y = 0; y < locked.height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(locked.pixels + y * locked.pitch);
    for (int x = 0; x < locked.width; ++x) wrong += (row[x] & 0xFFFFFF) != 0x129AE4;
  }
  EXPECT_EQ(wrong, 0u);
  EXPECT_EQ(UnlockDrawScreenBuffer(), 0);

  // A 32-bit screen's codes carry its spare byte set.
  EXPECT_EQ(static_cast<uint32_t>(MakeColorCode(0x12, 0x9A, 0xE4)), 0xFF129AE4u);

  EXPECT_EQ(FinishLibrary(), 0);
  EXPECT_EQ(GetTrackedBlockCount(), blocksBefore) << "blocks left after shut-down";
  EXPECT_EQ(g_screenSettings.Initialised, 0);
  EXPECT_EQ(platform::testing::LiveDirect3DObjects(), 0);
  EXPECT_EQ(FlipScreen(), -1) << "no flip after shut-down";

  const std::string log = ReadLog();
  if (log.empty()) GTEST_SKIP() << "no Log.txt written by this build's log";
  EXPECT_NE(log.find("DirectDraw オブジェクトの取得を行います"), std::string::npos);
  if (GetParam() == Path::kDevice) {
    EXPECT_NE(log.find("プログラマブルシェーダーを使用しません"), std::string::npos);
  } else {
    EXPECT_EQ(log.find("IDirect3D9"), std::string::npos) << "the software path makes no device";
  }
  EXPECT_NE(log.find("Alloc memory dump"), std::string::npos);
}

// A device lost in the middle of a run shows nothing while lost, and the first flip after it can
// be reset makes it again and shows the same cleared screen.
TEST_P(ScreenFlipTest, LostDeviceRecoversOnTheNextFlip) {
  if (GetParam() != Path::kDevice) GTEST_SKIP();
  g_windowSystem.backgroundRed = 0x40;
  g_windowSystem.backgroundGreen = 0x20;
  g_windowSystem.backgroundBlue = 0x10;
  ASSERT_EQ(InitializeLibrary(), 0);
  ASSERT_EQ(SelectDrawTarget(SCREEN_BACK), 0);
  ASSERT_EQ(ClearDrawScreenAll(), 0);
  ASSERT_EQ(FlipScreen(), 0);

  // The program's camera outlives the restart.
  Matrix4 view = g_drawState.ViewMatrix;
  view.m[3][0] += 17.0f;
  ASSERT_EQ(SetViewMatrix(&view), 0);

  platform::testing::LoseDevices();
  EXPECT_EQ(FlipScreen(), -1);
  platform::testing::RegainLostDevices();
  ASSERT_EQ(FlipScreen(), 0);
  EXPECT_EQ(g_screenSettings.HardwareInUse, 1);
  EXPECT_EQ(GetDrawTarget(), SCREEN_BACK);
  EXPECT_EQ(std::memcmp(&g_drawState.ViewMatrix, &view, sizeof view), 0);
  EXPECT_EQ(g_drawState.ProjectionMode, 0) << "the perspective camera stays one";

  // A device that cannot be made again leaves the run on the device path without a device: flips
  // fail until the next activation makes it again.
  platform::testing::LoseDevices();
  platform::testing::RegainLostDevices();
  platform::testing::FailDeviceCreation(-1);
  EXPECT_EQ(FlipScreen(), -1);
  EXPECT_EQ(g_screenSettings.HardwareInUse, 1);
  EXPECT_EQ(g_renderDevice.Device, nullptr);
  EXPECT_EQ(ClearDrawScreenAll(), 0);
  EXPECT_EQ(FlipScreen(), -1);
  platform::testing::FailDeviceCreation(0);
  ASSERT_EQ(ReviveGraphicsSystem(), 0);
  ASSERT_EQ(FlipScreen(), 0);

  platform::testing::PresentedFrame frame;
  ASSERT_TRUE(platform::testing::LastPresentedFrame(&frame));
  ASSERT_EQ(frame.pixels.size(), 408u * 504u);
  size_t wrong = 0;
  for (uint32_t pixel : frame.pixels) wrong += (pixel & 0xFFFFFF) != 0x402010;
  EXPECT_EQ(wrong, 0u);
  EXPECT_EQ(FinishLibrary(), 0);
  EXPECT_EQ(platform::testing::LiveDirect3DObjects(), 0);
}

// A mode change while running stops graphics and starts them again in the new mode.
TEST_P(ScreenFlipTest, ScreenModeChangesWhileRunning) {
  ASSERT_EQ(InitializeLibrary(), 0);
  EXPECT_EQ(SetScreenMode(640, 480, 24, 60), -1);
  const std::string before = ReadLog();
  const ScreenModeRequest same{-1, -1, -1, 0, -1};
  EXPECT_EQ(ChangeScreenMode(&same), 0);
  EXPECT_EQ(ReadLog().size(), before.size()) << "the current mode logs nothing";

  EXPECT_EQ(SetScreenMode(640, 480, 32, 60), 0);
  EXPECT_EQ(g_screenSettings.Initialised, 1);
  EXPECT_EQ(g_screenSettings.HardwareInUse, GetParam() == Path::kDevice ? 1 : 0);
  ASSERT_EQ(SelectDrawTarget(SCREEN_BACK), 0);
  ASSERT_EQ(ClearDrawScreenAll(), 0);
  ASSERT_EQ(FlipScreen(), 0);
  platform::testing::PresentedFrame frame;
  ASSERT_TRUE(platform::testing::LastPresentedFrame(&frame));
  EXPECT_EQ(frame.width, 640);
  EXPECT_EQ(frame.height, 480);
  EXPECT_EQ(FinishLibrary(), 0);
  EXPECT_EQ(platform::testing::LiveDirect3DObjects(), 0);
  const std::string log = ReadLog();
  if (!log.empty()) {
    EXPECT_NE(log.find("画面モード変更処理は正常に終了しました"), std::string::npos);
  }
}

// Counts the pixels of a locked rectangle that differ from what `expected` (x, y in the target)
// says.
template <typename Expected>
size_t CountWrongPixels(const BaseImage& image, int left, int top, Expected expected) {
  size_t wrong = 0;
  for (int y = 0; y < image.height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(image.pixels + y * image.pitch);
    for (int x = 0; x < image.width; ++x) wrong += (row[x] & 0xFFFFFF) != expected(left + x, top + y);
  }
  return wrong;
}

uint64_t PresentSerial() {
  platform::testing::PresentedFrame frame;
  return platform::testing::LastPresentedFrame(&frame) ? frame.serial : 0;
}

int WindowTimers() {
  platform::testing::WindowState state;
  return platform::testing::ReadWindowState(GetMainWindow(), &state) ? state.timers : -1;
}

// A rectangle read back from inside the screen lands on the right pixels, by every route the
// device can read its back buffer (a direct lock, or a copy through a temporary render target).
TEST_P(ScreenFlipTest, LockedRectangleHoldsWhatWasClearedThere) {
  ASSERT_EQ(InitializeLibrary(), 0);
  ASSERT_EQ(SelectDrawTarget(SCREEN_BACK), 0);
  g_windowSystem.backgroundRed = 0x10, g_windowSystem.backgroundGreen = 0x20, g_windowSystem.backgroundBlue = 0x30;
  ASSERT_EQ(ClearDrawScreenAll(), 0);
  g_windowSystem.backgroundRed = 0xC0, g_windowSystem.backgroundGreen = 0xB0, g_windowSystem.backgroundBlue = 0xA0;
  const RECT inner{10, 20, 30, 40};
  ASSERT_EQ(ClearDrawScreen(&inner), 0);
  auto expected = [&](int x, int y) -> uint32_t {
    return x >= inner.left && x < inner.right && y >= inner.top && y < inner.bottom ? 0xC0B0A0u : 0x102030u;
  };
  const RECT area{5, 15, 35, 45};
  for (int direct : {1, 0}) {
    if (GetParam() == Path::kSoftware && direct == 0) break;
    g_renderDevice.UseBackBufferLock = direct;
    BaseImage locked{};
    ASSERT_EQ(LockDrawScreenBuffer(&area, &locked), 0) << "direct " << direct;
    ASSERT_EQ(locked.width, 30);
    ASSERT_EQ(locked.height, 30);
    EXPECT_EQ(CountWrongPixels(locked, area.left, area.top, expected), 0u) << "direct " << direct;
    EXPECT_EQ(UnlockDrawScreenBuffer(), 0);
  }
  // The temporary surfaces went with the unlock.
  const int live = platform::testing::LiveDirect3DObjects();
  BaseImage locked{};
  ASSERT_EQ(LockDrawScreenBuffer(&area, &locked), 0);
  EXPECT_EQ(UnlockDrawScreenBuffer(), 0);
  EXPECT_EQ(platform::testing::LiveDirect3DObjects(), live);
}

// A rectangle of the screen captured into a graph of its size comes back when the graph is drawn:
// into a plain graph (textures on the device, a MEMIMG in software) and into a drawable one.
TEST_P(ScreenFlipTest, CapturedRectangleIsDrawnBackFromTheGraph) {
  ASSERT_EQ(InitializeLibrary(), 0);
  ASSERT_EQ(SelectDrawTarget(SCREEN_BACK), 0);
  g_windowSystem.backgroundRed = 0x10, g_windowSystem.backgroundGreen = 0x20, g_windowSystem.backgroundBlue = 0x30;
  ASSERT_EQ(ClearDrawScreenAll(), 0);
  g_windowSystem.backgroundRed = 0xC0, g_windowSystem.backgroundGreen = 0xB0, g_windowSystem.backgroundBlue = 0xA0;
  const RECT inner{10, 20, 30, 40};
  ASSERT_EQ(ClearDrawScreen(&inner), 0);
  auto screen = [&](int x, int y) -> uint32_t {
    return x >= inner.left && x < inner.right && y >= inner.top && y < inner.bottom ? 0xC0B0A0u : 0x102030u;
  };

  for (int drawable : {0, 1}) {
    SCOPED_TRACE(drawable ? "drawable graph" : "plain graph");
    SetCreateRenderTargetGraph(drawable);
    const int graph = MakeBlankGraph(30, 30);
    const int narrow = MakeBlankGraph(29, 30);
    SetCreateRenderTargetGraph(0);
    ASSERT_NE(graph, -1);
    ASSERT_NE(narrow, -1);
    EXPECT_EQ(CaptureDrawScreenToGraph(5, 15, 35, 45, narrow), -1) << "a graph one pixel narrower";
    EXPECT_EQ(CaptureDrawScreenToGraph(379, 0, 409, 30, graph), -1) << "past the right edge";
    EXPECT_EQ(CaptureDrawScreenToGraph(378, 474, 408, 504, graph), 0) << "touching the bottom-right corner";
    EXPECT_EQ(CaptureDrawScreenToGraph(5, 15, 35, 45, -1), -1);
    ASSERT_EQ(CaptureDrawScreenToGraph(5, 15, 35, 45, graph), 0);

    // Drawn back elsewhere, the graph shows the captured rectangle pixel for pixel.
    ASSERT_EQ(DrawGraphAt(200, 300, graph, 0), 0);
    const RECT shown{200, 300, 230, 330};
    BaseImage locked{};
    ASSERT_EQ(LockDrawScreenBuffer(&shown, &locked), 0);
    EXPECT_EQ(CountWrongPixels(locked, 0, 0, [&](int x, int y) { return screen(x + 5, y + 15); }), 0u);
    UnlockDrawScreenBuffer();
    DeleteGraphHandle(graph);
    DeleteGraphHandle(narrow);
  }
  EXPECT_EQ(FinishLibrary(), 0);
  EXPECT_EQ(platform::testing::LiveDirect3DObjects(), 0);
}

// Where the flip puts the screen: at window scale 1 the whole screen as it is, at scale 2 stretched
// to twice the size, and in half mode only the top-left quarter, enlarged to the whole window.
TEST_P(ScreenFlipTest, FlipPlacesTheScreenByScaleAndHalfMode) {
  struct Case {
    double scale;
    int half;
    int sourceWidth, sourceHeight;
    RECT destination;
  } cases[] = {
      {1.0, 0, 640, 480, {0, 0, 640, 480}},
      {2.0, 0, 640, 480, {0, 0, 1280, 960}},
      {1.0, 1, 320, 240, {0, 0, 640, 480}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "scale " << c.scale << ", half mode " << c.half);
    SetScreenMode(640, 480, 32, 60);
    g_windowSystem.windowScaleX = g_windowSystem.windowScaleY = c.scale;
    SetEmulate320x240(c.half);
    g_windowSystem.backgroundRed = 0x10, g_windowSystem.backgroundGreen = 0x20, g_windowSystem.backgroundBlue = 0x30;
    ASSERT_EQ(InitializeLibrary(), 0);
    ASSERT_EQ(SelectDrawTarget(SCREEN_BACK), 0);
    ASSERT_EQ(ClearDrawScreenAll(), 0);
    // The top-left quarter in another colour: half mode shows only that.
    g_windowSystem.backgroundRed = 0xC0, g_windowSystem.backgroundGreen = 0xB0, g_windowSystem.backgroundBlue = 0xA0;
    const RECT quarter{0, 0, 320, 240};
    ASSERT_EQ(ClearDrawScreen(&quarter), 0);
    ASSERT_EQ(FlipScreen(), 0);

    // The device hands the window the source part and where it goes; the software path hands it
    // the picture already stretched into place.
    platform::testing::PresentedFrame frame;
    ASSERT_TRUE(platform::testing::LastPresentedFrame(&frame));
    EXPECT_EQ(frame.destination.right, c.destination.right);
    EXPECT_EQ(frame.destination.bottom, c.destination.bottom);
    if (GetParam() == Path::kDevice) {
      EXPECT_EQ(frame.width, c.sourceWidth);
      EXPECT_EQ(frame.height, c.sourceHeight);
    } else {
      EXPECT_EQ(frame.width, c.destination.right);
      EXPECT_EQ(frame.height, c.destination.bottom);
    }
    size_t wrong = 0;
    for (int y = 0; y < frame.height; ++y)
      for (int x = 0; x < frame.width; ++x) {
        const int sourceX = x * c.sourceWidth / frame.width, sourceY = y * c.sourceHeight / frame.height;
        wrong += (frame.pixels[static_cast<size_t>(y) * frame.width + x] & 0xFFFFFF) !=
                 (sourceX < 320 && sourceY < 240 ? 0xC0B0A0u : 0x102030u);
      }
    EXPECT_EQ(wrong, 0u);

    // A part whose scaled width is 0 shows nothing; a repainted part of the window shows that
    // part of the screen.
    const RECT thin{10, 10, 10, 20};
    EXPECT_EQ(PresentScreen(&thin), -1);
    if (c.scale == 1.0 && !c.half) {
      const RECT part{300, 200, 340, 260};
      ASSERT_EQ(PresentScreen(&part), 0);
      ASSERT_TRUE(platform::testing::LastPresentedFrame(&frame));
      EXPECT_EQ(frame.destination.left, 300);
      EXPECT_EQ(frame.destination.bottom, 260);
      ASSERT_EQ(frame.pixels.size(), 40u * 60u);
      wrong = 0;
      for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 40; ++x)
          wrong += (frame.pixels[static_cast<size_t>(y) * 40 + x] & 0xFFFFFF) !=
                   (300 + x < 320 && 200 + y < 240 ? 0xC0B0A0u : 0x102030u);
      EXPECT_EQ(wrong, 0u);
    }
    EXPECT_EQ(FinishLibrary(), 0);
  }
  SetEmulate320x240(0);
  g_windowSystem.windowScaleX = g_windowSystem.windowScaleY = 1.0;
}

// Only a render-target graph or a screen value can be the draw target; a refused one changes
// nothing. A target of the same size keeps the draw area, one of another size starts with all of
// it.
TEST_P(ScreenFlipTest, DrawTargetChoiceAndItsDrawArea) {
  ASSERT_EQ(InitializeLibrary(), 0);
  ASSERT_EQ(SelectDrawTarget(SCREEN_BACK), 0);
  ASSERT_EQ(SetDrawClipArea(10, 20, 50, 60), 0);
  const int plain = MakeBlankGraph(408, 504);
  SetCreateRenderTargetGraph(1);
  const int sameSize = MakeBlankGraph(408, 504);
  const int small = MakeBlankGraph(30, 40);
  SetCreateRenderTargetGraph(0);
  ASSERT_NE(plain, -1);
  ASSERT_NE(sameSize, -1);
  ASSERT_NE(small, -1);

  // Every software graph can be drawn into; on the device only render-target graphs.
  for (int refused : {-1, 0, GetParam() == Path::kDevice ? plain : -7}) {
    EXPECT_EQ(SelectDrawTarget(refused), -1) << refused;
    EXPECT_EQ(GetDrawTarget(), SCREEN_BACK);
    EXPECT_EQ(g_drawState.DrawArea.left, 10);
  }
  ASSERT_EQ(SelectDrawTarget(sameSize), 0);
  EXPECT_EQ(g_drawState.DrawArea.left, 10);
  EXPECT_EQ(g_drawState.DrawArea.bottom, 60);
  ASSERT_EQ(SelectDrawTarget(small), 0);
  EXPECT_EQ(g_drawState.DrawArea.right, 30);
  EXPECT_EQ(g_drawState.DrawArea.bottom, 40);
  EXPECT_EQ(g_drawState.DrawArea.left, 0);
  ASSERT_EQ(SelectDrawTarget(SCREEN_BACK), 0);
  EXPECT_EQ(g_drawState.DrawArea.right, 408);
  EXPECT_EQ(g_drawState.DrawArea.bottom, 504);

  // After the library's quit flag every flip is refused.
  g_windowSystem.quitRequested = 1;
  EXPECT_EQ(FlipScreen(), -1);
  g_windowSystem.quitRequested = 0;
}

// While the front screen is drawn into, a 32 ms window timer shows it from the message pump; once
// another screen is selected the next tick stops the timer without showing anything.
TEST_P(ScreenFlipTest, FrontScreenIsShownByItsTimer) {
  ASSERT_EQ(InitializeLibrary(), 0);
  ASSERT_EQ(SelectDrawTarget(SCREEN_FRONT), 0);
  EXPECT_EQ(WindowTimers(), 1);
  uint64_t serial = PresentSerial();
  for (int tick = 0; tick < 3; ++tick) {
    platform::testing::AdvanceFakeClock(33000);
    ASSERT_EQ(ProcessWindowMessages(), 0);
    EXPECT_GT(PresentSerial(), serial) << "tick " << tick;
    serial = PresentSerial();
    EXPECT_EQ(WindowTimers(), 1) << "the timer goes on";
  }
  ASSERT_EQ(SelectDrawTarget(SCREEN_BACK), 0);
  platform::testing::AdvanceFakeClock(33000);
  ASSERT_EQ(ProcessWindowMessages(), 0);
  EXPECT_EQ(PresentSerial(), serial);
  EXPECT_EQ(WindowTimers(), 0);
}

// A layered window takes the screen through the layered-window refresh instead of a present; the
// screen's lock is given back and the draw target stays what it was.
TEST_P(ScreenFlipTest, LayeredWindowIsRefreshedWithoutAPresent) {
  ASSERT_EQ(InitializeLibrary(), 0);
  ASSERT_EQ(SelectDrawTarget(SCREEN_FRONT), 0);
  g_windowSystem.layeredWindow = 1;
  const uint64_t serial = PresentSerial();
  EXPECT_EQ(FlipScreen(), 0);
  EXPECT_EQ(PresentSerial(), serial);
  EXPECT_EQ(GetDrawTarget(), SCREEN_FRONT);
  EXPECT_EQ(g_drawState.DrawTargetWidth, 408);
  BaseImage locked{};
  const RECT whole{0, 0, 408, 504};
  EXPECT_EQ(LockDrawScreenBuffer(&whole, &locked), 0) << "the flip's lock was given back";
  UnlockDrawScreenBuffer();
  // The front-screen timer leaves a layered window alone.
  platform::testing::AdvanceFakeClock(33000);
  ASSERT_EQ(ProcessWindowMessages(), 0);
  EXPECT_EQ(PresentSerial(), serial);
  EXPECT_EQ(WindowTimers(), 0);
  g_windowSystem.layeredWindow = 0;
}

INSTANTIATE_TEST_SUITE_P(BothPaths, ScreenFlipTest, ::testing::Values(Path::kDevice, Path::kSoftware),
                         [](const auto& info) { return info.param == Path::kDevice ? "Device" : "Software"; });

}  // namespace

namespace {

class DeviceScreenTest : public windowtest::LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    platform::testing::KeepPresentedFrames(true);
  }
  void TearDown() override {
    LibraryTest::TearDown();
    platform::testing::KeepPresentedFrames(false);
  }
};

// A present that did not wait for the display (a device made to present immediately) is followed
// by a wait for the vertical blank when the program runs while inactive, unless waiting is
// switched off.
TEST_F(DeviceScreenTest, FastPresentWaitsForTheVerticalBlankWhenRunningWhileInactive) {
  SetFlipVSyncWait(0);
  ASSERT_EQ(InitializeLibrary(), 0);
  ASSERT_EQ(g_screenSettings.HardwareInUse, 1);
  struct Case {
    int runWhileInactive, vsyncWait;
    bool waits;
  } cases[] = {{1, 1, true}, {0, 1, false}, {1, 0, false}};
  for (const Case& c : cases) {
    g_windowSystem.options.runWhileInactive = c.runWhileInactive;
    SetFlipVSyncWait(c.vsyncWait);
    const int64_t before = g_screenSettings.LastVerticalBlankTime;
    ASSERT_EQ(FlipScreen(), 0);
    EXPECT_EQ(g_screenSettings.LastVerticalBlankTime != before, c.waits)
        << "run while inactive " << c.runWhileInactive << ", wait " << c.vsyncWait;
  }
  EXPECT_EQ(FinishLibrary(), 0);
  SetFlipVSyncWait(1);
}

// In full-screen mode the front-screen timer moves drawing into a sub back buffer, which every
// flip then copies to the back buffer before presenting.
TEST_F(DeviceScreenTest, FullScreenFrontScreenDrawsIntoTheSubBackBuffer) {
  SetScreenMode(640, 480, 32, 60);
  ChangeWindowMode(0);
  g_windowSystem.backgroundRed = 0x33, g_windowSystem.backgroundGreen = 0x66, g_windowSystem.backgroundBlue = 0x99;
  ASSERT_EQ(InitializeLibrary(), 0);
  ASSERT_EQ(g_screenSettings.HardwareInUse, 1);
  ASSERT_EQ(SelectDrawTarget(SCREEN_FRONT), 0);
  EXPECT_EQ(g_renderDevice.SubBackBuffer, nullptr);
  platform::testing::AdvanceFakeClock(33000);
  ASSERT_EQ(ProcessWindowMessages(), 0);
  ASSERT_NE(g_renderDevice.SubBackBuffer, nullptr);
  IDirect3DSurface9* target = nullptr;
  ASSERT_EQ(g_renderDevice.Device->GetRenderTarget(0, &target), D3D_OK);
  EXPECT_EQ(target, g_renderDevice.SubBackBuffer);
  target->Release();
  EXPECT_EQ(PrepareSubBackBuffer(), 0) << "made once";

  ASSERT_EQ(ClearDrawScreenAll(), 0);
  ASSERT_EQ(RefreshAndPresentScreen(), 0);
  platform::testing::PresentedFrame frame;
  ASSERT_TRUE(platform::testing::LastPresentedFrame(&frame));
  ASSERT_EQ(frame.pixels.size(), 640u * 480u);
  size_t wrong = 0;
  for (uint32_t pixel : frame.pixels) wrong += (pixel & 0xFFFFFF) != 0x336699;
  EXPECT_EQ(wrong, 0u);
  EXPECT_EQ(FinishLibrary(), 0);
  EXPECT_EQ(platform::testing::LiveDirect3DObjects(), 0);
}

// Colour codes of a 16-bit software screen: 5-6-5, only the low 8 bits of each value count.
TEST(ColorCodeTest, SixteenBitSoftwareScreen) {
  const ScreenSettings saved = g_screenSettings;
  g_screenSettings.ColorBits = 16;
  g_screenSettings.HardwareInUse = 0;
  struct Case {
    int red, green, blue, code;
  } cases[] = {{255, 255, 255, 0xFFFF}, {256, 0, 0, 0}, {255, 0, 0, 0xF800}, {0, 255, 0, 0x07E0}, {8, 4, 8, 0x0821}};
  for (const Case& c : cases) EXPECT_EQ(MakeColorCode(c.red, c.green, c.blue), c.code) << c.red << "," << c.green;
  int red = -1, green = -1, blue = -1;
  GetColorComponents(31 << 11, &red, &green, &blue);
  EXPECT_EQ(red, 255);
  EXPECT_EQ(green, 0);
  GetColorComponents(15 << 11 | 63 << 5 | 1, &red, &green, &blue);
  EXPECT_EQ(red, 123);
  EXPECT_EQ(green, 255);
  EXPECT_EQ(blue, 8);
  g_screenSettings = saved;
}

}  // namespace
