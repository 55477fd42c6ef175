// Fuzz target: a script of triangles, boxes and lines with any coordinates, texel positions, draw
// areas, blend modes, parameters and bright colours, into 16- and 32-bit images whose buffers are
// exactly as large as the image (so the sanitizer sees any overrun). Pixels outside the draw area
// must keep their values.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_script.h"
#include "zyvel/memimg.h"

namespace {

struct Script : FuzzScript {
  // Small values most of the time, any word when the selector byte says so.
  int32_t Coordinate() {
    const uint8_t selector = Byte();
    if (selector >= 0xF0) return static_cast<int32_t>(Word());
    return static_cast<int32_t>(selector % 64) - 16;
  }
};

struct Image {
  std::vector<uint8_t> Buffer;
  std::vector<uint8_t> Palette;
  MemImgCore Core{};
  MEMIMG View{};
  Image(int width, int height, int format, int bytesPerPixel, int usePalette, int useAlpha)
      : Buffer(static_cast<size_t>(width) * height * bytesPerPixel), Palette(2048) {
    for (size_t i = 0; i < Buffer.size(); ++i) Buffer[i] = static_cast<uint8_t>(i * 131 + 7);
    for (size_t i = 0; i < Palette.size(); ++i) Palette[i] = static_cast<uint8_t>(i * 37);
    Core.Width = width;
    Core.Height = height;
    Core.Pitch = width * bytesPerPixel;
    Core.Format = format;
    Core.UsePalette = usePalette;
    Core.UseAlpha = useAlpha;
    Core.Palette = Palette.data();
    Core.PixelBuffer = Buffer.data();
    Core.KeyColor = Buffer[0];
    View.ValidMark = kMemImgValidMark;
    View.Width = width;
    View.Height = height;
    View.Pixels = Buffer.data();
    View.Core = &Core;
  }
};

constexpr int kWidth = 24;
constexpr int kHeight = 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    SetupMemImgBlendTables();
    return true;
  }();
  (void)ready;
  Script script{{data, size}};
  const int format = script.Byte() & 1;
  const int bytes = format == 1 ? 4 : 2;
  Image dest(kWidth, kHeight, format, bytes, 0, 0);
  Image sources[3] = {Image(9, 7, format, bytes, 0, 0), Image(9, 7, format, 1, 1, 0), Image(9, 7, format, 4, 0, 1)};
  Image blend(9, 7, 2, 1, 0, 0);
  SetMemImgBlendImageBorder(script.Byte(), script.Byte());
  while (!script.Done()) {
    const uint8_t operation = script.Byte();
    MemImgDrawSettings settings;
    settings.BlendMode = script.Byte() % 14;
    settings.BlendParam = script.Byte();
    settings.BrightColor = (script.Byte() & 1) ? 0xFFFFFF : static_cast<uint32_t>(script.Word());
    const RECT area = {script.Coordinate(), script.Coordinate(), script.Coordinate(), script.Coordinate()};
    settings.DrawArea = area;
    const std::vector<uint8_t> before = dest.Buffer;
    const uint32_t color = static_cast<uint32_t>(script.Word());
    switch (operation % 3) {
      case 0: {
        MemImgVertex corners[3];
        for (MemImgVertex& corner : corners)
          corner = {script.Coordinate(), script.Coordinate(), script.Coordinate(), script.Coordinate()};
        const uint8_t choice = script.Byte();
        MEMIMG* source = choice % 4 == 3 ? nullptr : &sources[choice % 4].View;
        MapMemImgTriangle(&dest.View, source, corners, (choice >> 2) & 1, (choice >> 3) & 1 ? &blend.View : nullptr,
                          color, settings);
        break;
      }
      case 1: {
        const RECT box = {script.Coordinate(), script.Coordinate(), script.Coordinate(), script.Coordinate()};
        FillMemImgBox(&dest.View, (operation & 0x80) ? nullptr : &box, color, settings);
        break;
      }
      default: {
        MemImgLineRecord line{};
        line.x1 = script.Coordinate();
        line.y1 = script.Coordinate();
        line.x2 = script.Coordinate();
        line.y2 = script.Coordinate();
        line.color = color;
        DrawMemImgLines(&dest.View, &line, 1, settings);
        break;
      }
    }
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        if (x >= area.left && x < area.right && y >= area.top && y < area.bottom) continue;
        const size_t at = (static_cast<size_t>(y) * kWidth + x) * bytes;
        if (std::memcmp(before.data() + at, dest.Buffer.data() + at, bytes) != 0) std::abort();
      }
  }
  return 0;
}
