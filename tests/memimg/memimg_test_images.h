// Small helpers that build MEMIMG images for the tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "zyvel/memimg.h"

// The draw settings the blit tests draw under: a copy at full strength, plain bright colour and a
// draw area larger than any test image. A test that changes them puts them back.
inline MemImgDrawSettings g_blitDrawSettings = {{0, 0, 1000, 1000}, BLEND_MODE_COPY, 0, 0xFFFFFF};

// A set-up image that releases itself.
struct TestImage {
  MEMIMG image = {};
  TestImage() = default;
  TestImage(const TestImage&) = delete;
  TestImage& operator=(const TestImage&) = delete;
  ~TestImage() { ReleaseMemImg(&image); }
  MEMIMG* operator->() { return &image; }
  MEMIMG* get() { return &image; }
};

inline uint8_t* PixelAt(const MEMIMG* image, int x, int y) {
  return image->Pixels + static_cast<ptrdiff_t>(y) * image->Core->Pitch + x * GetMemImgBytesPerPixel(image->Core);
}

inline uint32_t ReadPixelAt(const MEMIMG* image, int x, int y) {
  uint32_t value = 0;
  std::memcpy(&value, PixelAt(image, x, y), GetMemImgBytesPerPixel(image->Core));
  return value;
}

inline void WritePixelAt(MEMIMG* image, int x, int y, uint32_t value) {
  std::memcpy(PixelAt(image, x, y), &value, GetMemImgBytesPerPixel(image->Core));
}

// The whole pixel buffer of the store, padding included. Only images whose padding was written
// (copied or filled as a whole) compare this way: a new store's padding is never set.
inline std::vector<uint8_t> StoreBytes(const MEMIMG* image) {
  const MemImgCore* core = image->Core;
  return std::vector<uint8_t>(core->PixelBuffer, core->PixelBuffer + static_cast<size_t>(core->Pitch) * core->Height);
}

// The image's pixels row by row, without the padding between rows.
inline std::vector<uint8_t> PixelBytes(const MEMIMG* image) {
  const size_t rowBytes = static_cast<size_t>(image->Width) * GetMemImgBytesPerPixel(image->Core);
  std::vector<uint8_t> bytes;
  for (int y = 0; y < image->Height; ++y) {
    const uint8_t* row = PixelAt(image, 0, y);
    bytes.insert(bytes.end(), row, row + rowBytes);
  }
  return bytes;
}

inline void FillRandom(MEMIMG* image, std::mt19937& random) {
  MemImgCore* core = image->Core;
  for (int i = 0; i < core->Pitch * core->Height; ++i) core->PixelBuffer[i] = static_cast<uint8_t>(random());
}
