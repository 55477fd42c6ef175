// DDS loader: DirectDraw Surface files. DXT1 to DXT5 data stay compressed in the image with their
// mip chain, so that texture upload can hand them to the device as they are (DecodeDxtBaseImage
// makes plain pixels when something needs them); uncompressed files become plain images described
// by their masks, or by the Direct3D format number a file may carry in its four-character code.
//
// Levels are whole blocks: a level of w x h holds max(1, ceil(w / 4)) x max(1, ceil(h / 4))
// blocks, so 1 x 1, 3 x 5 or 5 x 3 pictures and the small levels of any chain keep their data.
// Uncompressed levels below the top one are packed rows of their own width, as texture upload
// reads them.
//
// Luminance files (L8, A4L4, A8L8, L16) are grey: their one colour mask stands for red, green and
// blue alike. One-byte files with alpha (A8, A4L4) become ARGB8, since a palette holds no alpha;
// an alpha-only file (A8) is white under its alpha.
//
// Refused: a bad magic or short header; a four-character code that is neither DXT1 to DXT5 nor a
// Direct3D format number of the table (extended headers among them); bit counts other than 8, 16,
// 24 and 32; a given pitch shorter than a row of pixels; sides or sizes beyond the loaders' limits;
// data shorter than the levels the header announces.
#include <algorithm>
#include <cstring>

#include "graphics/images/image_loader.h"

namespace {

struct DdsFormatCode {
  int32_t code;
  int bits;
  uint32_t redMask;
  uint32_t greenMask;
  uint32_t blueMask;
  uint32_t alphaMask;
};

// Direct3D format numbers an uncompressed file may name instead of giving its masks.
const DdsFormatCode DdsFormatCodeTable[] = {
    {20, 24, 0xFF0000, 0xFF00, 0xFF, 0},               // R8G8B8
    {21, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},      // A8R8G8B8
    {22, 32, 0xFF0000, 0xFF00, 0xFF, 0},               // X8R8G8B8
    {23, 16, 0xF800, 0x07E0, 0x001F, 0},               // R5G6B5
    {24, 16, 0x7C00, 0x03E0, 0x001F, 0},               // X1R5G5B5
    {25, 16, 0x7C00, 0x03E0, 0x001F, 0x8000},          // A1R5G5B5
    {26, 16, 0x0F00, 0x00F0, 0x000F, 0xF000},          // A4R4G4B4
    {27, 8, 0xE0, 0x1C, 0x03, 0},                      // R3G3B2
    {29, 16, 0xE0, 0x1C, 0x03, 0xFF00},                // A8R3G3B2
    {30, 16, 0x0F00, 0x00F0, 0x000F, 0},               // X4R4G4B4
    {31, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000},  // A2B10G10R10
    {32, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000},      // A8B8G8R8
    {33, 32, 0xFF, 0xFF00, 0xFF0000, 0},               // X8B8G8R8
    {35, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000},  // A2R10G10B10
    {-1, 0, 0, 0, 0, 0},
};

// Header words, by their offset from the start of the file.
enum DdsHeaderOffset : int {
  kDdsFlags = 8,
  kDdsHeight = 12,
  kDdsWidth = 16,
  kDdsPitch = 20,
  kDdsMipMapCount = 28,
  kDdsPixelFlags = 80,
  kDdsFourCC = 84,
  kDdsRgbBitCount = 88,
  kDdsRedMask = 92,
  kDdsGreenMask = 96,
  kDdsBlueMask = 100,
  kDdsAlphaMask = 104,
  kDdsCaps = 108,
  kDdsDataStart = 128,
};

constexpr uint32_t kDdsFlagPitch = 0x8;
constexpr uint32_t kDdsFlagMipMapCount = 0x20000;
constexpr uint32_t kDdsPixelFourCCCode = 0x4;
constexpr uint32_t kDdsPixelLuminance = 0x20000;
constexpr uint32_t kDdsCapsComplex = 0x8;
constexpr uint32_t kDdsCapsMipMap = 0x400000;

constexpr uint32_t FourCC(const char (&text)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(text[0])) |
         static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[3])) << 24;
}

const DdsFormatCode* FindDdsFormatCode(uint32_t code) {
  for (const DdsFormatCode* row = DdsFormatCodeTable; row->code != -1; ++row)
    if (static_cast<uint32_t>(row->code) == code) return row;
  return nullptr;
}

// Levels from the top one down to 1 x 1.
int FullChainLength(int64_t width, int64_t height) {
  int levels = 1;
  while (width > 1 || height > 1) {
    width = std::max<int64_t>(1, width / 2);
    height = std::max<int64_t>(1, height / 2);
    ++levels;
  }
  return levels;
}

// A byte value's channel under one of the file's masks, scaled to 0-255.
uint8_t ExpandByteChannel(uint32_t value, uint32_t mask) {
  mask &= 0xFF;
  if (mask == 0) return 0;
  int shift = 0;
  while (((mask >> shift) & 1u) == 0) ++shift;
  const uint32_t maximum = mask >> shift;
  return static_cast<uint8_t>(((value & mask) >> shift) * 255u / maximum);
}

// One byte per pixel is a palette format to the rest of the library: the palette spells out the
// colour of every byte value through the file's masks.
void SetupMaskPalette(ColorData* color, uint32_t redMask, uint32_t greenMask, uint32_t blueMask) {
  SetupPalette8ColorData(color);
  for (uint32_t i = 0; i < 256; ++i)
    color->palette[i] = {ExpandByteChannel(i, blueMask), ExpandByteChannel(i, greenMask), ExpandByteChannel(i, redMask),
                         0};
}

// One-byte pixels with an alpha mask, as ARGB8 words, level by level: the top level's rows are
// `pitch` apart in the file, the smaller levels packed. Without colour masks the colour is white.
uint8_t* ExpandAlphaBytes(const uint8_t* bytes, int64_t width, int64_t height, int64_t pitch, int levels,
                          const uint32_t masks[4], int64_t expandedBytes) {
  auto* words = static_cast<uint8_t*>(ZV_ALLOC(static_cast<int>(expandedBytes)));
  if (!words) return nullptr;
  const bool colourless = ((masks[0] | masks[1] | masks[2]) & 0xFF) == 0;
  uint8_t table[256][4];
  for (uint32_t i = 0; i < 256; ++i) {
    table[i][0] = colourless ? 255 : ExpandByteChannel(i, masks[2]);
    table[i][1] = colourless ? 255 : ExpandByteChannel(i, masks[1]);
    table[i][2] = colourless ? 255 : ExpandByteChannel(i, masks[0]);
    table[i][3] = ExpandByteChannel(i, masks[3]);
  }
  uint8_t* out = words;
  for (int level = 0; level < levels; ++level) {
    for (int64_t y = 0; y < height; ++y) {
      const uint8_t* row = bytes + y * (level == 0 ? pitch : width);
      for (int64_t x = 0; x < width; ++x, out += 4) std::memcpy(out, table[row[x]], 4);
    }
    bytes += level == 0 ? pitch * height : width * height;
    width = std::max<int64_t>(1, width / 2);
    height = std::max<int64_t>(1, height / 2);
  }
  return words;
}

}  // namespace

int LoadDdsImage(ImageLoadSource* source, BaseImage* out) {
  uint8_t header[kDdsDataStart];
  if (!ReadSourceBytes(source, header, 4) || header[0] != 'D' || header[1] != 'D' || header[2] != 'S') return -1;
  if (!ReadSourceBytes(source, header + 4, kDdsDataStart - 4)) return -1;
  const uint32_t flags = ReadLittle32(header + kDdsFlags);
  const int64_t height = ReadLittle32(header + kDdsHeight);
  const int64_t width = ReadLittle32(header + kDdsWidth);
  const uint32_t pixelFlags = ReadLittle32(header + kDdsPixelFlags);
  const uint32_t fourCC = ReadLittle32(header + kDdsFourCC);
  const uint32_t caps = ReadLittle32(header + kDdsCaps);

  int bits = static_cast<int>(ReadLittle32(header + kDdsRgbBitCount) & 0xFFFF);
  uint32_t masks[4] = {ReadLittle32(header + kDdsRedMask), ReadLittle32(header + kDdsGreenMask),
                       ReadLittle32(header + kDdsBlueMask), ReadLittle32(header + kDdsAlphaMask)};
  uint32_t dxtKind = 0;
  if (pixelFlags & kDdsPixelLuminance) masks[1] = masks[2] = masks[0];
  if (pixelFlags & kDdsPixelFourCCCode) {
    const DdsFormatCode* row = pixelFlags == kDdsPixelFourCCCode ? FindDdsFormatCode(fourCC) : nullptr;
    if (row) {
      bits = row->bits;
      masks[0] = row->redMask, masks[1] = row->greenMask, masks[2] = row->blueMask, masks[3] = row->alphaMask;
    } else {
      const uint32_t codes[] = {FourCC("DXT1"), FourCC("DXT2"), FourCC("DXT3"), FourCC("DXT4"), FourCC("DXT5")};
      for (uint32_t kind = 1; kind <= 5; ++kind)
        if (fourCC == codes[kind - 1]) dxtKind = kind;
      if (dxtKind == 0) return -1;
    }
  }

  int mipMapCount = 0;
  if ((flags & kDdsFlagMipMapCount) && (caps & kDdsCapsComplex) && (caps & kDdsCapsMipMap)) {
    // A longer chain than the picture has levels reads nothing more.
    const int64_t announced = ReadLittle32(header + kDdsMipMapCount);
    mipMapCount = static_cast<int>(std::min<int64_t>(announced, FullChainLength(width, height)));
  }
  const int levels = std::max(1, mipMapCount);

  int64_t pitch = 0;
  int64_t total = 0;
  if (dxtKind != 0) {
    // The decoded picture must fit the limits as well as the blocks.
    if (!IsImageSizeAcceptable(width, height, width * 4)) return -1;
    const int64_t blockBytes = dxtKind == 1 ? 8 : 16;
    for (int level = 0, w = static_cast<int>(width), h = static_cast<int>(height); level < levels;
         ++level, w = std::max(1, w / 2), h = std::max(1, h / 2))
      total += std::max(1, (w + 3) / 4) * static_cast<int64_t>(std::max(1, (h + 3) / 4)) * blockBytes;
  } else {
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return -1;
    const int64_t bytesPerPixel = bits / 8;
    pitch = (flags & kDdsFlagPitch) ? ReadLittle32(header + kDdsPitch) : bytesPerPixel * width;
    if (pitch < bytesPerPixel * width || !IsImageSizeAcceptable(width, height, pitch)) return -1;
    total = pitch * height;
    for (int level = 1, w = static_cast<int>(width), h = static_cast<int>(height); level < levels; ++level) {
      w = std::max(1, w / 2), h = std::max(1, h / 2);
      total += bytesPerPixel * w * h;
    }
  }
  if (total > MaximumImageBytes || MeasureSourceRemaining(source) < total) return -1;

  auto* pixels = static_cast<uint8_t*>(ZV_ALLOC(static_cast<int>(total)));
  if (!pixels) return -1;
  if (!ReadSourceBytes(source, pixels, total)) {
    ZV_FREE(pixels);
    return -1;
  }

  if (dxtKind == 0 && bits == 8 && (masks[3] & 0xFF) != 0) {
    // Four bytes for each pixel (the top level's row padding dropped): that must fit the limit too.
    const int64_t expanded = 4 * (total - (pitch - width) * height);
    uint8_t* words = expanded <= MaximumImageBytes
                         ? ExpandAlphaBytes(pixels, width, height, pitch, levels, masks, expanded)
                         : nullptr;
    ZV_FREE(pixels);
    if (!words) return -1;
    pixels = words;
    pitch = width * 4;
    SetupARGB8ColorData(&out->color);
  } else if (dxtKind != 0) {
    SetupARGB8ColorData(&out->color);
    out->color.dxtKind = dxtKind;
    out->color.bitDepth = dxtKind == 1 ? 4 : 8;
  } else if (bits == 8) {
    SetupMaskPalette(&out->color, masks[0], masks[1], masks[2]);
  } else {
    SetupColorDataFromMasks(&out->color, bits, masks[0], masks[1], masks[2], masks[3]);
  }
  out->width = static_cast<int32_t>(width);
  out->height = static_cast<int32_t>(height);
  out->pitch = static_cast<int32_t>(pitch);
  out->pixels = pixels;
  out->mipMapCount = mipMapCount;
  return 0;
}
