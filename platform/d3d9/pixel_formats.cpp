// Pixel format table and the one-pixel conversions of the software device.
#include "d3d9/pixel_formats.h"

#include <cstring>

namespace platform::d3d9 {

namespace {

const PixelFormatInfo kPixelFormats[] = {
    {D3DFMT_R8G8B8, 3, 0, false, false},     {D3DFMT_A8R8G8B8, 4, 0, false, true},
    {D3DFMT_X8R8G8B8, 4, 0, false, false},   {D3DFMT_R5G6B5, 2, 0, false, false},
    {D3DFMT_X1R5G5B5, 2, 0, false, false},   {D3DFMT_A1R5G5B5, 2, 0, false, true},
    {D3DFMT_A4R4G4B4, 2, 0, false, true},    {D3DFMT_R3G3B2, 1, 0, false, false},
    {D3DFMT_A8, 1, 0, false, true},          {D3DFMT_A8R3G3B2, 2, 0, false, true},
    {D3DFMT_X4R4G4B4, 2, 0, false, false},   {D3DFMT_A2B10G10R10, 4, 0, false, true},
    {D3DFMT_A8B8G8R8, 4, 0, false, true},    {D3DFMT_X8B8G8R8, 4, 0, false, false},
    {D3DFMT_A2R10G10B10, 4, 0, false, true}, {D3DFMT_D16_LOCKABLE, 2, 0, true, false},
    {D3DFMT_D16, 2, 0, true, false},         {D3DFMT_D24X8, 4, 0, true, false},
    {D3DFMT_D24S8, 4, 0, true, false},       {D3DFMT_D32, 4, 0, true, false},
    {D3DFMT_DXT1, 0, 8, false, true},        {D3DFMT_DXT2, 0, 16, false, true},
    {D3DFMT_DXT3, 0, 16, false, true},       {D3DFMT_DXT4, 0, 16, false, true},
    {D3DFMT_DXT5, 0, 16, false, true},
};

// Widens a `bits`-wide channel to 8 bits by repeating its top bits.
inline uint32_t Widen(uint32_t value, int bits) {
  uint32_t result = 0;
  int filled = 0;
  while (filled < 8) {
    result = (result << bits) | value;
    filled += bits;
  }
  return result >> (filled - 8);
}

inline uint32_t Pack(uint32_t argb, int alphaBits, int redBits, int greenBits, int blueBits) {
  uint32_t a = (argb >> 24) >> (8 - alphaBits), r = ((argb >> 16) & 0xFF) >> (8 - redBits);
  uint32_t g = ((argb >> 8) & 0xFF) >> (8 - greenBits), b = (argb & 0xFF) >> (8 - blueBits);
  if (alphaBits == 0) a = 0;
  return (a << (redBits + greenBits + blueBits)) | (r << (greenBits + blueBits)) | (g << blueBits) | b;
}

inline uint32_t Unpack(uint32_t value, int alphaBits, int redBits, int greenBits, int blueBits) {
  uint32_t b = value & ((1u << blueBits) - 1);
  uint32_t g = (value >> blueBits) & ((1u << greenBits) - 1);
  uint32_t r = (value >> (blueBits + greenBits)) & ((1u << redBits) - 1);
  uint32_t a = alphaBits ? Widen((value >> (blueBits + greenBits + redBits)) & ((1u << alphaBits) - 1), alphaBits)
                         : 255;
  return (a << 24) | (Widen(r, redBits) << 16) | (Widen(g, greenBits) << 8) | Widen(b, blueBits);
}

inline uint16_t Load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Load32(const uint8_t* p) {
  uint32_t value;
  std::memcpy(&value, p, 4);
  return value;
}
inline void Store16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

uint32_t Rgb565ToArgb(uint32_t value) { return Unpack(value, 0, 5, 6, 5); }

}  // namespace

const PixelFormatInfo* FindPixelFormat(D3DFORMAT format) {
  for (const PixelFormatInfo& info : kPixelFormats)
    if (info.format == format) return &info;
  return nullptr;
}

bool IsColorFormat(D3DFORMAT format) {
  const PixelFormatInfo* info = FindPixelFormat(format);
  return info && !info->depth;
}

bool IsDxtFormat(D3DFORMAT format) {
  const PixelFormatInfo* info = FindPixelFormat(format);
  return info && info->blockBytes != 0;
}

size_t RowPitchOf(D3DFORMAT format, UINT width) {
  const PixelFormatInfo* info = FindPixelFormat(format);
  if (!info) return 0;
  if (info->blockBytes) return static_cast<size_t>((width + 3) / 4) * info->blockBytes;
  return static_cast<size_t>(width) * info->bytesPerPixel;
}

UINT RowCountOf(D3DFORMAT format, UINT height) { return IsDxtFormat(format) ? (height + 3) / 4 : height; }

uint32_t ReadPixelArgb(D3DFORMAT format, const uint8_t* p) {
  switch (format) {
    case D3DFMT_A8R8G8B8:
      return Load32(p);
    case D3DFMT_X8R8G8B8:
      return Load32(p) | 0xFF000000u;
    case D3DFMT_R8G8B8:
      return 0xFF000000u | (p[2] << 16) | (p[1] << 8) | p[0];
    case D3DFMT_R5G6B5:
      return Unpack(Load16(p), 0, 5, 6, 5);
    case D3DFMT_X1R5G5B5:
      return Unpack(Load16(p) & 0x7FFF, 0, 5, 5, 5);
    case D3DFMT_A1R5G5B5:
      return Unpack(Load16(p), 1, 5, 5, 5);
    case D3DFMT_A4R4G4B4:
      return Unpack(Load16(p), 4, 4, 4, 4);
    case D3DFMT_X4R4G4B4:
      return Unpack(Load16(p) & 0x0FFF, 0, 4, 4, 4);
    case D3DFMT_R3G3B2:
      return Unpack(p[0], 0, 3, 3, 2);
    case D3DFMT_A8R3G3B2:
      return Unpack(Load16(p), 8, 3, 3, 2);
    case D3DFMT_A8:
      return static_cast<uint32_t>(p[0]) << 24;
    case D3DFMT_A8B8G8R8:
    case D3DFMT_X8B8G8R8: {
      uint32_t v = Load32(p);
      uint32_t a = format == D3DFMT_X8B8G8R8 ? 0xFF000000u : (v & 0xFF000000u);
      return a | ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
    }
    case D3DFMT_A2R10G10B10:
    case D3DFMT_A2B10G10R10: {
      uint32_t v = Load32(p);
      uint32_t a = Widen(v >> 30, 2), first = (v >> 22) & 0xFF, second = (v >> 12) & 0xFF, third = (v >> 2) & 0xFF;
      if (format == D3DFMT_A2R10G10B10) return (a << 24) | (third << 16) | (second << 8) | first;
      return (a << 24) | (first << 16) | (second << 8) | third;
    }
    default:
      return 0;
  }
}

void WritePixelArgb(D3DFORMAT format, uint8_t* p, uint32_t argb) {
  switch (format) {
    case D3DFMT_A8R8G8B8:
      Store32(p, argb);
      break;
    case D3DFMT_X8R8G8B8:
      Store32(p, argb | 0xFF000000u);
      break;
    case D3DFMT_R8G8B8:
      p[0] = static_cast<uint8_t>(argb);
      p[1] = static_cast<uint8_t>(argb >> 8);
      p[2] = static_cast<uint8_t>(argb >> 16);
      break;
    case D3DFMT_R5G6B5:
      Store16(p, Pack(argb, 0, 5, 6, 5));
      break;
    case D3DFMT_X1R5G5B5:
      Store16(p, Pack(argb, 0, 5, 5, 5) | 0x8000);
      break;
    case D3DFMT_A1R5G5B5:
      Store16(p, Pack(argb, 1, 5, 5, 5));
      break;
    case D3DFMT_A4R4G4B4:
      Store16(p, Pack(argb, 4, 4, 4, 4));
      break;
    case D3DFMT_X4R4G4B4:
      Store16(p, Pack(argb, 0, 4, 4, 4) | 0xF000);
      break;
    case D3DFMT_R3G3B2:
      p[0] = static_cast<uint8_t>(Pack(argb, 0, 3, 3, 2));
      break;
    case D3DFMT_A8R3G3B2:
      Store16(p, Pack(argb, 8, 3, 3, 2));
      break;
    case D3DFMT_A8:
      p[0] = static_cast<uint8_t>(argb >> 24);
      break;
    case D3DFMT_A8B8G8R8:
    case D3DFMT_X8B8G8R8: {
      uint32_t a = format == D3DFMT_X8B8G8R8 ? 0xFF000000u : (argb & 0xFF000000u);
      Store32(p, a | ((argb & 0xFF) << 16) | (argb & 0xFF00) | ((argb >> 16) & 0xFF));
      break;
    }
    case D3DFMT_A2R10G10B10:
    case D3DFMT_A2B10G10R10: {
      uint32_t r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
      uint32_t first = format == D3DFMT_A2R10G10B10 ? b : r, third = format == D3DFMT_A2R10G10B10 ? r : b;
      Store32(p, ((argb >> 30) << 30) | (third << 2 | third >> 6) << 20 | (g << 2 | g >> 6) << 10 |
                     (first << 2 | first >> 6));
      break;
    }
    default:
      break;
  }
}

uint32_t ReadDxtTexelArgb(D3DFORMAT format, const uint8_t* level, size_t pitch, int x, int y) {
  const PixelFormatInfo* info = FindPixelFormat(format);
  if (!info || !info->blockBytes) return 0;
  const uint8_t* block = level + static_cast<size_t>(y / 4) * pitch + static_cast<size_t>(x / 4) * info->blockBytes;
  int index = (y % 4) * 4 + (x % 4);
  const uint8_t* colorBlock = info->blockBytes == 16 ? block + 8 : block;
  uint32_t c0 = Load16(colorBlock), c1 = Load16(colorBlock + 2);
  uint32_t e0 = Rgb565ToArgb(c0), e1 = Rgb565ToArgb(c1);
  uint32_t selector = (Load32(colorBlock + 4) >> (2 * index)) & 3;
  auto mix = [](uint32_t a, uint32_t b, int wa, int wb, int total) {
    uint32_t out = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8)
      out |= ((((a >> shift) & 0xFF) * wa + ((b >> shift) & 0xFF) * wb) / total) << shift;
    return out;
  };
  uint32_t color;
  bool fourColors = format != D3DFMT_DXT1 || c0 > c1;
  if (selector == 0)
    color = e0;
  else if (selector == 1)
    color = e1;
  else if (fourColors)
    color = selector == 2 ? mix(e0, e1, 2, 1, 3) : mix(e0, e1, 1, 2, 3);
  else
    color = selector == 2 ? mix(e0, e1, 1, 1, 2) : 0;  // Three-colour mode: index 3 is transparent black.
  if (format == D3DFMT_DXT1) return color;
  uint32_t alpha;
  if (format == D3DFMT_DXT2 || format == D3DFMT_DXT3) {
    alpha = (block[index / 2] >> ((index & 1) * 4)) & 0xF;
    alpha |= alpha << 4;
  } else {
    uint32_t a0 = block[0], a1 = block[1];
    uint64_t bits = 0;
    for (int i = 0; i < 6; ++i) bits |= static_cast<uint64_t>(block[2 + i]) << (8 * i);
    uint32_t code = (bits >> (3 * index)) & 7;
    if (code == 0)
      alpha = a0;
    else if (code == 1)
      alpha = a1;
    else if (a0 > a1)
      alpha = ((8 - code) * a0 + (code - 1) * a1) / 7;
    else if (code == 6)
      alpha = 0;
    else if (code == 7)
      alpha = 255;
    else
      alpha = ((6 - code) * a0 + (code - 1) * a1) / 5;
  }
  return (color & 0x00FFFFFFu) | (alpha << 24);
}

}  // namespace platform::d3d9
