// Test images for the rasteriser: MEMIMG records built by hand over a buffer of exactly
// pitch x height bytes (so the sanitizer sees any write past the image), with a pitch wider than
// a row so a drawer that ignores the pitch shows; and the draw settings every test starts from.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "zyvel/memimg.h"

// The draw settings every rasteriser call of the tests draws under; RasterTest resets them.
inline MemImgDrawSettings g_rasterDrawSettings = {};

struct RasterImage {
  std::vector<uint8_t> Buffer;
  std::vector<uint8_t> PaletteBytes;
  MemImgCore Core{};
  MEMIMG Image{};

  // format 0 or 1 as in the core; bytesPerPixel 1 (paletted or format 2), 2 or 4.
  RasterImage(int width, int height, int format, int bytesPerPixel, int usePalette = 0, int useAlpha = 0,
              int padding = 12)
      : Buffer(static_cast<size_t>(width * bytesPerPixel + padding) * height, 0), PaletteBytes(2048, 0) {
    Core.RefCount = 1;
    Core.Width = width;
    Core.Height = height;
    Core.Pitch = width * bytesPerPixel + padding;
    Core.PitchShift = -1;
    Core.Format = format;
    Core.UsePalette = usePalette;
    Core.UseAlpha = useAlpha;
    Core.Palette = PaletteBytes.data();
    Core.PixelBuffer = Buffer.data();
    Core.UserPixels = 1;
    Image.ValidMark = kMemImgValidMark;
    Image.Width = width;
    Image.Height = height;
    Image.Pixels = Buffer.data();
    Image.Core = &Core;
    PixelBytes = bytesPerPixel;
  }
  RasterImage(const RasterImage&) = delete;
  RasterImage& operator=(const RasterImage&) = delete;

  int PixelBytes;
  MEMIMG* Get() { return &Image; }

  uint8_t* At(int x, int y) {
    return Buffer.data() + static_cast<size_t>(y) * Core.Pitch + static_cast<size_t>(x) * PixelBytes;
  }
  uint32_t Pixel(int x, int y) {
    uint32_t value = 0;
    std::memcpy(&value, At(x, y), static_cast<size_t>(PixelBytes));
    return value;
  }
  void SetPixel(int x, int y, uint32_t value) { std::memcpy(At(x, y), &value, static_cast<size_t>(PixelBytes)); }
  void Fill(uint32_t value) {
    for (int y = 0; y < Image.Height; ++y)
      for (int x = 0; x < Image.Width; ++x) SetPixel(x, y, value);
  }
  void SetPaletteEntry(int index, uint32_t value) {
    const size_t size = Core.Format == 1 ? 4 : 2;
    std::memcpy(PaletteBytes.data() + index * size, &value, size);
  }
};

// Every test starts from a copy at full strength, white bright colour, the whole 4096 x 4096 plane
// as draw area (cut to each image by the drawers), and an identity blend-image table.
class RasterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static const bool tablesReady = [] {
      SetupMemImgBlendTables();
      return true;
    }();
    (void)tablesReady;
    SetMemImgBlendImageBorder(128, 255);
    g_rasterDrawSettings.BlendMode = 0;
    g_rasterDrawSettings.BlendParam = 255;
    g_rasterDrawSettings.BrightColor = 0xFFFFFF;
    g_rasterDrawSettings.DrawArea = RECT{0, 0, 4096, 4096};
  }
};
