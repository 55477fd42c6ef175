// A small software device for the tests: a 32 x 32 windowed X8R8G8B8 back buffer that can be
// locked, with helpers to fill textures, draw textured quads and read pixels back.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "platform/d3d9.h"
#include "platform/kernel.h"
#include "platform/testing.h"

namespace d3d9_test {

struct TexturedVertex {  // D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1
  float x, y, z, rhw;
  DWORD diffuse;
  float u, v;
};
constexpr DWORD kTexturedFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;
static_assert(sizeof(TexturedVertex) == 28, "28-byte vertex");

inline HWND FakeWindow() { return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234)); }

inline D3DPRESENT_PARAMETERS WindowedParameters(UINT width, UINT height) {
  D3DPRESENT_PARAMETERS parameters{};
  parameters.BackBufferWidth = width;
  parameters.BackBufferHeight = height;
  parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
  parameters.BackBufferCount = 1;
  parameters.SwapEffect = D3DSWAPEFFECT_COPY;
  parameters.hDeviceWindow = FakeWindow();
  parameters.Windowed = TRUE;
  parameters.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
  parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
  return parameters;
}

// A display with the common 16- and 32-bit modes at 60 Hz and a 1920 x 1080 32-bit desktop.
inline void UseStandardDisplay() {
  std::vector<platform::testing::DisplayModeDescription> modes;
  for (int bits : {16, 32})
    for (auto size : {std::pair{320, 240}, {640, 480}, {800, 600}, {1024, 768}, {1280, 720}, {1920, 1080}})
      modes.push_back({size.first, size.second, bits, 60});
  platform::testing::SetDisplayModes(modes, {1920, 1080, 32, 60});
}

class DeviceTest : public ::testing::Test {
 protected:
  static constexpr int kSize = 32;

  void SetUp() override {
    platform::testing::ResetDirect3DSwitches();
    platform::testing::KeepPresentedFrames(true);
    UseStandardDisplay();
    direct3d_ = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(direct3d_, nullptr);
    D3DPRESENT_PARAMETERS parameters = WindowedParameters(kSize, kSize);
    ASSERT_EQ(direct3d_->CreateDevice(0, D3DDEVTYPE_HAL, FakeWindow(), D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters,
                                      &device_),
              D3D_OK);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    device_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    device_->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    device_->SetFVF(kTexturedFvf);
  }

  void TearDown() override {
    for (IUnknown* object : owned_) object->Release();
    if (device_) {
      EXPECT_EQ(device_->Release(), 0u);
    }
    if (direct3d_) {
      EXPECT_EQ(direct3d_->Release(), 0u);
    }
    EXPECT_EQ(platform::testing::LiveDirect3DObjects(), 0);
    platform::testing::ResetDirect3DSwitches();
    platform::testing::KeepPresentedFrames(false);
  }

  // A lockable (dynamic) texture holding `pixels` (A8R8G8B8, `width` per row).
  IDirect3DTexture9* MakeTexture(int width, int height, const std::vector<uint32_t>& pixels,
                                 D3DFORMAT format = D3DFMT_A8R8G8B8) {
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(device_->CreateTexture(width, height, 1, D3DUSAGE_DYNAMIC, format, D3DPOOL_DEFAULT, &texture, nullptr),
              D3D_OK);
    D3DLOCKED_RECT locked;
    EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (int y = 0; y < height; ++y)
      std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, &pixels[static_cast<size_t>(y) * width],
                  width * 4);
    texture->UnlockRect(0);
    owned_.push_back(texture);
    return texture;
  }

  // A rectangle (x0, y0)-(x1, y1) as a 4-vertex strip with texture (0,0)-(1,1).
  void DrawQuad(float x0, float y0, float x1, float y1, DWORD diffuse = 0xFFFFFFFF) {
    TexturedVertex quad[4] = {{x0, y0, 0, 1, diffuse, 0, 0},
                              {x1, y0, 0, 1, diffuse, 1, 0},
                              {x0, y1, 0, 1, diffuse, 0, 1},
                              {x1, y1, 0, 1, diffuse, 1, 1}};
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(TexturedVertex)), D3D_OK);
    ASSERT_EQ(device_->EndScene(), D3D_OK);
  }

  void Fill(D3DCOLOR color) { ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, color, 1.0f, 0), D3D_OK); }

  void UseStage(DWORD colorOp, DWORD colorArg1, DWORD colorArg2, DWORD alphaOp, DWORD alphaArg1, DWORD alphaArg2) {
    device_->SetTextureStageState(0, D3DTSS_COLOROP, colorOp);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, colorArg1);
    device_->SetTextureStageState(0, D3DTSS_COLORARG2, colorArg2);
    device_->SetTextureStageState(0, D3DTSS_ALPHAOP, alphaOp);
    device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, alphaArg1);
    device_->SetTextureStageState(0, D3DTSS_ALPHAARG2, alphaArg2);
  }

  // The back buffer as 0xAARRGGBB words (alpha as stored: 0xFF for X8R8G8B8).
  std::vector<uint32_t> ReadBackBuffer() {
    std::vector<uint32_t> pixels(kSize * kSize);
    IDirect3DSurface9* back = nullptr;
    EXPECT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DLOCKED_RECT locked;
    EXPECT_EQ(back->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    for (int y = 0; y < kSize; ++y)
      std::memcpy(&pixels[y * kSize], static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, kSize * 4);
    back->UnlockRect();
    back->Release();
    return pixels;
  }

  IDirect3D9* direct3d_ = nullptr;
  IDirect3DDevice9* device_ = nullptr;
  std::vector<IUnknown*> owned_;
};

inline int Channel(uint32_t color, int index) { return (color >> (8 * index)) & 0xFF; }

inline uint32_t MakeColor(int a, int r, int g, int b) {
  return (static_cast<uint32_t>(a) << 24) | (r << 16) | (g << 8) | b;
}

}  // namespace d3d9_test
