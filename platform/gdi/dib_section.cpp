// DIB sections and compatible bitmaps, and the decoding of every DIB format the picture output
// accepts: 1, 4 and 8-bit palettes, RLE4 and RLE8, 16 and 32-bit BI_RGB and bit fields, 24-bit;
// bottom-up and top-down.
#include "dib_section.h"

#include <cstring>

namespace platform {
namespace {

// Bitmaps larger than this are refused rather than allocated.
constexpr int64_t MaximumBitmapBytes = int64_t{1} << 30;

int64_t RowBytes(int width, int bitCount) { return (static_cast<int64_t>(width) * bitCount + 31) / 32 * 4; }

uint32_t ReadLittle32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// A bit-field channel scaled to 8 bits.
struct FieldChannel {
  uint32_t mask = 0;
  int shift = 0;
  uint32_t maximum = 0;

  explicit FieldChannel(uint32_t fieldMask) : mask(fieldMask) {
    if (mask == 0) return;
    while (((mask >> shift) & 1u) == 0) ++shift;
    maximum = mask >> shift;
    // Only the lowest run of the mask counts.
    uint32_t run = 0;
    while (run < 32 && ((maximum >> run) & 1u)) ++run;
    maximum = run >= 32 ? 0xFFFFFFFFu : (1u << run) - 1u;
  }
  uint32_t Read(uint32_t value) const {
    if (maximum == 0) return 0;
    const uint64_t field = (value >> shift) & maximum;
    // Bits repeated from the top, as 5-bit 31 -> 255 and 5-bit 16 -> 132.
    uint32_t run = 0;
    while (run < 32 && ((maximum >> run) & 1u)) ++run;
    if (run >= 8) return static_cast<uint32_t>(field >> (run - 8));
    uint32_t result = 0;
    int filled = 0;
    while (filled < 8) {
      result = (result << run) | static_cast<uint32_t>(field);
      filled += static_cast<int>(run);
    }
    return result >> (filled - 8);
  }
};

uint32_t PaletteColor(const BITMAPINFO* info, uint32_t count, uint32_t index) {
  if (index >= count) return 0;
  const RGBQUAD& entry = info->bmiColors[index];
  return static_cast<uint32_t>(entry.rgbBlue) | (static_cast<uint32_t>(entry.rgbGreen) << 8) |
         (static_cast<uint32_t>(entry.rgbRed) << 16);
}

// Run-length data: pairs of (count, value) with escapes for end of line, end of picture and
// moves; written in memory row order, each row then mapped by the caller.
void DecodeRunLength(const BITMAPINFO* info, const uint8_t* data, uint32_t size, bool fourBit, uint32_t colors,
                     DecodedDib* out, bool bottomUp) {
  const int width = out->width;
  const int height = out->height;
  int x = 0;
  int row = 0;
  uint32_t at = 0;
  auto put = [&](uint32_t index) {
    if (x < width && row < height) {
      const int y = bottomUp ? height - 1 - row : row;
      out->pixels[static_cast<size_t>(y) * width + x] = PaletteColor(info, colors, index);
    }
    ++x;
  };
  while (at + 1 < size && row < height) {
    const uint32_t count = data[at];
    const uint32_t value = data[at + 1];
    at += 2;
    if (count > 0) {
      for (uint32_t i = 0; i < count && x < width; ++i) put(fourBit ? ((i & 1) ? value & 0xF : value >> 4) : value);
      continue;
    }
    if (value == 0) {
      x = 0;
      ++row;
    } else if (value == 1) {
      break;
    } else if (value == 2) {
      if (at + 1 >= size) break;
      x += data[at];
      row += data[at + 1];
      at += 2;
    } else {
      const uint32_t bytes = fourBit ? (value + 1) / 2 : value;
      if (at + bytes > size) break;
      for (uint32_t i = 0; i < value; ++i) {
        const uint8_t byte = data[at + (fourBit ? i / 2 : i)];
        put(fourBit ? ((i & 1) ? byte & 0xF : byte >> 4) : byte);
      }
      at += (bytes + 1) & ~1u;
    }
  }
}

}  // namespace

DibSection::DibSection(int width, int height, int bitCount, bool topDown)
    : GdiObject(OBJ_BITMAP),
      width_(width),
      height_(height),
      bitCount_(bitCount),
      topDown_(topDown),
      pitch_(static_cast<int>(RowBytes(width, bitCount))),
      pixels_(static_cast<size_t>(pitch_) * height, 0) {}

int DibSection::Describe(int size, void* out) const {
  if (!out) return sizeof(BITMAP);
  if (size < static_cast<int>(sizeof(BITMAP))) return 0;
  BITMAP description{};
  description.bmType = 0;
  description.bmWidth = width_;
  description.bmHeight = height_;
  description.bmWidthBytes = pitch_;
  description.bmPlanes = 1;
  description.bmBitsPixel = static_cast<WORD>(bitCount_);
  description.bmBits = exposed ? const_cast<uint8_t*>(pixels_.data()) : nullptr;
  std::memcpy(out, &description, sizeof(description));
  return sizeof(BITMAP);
}

void DibSection::StorePixel(int x, int y, uint32_t bgrx) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  const int row = topDown_ ? y : height_ - 1 - y;
  uint8_t* p = pixels_.data() + static_cast<size_t>(row) * pitch_;
  switch (bitCount_) {
    case 16: {
      const uint32_t value = ((bgrx >> 9) & 0x7C00) | ((bgrx >> 6) & 0x03E0) | ((bgrx >> 3) & 0x001F);
      p[2 * x] = static_cast<uint8_t>(value);
      p[2 * x + 1] = static_cast<uint8_t>(value >> 8);
      break;
    }
    case 24:
      p[3 * x] = static_cast<uint8_t>(bgrx);
      p[3 * x + 1] = static_cast<uint8_t>(bgrx >> 8);
      p[3 * x + 2] = static_cast<uint8_t>(bgrx >> 16);
      break;
    case 32:
      std::memcpy(p + 4 * x, &bgrx, 4);
      break;
    default:
      break;  // Palette sections are not drawn into.
  }
}

bool DecodeDib(const BITMAPINFO* info, const void* bitsPointer, UINT startScan, UINT scanLines, DecodedDib* out) {
  if (!info || !bitsPointer) return false;
  const BITMAPINFOHEADER& header = info->bmiHeader;
  const int bitCount = header.biBitCount;
  const DWORD compression = header.biCompression;
  if (header.biWidth <= 0 || header.biHeight == 0 || header.biHeight == INT32_MIN) return false;
  const bool bottomUp = header.biHeight > 0;
  const int width = header.biWidth;
  const int height = bottomUp ? header.biHeight : -header.biHeight;
  if (static_cast<int64_t>(width) * height * 4 > MaximumBitmapBytes) return false;
  const auto* bits = static_cast<const uint8_t*>(bitsPointer);
  out->width = width;
  out->height = height;
  out->pixels.assign(static_cast<size_t>(width) * height, 0);

  uint32_t colors = 0;
  if (bitCount <= 8) {
    colors = 1u << bitCount;
    if (header.biClrUsed != 0 && header.biClrUsed < colors) colors = header.biClrUsed;
  }
  if (compression == BI_RLE8 || compression == BI_RLE4) {
    if ((compression == BI_RLE8 && bitCount != 8) || (compression == BI_RLE4 && bitCount != 4) || !bottomUp)
      return false;
    DecodeRunLength(info, bits, header.biSizeImage, compression == BI_RLE4, colors, out, true);
    return true;
  }
  if (compression != BI_RGB && compression != BI_BITFIELDS) return false;
  if (compression == BI_BITFIELDS && bitCount != 16 && bitCount != 32) return false;
  if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
    return false;

  uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
  if (bitCount == 32) masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
  if (compression == BI_BITFIELDS) {
    const auto* maskBytes = reinterpret_cast<const uint8_t*>(info->bmiColors);
    for (int i = 0; i < 3; ++i) masks[i] = ReadLittle32(maskBytes + 4 * i);
  }
  const FieldChannel red(masks[0]), green(masks[1]), blue(masks[2]);
  const int64_t pitch = RowBytes(width, bitCount);
  // The common screen layout, 32-bit 0x00RRGGBB, is a masked copy a row at a time.
  const bool plain32 = bitCount == 32 && masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF;
  for (UINT line = 0; line < scanLines; ++line) {
    const int64_t memoryRow = static_cast<int64_t>(startScan) + line;
    if (memoryRow >= height) break;
    const uint8_t* source = bits + line * pitch;
    const int y = bottomUp ? height - 1 - static_cast<int>(memoryRow) : static_cast<int>(memoryRow);
    uint32_t* target = out->pixels.data() + static_cast<size_t>(y) * width;
    if (plain32) {
      for (int x = 0; x < width; ++x) {
        uint32_t value;
        std::memcpy(&value, source + 4 * x, 4);
        target[x] = value & 0xFFFFFF;
      }
      continue;
    }
    for (int x = 0; x < width; ++x) {
      uint32_t color = 0;
      switch (bitCount) {
        case 1:
          color = PaletteColor(info, colors, (source[x >> 3] >> (7 - (x & 7))) & 1u);
          break;
        case 4:
          color = PaletteColor(info, colors, (x & 1) ? source[x >> 1] & 0xF : source[x >> 1] >> 4);
          break;
        case 8:
          color = PaletteColor(info, colors, source[x]);
          break;
        case 16: {
          const uint32_t value = static_cast<uint32_t>(source[2 * x] | (source[2 * x + 1] << 8));
          color = (red.Read(value) << 16) | (green.Read(value) << 8) | blue.Read(value);
          break;
        }
        case 24:
          color = static_cast<uint32_t>(source[3 * x]) | (static_cast<uint32_t>(source[3 * x + 1]) << 8) |
                  (static_cast<uint32_t>(source[3 * x + 2]) << 16);
          break;
        default: {
          const uint32_t value = ReadLittle32(source + 4 * x);
          color = (red.Read(value) << 16) | (green.Read(value) << 8) | blue.Read(value);
          break;
        }
      }
      target[x] = color;
    }
  }
  return true;
}

}  // namespace platform

using platform::DibSection;

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT, void** bitsOut, HANDLE, DWORD) {
  if (bitsOut) *bitsOut = nullptr;
  if (!info) return nullptr;
  const BITMAPINFOHEADER& header = info->bmiHeader;
  const int bitCount = header.biBitCount;
  if (header.biWidth <= 0 || header.biHeight == 0 || header.biHeight == INT32_MIN) return nullptr;
  if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
    return nullptr;
  if (header.biCompression != BI_RGB && header.biCompression != BI_BITFIELDS) return nullptr;
  const int height = header.biHeight > 0 ? header.biHeight : -header.biHeight;
  if (platform::RowBytes(header.biWidth, bitCount) * height > platform::MaximumBitmapBytes) return nullptr;
  auto* section = new DibSection(header.biWidth, height, bitCount, header.biHeight < 0);
  section->exposed = true;
  if (bitsOut) *bitsOut = section->bits();
  return static_cast<HBITMAP>(platform::RegisterGdiObject(section));
}

HBITMAP CreateCompatibleBitmap(HDC, int width, int height) {
  if (width <= 0 || height <= 0 || platform::RowBytes(width, 32) * height > platform::MaximumBitmapBytes)
    return nullptr;
  return static_cast<HBITMAP>(platform::RegisterGdiObject(new DibSection(width, height, 32, true)));
}
