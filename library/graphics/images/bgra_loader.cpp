// "BGRA" loader: a 16-byte header ("BGRA", channel sizes, width, height) and raw rows of blue,
// green, red and alpha, 8 or 16 bits per channel (16-bit channels keep their high byte).
#include <cstring>

#include "graphics/images/image_loader.h"

int LoadBgraImage(ImageLoadSource* source, BaseImage* out) {
  uint8_t header[16];
  if (!ReadSourceBytes(source, header, 16) || std::memcmp(header, "BGRA", 4) != 0) return -1;
  const uint32_t channelSizes = ReadLittle32(header + 4);
  const auto width = static_cast<int32_t>(ReadLittle32(header + 8));
  const auto height = static_cast<int32_t>(ReadLittle32(header + 12));
  if (channelSizes != 0x08080808u && channelSizes != 0x10101010u) return -1;
  const int64_t pitch = static_cast<int64_t>(width) * 4;
  if (!IsImageSizeAcceptable(width, height, pitch)) return -1;
  const int64_t fileBytes = pitch * height * (channelSizes == 0x10101010u ? 2 : 1);
  // A file too short for its rows is refused before the buffer is made.
  const int64_t remaining = MeasureSourceRemaining(source);
  if (remaining < fileBytes) return -1;
  auto* pixels = static_cast<uint8_t*>(ZV_ALLOC(static_cast<int>(pitch * height)));
  if (!pixels) return -1;
  if (channelSizes == 0x08080808u) {
    if (!ReadSourceBytes(source, pixels, pitch * height)) {
      ZV_FREE(pixels);
      return -1;
    }
  } else {
    auto* row = static_cast<uint8_t*>(ZV_ALLOC(static_cast<int>(pitch * 2)));
    bool complete = row != nullptr;
    for (int32_t y = 0; complete && y < height; ++y) {
      if (!ReadSourceBytes(source, row, pitch * 2)) {
        complete = false;
        break;
      }
      uint8_t* target = pixels + y * pitch;
      for (int64_t i = 0; i < pitch; ++i) target[i] = row[2 * i + 1];
    }
    if (row) ZV_FREE(row);
    if (!complete) {
      ZV_FREE(pixels);
      return -1;
    }
  }
  SetupARGB8ColorData(&out->color);
  out->width = width;
  out->height = height;
  out->pitch = static_cast<int32_t>(pitch);
  out->pixels = pixels;
  return 0;
}
