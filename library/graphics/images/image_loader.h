// Internal helpers shared by the image loaders.
#pragma once

#include "zyvel/graphics.h"

// Images larger than this are refused by every loader rather than allocated.
constexpr int64_t MaximumImageBytes = int64_t{1} << 28;
constexpr int MaximumImageSide = 32768;

// Reads exactly `count` bytes; false on a short read. (A stream may hand out a last partial item,
// so loaders read byte items and count them.)
inline bool ReadSourceBytes(ImageLoadSource* source, void* buffer, int64_t count) {
  if (count < 0 || count > 0x7FFFFFFF) return false;
  if (count == 0) return true;
  return source->Read(buffer, 1, static_cast<int>(count), source->stream) == count;
}

// Bytes from the current position to the end of the stream, the position kept; -1 when the
// stream cannot tell.
inline int64_t MeasureSourceRemaining(ImageLoadSource* source) {
  const int position = source->Tell(source->stream);
  if (position < 0 || source->Seek(source->stream, 0, 2) != 0) return -1;
  const int end = source->Tell(source->stream);
  if (source->Seek(source->stream, position, 0) != 0 || end < position) return -1;
  return end - position;
}

inline uint16_t ReadLittle16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t ReadLittle32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// True when a width x height image of `bytesPerPixel` (rows `pitch` bytes) is within the limits.
inline bool IsImageSizeAcceptable(int64_t width, int64_t height, int64_t pitch) {
  return width > 0 && height > 0 && width <= MaximumImageSide && height <= MaximumImageSide && pitch > 0 &&
         pitch * height <= MaximumImageBytes;
}
