// BMP loader: 4, 8, 24 and 32-bit BI_RGB pictures and RLE4/RLE8 are decoded here; 1-bit, 16-bit
// and bit-field pictures are drawn through a GDI DIB section into 24-bit pixels.
//
// Limitations: OS/2 1.x headers are read through their 12-byte layout; embedded JPEG/PNG
// pictures, 2-bit pictures, RLE24 and Huffman compression are refused.
#include <cstring>

#include "graphics/images/image_loader.h"
#include "platform/gdi.h"

namespace {

// The BITMAPINFO handed to GDI: the 40-byte header and room for 256 colours or three masks.
struct BmpHeaderCopy {
  BITMAPINFOHEADER header;
  RGBQUAD colors[256];
};

int64_t FilePitch(int64_t width, int bits) { return ((width * bits + 7) / 8 + 3) / 4 * 4; }

void FillPaletteFromHeader(ColorData* color, const BmpHeaderCopy& copy, int entries) {
  std::memset(color->palette, 0, sizeof(color->palette));
  for (int i = 0; i < entries && i < 256; ++i)
    color->palette[i] = {copy.colors[i].rgbBlue, copy.colors[i].rgbGreen, copy.colors[i].rgbRed, 0};
}

// Maps the n-th row of the file to its row in the top-down output.
inline int64_t OutputRow(int64_t fileRow, int64_t height, bool bottomUp) {
  return bottomUp ? height - 1 - fileRow : fileRow;
}

// The escapes of a run-length picture: a zero count followed by one of these, or by the length of
// a copy of literal indices.
enum BmpRunEscape : uint32_t {
  kRunEndOfLine = 0,
  kRunEndOfPicture = 1,
  kRunMove = 2,
};

// RLE8 and RLE4 into one index per byte. A run or a copy may go on past the width into the
// row's padding (ImageMagick runs every row out to its padded width): the pixels past the width
// are dropped and the position stops at the pitch, so nothing is written outside the row. False
// when a run or a copy starts below the last row, a move leaves the picture, or a copy is cut
// short by the end of the data; data that simply end (no end-of-picture mark) leave the rest of
// the picture 0.
bool DecodeBmpRunLength(const uint8_t* data, int64_t size, bool fourBit, uint8_t* out, int64_t pitch, int width,
                        int height, bool bottomUp) {
  int64_t x = 0;
  int64_t row = 0;
  int64_t at = 0;
  auto put = [&](uint8_t index) {
    if (x < width) out[OutputRow(row, height, bottomUp) * pitch + x] = index;
    if (x < pitch) ++x;
  };
  while (at + 1 < size) {
    const uint32_t count = data[at];
    const uint32_t value = data[at + 1];
    at += 2;
    if (count > 0) {
      if (row >= height) return false;
      for (uint32_t i = 0; i < count; ++i)
        put(static_cast<uint8_t>(fourBit ? ((i & 1) ? value & 0xF : value >> 4) : value));
    } else if (value == kRunEndOfLine) {
      x = 0;
      ++row;
    } else if (value == kRunEndOfPicture) {
      return true;
    } else if (value == kRunMove) {
      if (at + 1 >= size) return false;
      x += data[at];
      row += data[at + 1];
      at += 2;
      if (x > width || row > height) return false;
    } else {
      const int64_t bytes = fourBit ? (value + 1) / 2 : value;
      if (at + bytes > size || row >= height) return false;
      for (uint32_t i = 0; i < value; ++i) {
        const uint8_t byte = data[at + (fourBit ? i / 2 : i)];
        put(static_cast<uint8_t>(fourBit ? ((i & 1) ? byte & 0xF : byte >> 4) : byte));
      }
      at += (bytes + 1) & ~int64_t{1};
    }
  }
  return true;
}

// False when an index names a colour the file does not declare.
bool AreIndicesInPalette(const uint8_t* pixels, int64_t pitch, int width, int height, int64_t entries) {
  if (entries >= 256) return true;
  for (int64_t y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (pixels[y * pitch + x] >= entries) return false;
  return true;
}

// Hands a picture of palette indices, one byte a pixel, to `out` with the header's first
// `paletteSize` colours; an index the file does not declare refuses the picture (and frees it).
int AdoptIndexedPixels(BaseImage* out, const BmpHeaderCopy& copy, int paletteSize, int64_t declaredEntries,
                       uint8_t* pixels, int64_t pitch, int width, int height) {
  if (!AreIndicesInPalette(pixels, pitch, width, height, declaredEntries)) {
    ZV_FREE(pixels);
    return -1;
  }
  SetupPalette8ColorData(&out->color);
  FillPaletteFromHeader(&out->color, copy, paletteSize);
  out->width = width;
  out->height = height;
  out->pitch = static_cast<int32_t>(pitch);
  out->pixels = pixels;
  return 0;
}

// Draws the file's pixels through a DIB section and keeps them as 24-bit pixels.
int ConvertThroughDibSection(const BmpHeaderCopy& copy, const uint8_t* data, int width, int height, BaseImage* out) {
  HDC dc = CreateCompatibleDC(nullptr);
  BITMAPINFO sectionInfo{};
  sectionInfo.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  sectionInfo.bmiHeader.biWidth = width;
  sectionInfo.bmiHeader.biHeight = -height;
  sectionInfo.bmiHeader.biPlanes = 1;
  sectionInfo.bmiHeader.biBitCount = 24;
  sectionInfo.bmiHeader.biCompression = BI_RGB;
  void* sectionBits = nullptr;
  HBITMAP section = dc ? CreateDIBSection(dc, &sectionInfo, DIB_RGB_COLORS, &sectionBits, nullptr, 0) : nullptr;
  if (!section || !sectionBits) {
    AddLogText("ＤＩＢの作成に失敗しました3\n");
    if (section) DeleteObject(section);
    if (dc) DeleteDC(dc);
    return -1;
  }
  SelectObject(dc, section);
  const auto* info = reinterpret_cast<const BITMAPINFO*>(&copy);
  const int lines = SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(width), static_cast<DWORD>(height), 0, 0, 0,
                                      static_cast<UINT>(height), data, info, DIB_RGB_COLORS);
  BITMAP description{};
  GetObjectA(section, sizeof(description), &description);
  const int64_t sectionPitch = (static_cast<int64_t>(description.bmWidthBytes) + 3) / 4 * 4;
  int result = -1;
  if (lines > 0) {
    auto* pixels = static_cast<uint8_t*>(ZV_ALLOC(static_cast<int>(sectionPitch * height)));
    if (!pixels) {
      AddLogText("２４ビットカラー化したグラフィックを格納するメモリ領域の確保に失敗しました\n");
    } else {
      std::memcpy(pixels, sectionBits, static_cast<size_t>(sectionPitch * height));
      SetupRGB24ColorData(&out->color);
      out->width = width;
      out->height = height;
      out->pitch = static_cast<int32_t>(sectionPitch);
      out->pixels = pixels;
      result = 0;
    }
  }
  DeleteDC(dc);
  DeleteObject(section);
  return result;
}

}  // namespace

int LoadBmpImage(ImageLoadSource* source, BaseImage* out) {
  const int64_t fileSize = MeasureSourceRemaining(source);
  uint8_t fileHeader[14];
  uint8_t infoBytes[44];
  if (fileSize < 14 + 12 || !ReadSourceBytes(source, fileHeader, 14)) return -1;
  if (fileHeader[0] != 'B' || fileHeader[1] != 'M') return -1;
  const int64_t dataOffset = ReadLittle32(fileHeader + 10);

  // The info header; an OS/2 1.x core header (12 bytes, 16-bit sizes, 3-byte colours) is turned
  // into the 40-byte form.
  std::memset(infoBytes, 0, sizeof(infoBytes));
  if (!ReadSourceBytes(source, infoBytes, 4)) return -1;
  const uint32_t infoSize = ReadLittle32(infoBytes);
  BmpHeaderCopy copy;
  std::memset(&copy, 0, sizeof(copy));
  int colorEntrySize = 4;
  if (infoSize == 12) {
    if (!ReadSourceBytes(source, infoBytes + 4, 8)) return -1;
    copy.header.biWidth = ReadLittle16(infoBytes + 4);
    copy.header.biHeight = static_cast<int16_t>(ReadLittle16(infoBytes + 6));
    copy.header.biPlanes = ReadLittle16(infoBytes + 8);
    copy.header.biBitCount = ReadLittle16(infoBytes + 10);
    copy.header.biCompression = BI_RGB;
    colorEntrySize = 3;
  } else if (infoSize >= 40 && infoSize <= 4096) {
    if (!ReadSourceBytes(source, infoBytes + 4, 36)) return -1;
    copy.header.biWidth = static_cast<int32_t>(ReadLittle32(infoBytes + 4));
    copy.header.biHeight = static_cast<int32_t>(ReadLittle32(infoBytes + 8));
    copy.header.biPlanes = ReadLittle16(infoBytes + 12);
    copy.header.biBitCount = ReadLittle16(infoBytes + 14);
    copy.header.biCompression = ReadLittle32(infoBytes + 16);
    copy.header.biSizeImage = ReadLittle32(infoBytes + 20);
    copy.header.biClrUsed = ReadLittle32(infoBytes + 32);
  } else {
    return -1;
  }
  copy.header.biSize = sizeof(BITMAPINFOHEADER);
  const int bits = copy.header.biBitCount;
  const uint32_t compression = copy.header.biCompression;
  const int width = copy.header.biWidth;
  if (copy.header.biHeight == INT32_MIN) return -1;
  const bool bottomUp = copy.header.biHeight > 0;
  const int height = bottomUp ? copy.header.biHeight : -copy.header.biHeight;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return -1;
  if (copy.header.biPlanes != 1) return -1;
  if (!IsImageSizeAcceptable(width, height, static_cast<int64_t>(width) * 4)) return -1;

  // The colour table (whatever lies after the header, up to 2^bits entries or the count the
  // header gives) or the three bit-field masks.
  const int64_t tableOffset = 14 + static_cast<int64_t>(infoSize);
  int64_t declaredEntries = 0;
  if (bits <= 8) {
    int64_t entries = int64_t{1} << bits;
    if (copy.header.biClrUsed > entries) return -1;
    if (copy.header.biClrUsed != 0) entries = copy.header.biClrUsed;
    declaredEntries = entries;
    const int64_t available = (dataOffset > tableOffset ? dataOffset : fileSize) - tableOffset;
    if (entries * colorEntrySize > available) entries = available > 0 ? available / colorEntrySize : 0;
    if (source->Seek(source->stream, static_cast<int>(tableOffset), STREAM_SEEK_START) != 0) return -1;
    uint8_t table[256 * 4];
    if (!ReadSourceBytes(source, table, entries * colorEntrySize)) return -1;
    for (int64_t i = 0; i < entries; ++i) {
      const uint8_t* entry = table + i * colorEntrySize;
      copy.colors[i] = {entry[0], entry[1], entry[2], 0};
    }
    copy.header.biClrUsed = static_cast<DWORD>(entries);
  } else if (compression == BI_BITFIELDS) {
    // The masks follow a 40-byte header, or sit inside a larger one at the same place.
    if (source->Seek(source->stream, 14 + 40, STREAM_SEEK_START) != 0) return -1;
    if (!ReadSourceBytes(source, copy.colors, 12)) return -1;
  }

  // Everything from the pixel-data offset to the end of the file.
  if (dataOffset < tableOffset || dataOffset > fileSize) return -1;
  const int64_t dataSize = fileSize - dataOffset;
  if (dataSize <= 0 || source->Seek(source->stream, static_cast<int>(dataOffset), STREAM_SEEK_START) != 0) return -1;
  auto* data = static_cast<uint8_t*>(ZV_ALLOC(static_cast<int>(dataSize)));
  if (!data) return -1;
  if (!ReadSourceBytes(source, data, dataSize)) {
    ZV_FREE(data);
    return -1;
  }

  const int64_t filePitch = FilePitch(width, bits);
  int result = -1;
  if ((compression == BI_RLE8 && bits == 8) || (compression == BI_RLE4 && bits == 4)) {
    const int64_t pitch = (static_cast<int64_t>(width) + 3) / 4 * 4;
    if (pitch * height <= MaximumImageBytes) {
      auto* pixels = static_cast<uint8_t*>(ZV_ALLOC_ZEROED(static_cast<int>(pitch * height)));
      if (pixels) {
        if (DecodeBmpRunLength(data, dataSize, compression == BI_RLE4, pixels, pitch, width, height, bottomUp))
          result = AdoptIndexedPixels(out, copy, bits == 8 ? 256 : 16, declaredEntries, pixels, pitch, width, height);
        else
          ZV_FREE(pixels);
      }
    }
    ZV_FREE(data);
    return result;
  }
  // Uncompressed pictures must hold every row they declare.
  if (filePitch * height > dataSize || filePitch * height > MaximumImageBytes) {
    ZV_FREE(data);
    return -1;
  }
  if (compression == BI_RGB && bits == 4) {
    const int64_t pitch = (static_cast<int64_t>(width) + 3) / 4 * 4;
    auto* pixels = static_cast<uint8_t*>(ZV_ALLOC_ZEROED(static_cast<int>(pitch * height)));
    if (pixels) {
      for (int64_t row = 0; row < height; ++row) {
        const uint8_t* line = data + row * filePitch;
        uint8_t* target = pixels + OutputRow(row, height, bottomUp) * pitch;
        for (int x = 0; x < width; ++x)
          target[x] = static_cast<uint8_t>((x & 1) ? line[x >> 1] & 0xF : line[x >> 1] >> 4);
      }
      result = AdoptIndexedPixels(out, copy, 16, declaredEntries, pixels, pitch, width, height);
    }
    ZV_FREE(data);
    return result;
  }
  if (compression == BI_RGB && (bits == 8 || bits == 24 || bits == 32)) {
    uint8_t* pixels = data;
    if (bottomUp) {
      pixels = static_cast<uint8_t*>(ZV_ALLOC(static_cast<int>(filePitch * height)));
      if (pixels) {
        for (int64_t row = 0; row < height; ++row)
          std::memcpy(pixels + (height - 1 - row) * filePitch, data + row * filePitch, static_cast<size_t>(filePitch));
      }
      ZV_FREE(data);
      if (!pixels) return -1;
    }
    if (bits == 8) return AdoptIndexedPixels(out, copy, 256, declaredEntries, pixels, filePitch, width, height);
    if (bits == 24) {
      SetupRGB24ColorData(&out->color);
    } else {
      SetupARGB8ColorData(&out->color);
    }
    out->width = width;
    out->height = height;
    out->pitch = static_cast<int32_t>(filePitch);
    out->pixels = pixels;
    return 0;
  }
  // 1-bit, 16-bit and bit-field pictures; any other compression is refused rather than drawn
  // as an empty picture.
  if (compression == BI_RGB || (compression == BI_BITFIELDS && (bits == 16 || bits == 32)))
    result = ConvertThroughDibSection(copy, data, width, height, out);
  ZV_FREE(data);
  return result;
}
