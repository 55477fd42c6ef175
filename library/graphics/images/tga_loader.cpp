// TGA loader: colour-mapped (types 1 and 9) and true-colour (types 2 and 10) pictures of 16, 24
// or 32 bits, raw or run-length encoded, in any of the four orientations.
//
// Limitations: grey-scale pictures (types 3 and 11), 15-bit colour maps, indices wider than one
// byte and non-zero origins are refused, and so is a run-length picture with more pixels than its
// packets could hold.
#include <cstring>

#include "graphics/images/image_loader.h"

namespace {

constexpr int TgaMaximumSide = 8192;

// The header's image types this loader reads.
enum TgaImageType {
  kTgaColorMapped = 1,
  kTgaTrueColor = 2,
  kTgaRunLengthColorMapped = 9,
  kTgaRunLengthTrueColor = 10,
};

struct TgaHeader {
  int idLength;
  int colorMapType;
  int imageType;
  int colorMapFirst;
  int colorMapLength;
  int colorMapEntryBits;
  int originX;
  int originY;
  int width;
  int height;
  int pixelDepth;
  int descriptor;
};

void SetupTgaColorData(ColorData* color, int depth) {
  if (depth == 16) {
    SetupColorDataFromMasks(color, 16, 0x7C00, 0x03E0, 0x001F, 0);
  } else if (depth == 24) {
    SetupRGB24ColorData(color);
  } else {
    SetupARGB8ColorData(color);
  }
}

// Run-length packets: a header byte h, n = (h & 0x7F) + 1; with the top bit one element repeated
// n times, else n elements. Stops after `count` elements or at the end of the data; elements
// never written stay zero.
void DecodeTgaRunLength(const uint8_t* data, int64_t size, int elementBytes, uint8_t* out, int64_t count) {
  int64_t at = 0;
  int64_t written = 0;
  while (written < count && at < size) {
    const uint8_t header = data[at++];
    int64_t n = (header & 0x7F) + 1;
    if (n > count - written) n = count - written;
    if (header & 0x80) {
      if (at + elementBytes > size) break;
      for (int64_t i = 0; i < n; ++i) std::memcpy(out + (written + i) * elementBytes, data + at, elementBytes);
      at += elementBytes;
      written += n;
    } else {
      const int64_t available = (size - at) / elementBytes;
      const int64_t copied = n < available ? n : available;
      std::memcpy(out + written * elementBytes, data + at, static_cast<size_t>(copied * elementBytes));
      at += n * elementBytes;
      written += copied;
      if (copied < n) break;
    }
  }
}

}  // namespace

int LoadTgaImage(ImageLoadSource* source, BaseImage* out) {
  const int64_t fileSize = MeasureSourceRemaining(source);
  if (fileSize < 18) return -1;
  bool hasFooter = false;
  if (fileSize >= 26 && source->Seek(source->stream, -26, STREAM_SEEK_END) == 0) {
    uint8_t footer[26];
    if (ReadSourceBytes(source, footer, 26))
      hasFooter = std::memcmp(footer + 8, "TRUEVISION-XFILE", 16) == 0 && ReadLittle32(footer) == 0;
  }
  if (source->Seek(source->stream, 0, STREAM_SEEK_START) != 0) return -1;
  uint8_t raw[18];
  if (!ReadSourceBytes(source, raw, 18)) return -1;
  const TgaHeader h = {raw[0],
                       raw[1],
                       raw[2],
                       ReadLittle16(raw + 3),
                       ReadLittle16(raw + 5),
                       raw[7],
                       ReadLittle16(raw + 8),
                       ReadLittle16(raw + 10),
                       ReadLittle16(raw + 12),
                       ReadLittle16(raw + 14),
                       raw[16],
                       raw[17]};
  if (h.imageType != kTgaColorMapped && h.imageType != kTgaTrueColor && h.imageType != kTgaRunLengthColorMapped &&
      h.imageType != kTgaRunLengthTrueColor)
    return -1;
  if (h.originX != 0 || h.originY != 0 || h.width > TgaMaximumSide || h.height > TgaMaximumSide) return -1;
  if (h.width == 0 || h.height == 0) return -1;
  const bool colorMapped = h.imageType == kTgaColorMapped || h.imageType == kTgaRunLengthColorMapped;
  const bool runLength = h.imageType == kTgaRunLengthColorMapped || h.imageType == kTgaRunLengthTrueColor;
  const int depth = colorMapped ? h.colorMapEntryBits : h.pixelDepth;
  if (depth != 16 && depth != 24 && depth != 32) return -1;
  // One-byte indices only; a wider index would be read as several pixels.
  if (colorMapped && (h.pixelDepth != 8 || h.colorMapType != 1)) return -1;
  const int bytes = depth / 8;

  int64_t position = 18 + h.idLength;
  if (source->Seek(source->stream, static_cast<int>(position), STREAM_SEEK_START) != 0) return -1;
  const int64_t mapEntryBytes = (h.colorMapEntryBits + 7) / 8;
  uint8_t* map = nullptr;
  if (colorMapped) {
    map = static_cast<uint8_t*>(ZV_ALLOC_ZEROED(256 * bytes));
    if (!map) return -1;
    // Entries beyond index 255 are read past, not stored.
    uint8_t entry[4];
    for (int i = 0; i < h.colorMapLength; ++i) {
      if (!ReadSourceBytes(source, entry, bytes)) {
        ZV_FREE(map);
        return -1;
      }
      const int index = h.colorMapFirst + i;
      if (index < 256) std::memcpy(map + index * bytes, entry, bytes);
    }
    position += static_cast<int64_t>(h.colorMapLength) * bytes;
  } else if (h.colorMapType == 1) {
    position += static_cast<int64_t>(h.colorMapLength) * mapEntryBytes;
    if (source->Seek(source->stream, static_cast<int>(position), STREAM_SEEK_START) != 0) return -1;
  }

  const int64_t pixelCount = static_cast<int64_t>(h.width) * h.height;
  const int elementBytes = colorMapped ? 1 : bytes;
  const int64_t dataEnd = hasFooter ? fileSize - 26 : fileSize;
  // Raw pictures shorter than their rows are refused before anything is allocated, and so are
  // run-length pictures larger than their data could describe: a packet of at least a header
  // byte and one element gives at most 128 elements. A file that is merely cut short still loads,
  // its missing pixels zero.
  const int64_t packedBound = (dataEnd - position) / (1 + elementBytes) * 128;
  if ((!runLength && fileSize - position < pixelCount * elementBytes) || (runLength && pixelCount > packedBound)) {
    if (map) ZV_FREE(map);
    return -1;
  }
  auto* elements = static_cast<uint8_t*>(ZV_ALLOC_ZEROED(static_cast<int>(pixelCount * elementBytes)));
  if (!elements) {
    if (map) ZV_FREE(map);
    return -1;
  }
  bool ok = true;
  if (runLength) {
    const int64_t size = dataEnd - position;
    if (size <= 0) {
      ok = false;
    } else {
      auto* data = static_cast<uint8_t*>(ZV_ALLOC(static_cast<int>(size)));
      ok = data && ReadSourceBytes(source, data, size);
      if (ok) DecodeTgaRunLength(data, size, elementBytes, elements, pixelCount);
      if (data) ZV_FREE(data);
    }
  } else {
    ok = ReadSourceBytes(source, elements, pixelCount * elementBytes);
  }
  uint8_t* pixels = elements;
  if (ok && colorMapped) {
    pixels = static_cast<uint8_t*>(ZV_ALLOC(static_cast<int>(pixelCount * bytes)));
    if (pixels) {
      for (int64_t i = 0; i < pixelCount; ++i) std::memcpy(pixels + i * bytes, map + elements[i] * bytes, bytes);
    } else {
      ok = false;
    }
    ZV_FREE(elements);
  }
  if (map) ZV_FREE(map);
  if (!ok) {
    if (pixels) ZV_FREE(pixels);
    return -1;
  }

  const bool topDown = (h.descriptor & 0x20) != 0;
  const bool rightToLeft = (h.descriptor & 0x10) != 0;
  const int64_t pitch = static_cast<int64_t>(h.width) * bytes;
  if (!topDown || rightToLeft) {
    auto* turned = static_cast<uint8_t*>(ZV_ALLOC(static_cast<int>(pitch * h.height)));
    if (!turned) {
      ZV_FREE(pixels);
      return -1;
    }
    for (int y = 0; y < h.height; ++y) {
      const uint8_t* from = pixels + y * pitch;
      uint8_t* to = turned + (topDown ? y : h.height - 1 - y) * pitch;
      if (!rightToLeft) {
        std::memcpy(to, from, static_cast<size_t>(pitch));
      } else {
        for (int x = 0; x < h.width; ++x) std::memcpy(to + (h.width - 1 - x) * bytes, from + x * bytes, bytes);
      }
    }
    ZV_FREE(pixels);
    pixels = turned;
  }
  SetupTgaColorData(&out->color, depth);
  out->width = h.width;
  out->height = h.height;
  out->pitch = static_cast<int32_t>(pitch);
  out->pixels = pixels;
  return 0;
}
