// The hardware path's device: the log of a start, each fall-back, the format table, release, and
// the brightness colours.
#include "render_device_support.h"

namespace device_test {
namespace {

TEST_F(RenderDeviceTest, AStartLogsEachStepInOrder) {
  ASSERT_EQ(StartDevice(), 0);
  const std::string expected =
      "DirectDraw オブジェクトの取得を行います....  成功\n"
      "引き続き初期化処理... 初期化に成功しました\n"
      "IDirect3D9Ex オブジェクトを取得します.... 成功\n"
      "IDirect3DDevice9Ex オブジェクトを取得します.... ソフトウエア頂点演算を使用します\n"
      "成功\n"
      "Driver:zyvel_software.dll  Description:Zyvel software rasteriser\n"
      "画面のフォーマットは D3DFMT_X8R8G8B8 です\n"
      "Ｚバッファのフォーマットは D3DFMT_D16 です\n"
      "16bit カラーフォーマットは Z_D3DFMT_R5G6B5 です\n"
      "32bit カラーフォーマットは Z_D3DFMT_X8R8G8B8 です\n"
      "アルファ付き 16bit カラーフォーマットは Z_D3DFMT_A4R4G4B4 です\n"
      "アルファ付き 32bit カラーフォーマットは Z_D3DFMT_A8R8G8B8 です\n"
      "アルファテスト用 16bit カラーフォーマットは Z_D3DFMT_A1R5G5B5 です\n"
      "アルファテスト用 32bit カラーフォーマットは Z_D3DFMT_A8R8G8B8 です\n"
      "ＤＸＴ１テクスチャフォーマットは使えません\n"
      "ＤＸＴ２テクスチャフォーマットは使えません\n"
      "ＤＸＴ３テクスチャフォーマットは使えません\n"
      "ＤＸＴ４テクスチャフォーマットは使えません\n"
      "ＤＸＴ５テクスチャフォーマットは使えません\n"
      "描画用 16bit カラーフォーマットは Z_D3DFMT_R5G5B5 です\n"
      "描画用 32bit カラーフォーマットは Z_D3DFMT_X8R8G8B8 です\n"
      "描画用アルファ付き 32bit カラーフォーマットは Z_D3DFMT_A8R8G8B8 です\n"
      "バックバッファロック転送の時間:0nsec  一時的な描画可能バッファを使用した転送の時間:0nsec\n"
      "バックバッファロックを使用しません\n"
      "Ｚバッファを作成します.... 成功\n";
  EXPECT_EQ(ReadLog(), expected);

  RenderDeviceState& state = g_renderDevice;
  EXPECT_NE(state.DeviceEx, nullptr);
  EXPECT_EQ(state.ScreenFormat, D3DFMT_X8R8G8B8);
  EXPECT_EQ(state.TextureFormats[kTextureFormatDxt1], D3DFMT_A1R5G5B5) << "no DXT1: the 16-bit alpha-test format";
  EXPECT_EQ(state.TextureFormats[kTextureFormatDxt5], D3DFMT_A8R8G8B8) << "no DXT5: the 32-bit alpha format";
  EXPECT_EQ(state.TextureFormats[kTextureFormatDrawableScreen], D3DFMT_X8R8G8B8);
  EXPECT_EQ(state.TextureFormats[kTextureFormatAlphaTestScreen], D3DFMT_A8R8G8B8);
  EXPECT_EQ(state.MaxTextureSide, 4096);
  EXPECT_EQ(state.ZBufferWidth, 1024);
  EXPECT_EQ(state.ZBufferHeight, 512);
  EXPECT_EQ(g_screenSettings.VerticalBlankPeriod, 16666) << "a 60 Hz display";
}

// Each way the device start can fall back: what the switches refuse, the line it logs, and
// whether the device still comes up.
struct FallBack {
  const char* name;
  void (*arrange)();
  int result;
  const char* logged;
};

const FallBack kFallBacks[] = {
    {"no Direct3DCreate9Ex",
     [] {
       platform::testing::Direct3DSwitches switches;
       switches.noDirect3DCreate9Ex = true;
       platform::testing::SetDirect3DSwitches(switches);
     },
     0,
     "IDirect3D9Ex オブジェクトを取得します.... IDirect3D9 オブジェクトを取得します.... 成功\n"
     "IDirect3DDevice9 オブジェクトを取得します.... ソフトウエア頂点演算を使用します\n"},
    {"plain device refused",
     [] {
       platform::testing::Direct3DSwitches switches;
       switches.noDirect3DCreate9Ex = true;
       platform::testing::SetDirect3DSwitches(switches);
       platform::testing::FailDeviceCreation(-1);
     },
     -1, "IDirect3DDevice9 オブジェクトを取得します.... Direct3DDevice9 の作成に失敗しました\n"},
    {"Ex device refused", [] { platform::testing::FailDeviceCreation(-1); }, -1,
     "IDirect3DDevice9Ex オブジェクトを取得します.... Direct3DDevice9Ex の作成に失敗しました\n"},
    {"mixed vertex processing refused once",
     [] {
       platform::testing::Direct3DSwitches switches;
       switches.reportShaderModel2 = true;
       platform::testing::SetDirect3DSwitches(switches);
       platform::testing::FailDeviceCreation(1);
     },
     0, "IDirect3DDevice9Ex オブジェクトを取得します.... ソフトウエア頂点演算を使用します\n"},
    {"shader model 2.0",
     [] {
       platform::testing::Direct3DSwitches switches;
       switches.reportShaderModel2 = true;
       platform::testing::SetDirect3DSwitches(switches);
     },
     0, "IDirect3DDevice9Ex オブジェクトを取得します.... ハードウエア頂点演算を使用します\n"},
    {"no 32-bit colour texture",
     [] {
       platform::testing::Direct3DSwitches switches;
       switches.refusedFormats = {D3DFMT_X8R8G8B8};
       platform::testing::SetDirect3DSwitches(switches);
       platform::testing::SetDisplayModes({{640, 480, 16, 60}}, {1920, 1080, 16, 60});
     },
     0, "32bit カラーフォーマットは Z_D3DFMT_R5G6B5 です\n"},
    {"no 16-bit alpha format",
     [] {
       platform::testing::Direct3DSwitches switches;
       switches.refusedFormats = {D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8};
       platform::testing::SetDirect3DSwitches(switches);
     },
     -1, "使用できるアルファ付き 16bit カラーフォーマットが見つかりませんでした\n"},
    {"no Z buffer format",
     [] {
       platform::testing::Direct3DSwitches switches;
       switches.refusedFormats = {D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D32};
       platform::testing::SetDirect3DSwitches(switches);
     },
     -1, "使用できる Zバッファフォーマットが見つかりませんでした\n"},
    {"DXT offered",
     [] {
       platform::testing::Direct3DSwitches switches;
       switches.offerDxtFormats = true;
       platform::testing::SetDirect3DSwitches(switches);
     },
     0, "ＤＸＴ１テクスチャフォーマットは Z_D3DFMT_DXT1 です\n"},
    {"DirectDraw not installed", [] { platform::testing::RefuseComClass(CLSID_DirectDraw7, true); }, -1,
     "DirectDraw オブジェクトの取得を行います....  オブジェクトの取得に失敗しました\n"},
};

TEST_F(RenderDeviceTest, EachFallBackTakesItsPathAndLogsItsLine) {
  for (const FallBack& fallBack : kFallBacks) {
    SCOPED_TRACE(fallBack.name);
    ReleaseDirect3D();
    platform::testing::ResetDirect3DSwitches();
    platform::testing::RefuseComClass(CLSID_DirectDraw7, false);
    UseStandardDisplay();
    g_renderDevice = RenderDeviceState{};
    g_screenSettings.ColorBits = 32;
    OpenLogFile();
    fallBack.arrange();
    EXPECT_EQ(StartDevice(), fallBack.result);
    EXPECT_NE(ReadLog().find(fallBack.logged), std::string::npos) << ReadLog();
    ReleaseDirect3D();
    EXPECT_EQ(platform::testing::LiveDirect3DObjects(), 0);
  }
}

TEST_F(RenderDeviceTest, AWindowedStartOnA16BitDesktopRunsAt16Bits) {
  UseStandardDisplay(16);
  ASSERT_EQ(StartDevice(), 0);
  EXPECT_EQ(g_screenSettings.ColorBits, 16);
  EXPECT_EQ(g_renderDevice.ScreenFormat, D3DFMT_R5G6B5);
  EXPECT_EQ(g_renderDevice.TextureFormats[kTextureFormatDrawableScreen], D3DFMT_R5G6B5);
  EXPECT_NE(ReadLog().find("描画用 16bit カラーフォーマットは D3DFMT_R5G6B5 です\n"), std::string::npos);
}

TEST_F(RenderDeviceTest, AFullScreenStartUsesTheListedModeAndAZeroTextureSizeMeans256) {
  platform::testing::Direct3DSwitches switches;
  switches.reportZeroMaximumTextureSize = true;
  platform::testing::SetDirect3DSwitches(switches);
  g_windowSystem.windowedMode = 0;
  g_screenSettings.ColorBits = 16;
  g_screenSettings.Refresh = 60;
  ASSERT_EQ(StartDevice(), 0);
  EXPECT_EQ(g_renderDevice.ScreenFormat, D3DFMT_R5G6B5);
  EXPECT_EQ(g_renderDevice.MaxTextureSide, 256);
  ReleaseDirect3D();
  g_screenSettings.ColorBits = 24;
  OpenLogFile();
  EXPECT_EQ(StartDevice(), -1);
  EXPECT_NE(ReadLog().find("非対応のバックバッファービット深度が指定されました\n"), std::string::npos);
}

TEST_F(RenderDeviceTest, TheBackBufferLockRaceGoesToTheFasterRoute) {
  platform::testing::Direct3DSwitches switches;
  switches.backBufferLockMicroseconds = 100;
  switches.renderTargetDataMicroseconds = 900;
  platform::testing::SetDirect3DSwitches(switches);
  g_screenSettings.Height = 200;  // The test squares shrink to 128 x 128.
  ASSERT_EQ(StartDevice(), 0);
  EXPECT_EQ(g_renderDevice.UseBackBufferLock, 1);
  EXPECT_NE(
      ReadLog().find("バックバッファロック転送の時間:100nsec  一時的な描画可能バッファを使用した転送の時間:900nsec\n"
                     "バックバッファロックを使用します\n"),
      std::string::npos);
}

TEST_F(RenderDeviceTest, ReleaseClearsEveryObjectAndFreesTheModule) {
  ASSERT_EQ(StartDevice(), 0);
  ASSERT_EQ(CreateSubBackBuffer(), 0);
  ASSERT_EQ(CreateBrightnessVolumeTexture(), 0);
  EXPECT_GT(platform::testing::LiveDirect3DObjects(), 0);
  EXPECT_EQ(ReleaseDirect3D(), 0);
  const RenderDeviceState& state = g_renderDevice;
  EXPECT_EQ(state.Device, nullptr);
  EXPECT_EQ(state.Direct3D, nullptr);
  EXPECT_EQ(state.DirectDraw, nullptr);
  EXPECT_EQ(state.D3D9Module, nullptr);
  EXPECT_EQ(state.BackBuffer, nullptr);
  EXPECT_EQ(state.ZBuffer, nullptr);
  EXPECT_EQ(platform::testing::LiveDirect3DObjects(), 0);
  EXPECT_EQ(GetDirectDrawObject(), nullptr);
}

TEST_F(RenderDeviceTest, SceneBracketAndDialogBoxModeFollowTheDevice) {
  EXPECT_EQ(BeginSceneIfClosed(), 0) << "no device: nothing";
  ASSERT_EQ(StartDevice(), 0);
  platform::testing::RecordDeviceCalls(true);
  BeginSceneIfClosed();
  BeginSceneIfClosed();
  SwitchDialogBoxMode(1);
  ApplyMenuDialogBoxMode(1);
  EndSceneIfOpen();
  platform::testing::RecordDeviceCalls(false);
  EXPECT_EQ(platform::testing::TakeRecordedDeviceCalls(),
            (std::vector<std::string>{"BeginScene()", "EndScene()", "SetDialogBoxMode(1)", "SetDialogBoxMode(0)",
                                      "SetDialogBoxMode(1)"}));
}

TEST(FormatColorData, FormatsAndTextureKindsHaveTheirMasks) {
  const ColorData* x8 = GetFormatColorData(D3DFMT_X8R8G8B8);
  ASSERT_NE(x8, nullptr);
  EXPECT_EQ(x8->bitDepth, 32);
  EXPECT_EQ(x8->alphaMask, 0u);
  const ColorData* a2 = GetFormatColorData(D3DFMT_A2B10G10R10);
  ASSERT_NE(a2, nullptr);
  EXPECT_EQ(a2->redMask, 0x3FFu);
  EXPECT_EQ(a2->alphaMask, 0xC0000000u);
  EXPECT_EQ(GetFormatColorData(D3DFMT_DXT1), nullptr);
  EXPECT_EQ(GetFormatColorData(D3DFMT_D16), nullptr);

  EXPECT_EQ(GetTextureFormatColorData(-1), nullptr);
  EXPECT_EQ(GetTextureFormatColorData(14), nullptr);
  EXPECT_EQ(GetTextureFormatColorData(4)->alphaMask, 0x8000u);
  EXPECT_EQ(GetTextureFormatColorData(6)->dxtKind, 1u);
  EXPECT_EQ(GetTextureFormatColorData(6)->bitDepth, 4);
  EXPECT_EQ(GetTextureFormatColorData(10)->dxtKind, 5u);
  EXPECT_EQ(GetTextureFormatColorData(10)->bitDepth, 8);
  EXPECT_EQ(GetTextureFormatColorData(11)->redMask, 0xF800u);
}

TEST(MaxBrightnessColor, KeepsTheHueAtFullBrightness) {
  struct Case {
    int red, green, blue;
    uint32_t expected;
  };
  // (200, 100, 50): S = 150 x 255 / 200 = 191; green 255 - 191 x (255 - 50 x 255 / 150) / 255
  // = 255 - 191 x 170 / 255 = 128.
  const Case cases[] = {{0, 0, 0, 0xFFFFFF},      {90, 90, 90, 0xFFFFFF}, {200, 100, 50, 0xFF8040},
                        {255, 0, 0, 0xFF0000},    {300, 0, 0, 0xFF0000},  {0, 128, 128, 0x00FFFF},
                        {100, 100, 50, 0xFFFF80}, {50, 50, 100, 0x8080FF}};
  for (const Case& c : cases)
    EXPECT_EQ(MaxBrightnessColor(c.red, c.green, c.blue), c.expected) << c.red << "," << c.green << "," << c.blue;
}

}  // namespace
}  // namespace device_test
