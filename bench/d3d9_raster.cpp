// Fill rate of the software Direct3D 9 device: a 408 x 504 textured quad drawn 1:1 onto a
// 408 x 504 X8R8G8B8 back buffer, opaque and alpha-blended, on the fast span paths and on the
// plain reference path, the same with the picture turned inside the quad (every pixel steps its
// own texture coordinates), beside the MEMIMG software blit of the same picture and memcpy (the
// physical reference) and SDL2's software renderer blitting the same picture (copy and blend);
// the per-draw cost of small sprites with their state calls; and one quad of 16 to 1024 pixels
// square drawn 1:1, opaque and blended, beside memcpy of the same picture row by row into a
// target of the device's pitch. The table at the end gives the ratios.
#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
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

// `rows` rows of `width` 32-bit pixels from one pitch to another (pitches in bytes).
void CopyRows(void* to, int toPitch, const void* from, int fromPitch, int width, int rows) {
  for (int y = 0; y < rows; ++y)
    std::memcpy(static_cast<uint8_t*>(to) + static_cast<ptrdiff_t>(y) * toPitch,
                static_cast<const uint8_t*>(from) + static_cast<ptrdiff_t>(y) * fromPitch,
                static_cast<size_t>(width) * 4);
}

// A software device on an X8R8G8B8 back buffer with one dynamic A8R8G8B8 texture holding
// `picture` (rows of `pictureWidth` texels) and the states every quad here draws with: no culling
// or lighting, blending by the source's alpha when `blend`, clamped coordinates, texture times
// diffuse colour.
struct QuadDevice {
  QuadDevice(int targetWidth, int targetHeight, DWORD flags, const std::vector<uint32_t>& picture, int pictureWidth,
             bool blend) {
    const int pictureHeight = static_cast<int>(picture.size() / pictureWidth);
    direct3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS parameters{};
    parameters.BackBufferWidth = targetWidth;
    parameters.BackBufferHeight = targetHeight;
    parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
    parameters.SwapEffect = D3DSWAPEFFECT_COPY;
    parameters.hDeviceWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(1));
    parameters.Windowed = TRUE;
    parameters.Flags = flags;
    parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    direct3d->CreateDevice(0, D3DDEVTYPE_HAL, parameters.hDeviceWindow, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                           &parameters, &device);
    device->CreateTexture(pictureWidth, pictureHeight, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture,
                          nullptr);
    D3DLOCKED_RECT locked;
    texture->LockRect(0, &locked, nullptr, 0);
    CopyRows(locked.pBits, locked.Pitch, picture.data(), pictureWidth * 4, pictureWidth, pictureHeight);
    texture->UnlockRect(0);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, blend);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    device->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    device->SetTexture(0, texture);
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
  }
  ~QuadDevice() {
    device->SetTexture(0, nullptr);
    texture->Release();
    device->Release();
    direct3d->Release();
  }
  QuadDevice(const QuadDevice&) = delete;
  QuadDevice& operator=(const QuadDevice&) = delete;

  IDirect3D9* direct3d = nullptr;
  IDirect3DDevice9* device = nullptr;
  IDirect3DTexture9* texture = nullptr;
};

// `count` random pixels from `seed`, with every alpha full when `opaque`.
std::vector<uint32_t> RandomPixels(size_t count, uint32_t seed, bool opaque) {
  std::vector<uint32_t> pixels(count);
  std::mt19937 random(seed);
  for (uint32_t& pixel : pixels) pixel = opaque ? random() | 0xFF000000u : random();
  return pixels;
}

class QuadScene {
 public:
  // Varied texels and alphas, so no branch is always taken.
  explicit QuadScene(bool blend)
      : setup_(kWidth, kHeight, 0, RandomPixels(static_cast<size_t>(kWidth) * kHeight, 1, false), kWidth, blend),
        device_(setup_.device),
        texture_(setup_.texture) {}
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
  QuadDevice setup_;
  IDirect3DDevice9* device_;
  IDirect3DTexture9* texture_;
};

// The rate of pixels written, `pixelsPerIteration` each time round.
void ReportPixels(benchmark::State& state, int64_t pixelsPerIteration = int64_t{kWidth} * kHeight) {
  state.counters["Mpixel/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * static_cast<double>(pixelsPerIteration) / 1e6,
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
  ReportPixels(state, 16 * 16);
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
  const std::vector<uint32_t> source = RandomPixels(static_cast<size_t>(kWidth) * kHeight, 2, false);
  std::vector<uint32_t> destination(source.size());
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
  CopyRows(source->pixels, source->pitch, RandomPixels(static_cast<size_t>(kWidth) * kHeight, 1, false).data(),
           kWidth * 4, kWidth, kHeight);
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

// ---- One quad of each size, beside memcpy of its picture ----

constexpr int kSizedTarget = 1024;  // The back buffer every sized quad is drawn onto, at its top-left.

class SizedQuadScene {
 public:
  // Opaque texels for the opaque quad, so that its target holds exactly the picture.
  SizedQuadScene(int size, bool blend)
      : size_(size),
        picture_(RandomPixels(static_cast<size_t>(size) * size, 5, !blend)),
        setup_(kSizedTarget, kSizedTarget, D3DPRESENTFLAG_LOCKABLE_BACKBUFFER, picture_, size, blend),
        device_(setup_.device) {
    device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back_);
  }
  ~SizedQuadScene() { back_->Release(); }
  void BeginScene() { device_->BeginScene(); }
  void EndScene() { device_->EndScene(); }
  void Clear(D3DCOLOR color) { device_->Clear(0, nullptr, D3DCLEAR_TARGET, color, 1.0f, 0); }
  // The quad at the top-left, one texel per pixel, corners on the half pixel as the library puts them.
  void Draw() {
    const float edge = static_cast<float>(size_) - 0.5f;
    const Vertex quad[4] = {{-0.5f, -0.5f, 0, 1, 0xFFFFFFFF, 0, 0},
                            {edge, -0.5f, 0, 1, 0xFFFFFFFF, 1, 0},
                            {-0.5f, edge, 0, 1, 0xFFFFFFFF, 0, 1},
                            {edge, edge, 0, 1, 0xFFFFFFFF, 1, 1}};
    device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
  }
  // The quad's square of the back buffer.
  std::vector<uint32_t> ReadQuad() {
    std::vector<uint32_t> pixels(static_cast<size_t>(size_) * size_);
    D3DLOCKED_RECT locked;
    back_->LockRect(&locked, nullptr, D3DLOCK_READONLY);
    CopyRows(pixels.data(), size_ * 4, locked.pBits, locked.Pitch, size_, size_);
    back_->UnlockRect();
    return pixels;
  }
  const std::vector<uint32_t>& Picture() const { return picture_; }

 private:
  int size_;
  std::vector<uint32_t> picture_;
  QuadDevice setup_;
  IDirect3DDevice9* device_;
  IDirect3DSurface9* back_ = nullptr;
};

// The blended quad's pixels on the plain path, over the same background, for the check.
std::vector<uint32_t> PlainBlendedQuad(int size) {
  platform::testing::UseRasterFastPaths(false);
  SizedQuadScene scene(size, true);
  scene.Clear(0xFF336699);
  scene.BeginScene();
  scene.Draw();
  scene.EndScene();
  platform::testing::UseRasterFastPaths(true);
  return scene.ReadQuad();
}

void DeviceQuad(benchmark::State& state, bool blend) {
  const int size = static_cast<int>(state.range(0));
  SizedQuadScene scene(size, blend);
  scene.Clear(0xFF336699);
  scene.BeginScene();
  scene.Draw();
  scene.EndScene();
  if (FirstTime((blend ? "blended quad " : "opaque quad ") + std::to_string(size))) {
    if (blend)
      RequireSameOutput(scene.ReadQuad() == PlainBlendedQuad(size), "blended device quad against the plain path");
    else
      RequireSameOutput(scene.ReadQuad() == scene.Picture(), "opaque device quad against its picture");
  }
  scene.BeginScene();
  for (auto _ : state) scene.Draw();
  scene.EndScene();
  ReportPixels(state, int64_t{size} * size);
}
void BM_DeviceQuadOpaque(benchmark::State& state) { DeviceQuad(state, false); }
void BM_DeviceQuadAlpha(benchmark::State& state) { DeviceQuad(state, true); }

// The physical reference: the quad's picture copied row by row into a target of the same pitch.
void BM_MemcpyQuadPicture(benchmark::State& state) {
  const int size = static_cast<int>(state.range(0));
  const std::vector<uint32_t> picture = RandomPixels(static_cast<size_t>(size) * size, 5, true);
  std::vector<uint32_t> target(static_cast<size_t>(kSizedTarget) * kSizedTarget);
  for (auto _ : state) {
    for (int y = 0; y < size; ++y)
      std::memcpy(&target[static_cast<size_t>(y) * kSizedTarget], &picture[static_cast<size_t>(y) * size],
                  static_cast<size_t>(size) * 4);
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  ReportPixels(state, int64_t{size} * size);
}

void QuadSizes(benchmark::internal::Benchmark* bench) {
  for (int size : {16, 24, 64, 256, 1024}) bench->Arg(size);
}

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
BENCHMARK(BM_DeviceQuadOpaque)->Apply(QuadSizes)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_DeviceQuadAlpha)->Apply(QuadSizes)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_MemcpyQuadPicture)->Apply(QuadSizes)->Unit(benchmark::kNanosecond);

}  // namespace

int main(int argc, char** argv) {
  std::vector<RatioPair> pairs = {{"BM_TexturedQuadOpaque", "BM_MemcpySamePicture"},
                                  {"BM_TexturedQuadAlpha", "BM_SdlSoftwareBlend"},
                                  {"BM_TurnedQuadOpaque", "BM_MemcpySamePicture"},
                                  {"BM_TurnedQuadAlpha", "BM_SdlSoftwareBlend"},
                                  {"BM_MemImgBlitOpaque", "BM_MemcpySamePicture"}};
  // SDL2's copy converts the format as it goes: an extra row, not the quad's reference.
  pairs.push_back({"BM_TexturedQuadOpaque", "BM_SdlSoftwareCopy"});
  for (const char* size : {"16", "24", "64", "256", "1024"})
    for (const char* quad : {"BM_DeviceQuadOpaque/", "BM_DeviceQuadAlpha/"})
      pairs.push_back({quad + std::string(size), "BM_MemcpyQuadPicture/" + std::string(size)});
  return RunBenchmarksWithRatios(argc, argv, "Mpixel/s", pairs, 1.0);
}
