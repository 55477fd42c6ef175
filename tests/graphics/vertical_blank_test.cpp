// Display modes, the program's display-mode changes and vertical-blank pacing, on the fake clock.
#include "render_device_support.h"

namespace device_test {
namespace {

uint64_t Now() { return GetMicrosecondCount(0); }

// A DirectDraw object whose blanks come at scripted intervals, taken in turn: each wait moves the
// fake clock to the next blank.
class ScriptedDirectDraw final : public platform::ComObject<ScriptedDirectDraw, IDirectDraw7> {
 public:
  static constexpr const IID* kInterfaceIds[] = {&IID_IDirectDraw7};
  explicit ScriptedDirectDraw(std::vector<uint64_t> intervals)
      : intervals_(std::move(intervals)), nextBlank_(Now() + intervals_[0]) {}

  HRESULT Initialize(GUID*) override { return DD_OK; }
  HRESULT SetCooperativeLevel(HWND, DWORD) override { return DD_OK; }
  HRESULT EnumDisplayModes(DWORD, DDSURFACEDESC2*, void*, LPDDENUMMODESCALLBACK2) override { return DD_OK; }
  HRESULT GetDisplayMode(DDSURFACEDESC2*) override { return DD_OK; }
  HRESULT GetMonitorFrequency(DWORD*) override { return DD_OK; }
  HRESULT GetVerticalBlankStatus(BOOL*) override { return DD_OK; }
  HRESULT WaitForVerticalBlank(DWORD, HANDLE) override {
    while (nextBlank_ <= Now()) Advance();
    platform::testing::AdvanceFakeClock(nextBlank_ - Now());
    Advance();
    ++waits;
    return DD_OK;
  }

  int waits = 0;

 private:
  void Advance() {
    nextBlank_ += intervals_[next_ % intervals_.size()];
    ++next_;
  }
  std::vector<uint64_t> intervals_;
  uint64_t nextBlank_;
  size_t next_ = 1;
};

class VerticalBlankTest : public RenderDeviceTest {
 protected:
  void UseScriptedBlanks(std::vector<uint64_t> intervals) {
    scripted_ = new ScriptedDirectDraw(std::move(intervals));
    g_renderDevice.DirectDraw = scripted_;  // Released with the device objects.
  }
  ScriptedDirectDraw* scripted_ = nullptr;
};

TEST_F(VerticalBlankTest, ASteadyDisplayIsMeasuredAfterElevenBlanks) {
  UseScriptedBlanks({16667});
  EXPECT_EQ(MeasureVerticalBlankPeriod(), 0);
  EXPECT_EQ(g_screenSettings.VerticalBlankPeriod, 16667);
  // The first wait, eleven measured blanks (the first interval follows "no interval" and starts
  // the run), then the closing wait.
  EXPECT_EQ(scripted_->waits, 1 + 11 + 1);
}

TEST_F(VerticalBlankTest, AJitteringDisplayStaysUnmeasuredAndWaitsSleepFourMilliseconds) {
  UseScriptedBlanks({15000, 17000});
  EXPECT_EQ(MeasureVerticalBlankPeriod(), 0);
  EXPECT_EQ(g_screenSettings.VerticalBlankPeriod, -1);
  EXPECT_EQ(scripted_->waits, 1 + 60 + 1);
  // Unmeasured: each wait first sleeps until 4 ms after the previous blank, then takes the next.
  uint64_t last = static_cast<uint64_t>(g_screenSettings.LastVerticalBlankTime);
  WaitVerticalBlank();
  EXPECT_GE(Now() - last, 4000u);
}

TEST_F(VerticalBlankTest, TheWaitPacesA60HzModeOneFrameAtATime) {
  g_renderDevice.D3D9Module = LoadLibraryA("d3d9.dll");
  ASSERT_EQ(CreateDirectDrawObject(), 0);
  ASSERT_EQ(MeasureVerticalBlankPeriod(), 0);
  ASSERT_EQ(g_screenSettings.VerticalBlankPeriod, 16666) << "the stand-in's 60 Hz blank";
  // Frames that take 5 ms each: every wait ends on the next blank, never skipping one.
  uint64_t previous = Now();
  for (int frame = 0; frame < 5; ++frame) {
    platform::testing::AdvanceFakeClock(5000);
    WaitVerticalBlank();
    EXPECT_EQ(Now() - previous, 16666u) << "frame " << frame;
    EXPECT_EQ(Now() % 16666, 0u) << "on a blank";
    previous = Now();
  }
  // A frame later than the threshold (13,666 us) takes the very next blank.
  platform::testing::AdvanceFakeClock(15000);
  WaitVerticalBlank();
  EXPECT_EQ(Now() - previous, 16666u);
}

TEST_F(VerticalBlankTest, WithoutDirectDrawNothingIsWaitedFor) {
  uint64_t before = Now();
  EXPECT_EQ(MeasureVerticalBlankPeriod(), 0);
  WaitVerticalBlank();
  EXPECT_EQ(Now(), before);
  EXPECT_EQ(g_screenSettings.VerticalBlankPeriod, -1);
}

// ---- Display modes ----

TEST_F(RenderDeviceTest, TheDisplayModeListIsTheDisplaySettingsList) {
  platform::testing::SetDisplayModes({{640, 480, 32, 60}, {800, 600, 16, 75}, {800, 600, 8, 60}}, {800, 600, 32, 60});
  ASSERT_EQ(GetDisplayModeCount(), 2) << "modes below 16 bits are not listed";
  DisplayModeEntry entry;
  GetDisplayModeEntry(&entry, 1);
  EXPECT_EQ(entry.width, 800);
  EXPECT_EQ(entry.bits, 16);
  EXPECT_EQ(entry.refresh, 75);
  for (int index : {-1, 2}) {
    GetDisplayModeEntry(&entry, index);
    EXPECT_EQ(entry.width, -1);
    EXPECT_EQ(entry.height, -1);
    EXPECT_EQ(entry.bits, -1);
    EXPECT_EQ(entry.refresh, -1);
  }
  EXPECT_EQ(IsDisplayModeAvailable(800, 600, 16), 1);
  EXPECT_EQ(IsDisplayModeAvailable(800, 600, 32), 0);

  // Direct3D 9 and DirectDraw answer from the same list.
  IDirect3D9* direct3d = Direct3DCreate9(D3D_SDK_VERSION);
  ASSERT_NE(direct3d, nullptr);
  EXPECT_EQ(direct3d->GetAdapterModeCount(0, D3DFMT_R5G6B5), 1u);
  D3DDISPLAYMODE desktop;
  ASSERT_EQ(direct3d->GetAdapterDisplayMode(0, &desktop), D3D_OK);
  EXPECT_EQ(desktop.Width, 800u);
  EXPECT_EQ(desktop.Format, D3DFMT_X8R8G8B8);
  // A mode change shows in every library's answer.
  DEVMODEA mode = {};
  mode.dmSize = sizeof(mode);
  mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
  mode.dmPelsWidth = 640;
  mode.dmPelsHeight = 480;
  mode.dmBitsPerPel = 32;
  ASSERT_EQ(ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN), DISP_CHANGE_SUCCESSFUL);
  ASSERT_EQ(direct3d->GetAdapterDisplayMode(0, &desktop), D3D_OK);
  EXPECT_EQ(desktop.Width, 640u);
  direct3d->Release();
  ChangeDisplaySettingsA(nullptr, 0);
}

TEST_F(RenderDeviceTest, ADisplayModeChangeFallsBackAndLeavesTheIndentAsItFoundIt) {
  g_windowSystem.windowedMode = 0;
  platform::testing::SetDisplayModes({{640, 480, 16, 60}, {640, 480, 32, 60}}, {1024, 768, 32, 60});
  struct Case {
    int width, height, bits, refresh;
    int result;
    int endWidth, endHeight, endRefresh, emulation;
  };
  const Case cases[] = {
      {640, 480, 16, 60, 0, 640, 480, 60, 0},  // Listed as asked.
      {640, 480, 32, 75, 0, 640, 480, 0, 0},   // No 75 Hz: the refresh rate is dropped.
      {320, 240, 16, 0, 0, 640, 480, 0, 1},    // Refused 320 x 240 runs as 640 x 480.
      {800, 600, 32, 0, -1, 800, 600, 0, 0},   // Not offered at all.
      {640, 480, 24, 0, -1, 640, 480, 0, 0},   // No 24-bit modes.
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << "x" << c.bits << "@" << c.refresh);
    g_screenSettings.Width = c.width;
    g_screenSettings.Height = c.height;
    g_screenSettings.ColorBits = c.bits;
    g_screenSettings.Refresh = c.refresh;
    g_drawState.Emulate320x240 = 0;
    int indent = g_runtime.log.indentLevel;
    EXPECT_EQ(ChangeDisplayMode(), c.result);
    EXPECT_EQ(g_runtime.log.indentLevel, indent);
    EXPECT_EQ(g_screenSettings.Width, c.endWidth);
    EXPECT_EQ(g_screenSettings.Height, c.endHeight);
    EXPECT_EQ(g_screenSettings.Refresh, c.endRefresh);
    EXPECT_EQ(g_drawState.Emulate320x240, c.emulation);
    if (c.result == 0) {
      DEVMODEA now = {};
      now.dmSize = sizeof(now);
      ASSERT_TRUE(EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &now));
      EXPECT_EQ(static_cast<int>(now.dmPelsWidth), c.endWidth);
    }
  }
  EXPECT_NE(
      ReadLog().find("画面モードの変更処理を開始します 640 x 480  16 bit \n\t画面解像度を変更します... 成功しました\n"),
      std::string::npos);
  EXPECT_NE(ReadLog().find("\t画面解像度を変更します... 画面モードの変更に失敗しました\n"), std::string::npos);
  // Release puts the desktop's own mode back.
  ReleaseDirect3D();
  DEVMODEA now = {};
  now.dmSize = sizeof(now);
  ASSERT_TRUE(EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &now));
  EXPECT_EQ(now.dmPelsWidth, 1024u);
}

TEST_F(RenderDeviceTest, ScreenQueriesAnswerFromTheSettings) {
  g_screenSettings = ScreenSettings{};
  int width = 0, height = 0, bits = 0;
  GetScreenSizeSetting(&width, &height);
  EXPECT_EQ(width, 640);
  EXPECT_EQ(height, 480);
  EXPECT_EQ(GetScreenColorBits(), 16);
  g_screenSettings.Width = 640;
  g_screenSettings.Height = 480;
  g_screenSettings.ColorBits = 32;
  g_screenSettings.Emulating320x240 = 1;
  QueryScreenMode(&width, &height, &bits);
  EXPECT_EQ(width, 320);
  EXPECT_EQ(height, 240);
  EXPECT_EQ(bits, 32);
  QueryScreenMode(nullptr, nullptr, nullptr);
  EXPECT_EQ(IsHardwareAccelWanted(), 1);
  EXPECT_EQ(SetHardwareAccelFlag(0), 0);
  EXPECT_EQ(IsHardwareAccelWanted(), 0);
  g_windowSystem.initialised = 1;
  EXPECT_EQ(SetHardwareAccelFlag(1), -1) << "only before start-up";
  g_windowSystem.initialised = 0;
  EXPECT_EQ(GetPrimaryDisplaySurface(), nullptr);
  g_windowSystem.windowedMode = 0;
  EXPECT_EQ(IsFullScreenMode(), 1);
}

}  // namespace
}  // namespace device_test
