// Pictures into windows: each present is shown in the window's SDL window and, while a test asks
// for frames, kept as the last presented picture for the test door.
#include <SDL.h>

#include <atomic>
#include <cstring>
#include <mutex>

#include "user/user_state.h"

#include "platform/testing.h"
#include "platform/window_surface.h"

namespace {
std::atomic<bool> g_keepFrames{false};
std::mutex g_frameMutex;
platform::testing::PresentedFrame g_lastFrame;
}  // namespace

namespace platform {
namespace {

// Copies the pixels, stretched to `destination`, into the window's SDL surface.
void ShowInSdlWindow(HWND window, const void* pixels, int width, int height, int pitch, const RECT* destination) {
  SDL_Window* sdl = SdlWindowOf(window);
  if (!sdl) return;
  SDL_Surface* target = SDL_GetWindowSurface(sdl);
  if (!target) return;
  SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<void*>(pixels), width, height, 32, pitch,
                                                           SDL_PIXELFORMAT_RGB888);
  if (!source) return;
  SDL_Rect area{0, 0, target->w, target->h};
  if (destination)
    area = SDL_Rect{destination->left, destination->top, destination->right - destination->left,
                    destination->bottom - destination->top};
  if (area.w == width && area.h == height)
    SDL_BlitSurface(source, nullptr, target, &area);
  else
    SDL_BlitScaled(source, nullptr, target, &area);
  SDL_FreeSurface(source);
  SDL_UpdateWindowSurface(sdl);
}

}  // namespace

bool PresentToWindow(HWND window, const void* pixels, int width, int height, int pitch, const RECT* destination) {
  if (!window || !pixels || width <= 0 || height <= 0 || pitch < width * 4) return false;
  ShowInSdlWindow(window, pixels, width, height, pitch, destination);
  if (!g_keepFrames.load(std::memory_order_relaxed)) return true;
  std::lock_guard<std::mutex> lock(g_frameMutex);
  g_lastFrame.window = window;
  g_lastFrame.width = width;
  g_lastFrame.height = height;
  g_lastFrame.pixels.resize(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y)
    std::memcpy(&g_lastFrame.pixels[static_cast<size_t>(y) * width],
                static_cast<const char*>(pixels) + static_cast<size_t>(y) * pitch, static_cast<size_t>(width) * 4);
  g_lastFrame.destination = destination ? *destination : RECT{0, 0, width, height};
  ++g_lastFrame.serial;
  return true;
}

}  // namespace platform

namespace platform::testing {

void KeepPresentedFrames(bool on) {
  g_keepFrames = on;
  if (on) return;
  std::lock_guard<std::mutex> lock(g_frameMutex);
  g_lastFrame = PresentedFrame{};
}

bool LastPresentedFrame(PresentedFrame* out) {
  std::lock_guard<std::mutex> lock(g_frameMutex);
  if (g_lastFrame.serial == 0) return false;
  *out = g_lastFrame;
  return true;
}

bool PresentsThroughRenderer(HWND window) {
  SDL_Window* sdl = SdlWindowOf(window);
  // SDL keeps the renderer of a texture-backed window surface as the window's renderer.
  return sdl && SDL_GetRenderer(sdl) != nullptr;
}

}  // namespace platform::testing
