// DIB sections and the decoding of device-independent bitmaps inside the GDI stand-in.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/gdi_object.h"

namespace platform {

// A bitmap whose pixels live in plain memory: a DIB section (pixels handed to the caller) or a
// compatible bitmap (32-bit, pixels kept inside).
class DibSection : public GdiObject {
 public:
  DibSection(int width, int height, int bitCount, bool topDown);
  int Describe(int size, void* out) const override;

  int width() const { return width_; }
  int height() const { return height_; }
  int bitCount() const { return bitCount_; }
  int pitch() const { return pitch_; }
  uint8_t* bits() { return pixels_.data(); }
  bool exposed = false;  // A DIB section hands its bits to the caller; GetObjectA reports them.

  // Writes one 32-bit B, G, R, X pixel at (x, y), y counted from the top; outside is ignored.
  void StorePixel(int x, int y, uint32_t bgrx);

 private:
  int width_;
  int height_;
  int bitCount_;
  bool topDown_;
  int pitch_;
  std::vector<uint8_t> pixels_;
};

// A DIB decoded to 32-bit B, G, R, X pixels, top row first.
struct DecodedDib {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
};

// Decodes scan lines [startScan, startScan + scanLines) of `bits` (memory order) described by
// `info`; lines outside stay black. RLE data are read no further than biSizeImage bytes.
// False for formats the stand-in does not know or sizes it refuses.
bool DecodeDib(const BITMAPINFO* info, const void* bits, UINT startScan, UINT scanLines, DecodedDib* out);

}  // namespace platform
