// The colour layouts of Direct3D formats, and of each kind of graph texture as the library writes
// it, built once from their masks.

#include "graphics/device/render_device.h"

namespace {

struct FormatMasks {
  D3DFORMAT format;
  int bits;
  uint32_t red, green, blue, alpha;
};

const FormatMasks kFormatMasks[] = {
    {D3DFMT_R8G8B8, 24, 0xFF0000, 0xFF00, 0xFF, 0},
    {D3DFMT_A8R8G8B8, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {D3DFMT_X8R8G8B8, 32, 0xFF0000, 0xFF00, 0xFF, 0},
    {D3DFMT_R5G6B5, 16, 0xF800, 0x7E0, 0x1F, 0},
    {D3DFMT_X1R5G5B5, 16, 0x7C00, 0x3E0, 0x1F, 0},
    {D3DFMT_A1R5G5B5, 16, 0x7C00, 0x3E0, 0x1F, 0x8000},
    {D3DFMT_A4R4G4B4, 16, 0xF00, 0xF0, 0xF, 0xF000},
    {D3DFMT_R3G3B2, 8, 0xE0, 0x1C, 0x3, 0},
    {D3DFMT_A8R3G3B2, 16, 0xE0, 0x1C, 0x3, 0xFF00},
    {D3DFMT_X4R4G4B4, 16, 0xF00, 0xF0, 0xF, 0},
    {D3DFMT_A2B10G10R10, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000},
    {D3DFMT_A8B8G8R8, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000},
    {D3DFMT_X8B8G8R8, 32, 0xFF, 0xFF00, 0xFF0000, 0},
    {D3DFMT_A2R10G10B10, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000},
};
constexpr int kFormatCount = sizeof(kFormatMasks) / sizeof(kFormatMasks[0]);

// Masks of the texture kinds 0-13 (0 16-bit, 1 32-bit, 2 16-bit alpha, 3 32-bit alpha, 4 16-bit
// alpha test, 5-10 32-bit alpha, 11-13 as 0, 1 and 3).
const FormatMasks kTextureKindMasks[14] = {
    {0, 16, 0xF800, 0x7E0, 0x1F, 0},
    {0, 32, 0xFF0000, 0xFF00, 0xFF, 0},
    {0, 16, 0xF00, 0xF0, 0xF, 0xF000},
    {0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {0, 16, 0x7C00, 0x3E0, 0x1F, 0x8000},
    {0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {0, 16, 0xF800, 0x7E0, 0x1F, 0},
    {0, 32, 0xFF0000, 0xFF00, 0xFF, 0},
    {0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
};

struct BuiltLayouts {
  ColorData formats[kFormatCount];
  ColorData kinds[14];
};

const BuiltLayouts& Layouts() {
  static const BuiltLayouts* layouts = [] {
    auto* built = new BuiltLayouts{};
    for (int i = 0; i < kFormatCount; ++i) {
      const FormatMasks& m = kFormatMasks[i];
      SetupColorDataFromMasks(&built->formats[i], m.bits, m.red, m.green, m.blue, m.alpha);
    }
    for (int i = 0; i < 14; ++i) {
      const FormatMasks& m = kTextureKindMasks[i];
      SetupColorDataFromMasks(&built->kinds[i], m.bits, m.red, m.green, m.blue, m.alpha);
      if (i >= kTextureFormatDxt1 && i <= kTextureFormatDxt5) {
        built->kinds[i].dxtKind = static_cast<uint32_t>(i - kTextureFormatDxt1 + 1);
        built->kinds[i].bitDepth = i == kTextureFormatDxt1 ? 4 : 8;
      }
    }
    return built;
  }();
  return *layouts;
}

}  // namespace

const ColorData* GetFormatColorData(D3DFORMAT format) {
  for (int i = 0; i < kFormatCount; ++i)
    if (kFormatMasks[i].format == format) return &Layouts().formats[i];
  return nullptr;
}

const ColorData* GetTextureFormatColorData(int index) {
  if (index < 0 || index > 13) return nullptr;
  return &Layouts().kinds[index];
}
