// The device's rules: Clear clipped to the viewport, lockability and pool rules of the copy
// calls, scenes, lost devices and Reset, reference counts, and the presented frame.
#include "device_fixture.h"

namespace d3d9_test {
namespace {

TEST_F(DeviceTest, ClearIsClippedToTheViewportAndItsRectangles) {
  Fill(0xFF000000);
  D3DVIEWPORT9 viewport = {4, 8, 10, 6, 0.0f, 1.0f};
  ASSERT_EQ(device_->SetViewport(&viewport), D3D_OK);
  RECT rects[2] = {{0, 0, 6, 32}, {12, 12, 40, 40}};
  ASSERT_EQ(device_->Clear(2, rects, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0), D3D_OK);
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0), D3D_OK);  // Whole viewport.
  viewport = {0, 0, kSize, kSize, 0.0f, 1.0f};
  ASSERT_EQ(device_->SetViewport(&viewport), D3D_OK);
  ASSERT_EQ(device_->Clear(1, rects, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0), D3D_OK);
  std::vector<uint32_t> pixels = ReadBackBuffer();
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      uint32_t expected = 0xFF000000;
      if (x >= 4 && x < 14 && y >= 8 && y < 14) expected = 0xFF00FF00;
      if (x < 6) expected = 0xFF0000FF;
      ASSERT_EQ(pixels[y * kSize + x], expected) << x << "," << y;
    }
}

TEST_F(DeviceTest, ClearRefusesWhatItCannotDo) {
  EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);  // No depth surface.
  EXPECT_EQ(device_->Clear(1, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->Clear(0, nullptr, 0, 0, 1.0f, 0), D3DERR_INVALIDCALL);
  IDirect3DSurface9* depth = nullptr;
  ASSERT_EQ(device_->CreateDepthStencilSurface(kSize, kSize, D3DFMT_D16, D3DMULTISAMPLE_NONE, 0, TRUE, &depth, nullptr),
            D3D_OK);
  ASSERT_EQ(device_->SetDepthStencilSurface(depth), D3D_OK);
  EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
  EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 2.0f, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0), D3DERR_INVALIDCALL);  // D16 has no stencil.
  D3DLOCKED_RECT locked;
  EXPECT_EQ(depth->LockRect(&locked, nullptr, 0), D3DERR_INVALIDCALL);
  device_->SetDepthStencilSurface(nullptr);
  depth->Release();
}

TEST_F(DeviceTest, DepthTestKeepsTheNearerTriangle) {
  IDirect3DSurface9* depth = nullptr;
  ASSERT_EQ(
      device_->CreateDepthStencilSurface(kSize, kSize, D3DFMT_D24X8, D3DMULTISAMPLE_NONE, 0, TRUE, &depth, nullptr),
      D3D_OK);
  ASSERT_EQ(device_->SetDepthStencilSurface(depth), D3D_OK);
  device_->SetRenderState(D3DRS_ZENABLE, TRUE);
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0), D3D_OK);
  device_->SetTexture(0, nullptr);
  UseStage(D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_CURRENT, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_CURRENT);
  TexturedVertex near[4] = {{-0.5f, -0.5f, 0.25f, 1, 0xFFFF0000, 0, 0},
                            {7.5f, -0.5f, 0.25f, 1, 0xFFFF0000, 0, 0},
                            {-0.5f, 7.5f, 0.25f, 1, 0xFFFF0000, 0, 0},
                            {7.5f, 7.5f, 0.25f, 1, 0xFFFF0000, 0, 0}};
  TexturedVertex far[4] = {{-0.5f, -0.5f, 0.5f, 1, 0xFF00FF00, 0, 0},
                           {15.5f, -0.5f, 0.5f, 1, 0xFF00FF00, 0, 0},
                           {-0.5f, 15.5f, 0.5f, 1, 0xFF00FF00, 0, 0},
                           {15.5f, 15.5f, 0.5f, 1, 0xFF00FF00, 0, 0}};
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, near, sizeof(TexturedVertex));
  device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, far, sizeof(TexturedVertex));
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  std::vector<uint32_t> pixels = ReadBackBuffer();
  EXPECT_EQ(pixels[3 * kSize + 3], 0xFFFF0000u);
  EXPECT_EQ(pixels[10 * kSize + 10], 0xFF00FF00u);
  device_->SetDepthStencilSurface(nullptr);
  depth->Release();
}

// Which resources lock, as the platform decides it.
TEST_F(DeviceTest, LockabilityFollowsPoolAndUsage) {
  struct Case {
    const char* name;
    DWORD usage;
    D3DPOOL pool;
    HRESULT lock;
  } cases[] = {
      {"managed", 0, D3DPOOL_MANAGED, D3D_OK},
      {"system memory", 0, D3DPOOL_SYSTEMMEM, D3D_OK},
      {"default", 0, D3DPOOL_DEFAULT, D3DERR_INVALIDCALL},
      {"default dynamic", D3DUSAGE_DYNAMIC, D3DPOOL_DEFAULT, D3D_OK},
      {"render target", D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT, D3DERR_INVALIDCALL},
  };
  for (const Case& c : cases) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(16, 8, 0, c.usage, D3DFMT_A8R8G8B8, c.pool, &texture, nullptr), D3D_OK) << c.name;
    EXPECT_EQ(texture->GetLevelCount(), 5u) << c.name;
    D3DLOCKED_RECT locked;
    EXPECT_EQ(texture->LockRect(1, &locked, nullptr, 0), c.lock) << c.name;
    if (c.lock == D3D_OK) {
      EXPECT_EQ(locked.Pitch, 8 * 4);
      EXPECT_EQ(static_cast<uint8_t*>(locked.pBits)[0], 0) << "new resources are zero-filled";
      EXPECT_EQ(texture->LockRect(1, &locked, nullptr, 0), D3DERR_INVALIDCALL) << "locked twice";
      EXPECT_EQ(texture->UnlockRect(1), D3D_OK);
    }
    EXPECT_EQ(texture->UnlockRect(1), D3DERR_INVALIDCALL) << c.name;
    texture->Release();
  }
  IDirect3DTexture9* texture = nullptr;
  EXPECT_EQ(device_->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET | D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                   &texture, nullptr),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->CreateTexture(8, 8, 5, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &texture, nullptr), D3DERR_INVALIDCALL);

  IDirect3DSurface9* target = nullptr;
  D3DLOCKED_RECT locked;
  ASSERT_EQ(device_->CreateRenderTarget(8, 8, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &target, nullptr),
            D3D_OK);
  EXPECT_EQ(target->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3DERR_INVALIDCALL);
  target->Release();
  ASSERT_EQ(device_->CreateRenderTarget(8, 8, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, TRUE, &target, nullptr), D3D_OK);
  RECT outside = {4, 4, 9, 8};
  EXPECT_EQ(target->LockRect(&locked, &outside, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(target->LockRect(&locked, nullptr, 0), D3D_OK);
  target->UnlockRect();
  target->Release();
}

TEST(Direct3DExTest, ExDeviceRefusesTheManagedPoolAndResetsWithDefaultResources) {
  platform::testing::ResetDirect3DSwitches();
  IDirect3D9Ex* direct3d = nullptr;
  ASSERT_EQ(Direct3DCreate9Ex(D3D_SDK_VERSION, &direct3d), D3D_OK);
  D3DPRESENT_PARAMETERS parameters = WindowedParameters(16, 16);
  IDirect3DDevice9Ex* device = nullptr;
  ASSERT_EQ(direct3d->CreateDeviceEx(0, D3DDEVTYPE_HAL, FakeWindow(), D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters,
                                     nullptr, &device),
            D3D_OK);
  EXPECT_EQ(device->SetMaximumFrameLatency(1), D3D_OK);
  IDirect3DTexture9* texture = nullptr;
  EXPECT_EQ(device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3DERR_INVALIDCALL);
  ASSERT_EQ(device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr), D3D_OK);
  EXPECT_EQ(device->Reset(&parameters), D3D_OK);
  texture->Release();
  EXPECT_EQ(device->Release(), 0u);
  EXPECT_EQ(direct3d->Release(), 0u);
  EXPECT_EQ(platform::testing::LiveDirect3DObjects(), 0);
}

// The copy paths: system memory -> default (UpdateSurface / UpdateTexture), render target ->
// system memory (GetRenderTargetData), between default surfaces (StretchRect) and ColorFill.
TEST_F(DeviceTest, CopyPathsRoundTripPixelsAndRefuseWrongPools) {
  std::vector<uint32_t> pattern(8 * 8);
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = 0xFF000000u | static_cast<uint32_t>(i * 0x030507);
  IDirect3DTexture9* system = nullptr;
  ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &system, nullptr), D3D_OK);
  D3DLOCKED_RECT locked;
  ASSERT_EQ(system->LockRect(0, &locked, nullptr, 0), D3D_OK);
  for (int y = 0; y < 8; ++y) std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, &pattern[y * 8], 32);
  system->UnlockRect(0);
  IDirect3DTexture9* target = nullptr;
  ASSERT_EQ(device_->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr),
            D3D_OK);
  EXPECT_EQ(device_->UpdateTexture(target, system), D3DERR_INVALIDCALL);
  ASSERT_EQ(device_->UpdateTexture(system, target), D3D_OK);

  IDirect3DSurface9* targetLevel = nullptr;
  ASSERT_EQ(target->GetSurfaceLevel(0, &targetLevel), D3D_OK);
  IDirect3DSurface9* back = nullptr;
  ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
  Fill(0xFF000000);
  RECT destination = {10, 10, 26, 26};  // Twice the size: nearest sampling doubles each texel.
  ASSERT_EQ(device_->StretchRect(targetLevel, nullptr, back, &destination, D3DTEXF_NONE), D3D_OK);
  std::vector<uint32_t> pixels = ReadBackBuffer();
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_EQ(pixels[(10 + y) * kSize + 10 + x], pattern[(y / 2) * 8 + x / 2]);

  IDirect3DSurface9* readBack = nullptr;
  ASSERT_EQ(device_->CreateOffscreenPlainSurface(kSize, kSize, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &readBack, nullptr),
            D3D_OK);
  ASSERT_EQ(device_->GetRenderTargetData(back, readBack), D3D_OK);
  ASSERT_EQ(readBack->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
  EXPECT_EQ(static_cast<uint32_t*>(locked.pBits)[11 * (locked.Pitch / 4) + 12],
            pattern[(11 - 10) / 2 * 8 + (12 - 10) / 2]);
  readBack->UnlockRect();
  EXPECT_EQ(device_->ColorFill(readBack, nullptr, 0xFFFFFFFF), D3DERR_INVALIDCALL);  // System memory.
  EXPECT_EQ(device_->StretchRect(readBack, nullptr, back, nullptr, D3DTEXF_NONE), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->GetRenderTargetData(readBack, back), D3DERR_INVALIDCALL);
  RECT fill = {1, 2, 3, 4};
  ASSERT_EQ(device_->ColorFill(targetLevel, &fill, 0xFF123456), D3D_OK);
  RECT oversized = {0, 0, 9, 8};
  EXPECT_EQ(device_->ColorFill(targetLevel, &oversized, 0xFF123456), D3DERR_INVALIDCALL);

  IDirect3DSurface9* plain = nullptr;
  ASSERT_EQ(device_->CreateOffscreenPlainSurface(8, 8, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &plain, nullptr), D3D_OK);
  RECT from = {0, 0, 4, 4};
  POINT to = {4, 4};
  EXPECT_EQ(device_->UpdateSurface(plain, &from, targetLevel, &to), D3D_OK);
  to = {6, 6};
  EXPECT_EQ(device_->UpdateSurface(plain, &from, targetLevel, &to), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->UpdateSurface(targetLevel, nullptr, plain, nullptr), D3DERR_INVALIDCALL);
  IDirect3DSurface9* narrow = nullptr;
  ASSERT_EQ(device_->CreateOffscreenPlainSurface(8, 8, D3DFMT_R5G6B5, D3DPOOL_SYSTEMMEM, &narrow, nullptr), D3D_OK);
  EXPECT_EQ(device_->UpdateSurface(narrow, nullptr, targetLevel, nullptr), D3DERR_INVALIDCALL);

  for (IUnknown* object : std::initializer_list<IUnknown*>{narrow, plain, readBack, back, targetLevel, target, system})
    object->Release();
}

TEST_F(DeviceTest, ScenesDoNotNestAndDrawingNeedsOne) {
  TexturedVertex triangle[3] = {};
  EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, triangle, sizeof(TexturedVertex)), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->EndScene(), D3DERR_INVALIDCALL);
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  EXPECT_EQ(device_->BeginScene(), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, triangle, 8), D3DERR_INVALIDCALL);  // Stride too small.
  EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 0, triangle, sizeof(TexturedVertex)), D3DERR_INVALIDCALL);
  uint16_t indices[4] = {0, 1, 2, 3};
  EXPECT_EQ(device_->DrawIndexedPrimitiveUP(D3DPT_TRIANGLESTRIP, 0, 3, 2, indices, D3DFMT_INDEX16, triangle,
                                            sizeof(TexturedVertex)),
            D3DERR_INVALIDCALL);  // Index 3 lies outside the three vertices given.
  EXPECT_EQ(device_->DrawIndexedPrimitiveUP(D3DPT_TRIANGLESTRIP, 0, 3, 1, indices, D3DFMT_INDEX16, triangle,
                                            sizeof(TexturedVertex)),
            D3D_OK);
  EXPECT_EQ(device_->EndScene(), D3D_OK);
}

TEST_F(DeviceTest, IndexedStripDrawsLikeTheUnindexedOne) {
  IDirect3DTexture9* texture = MakeTexture(2, 2, {0xFF112233, 0xFF445566, 0xFF778899, 0xFFAABBCC});
  device_->SetTexture(0, texture);
  UseStage(D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
  Fill(0xFF000000);
  DrawQuad(-0.5f, -0.5f, 1.5f, 1.5f);
  std::vector<uint32_t> expected = ReadBackBuffer();
  Fill(0xFF000000);
  TexturedVertex vertices[5] = {{0, 0, 0, 1, 0, 0, 0},
                                {1.5f, 1.5f, 0, 1, 0xFFFFFFFF, 1, 1},
                                {-0.5f, -0.5f, 0, 1, 0xFFFFFFFF, 0, 0},
                                {1.5f, -0.5f, 0, 1, 0xFFFFFFFF, 1, 0},
                                {-0.5f, 1.5f, 0, 1, 0xFFFFFFFF, 0, 1}};
  uint16_t indices[4] = {2, 3, 4, 1};
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  ASSERT_EQ(device_->DrawIndexedPrimitiveUP(D3DPT_TRIANGLESTRIP, 1, 4, 2, indices, D3DFMT_INDEX16, vertices,
                                            sizeof(TexturedVertex)),
            D3D_OK);
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  EXPECT_EQ(ReadBackBuffer(), expected);
}

TEST_F(DeviceTest, PresentedFrameEqualsTheBackBuffer) {
  Fill(0xFF204060);
  D3DVIEWPORT9 viewport = {3, 4, 5, 6, 0.0f, 1.0f};
  device_->SetViewport(&viewport);
  Fill(0xFFC0A080);
  ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  platform::testing::PresentedFrame frame;
  ASSERT_TRUE(platform::testing::LastPresentedFrame(&frame));
  EXPECT_EQ(frame.window, FakeWindow());
  ASSERT_EQ(frame.width, kSize);
  ASSERT_EQ(frame.height, kSize);
  EXPECT_EQ(frame.pixels, ReadBackBuffer());

  IDirect3DSwapChain9* swapChain = nullptr;
  ASSERT_EQ(device_->GetSwapChain(0, &swapChain), D3D_OK);
  RECT source = {3, 4, 8, 10}, destination = {0, 0, 10, 12};
  ASSERT_EQ(swapChain->Present(&source, &destination, nullptr, nullptr, 0), D3D_OK);
  ASSERT_TRUE(platform::testing::LastPresentedFrame(&frame));
  EXPECT_EQ(frame.width, 5);
  EXPECT_EQ(frame.height, 6);
  EXPECT_EQ(frame.destination.right, 10);
  for (uint32_t pixel : frame.pixels) EXPECT_EQ(pixel, 0xFFC0A080u);
  swapChain->Release();
}

TEST_F(DeviceTest, LostDeviceRecoversThroughReset) {
  IDirect3DTexture9* texture = nullptr;
  ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr), D3D_OK);
  platform::testing::LoseDevices();
  EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICELOST);
  EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  D3DPRESENT_PARAMETERS parameters = WindowedParameters(kSize, kSize);
  EXPECT_EQ(device_->Reset(&parameters), D3DERR_DEVICELOST);
  platform::testing::RegainLostDevices();
  EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  EXPECT_EQ(device_->Reset(&parameters), D3DERR_INVALIDCALL);  // A DEFAULT-pool texture is still alive.
  texture->Release();
  platform::testing::FailDeviceResets(1);
  EXPECT_EQ(device_->Reset(&parameters), D3DERR_DEVICELOST);
  EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  ASSERT_EQ(device_->Reset(&parameters), D3D_OK);
  EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);
  DWORD cull = 0;
  device_->GetRenderState(D3DRS_CULLMODE, &cull);
  EXPECT_EQ(cull, static_cast<DWORD>(D3DCULL_CCW)) << "Reset restores the default states";
  Fill(0xFF336699);
  EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  platform::testing::PresentedFrame frame;
  ASSERT_TRUE(platform::testing::LastPresentedFrame(&frame));
  EXPECT_EQ(frame.pixels[0], 0xFF336699u);
}

TEST_F(DeviceTest, ReferenceCountsAreHonest) {
  IDirect3DTexture9* texture = nullptr;
  ASSERT_EQ(device_->CreateTexture(8, 8, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
  EXPECT_EQ(device_->AddRef(), 3u) << "the texture holds the device";
  EXPECT_EQ(device_->Release(), 2u);
  IDirect3DSurface9* level = nullptr;
  ASSERT_EQ(texture->GetSurfaceLevel(1, &level), D3D_OK);
  EXPECT_EQ(texture->AddRef(), 3u) << "a level counts on its texture";
  texture->Release();
  IDirect3DTexture9* queried = nullptr;
  ASSERT_EQ(level->QueryInterface(IID_IDirect3DSurface9, reinterpret_cast<void**>(&queried)), S_OK);
  EXPECT_EQ(level->QueryInterface(IID_IDirect3DDevice9, reinterpret_cast<void**>(&queried)), E_NOINTERFACE);
  level->Release();
  device_->SetTexture(0, texture);
  EXPECT_EQ(texture->Release(), 1u);
  EXPECT_EQ(level->Release(), 0u) << "bound textures live on without counting";
  EXPECT_GT(platform::testing::LiveDirect3DObjects(), 3);
  device_->SetTexture(0, nullptr);
  IDirect3DSurface9* back = nullptr;
  ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
  EXPECT_EQ(back->Release(), 1u);
}

TEST_F(DeviceTest, RecorderKeepsTheStateCalls) {
  platform::testing::RecordDeviceCalls(true);
  device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  device_->SetFVF(0x144);
  device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
  platform::testing::RecordDeviceCalls(false);
  device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  std::vector<std::string> calls = platform::testing::TakeRecordedDeviceCalls();
  EXPECT_EQ(calls, (std::vector<std::string>{"SetRenderState(27,1)", "SetFVF(0x144)", "SetTextureStageState(1,1,4)"}));
}

}  // namespace
}  // namespace d3d9_test

namespace d3d9_test {
namespace {

// The program may let go of the device before its resources; the last resource then ends it.
TEST(DeviceLifetimeTest, DeviceReleasedBeforeItsResourcesEndsWithTheLastOne) {
  platform::testing::ResetDirect3DSwitches();
  IDirect3D9* direct3d = Direct3DCreate9(D3D_SDK_VERSION);
  D3DPRESENT_PARAMETERS parameters = WindowedParameters(16, 16);
  IDirect3DDevice9* device = nullptr;
  ASSERT_EQ(direct3d->CreateDevice(0, D3DDEVTYPE_HAL, FakeWindow(), D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters,
                                   &device),
            D3D_OK);
  IDirect3DTexture9* texture = nullptr;
  ASSERT_EQ(device->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr),
            D3D_OK);
  IDirect3DSurface9* level = nullptr;
  texture->GetSurfaceLevel(0, &level);
  device->SetRenderTarget(0, level);
  device->SetTexture(1, texture);
  EXPECT_EQ(direct3d->Release(), 1u) << "the device holds the Direct3D object";
  EXPECT_EQ(device->Release(), 1u) << "the texture holds the device; its level counts on the texture";
  EXPECT_EQ(level->Release(), 1u);
  EXPECT_EQ(texture->Release(), 0u);
  EXPECT_EQ(platform::testing::LiveDirect3DObjects(), 0);
}

}  // namespace
}  // namespace d3d9_test
