// The last presented picture of each process, kept for the test door.
#include <cstring>
#include <mutex>

#include "platform/testing.h"
#include "platform/window_surface.h"

namespace {
std::mutex g_frameMutex;
platform::testing::PresentedFrame g_lastFrame;
}  // namespace

namespace platform {

bool PresentToWindow(HWND window, const void* pixels, int width, int height, int pitch, const RECT* destination) {
  if (!window || !pixels || width <= 0 || height <= 0 || pitch < width * 4) return false;
  std::lock_guard<std::mutex> lock(g_frameMutex);
  g_lastFrame.window = window;
  g_lastFrame.width = width;
  g_lastFrame.height = height;
  g_lastFrame.pixels.resize(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y)
    std::memcpy(&g_lastFrame.pixels[static_cast<size_t>(y) * width], static_cast<const char*>(pixels) + static_cast<size_t>(y) * pitch,
                static_cast<size_t>(width) * 4);
  g_lastFrame.destination = destination ? *destination : RECT{0, 0, width, height};
  ++g_lastFrame.serial;
  return true;
}

}  // namespace platform

namespace platform::testing {

bool LastPresentedFrame(PresentedFrame* out) {
  std::lock_guard<std::mutex> lock(g_frameMutex);
  if (g_lastFrame.serial == 0) return false;
  *out = g_lastFrame;
  return true;
}

}  // namespace platform::testing
