// Fill rate of the software Direct3D 9 device: a 408 x 504 textured quad drawn 1:1 onto a
// 408 x 504 X8R8G8B8 back buffer, opaque and alpha-blended, on the fast span paths and on the
// plain reference path, the same with the picture turned inside the quad (every pixel steps its
// own texture coordinates), beside the MEMIMG software blit of the same picture and memcpy (the
// physical reference) and SDL2's software renderer blitting the same picture (copy and blend);
// and the per-draw cost of small sprites with their state calls. The table at the end gives the
// ratios.
#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "platform/d3d9.h"
#include "platform/testing.h"
#include "ratio_report.h"
#include "zyvel/memimg.h"

namespace {

constexpr int kWidth = 408;
constexpr int kHeight = 504;

struct Vertex {
  float x, y, z, rhw;
  DWORD diffuse;
  float u, v;
};

class QuadScene {
 public:
  explicit QuadScene(bool blend) {
    direct3d_ = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS parameters{};
    parameters.BackBufferWidth = kWidth;
    parameters.BackBufferHeight = kHeight;
    parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
    parameters.SwapEffect = D3DSWAPEFFECT_COPY;
    parameters.hDeviceWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(1));
    parameters.Windowed = TRUE;
    parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    direct3d_->CreateDevice(0, D3DDEVTYPE_HAL, parameters.hDeviceWindow, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                            &parameters, &device_);
    device_->CreateTexture(kWidth, kHeight, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture_, nullptr);
    D3DLOCKED_RECT locked;
    texture_->LockRect(0, &locked, nullptr, 0);
    std::mt19937 random(1);  // Varied texels and alphas, so no branch is always taken.
    for (int y = 0; y < kHeight; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch);
      for (int x = 0; x < kWidth; ++x) row[x] = random();
    }
    texture_->UnlockRect(0);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, blend);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    device_->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device_->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    device_->SetTexture(0, texture_);
    device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
  }
  ~QuadScene() {
    device_->SetTexture(0, nullptr);
    texture_->Release();
    device_->Release();
    direct3d_->Release();
  }
  // One small sprite as the library draws it: the states it asks for before the draw (the device
  // sees them even when unchanged), then a 16 x 16 quad. Per-draw overhead dominates here.
  void DrawSprite(int index) {
    const float left = static_cast<float>(index % 24 * 16) - 0.5f,
                top = static_cast<float>(index / 24 % 30 * 16) - 0.5f;
    Vertex quad[4] = {{left, top, 0, 1, 0xFFFFFFFF, 0, 0},
                      {left + 16, top, 0, 1, 0xFFFFFFFF, 0.04f, 0},
                      {left, top + 16, 0, 1, 0xFFFFFFFF, 0, 0.03f},
                      {left + 16, top + 16, 0, 1, 0xFFFFFFFF, 0.04f, 0.03f}};
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, index & 1);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    device_->SetTexture(0, texture_);
    device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
  }
  // The state calls of one sprite without its draw: what the device spends before any pixel.
  void SetSpriteStates(int index) {
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, index & 1);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    device_->SetTexture(0, texture_);
    device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
  }
  void BeginScene() { device_->BeginScene(); }
  void EndScene() { device_->EndScene(); }

  void Draw() {
    const float right = kWidth - 0.5f, bottom = kHeight - 0.5f;
    Vertex quad[4] = {{-0.5f, -0.5f, 0, 1, 0xFFFFFFFF, 0, 0},
                      {right, -0.5f, 0, 1, 0xFFFFFFFF, 1, 0},
                      {-0.5f, bottom, 0, 1, 0xFFFFFFFF, 0, 1},
                      {right, bottom, 0, 1, 0xFFFFFFFF, 1, 1}};
    device_->BeginScene();
    device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
    device_->EndScene();
  }
  // The same screen area with the picture turned and scaled inside it: no texel runs, every pixel
  // steps its own texture coordinates.
  void DrawTurned() {
    const float right = kWidth - 0.5f, bottom = kHeight - 0.5f;
    auto u = [](float x, float y) { return 0.1f + 0.8f * (0.98f * x + 0.17f * y); };
    auto v = [](float x, float y) { return 0.1f + 0.8f * (0.98f * y - 0.17f * x); };
    Vertex quad[4] = {{-0.5f, -0.5f, 0, 1, 0xFFFFFFFF, u(0, 0), v(0, 0)},
                      {right, -0.5f, 0, 1, 0xFFFFFFFF, u(1, 0), v(1, 0)},
                      {-0.5f, bottom, 0, 1, 0xFFFFFFFF, u(0, 1), v(0, 1)},
                      {right, bottom, 0, 1, 0xFFFFFFFF, u(1, 1), v(1, 1)}};
    device_->BeginScene();
    device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
    device_->EndScene();
  }

 private:
  IDirect3D9* direct3d_ = nullptr;
  IDirect3DDevice9* device_ = nullptr;
  IDirect3DTexture9* texture_ = nullptr;
};

void ReportPixels(benchmark::State& state) {
  state.counters["Mpixel/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kWidth * kHeight / 1e6,
                                                  benchmark::Counter::kIsRate);
}

void TexturedQuad(benchmark::State& state, bool blend, bool fastPaths) {
  platform::testing::UseRasterFastPaths(fastPaths);
  QuadScene scene(blend);
  for (auto _ : state) scene.Draw();
  ReportPixels(state);
  platform::testing::UseRasterFastPaths(true);
}

void TurnedQuad(benchmark::State& state, bool blend, bool fastPaths) {
  platform::testing::UseRasterFastPaths(fastPaths);
  QuadScene scene(blend);
  for (auto _ : state) scene.DrawTurned();
  ReportPixels(state);
  platform::testing::UseRasterFastPaths(true);
}

void BM_TurnedQuadOpaque(benchmark::State& state) { TurnedQuad(state, false, true); }
void BM_TurnedQuadAlpha(benchmark::State& state) { TurnedQuad(state, true, true); }
void BM_TurnedQuadOpaquePlainPath(benchmark::State& state) { TurnedQuad(state, false, false); }

void BM_TexturedQuadOpaque(benchmark::State& state) { TexturedQuad(state, false, true); }
void BM_TexturedQuadAlpha(benchmark::State& state) { TexturedQuad(state, true, true); }
void BM_TexturedQuadOpaquePlainPath(benchmark::State& state) { TexturedQuad(state, false, false); }
void BM_TexturedQuadAlphaPlainPath(benchmark::State& state) { TexturedQuad(state, true, false); }

// Cost of one small draw with its state calls, with the test door's call recorder off (as in the
// program) and on (as in a test that reads the calls).
void SmallSprites(benchmark::State& state, bool recording) {
  QuadScene scene(true);
  platform::testing::RecordDeviceCalls(recording);
  int index = 0;
  scene.BeginScene();
  for (auto _ : state) {
    scene.DrawSprite(index++);
    if (recording && index % 1024 == 0) platform::testing::TakeRecordedDeviceCalls();
  }
  scene.EndScene();
  platform::testing::RecordDeviceCalls(false);
  platform::testing::TakeRecordedDeviceCalls();
  state.counters["Mpixel/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * 16 * 16 / 1e6,
                                                  benchmark::Counter::kIsRate);
}

void BM_SmallSpriteRecorderOff(benchmark::State& state) { SmallSprites(state, false); }

// The five state calls alone, recorder off: the door's share of a draw shows here.
void BM_StateCallsRecorderOff(benchmark::State& state) {
  QuadScene scene(true);
  int index = 0;
  for (auto _ : state) scene.SetSpriteStates(index++);
}
void BM_SmallSpriteRecorderOn(benchmark::State& state) { SmallSprites(state, true); }

void BM_MemcpySamePicture(benchmark::State& state) {
  std::vector<uint32_t> source(kWidth * kHeight), destination(kWidth * kHeight);
  std::mt19937 random(2);
  for (uint32_t& pixel : source) pixel = random();
  for (auto _ : state) {
    std::memcpy(destination.data(), source.data(), source.size() * 4);
    benchmark::DoNotOptimize(destination.data());
    benchmark::ClobberMemory();
  }
  ReportPixels(state);
}

// The same picture through the software path: a 32-bit MEMIMG blit, copy or alpha blend.
void MemImgBlit(benchmark::State& state, int blendMode, int blendParam) {
  SetupMemImgBlendTables();
  MEMIMG source = {}, destination = {};
  SetupMemImg(&source, kWidth, kHeight, -1, 0, 1, 0, 0, 0, nullptr);
  SetupMemImg(&destination, kWidth, kHeight, -1, 0, 1, 0, 0, 0, nullptr);
  std::mt19937 random(3);
  for (int i = 0; i < source.Core->Pitch * kHeight; ++i) source.Core->PixelBuffer[i] = static_cast<uint8_t>(random());
  const MemImgDrawSettings settings = {{0, 0, kWidth, kHeight}, blendMode, blendParam, 0xFFFFFF};
  for (auto _ : state) {
    BlitMemImgAt(&destination, &source, 0, 0, 0, nullptr, settings);
    benchmark::ClobberMemory();
  }
  ReportPixels(state);
  ReleaseMemImg(&source);
  ReleaseMemImg(&destination);
}

// SDL2's software blit of the same picture onto an XRGB8888 surface: a plain copy, and blending
// by the source's alpha.
void SdlBlit(benchmark::State& state, SDL_BlendMode mode) {
  SDL_Surface* source = SDL_CreateRGBSurfaceWithFormat(0, kWidth, kHeight, 32, SDL_PIXELFORMAT_ARGB8888);
  SDL_Surface* destination = SDL_CreateRGBSurfaceWithFormat(0, kWidth, kHeight, 32, SDL_PIXELFORMAT_RGB888);
  std::mt19937 random(1);
  for (int y = 0; y < kHeight; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(source->pixels) + y * source->pitch);
    for (int x = 0; x < kWidth; ++x) row[x] = random();
  }
  SDL_SetSurfaceBlendMode(source, mode);
  for (auto _ : state) {
    SDL_BlitSurface(source, nullptr, destination, nullptr);
    benchmark::ClobberMemory();
  }
  ReportPixels(state);
  SDL_FreeSurface(source);
  SDL_FreeSurface(destination);
}
void BM_SdlSoftwareCopy(benchmark::State& state) { SdlBlit(state, SDL_BLENDMODE_NONE); }
void BM_SdlSoftwareBlend(benchmark::State& state) { SdlBlit(state, SDL_BLENDMODE_BLEND); }

void BM_MemImgBlitOpaque(benchmark::State& state) { MemImgBlit(state, 0, 0); }
void BM_MemImgBlitAlpha(benchmark::State& state) { MemImgBlit(state, 1, 128); }

BENCHMARK(BM_TexturedQuadOpaque)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TexturedQuadAlpha)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TexturedQuadOpaquePlainPath)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TexturedQuadAlphaPlainPath)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TurnedQuadOpaque)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TurnedQuadAlpha)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TurnedQuadOpaquePlainPath)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SmallSpriteRecorderOff)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_SmallSpriteRecorderOn)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_StateCallsRecorderOff)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_MemImgBlitOpaque)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MemImgBlitAlpha)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MemcpySamePicture)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SdlSoftwareCopy)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SdlSoftwareBlend)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  return RunBenchmarksWithRatios(argc, argv, "Mpixel/s",
                                 {{"BM_TexturedQuadOpaque", "BM_MemcpySamePicture"},
                                  {"BM_TexturedQuadOpaque", "BM_SdlSoftwareCopy"},
                                  {"BM_TexturedQuadAlpha", "BM_SdlSoftwareBlend"},
                                  {"BM_TurnedQuadOpaque", "BM_MemcpySamePicture"},
                                  {"BM_TurnedQuadAlpha", "BM_SdlSoftwareBlend"},
                                  {"BM_MemImgBlitOpaque", "BM_MemcpySamePicture"}},
                                 1.0);
}
