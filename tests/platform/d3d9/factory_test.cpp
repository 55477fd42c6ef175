// The module, the factories and their switches, the caps, and DirectDraw's vertical blank.
#include "device_fixture.h"
#include "platform/ddraw.h"

namespace d3d9_test {
namespace {

class FactoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::testing::ResetDirect3DSwitches();
    UseStandardDisplay();
  }
  void TearDown() override {
    platform::testing::ResetDirect3DSwitches();
    platform::testing::HideModule("d3d9.dll", false);
    platform::testing::UseFakeClock(false);
    EXPECT_EQ(platform::testing::LiveDirect3DObjects(), 0);
  }
};

TEST_F(FactoryTest, ModuleExportsBothFactoriesAndCanBeHidden) {
  HMODULE module = LoadLibraryA("d3d9.dll");
  ASSERT_NE(module, nullptr);
  EXPECT_NE(GetProcAddress(module, "Direct3DCreate9Ex"), nullptr);
  EXPECT_NE(GetProcAddress(module, "Direct3DCreate9"), nullptr);
  FreeLibrary(module);
  platform::testing::HideModule("d3d9.dll", true);
  EXPECT_EQ(LoadLibraryA("d3d9.dll"), nullptr);
}

TEST_F(FactoryTest, SwitchesShapeTheFactoriesAndDevices) {
  EXPECT_EQ(Direct3DCreate9(31), nullptr);
  platform::testing::Direct3DSwitches switches;
  switches.noDirect3DCreate9Ex = true;
  platform::testing::SetDirect3DSwitches(switches);
  IDirect3D9Ex* ex = nullptr;
  EXPECT_EQ(Direct3DCreate9Ex(D3D_SDK_VERSION, &ex), D3DERR_NOTAVAILABLE);
  EXPECT_EQ(ex, nullptr);

  IDirect3D9* direct3d = Direct3DCreate9(D3D_SDK_VERSION);
  ASSERT_NE(direct3d, nullptr);
  IDirect3D9Ex* asEx = nullptr;
  EXPECT_EQ(direct3d->QueryInterface(IID_IDirect3D9Ex, reinterpret_cast<void**>(&asEx)), E_NOINTERFACE);
  D3DCAPS9 caps;
  ASSERT_EQ(direct3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
  EXPECT_LT(caps.VertexShaderVersion & 0xFFFF, 0x200u);
  EXPECT_LT(caps.PixelShaderVersion & 0xFFFF, 0x200u);
  EXPECT_TRUE(caps.PrimitiveMiscCaps & D3DPMISCCAPS_BLENDOP);
  EXPECT_TRUE(caps.PrimitiveMiscCaps & D3DPMISCCAPS_TSSARGTEMP);
  EXPECT_EQ(caps.MaxTextureWidth, 4096u);
  EXPECT_EQ(direct3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_DXT1),
            D3DERR_NOTAVAILABLE);
  EXPECT_EQ(direct3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE,
                                        D3DFMT_A8R8G8B8),
            D3D_OK);
  EXPECT_EQ(direct3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_D16), D3D_OK);
  EXPECT_GT(direct3d->GetAdapterModeCount(0, D3DFMT_R5G6B5), 0u);

  D3DPRESENT_PARAMETERS parameters = WindowedParameters(0, 0);
  parameters.BackBufferFormat = D3DFMT_UNKNOWN;
  IDirect3DDevice9* device = nullptr;
  EXPECT_EQ(
      direct3d->CreateDevice(0, D3DDEVTYPE_HAL, FakeWindow(), D3DCREATE_MIXED_VERTEXPROCESSING, &parameters, &device),
      D3DERR_INVALIDCALL);  // No hardware vertex processing without shader model 2.0.
  platform::testing::FailDeviceCreation(1);
  EXPECT_EQ(direct3d->CreateDevice(0, D3DDEVTYPE_HAL, FakeWindow(), D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters,
                                   &device),
            D3DERR_NOTAVAILABLE);
  ASSERT_EQ(direct3d->CreateDevice(0, D3DDEVTYPE_HAL, FakeWindow(), D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters,
                                   &device),
            D3D_OK);
  EXPECT_EQ(parameters.BackBufferWidth, 640u) << "no window size yet: 640 x 480";
  EXPECT_EQ(parameters.BackBufferFormat, static_cast<D3DFORMAT>(D3DFMT_X8R8G8B8));
  IDirect3DVertexShader9* shader = nullptr;
  DWORD code[2] = {0xFFFE0200, 0x0000FFFF};
  EXPECT_EQ(device->CreateVertexShader(code, &shader), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->Release(), 0u);

  switches = {};
  switches.reportShaderModel2 = true;
  switches.offerDxtFormats = true;
  switches.reportZeroMaximumTextureSize = true;
  platform::testing::SetDirect3DSwitches(switches);
  ASSERT_EQ(direct3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
  EXPECT_EQ(caps.VertexShaderVersion & 0xFFFF, 0x200u);
  EXPECT_EQ(caps.MaxTextureWidth, 0u);
  EXPECT_EQ(direct3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_DXT1), D3D_OK);
  ASSERT_EQ(
      direct3d->CreateDevice(0, D3DDEVTYPE_HAL, FakeWindow(), D3DCREATE_MIXED_VERTEXPROCESSING, &parameters, &device),
      D3D_OK);
  ASSERT_EQ(device->CreateVertexShader(code, &shader), D3D_OK);
  device->SetVertexShader(shader);
  TexturedVertex triangle[3] = {};
  device->SetFVF(kTexturedFvf);
  device->BeginScene();
  EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, triangle, sizeof(TexturedVertex)), D3DERR_INVALIDCALL)
      << "shaders are never run";
  device->EndScene();
  device->SetVertexShader(nullptr);
  shader->Release();
  EXPECT_EQ(device->Release(), 0u);
  EXPECT_EQ(direct3d->Release(), 0u);
}

TEST_F(FactoryTest, FullScreenDevicesNeedAListedMode) {
  IDirect3D9* direct3d = Direct3DCreate9(D3D_SDK_VERSION);
  D3DPRESENT_PARAMETERS parameters = WindowedParameters(800, 600);
  parameters.Windowed = FALSE;
  parameters.BackBufferFormat = D3DFMT_R5G6B5;
  parameters.FullScreen_RefreshRateInHz = 60;
  IDirect3DDevice9* device = nullptr;
  ASSERT_EQ(direct3d->CreateDevice(0, D3DDEVTYPE_HAL, FakeWindow(), D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters,
                                   &device),
            D3D_OK);
  RECT rect = {0, 0, 10, 10};
  EXPECT_EQ(device->Present(&rect, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  device->Release();
  parameters.BackBufferWidth = 801;
  EXPECT_EQ(direct3d->CreateDevice(0, D3DDEVTYPE_HAL, FakeWindow(), D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters,
                                   &device),
            D3DERR_INVALIDCALL);
  direct3d->Release();
}

TEST_F(FactoryTest, DirectDrawWaitsForBlanksPacedByTheRefreshRate) {
  platform::testing::SetDisplayModes({{1024, 768, 32, 50}}, {1024, 768, 32, 50});
  IDirectDraw7* directDraw = nullptr;
  ASSERT_EQ(
      CoCreateInstance(CLSID_DirectDraw7, nullptr, CLSCTX_ALL, IID_IDirectDraw7, reinterpret_cast<void**>(&directDraw)),
      S_OK);
  EXPECT_EQ(directDraw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr), DDERR_NOTINITIALIZED);
  ASSERT_EQ(directDraw->Initialize(nullptr), DD_OK);
  EXPECT_EQ(directDraw->SetCooperativeLevel(FakeWindow(), DDSCL_NORMAL | DDSCL_FPUPRESERVE), DD_OK);
  DWORD frequency = 0;
  ASSERT_EQ(directDraw->GetMonitorFrequency(&frequency), DD_OK);
  EXPECT_EQ(frequency, 50u);
  platform::testing::UseFakeClock(true);
  platform::testing::SetFakeClockMilliseconds(1000);
  platform::testing::AdvanceFakeClock(5);
  LARGE_INTEGER before, after;
  QueryPerformanceCounter(&before);
  ASSERT_EQ(directDraw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr), DD_OK);
  ASSERT_EQ(directDraw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr), DD_OK);
  QueryPerformanceCounter(&after);
  EXPECT_EQ(before.QuadPart, 10000050);
  EXPECT_EQ(after.QuadPart, 10400000) << "two blanks of 20 ms after 1.000005 s end at 1.04 s";
  int modes = 0;
  directDraw->EnumDisplayModes(0, nullptr, &modes, [](DDSURFACEDESC2* mode, void* context) -> HRESULT {
    EXPECT_EQ(mode->ddpfPixelFormat.dwRGBBitCount, 32u);
    ++*static_cast<int*>(context);
    return DDENUMRET_OK;
  });
  EXPECT_EQ(modes, 1);
  EXPECT_EQ(directDraw->Release(), 0u);

  platform::testing::RefuseComClass(CLSID_DirectDraw7, true);
  EXPECT_EQ(
      CoCreateInstance(CLSID_DirectDraw7, nullptr, CLSCTX_ALL, IID_IDirectDraw7, reinterpret_cast<void**>(&directDraw)),
      REGDB_E_CLASSNOTREG);
}

}  // namespace
}  // namespace d3d9_test
