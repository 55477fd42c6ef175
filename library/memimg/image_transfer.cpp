// TransferImagePixels: moves a rectangle of pixels between any two formats a ColorData
// describes. The ordered special cases run first; frequent format pairs have fast paths kept as
// a table, whose results are fixed exactly (some differ from the general path in the low bits);
// everything else takes the general per-channel path.
#include <cstring>

#include "memimg/image_transfer.h"
#include "memimg/pixel_words.h"
#include "zyvel/memimg.h"

namespace {

const int BayerDitherMatrix[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

bool g_fastPathsEnabled = true;

inline void WritePixel(uint8_t* p, int bytes, uint32_t value) {
  switch (bytes) {
    case 1:
      p[0] = static_cast<uint8_t>(value);
      break;
    case 2:
      p[0] = static_cast<uint8_t>(value);
      p[1] = static_cast<uint8_t>(value >> 8);
      break;
    case 3:
      p[0] = static_cast<uint8_t>(value);
      p[1] = static_cast<uint8_t>(value >> 8);
      p[2] = static_cast<uint8_t>(value >> 16);
      break;
    default:
      std::memcpy(p, &value, 4);
      break;
  }
}

// A source pixel value: the palette entry for 1-byte formats.
inline uint32_t ReadSourceValue(const uint8_t* p, const ColorData& color) {
  if (color.bytesPerPixel == 1) return PaletteWord(color.palette[p[0]]);
  return ReadPixelValue(p, color.bytesPerPixel);
}

inline uint32_t WidthMaximum(int width) { return width >= 32 ? 0xFFFFFFFFu : (1u << width) - 1u; }

// Brings a channel value from `from` bits to `to` bits: narrowing truncates, widening spreads
// the value so that a full source value becomes a full destination value.
inline uint32_t MatchWidth(uint32_t value, int from, int to) {
  if (from == to || from == 0) return from == 0 ? 0 : value;
  if (from > to) return value >> (from - to);
  const int d = to - from;
  return (value << d) + static_cast<uint32_t>(uint64_t{value} * WidthMaximum(d) / WidthMaximum(from));
}

struct TransferJob {
  uint8_t* dstPixels;
  int dstPitch;
  ColorData dst;
  const uint8_t* srcPixels;
  int srcPitch;
  ColorData src;
  const uint8_t* alphaPixels;
  int alphaPitch;
  ColorData alphaColor;
  int dstX, dstY, left, top, width, height;
  int mirror, keyToAlpha, ditherMode, colorOff, alphaFromRed, keySkip, paletteRemap;
  uint32_t key;
  bool alphaCarry, alphaFromImage;

  const uint8_t* SourceRow(int y) const {
    return srcPixels + static_cast<int64_t>(top + y) * srcPitch + static_cast<int64_t>(left) * src.bytesPerPixel;
  }
  const uint8_t* AlphaRow(int y) const {
    return alphaPixels + static_cast<int64_t>(top + y) * alphaPitch +
           static_cast<int64_t>(left) * alphaColor.bytesPerPixel;
  }
  uint8_t* DestinationRow(int y) const {
    return dstPixels + static_cast<int64_t>(dstY + y) * dstPitch + static_cast<int64_t>(dstX) * dst.bytesPerPixel;
  }
  // The destination pixel for source column x, right to left when mirrored.
  uint8_t* DestinationPixel(uint8_t* row, int x) const {
    return row + static_cast<int64_t>(mirror ? width - 1 - x : x) * dst.bytesPerPixel;
  }
};

// Nearest-palette search with a direct-mapped cache, since a full search is 256 comparisons.
struct NearestPaletteCache {
  uint32_t keys[1024];
  uint8_t indices[1024];
  bool filled[1024];
};

uint8_t NearestIndex(const ColorData& palette, NearestPaletteCache& cache, uint32_t red, uint32_t green,
                     uint32_t blue) {
  const uint32_t rgb = (red << 16) | (green << 8) | blue;
  const uint32_t slot = (rgb * 2654435761u) >> 22;
  if (cache.filled[slot] && cache.keys[slot] == rgb) return cache.indices[slot];
  const auto index = static_cast<uint8_t>(
      MakeBaseImageColorCode(&palette, static_cast<int>(red), static_cast<int>(green), static_cast<int>(blue), 0));
  cache.keys[slot] = rgb;
  cache.indices[slot] = index;
  cache.filled[slot] = true;
  return index;
}

// ---- Special cases ----

int RemapPalette(const TransferJob& job) {
  uint8_t map[256];
  for (int i = 0; i < 256; ++i) {
    const ColorPaletteEntry& entry = job.src.palette[i];
    map[i] = static_cast<uint8_t>(MakeBaseImageColorCode(&job.dst, entry.red, entry.green, entry.blue, 0));
  }
  for (int y = 0; y < job.height; ++y) {
    const uint8_t* source = job.SourceRow(y);
    uint8_t* destination = job.DestinationRow(y);
    for (int x = 0; x < job.width; ++x) destination[x] = map[source[x]];
  }
  return 0;
}

int ConvertToPalette(const TransferJob& job) {
  const int bytes = job.src.bytesPerPixel;
  if (bytes != 2 && bytes != 3 && bytes != 4) return 0;
  NearestPaletteCache cache;
  std::memset(cache.filled, 0, sizeof(cache.filled));
  const ColorData& s = job.src;
  for (int y = 0; y < job.height; ++y) {
    const uint8_t* source = job.SourceRow(y);
    uint8_t* row = job.DestinationRow(y);
    for (int x = 0; x < job.width; ++x) {
      const uint32_t value = ReadPixelValue(source + x * bytes, bytes);
      const uint32_t red = MatchWidth((value & s.redMask) >> s.redShift, s.redWidth, 8);
      const uint32_t green = MatchWidth((value & s.greenMask) >> s.greenShift, s.greenWidth, 8);
      const uint32_t blue = MatchWidth((value & s.blueMask) >> s.blueShift, s.blueWidth, 8);
      *job.DestinationPixel(row, x) = NearestIndex(job.dst, cache, red & 0xFF, green & 0xFF, blue & 0xFF);
    }
  }
  return 0;
}

int CopyPaletteIndices(const TransferJob& job) {
  int highest = 0;
  for (int y = 0; y < job.height; ++y) {
    const uint8_t* source = job.SourceRow(y);
    uint8_t* row = job.DestinationRow(y);
    for (int x = 0; x < job.width; ++x) {
      *job.DestinationPixel(row, x) = source[x];
      if (source[x] > highest) highest = source[x];
    }
  }
  return highest;
}

int CopySameFormat(const TransferJob& job) {
  const int bytes = job.src.bytesPerPixel;
  const uint32_t sizeMask = WidthMaximum(bytes * 8);
  const uint32_t key = job.key & sizeMask;
  for (int y = 0; y < job.height; ++y) {
    const uint8_t* source = job.SourceRow(y);
    uint8_t* row = job.DestinationRow(y);
    if (!job.mirror && !job.keySkip) {
      std::memmove(row, source, static_cast<size_t>(job.width) * bytes);
      continue;
    }
    for (int x = 0; x < job.width; ++x) {
      const uint8_t* pixel = source + x * bytes;
      if (job.keySkip && ReadPixelValue(pixel, bytes) == key) continue;
      std::memcpy(job.DestinationPixel(row, x), pixel, bytes);
    }
  }
  return 0;
}

int KeyToAlphaSameFormat(const TransferJob& job) {
  const int bytes = job.src.bytesPerPixel;
  const uint32_t rgbMask = job.dst.redMask | job.dst.greenMask | job.dst.blueMask;
  const uint32_t keyCode =
      MakeBaseImageColorCode(&job.dst, (job.key >> 16) & 0xFF, (job.key >> 8) & 0xFF, job.key & 0xFF, 255) & rgbMask;
  for (int y = 0; y < job.height; ++y) {
    const uint8_t* source = job.SourceRow(y);
    uint8_t* row = job.DestinationRow(y);
    for (int x = 0; x < job.width; ++x) {
      const uint32_t value = ReadPixelValue(source + x * bytes, bytes);
      // Compared under the colour masks, so bits outside them (an unused top bit) never hide a key.
      const uint32_t written = (value & rgbMask) == keyCode ? value & ~job.dst.alphaMask : value | job.dst.alphaMask;
      WritePixel(job.DestinationPixel(row, x), bytes, written);
    }
  }
  return 0;
}

int SkipKeyXrgbToArgb(const TransferJob& job) {
  const uint32_t key = job.key & 0xFFFFFF;
  for (int y = 0; y < job.height; ++y) {
    const uint8_t* source = job.SourceRow(y);
    uint8_t* row = job.DestinationRow(y);
    for (int x = 0; x < job.width; ++x) {
      const uint32_t value = ReadPixelValue(source + x * 4, 4) & 0xFFFFFF;
      if (value == key) continue;
      WritePixel(row + x * 4, 4, value | 0xFF000000u);
    }
  }
  return 0;
}

// ---- Fast paths ----

enum PixelFormatKind {
  FORMAT_OTHER,
  FORMAT_PALETTE8,
  FORMAT_RGB565,
  FORMAT_XRGB1555,
  FORMAT_ARGB1555,
  FORMAT_RGB24,
  FORMAT_XRGB8,
  FORMAT_ARGB8,
};

bool HasMasks(const ColorData& c, int bits, uint32_t red, uint32_t green, uint32_t blue) {
  return c.bitDepth == bits && c.redMask == red && c.greenMask == green && c.blueMask == blue;
}

PixelFormatKind ClassifyFormat(const ColorData& c) {
  if (c.bytesPerPixel == 1) return FORMAT_PALETTE8;
  if (HasMasks(c, 16, 0xF800, 0x07E0, 0x001F) && c.alphaMask == 0) return FORMAT_RGB565;
  if (HasMasks(c, 16, 0x7C00, 0x03E0, 0x001F)) {
    if (c.alphaMask == 0) return FORMAT_XRGB1555;
    if (c.alphaMask == 0x8000) return FORMAT_ARGB1555;
  }
  if (HasMasks(c, 24, 0xFF0000, 0xFF00, 0xFF) && c.bytesPerPixel == 3) return FORMAT_RGB24;
  if (HasMasks(c, 32, 0xFF0000, 0xFF00, 0xFF) && c.bytesPerPixel == 4) {
    if (c.alphaMask == 0) return FORMAT_XRGB8;
    if (c.alphaMask == 0xFF000000u) return FORMAT_ARGB8;
  }
  return FORMAT_OTHER;
}

inline uint32_t Rgb565FromBytes(uint32_t red, uint32_t green, uint32_t blue) {
  return ((red >> 3) << 11) | ((green >> 2) << 5) | (blue >> 3);
}
inline uint32_t Rgb555FromBytes(uint32_t red, uint32_t green, uint32_t blue) {
  return ((red >> 3) << 10) | ((green >> 3) << 5) | (blue >> 3);
}
inline uint32_t XrgbFrom565(uint32_t p) {
  return (((p >> 11) & 0x1F) << 19) | (((p >> 5) & 0x3F) << 10) | ((p & 0x1F) << 3);
}
inline uint32_t Rgb555From565(uint32_t p) { return ((p >> 1) & 0x7FE0) | (p & 0x1F); }
// A 5-6-5 pixel matches the key when its channels reduced to 5 bits equal the key's.
inline bool Matches565Key(uint32_t p, uint32_t key) {
  return (((p >> 1) & 0x7FE0) | (p & 0x1F)) == Rgb555FromBytes((key >> 16) & 0xFF, (key >> 8) & 0xFF, key & 0xFF);
}

// One row converter per pair: (job, source row, destination row, width).
typedef void (*FastRowFunc)(const TransferJob& job, const uint8_t* s, uint8_t* d, int width);

void PaletteTo565(const TransferJob& job, const uint8_t* s, uint8_t* d, int width) {
  for (int x = 0; x < width; ++x) {
    const ColorPaletteEntry& e = job.src.palette[s[x]];
    WritePixel(d + 2 * x, 2, Rgb565FromBytes(e.red, e.green, e.blue));
  }
}
void PaletteTo1555(const TransferJob& job, const uint8_t* s, uint8_t* d, int width) {
  for (int x = 0; x < width; ++x) {
    const ColorPaletteEntry& e = job.src.palette[s[x]];
    WritePixel(d + 2 * x, 2, 0x8000u | Rgb555FromBytes(e.red, e.green, e.blue));
  }
}
void PaletteToXrgb8(const TransferJob& job, const uint8_t* s, uint8_t* d, int width) {
  for (int x = 0; x < width; ++x) WritePixel(d + 4 * x, 4, PaletteWord(job.src.palette[s[x]]) | 0xFF000000u);
}
void Rgb24To565(const TransferJob&, const uint8_t* s, uint8_t* d, int width) {
  for (int x = 0; x < width; ++x, s += 3) WritePixel(d + 2 * x, 2, Rgb565FromBytes(s[2], s[1], s[0]));
}
void Rgb24To1555(const TransferJob&, const uint8_t* s, uint8_t* d, int width) {
  for (int x = 0; x < width; ++x, s += 3) WritePixel(d + 2 * x, 2, 0x8000u | Rgb555FromBytes(s[2], s[1], s[0]));
}
void Rgb24ToXrgb8(const TransferJob&, const uint8_t* s, uint8_t* d, int width) {
  for (int x = 0; x < width; ++x, s += 3, d += 4) {
    d[0] = s[0];
    d[1] = s[1];
    d[2] = s[2];
    d[3] = 0xFF;
  }
}
void Xrgb8To565(const TransferJob&, const uint8_t* s, uint8_t* d, int width) {
  for (int x = 0; x < width; ++x, s += 4) WritePixel(d + 2 * x, 2, Rgb565FromBytes(s[2], s[1], s[0]));
}
void Xrgb1555To565(const TransferJob&, const uint8_t* s, uint8_t* d, int width) {
  for (int x = 0; x < width; ++x) {
    const uint32_t p = ReadPixelValue(s + 2 * x, 2);
    const uint32_t green5 = (p >> 5) & 0x1F;
    WritePixel(d + 2 * x, 2, (p & 0x7C00) << 1 | ((green5 * 2 + (green5 & 1)) << 5) | (p & 0x1F));
  }
}
void Rgb565ToXrgb8(const TransferJob&, const uint8_t* s, uint8_t* d, int width) {
  for (int x = 0; x < width; ++x) WritePixel(d + 4 * x, 4, XrgbFrom565(ReadPixelValue(s + 2 * x, 2)));
}
void Rgb565ToRgb24(const TransferJob&, const uint8_t* s, uint8_t* d, int width) {
  for (int x = 0; x < width; ++x) WritePixel(d + 3 * x, 3, XrgbFrom565(ReadPixelValue(s + 2 * x, 2)));
}
void Rgb565To1555(const TransferJob&, const uint8_t* s, uint8_t* d, int width) {
  for (int x = 0; x < width; ++x) WritePixel(d + 2 * x, 2, Rgb555From565(ReadPixelValue(s + 2 * x, 2)));
}

void PaletteToArgb8Keyed(const TransferJob& job, const uint8_t* s, uint8_t* d, int width) {
  for (int x = 0; x < width; ++x) {
    const uint32_t entry = PaletteWord(job.src.palette[s[x]]);
    WritePixel(d + 4 * x, 4, (entry & 0xFFFFFF) != (job.key & 0xFFFFFF) ? entry | 0xFF000000u : entry);
  }
}
void PaletteToArgb1555Keyed(const TransferJob& job, const uint8_t* s, uint8_t* d, int width) {
  for (int x = 0; x < width; ++x) {
    const ColorPaletteEntry& e = job.src.palette[s[x]];
    const bool differs = (PaletteWord(e) & 0xFFFFFF) != (job.key & 0xFFFFFF);
    const uint32_t top = differs ? 0x8000u : (e.alpha & 1u) << 15;
    WritePixel(d + 2 * x, 2, top | Rgb555FromBytes(e.red, e.green, e.blue));
  }
}
void Rgb565ToArgb8Keyed(const TransferJob& job, const uint8_t* s, uint8_t* d, int width) {
  for (int x = 0; x < width; ++x) {
    const uint32_t p = ReadPixelValue(s + 2 * x, 2);
    WritePixel(d + 4 * x, 4, XrgbFrom565(p) | (Matches565Key(p, job.key) ? 0 : 0xFF000000u));
  }
}
void Rgb565ToArgb1555Keyed(const TransferJob& job, const uint8_t* s, uint8_t* d, int width) {
  for (int x = 0; x < width; ++x) {
    const uint32_t p = ReadPixelValue(s + 2 * x, 2);
    WritePixel(d + 2 * x, 2, Rgb555From565(p) | (Matches565Key(p, job.key) ? 0 : 0x8000u));
  }
}
void Rgb24ToArgb8Keyed(const TransferJob& job, const uint8_t* s, uint8_t* d, int width) {
  for (int x = 0; x < width; ++x, s += 3) {
    const uint32_t rgb = ReadPixelValue(s, 3);
    WritePixel(d + 4 * x, 4, rgb | (rgb == (job.key & 0xFFFFFF) ? 0 : 0xFF000000u));
  }
}
void Rgb24ToArgb1555Keyed(const TransferJob& job, const uint8_t* s, uint8_t* d, int width) {
  for (int x = 0; x < width; ++x, s += 3) {
    const uint32_t rgb = ReadPixelValue(s, 3);
    WritePixel(d + 2 * x, 2, Rgb555FromBytes(s[2], s[1], s[0]) | (rgb == (job.key & 0xFFFFFF) ? 0 : 0x8000u));
  }
}

struct FastPath {
  PixelFormatKind source;
  PixelFormatKind destination;
  int keyToAlpha;
  FastRowFunc convertRow;
};

const FastPath FastPathTable[] = {
    {FORMAT_PALETTE8, FORMAT_RGB565, 0, PaletteTo565},
    {FORMAT_PALETTE8, FORMAT_XRGB1555, 0, PaletteTo1555},
    {FORMAT_PALETTE8, FORMAT_XRGB8, 0, PaletteToXrgb8},
    {FORMAT_RGB24, FORMAT_RGB565, 0, Rgb24To565},
    {FORMAT_RGB24, FORMAT_XRGB1555, 0, Rgb24To1555},
    {FORMAT_RGB24, FORMAT_XRGB8, 0, Rgb24ToXrgb8},
    {FORMAT_RGB24, FORMAT_ARGB8, 0, Rgb24ToXrgb8},
    {FORMAT_XRGB8, FORMAT_RGB565, 0, Xrgb8To565},
    {FORMAT_XRGB1555, FORMAT_RGB565, 0, Xrgb1555To565},
    {FORMAT_RGB565, FORMAT_XRGB8, 0, Rgb565ToXrgb8},
    {FORMAT_RGB565, FORMAT_RGB24, 0, Rgb565ToRgb24},
    {FORMAT_RGB565, FORMAT_XRGB1555, 0, Rgb565To1555},
    {FORMAT_PALETTE8, FORMAT_ARGB8, 1, PaletteToArgb8Keyed},
    {FORMAT_PALETTE8, FORMAT_ARGB1555, 1, PaletteToArgb1555Keyed},
    {FORMAT_RGB565, FORMAT_ARGB8, 1, Rgb565ToArgb8Keyed},
    {FORMAT_RGB565, FORMAT_ARGB1555, 1, Rgb565ToArgb1555Keyed},
    {FORMAT_RGB24, FORMAT_ARGB8, 1, Rgb24ToArgb8Keyed},
    {FORMAT_RGB24, FORMAT_ARGB1555, 1, Rgb24ToArgb1555Keyed},
};

FastRowFunc FindFastPath(const TransferJob& job) {
  const PixelFormatKind source = ClassifyFormat(job.src);
  const PixelFormatKind destination = ClassifyFormat(job.dst);
  for (const FastPath& path : FastPathTable)
    if (path.source == source && path.destination == destination && path.keyToAlpha == (job.keyToAlpha ? 1 : 0))
      return path.convertRow;
  return nullptr;
}

// ---- General path ----

struct ChannelPlan {
  uint32_t mask;
  int shift;
  int sourceWidth;
  int destinationWidth;
  int destinationShift;
};

int TransferGeneral(const TransferJob& job) {
  const ColorData& s = job.src;
  const ColorData& d = job.dst;
  const int srcBytes = s.bytesPerPixel;
  const int dstBytes = d.bytesPerPixel;
  const bool dstHasAlpha = d.alphaMask != 0;
  const bool srcHasAlpha = s.alphaMask != 0;
  const ChannelPlan red = {s.redMask, s.redShift, s.redWidth, d.redWidth, d.redShift};
  const ChannelPlan green = {s.greenMask, s.greenShift, s.greenWidth, d.greenWidth, d.greenShift};
  const ChannelPlan blue = {s.blueMask, s.blueShift, s.blueWidth, d.blueWidth, d.blueShift};
  const uint32_t dstAlphaMaximum = dstHasAlpha ? WidthMaximum(d.alphaWidth) : 0;
  const uint32_t sourceUnion = s.redMask | s.greenMask | s.blueMask | s.alphaMask;
  const uint32_t keySkipValue = job.key & WidthMaximum(srcBytes * 8) & sourceUnion;

  // The key's channels as the source format stores them.
  uint32_t keyRed = 0, keyGreen = 0, keyBlue = 0;
  if (job.keyToAlpha) {
    uint32_t keyValue;
    if (srcBytes == 1) {
      const uint32_t index = MakeBaseImageColorCode(&s, (job.key >> 16) & 0xFF, (job.key >> 8) & 0xFF, job.key & 0xFF,
                                                    255);
      keyValue = PaletteWord(s.palette[index & 0xFF]);
    } else {
      keyValue = MakeBaseImageColorCode(&s, (job.key >> 16) & 0xFF, (job.key >> 8) & 0xFF, job.key & 0xFF, 255);
    }
    keyRed = (keyValue & s.redMask) >> s.redShift;
    keyGreen = (keyValue & s.greenMask) >> s.greenShift;
    keyBlue = (keyValue & s.blueMask) >> s.blueShift;
  }

  // Where alpha comes from and how wide it is there.
  int alphaSourceWidth = 0;
  if (job.keyToAlpha)
    alphaSourceWidth = d.alphaWidth;
  else if (job.alphaFromImage)
    alphaSourceWidth = job.alphaColor.redWidth;
  else if (!srcHasAlpha)
    alphaSourceWidth = d.alphaWidth;
  else
    alphaSourceWidth = s.alphaWidth;
  if (job.alphaFromRed) alphaSourceWidth = s.redWidth;

  const bool dither = job.ditherMode != kDitherNone &&
                      (s.redWidth != d.redWidth || s.greenWidth != d.greenWidth || s.blueWidth != d.blueWidth ||
                       (dstHasAlpha && alphaSourceWidth != d.alphaWidth));
  uint32_t runningSum[4] = {0, 0, 0, 0};

  // Width matching is looked up, not computed, for channels of up to 10 bits.
  const int fromWidth[4] = {red.sourceWidth, green.sourceWidth, blue.sourceWidth, alphaSourceWidth};
  const int toWidth[4] = {red.destinationWidth, green.destinationWidth, blue.destinationWidth,
                          dstHasAlpha ? d.alphaWidth : 0};
  constexpr int TableBits = 10;
  uint16_t widthTable[4][1 << TableBits];
  uint32_t tableSize[4] = {0, 0, 0, 0};
  for (int c = 0; c < 4; ++c) {
    if (fromWidth[c] > TableBits || toWidth[c] > 16) continue;
    tableSize[c] = 1u << fromWidth[c];
    for (uint32_t v = 0; v < tableSize[c]; ++v)
      widthTable[c][v] = static_cast<uint16_t>(MatchWidth(v, fromWidth[c], toWidth[c]));
  }

  for (int y = 0; y < job.height; ++y) {
    const uint8_t* source = job.SourceRow(y);
    const uint8_t* alphaRow = job.alphaFromImage ? job.AlphaRow(y) : nullptr;
    uint8_t* row = job.DestinationRow(y);
    for (int x = 0; x < job.width; ++x) {
      const uint8_t* pixel = source + x * srcBytes;
      const uint32_t value = ReadSourceValue(pixel, s);
      if (job.keySkip) {
        if (srcBytes == 1 ? pixel[0] == job.key : (value & sourceUnion) == keySkipValue) continue;
      }
      uint32_t channel[4];
      channel[0] = (value & red.mask) >> red.shift;
      channel[1] = (value & green.mask) >> green.shift;
      channel[2] = (value & blue.mask) >> blue.shift;
      uint32_t alpha;
      if (job.keyToAlpha) {
        alpha = channel[0] == keyRed && channel[1] == keyGreen && channel[2] == keyBlue ? 0 : dstAlphaMaximum;
      } else if (job.alphaFromImage) {
        const uint32_t alphaValue = ReadSourceValue(alphaRow + x * job.alphaColor.bytesPerPixel, job.alphaColor);
        alpha = (alphaValue & job.alphaColor.redMask) >> job.alphaColor.redShift;
      } else if (!srcHasAlpha) {
        alpha = dstAlphaMaximum;
      } else {
        alpha = dstHasAlpha ? (value & s.alphaMask) >> s.alphaShift : 0;
      }
      if (job.alphaFromRed) alpha = channel[0];
      channel[3] = alpha;

      uint32_t out[4];
      for (int c = 0; c < 4; ++c) {
        out[c] = channel[c] < tableSize[c] ? widthTable[c][channel[c]]
                                           : MatchWidth(channel[c], fromWidth[c], toWidth[c]);
        if (dither && fromWidth[c] > toWidth[c] && toWidth[c] > 0) {
          const int dropped = fromWidth[c] - toWidth[c];
          const uint32_t droppedMask = WidthMaximum(dropped);
          const uint32_t droppedBits = channel[c] & droppedMask;
          bool carry = false;
          if (job.ditherMode == kDitherOrdered) {
            const uint32_t threshold = static_cast<uint32_t>(
                uint64_t{static_cast<uint32_t>(BayerDitherMatrix[y & 3][x & 3])} * (uint64_t{droppedMask} + 1) / 16);
            carry = droppedBits > threshold;
          } else if (job.ditherMode == kDitherRunningRemainder) {
            runningSum[c] += droppedBits;
            if (runningSum[c] > droppedMask) {
              carry = true;
              runningSum[c] &= droppedMask;
            }
          }
          // A carry saturates at the channel's maximum instead of spilling into its neighbour.
          if (carry && out[c] < WidthMaximum(toWidth[c])) ++out[c];
        }
        out[c] &= WidthMaximum(toWidth[c]);
      }
      if (job.colorOff) out[0] = out[1] = out[2] = 0;
      uint32_t assembled = (out[0] << d.redShift) | (out[1] << d.greenShift) | (out[2] << d.blueShift);
      if (dstHasAlpha) assembled |= out[3] << d.alphaShift;
      if (dstBytes == 2 || dstBytes == 4) assembled |= d.spareMask;
      WritePixel(job.DestinationPixel(row, x), dstBytes, assembled);
    }
  }
  return 0;
}

}  // namespace

void EnableImageTransferFastPaths(int enable) { g_fastPathsEnabled = enable != 0; }

int TransferImagePixels(uint8_t* dstPixels, int dstPitch, const ColorData* dstColor, const uint8_t* srcPixels,
                        int srcPitch, const ColorData* srcColor, const uint8_t* alphaPixels, int alphaPitch,
                        const ColorData* alphaColor, int dstX, int dstY, const ImageTransferRect* srcRect, int mirror,
                        int keyToAlpha, uint32_t keyColor, int ditherMode, int colorOff, int alphaFromRed, int keySkip,
                        int paletteRemap) {
  const ImageTransferOptions options = {.alphaPixels = alphaPixels,
                                        .alphaPitch = alphaPitch,
                                        .alphaColor = alphaColor,
                                        .mirror = mirror,
                                        .keyToAlpha = keyToAlpha,
                                        .keyColor = keyColor,
                                        .ditherMode = ditherMode,
                                        .colorOff = colorOff,
                                        .alphaFromRed = alphaFromRed,
                                        .keySkip = keySkip,
                                        .paletteRemap = paletteRemap};
  return TransferImagePixels(dstPixels, dstPitch, dstColor, srcPixels, srcPitch, srcColor, dstX, dstY, srcRect,
                             options);
}

int TransferImagePixels(uint8_t* dstPixels, int dstPitch, const ColorData* dstColor, const uint8_t* srcPixels,
                        int srcPitch, const ColorData* srcColor, int dstX, int dstY, const ImageTransferRect* srcRect,
                        const ImageTransferOptions& options) {
  const uint8_t* alphaPixels = options.alphaPixels;
  TransferJob jobRecord;
  TransferJob* job = &jobRecord;
  job->dstPixels = dstPixels;
  job->dstPitch = dstPitch;
  job->dst = *dstColor;
  job->srcPixels = srcPixels;
  job->srcPitch = srcPitch;
  job->src = *srcColor;
  job->alphaPixels = alphaPixels;
  job->alphaPitch = options.alphaPitch;
  if (options.alphaColor)
    job->alphaColor = *options.alphaColor;
  else
    std::memset(&job->alphaColor, 0, sizeof(job->alphaColor));
  job->dstX = dstX;
  job->dstY = dstY;
  job->left = srcRect->left;
  job->top = srcRect->top;
  job->width = srcRect->right - srcRect->left;
  job->height = srcRect->bottom - srcRect->top;
  job->mirror = options.mirror;
  job->keyToAlpha = options.keyToAlpha;
  job->key = options.keyColor;
  job->ditherMode = options.ditherMode;
  job->colorOff = options.colorOff;
  job->alphaFromRed = options.alphaFromRed;
  job->keySkip = options.keySkip;
  job->paletteRemap = options.paletteRemap;

  const ColorData& d = job->dst;
  const ColorData& s = job->src;
  const bool dstHasAlpha = d.alphaMask != 0;
  const bool srcHasAlpha = s.alphaMask != 0;
  job->alphaCarry = dstHasAlpha && (alphaPixels != nullptr || srcHasAlpha);
  job->alphaFromImage = dstHasAlpha && alphaPixels != nullptr && !srcHasAlpha;
  if (job->alphaCarry || !dstHasAlpha || job->alphaFromRed) job->keyToAlpha = 0;
  if (job->mirror) job->keySkip = 0;

  int result;
  if (job->width <= 0 || job->height <= 0) {
    result = -1;
  } else if (job->paletteRemap && d.bytesPerPixel == 1 && s.bytesPerPixel == 1 &&
             std::memcmp(d.palette, s.palette, sizeof(d.palette)) != 0) {
    result = RemapPalette(*job);
  } else if (d.bytesPerPixel == 1 && s.bytesPerPixel != 1 && !job->alphaFromRed) {
    result = ConvertToPalette(*job);
  } else if (d.bytesPerPixel == 1 && s.bytesPerPixel == 1 && !job->colorOff && !job->keySkip && !job->alphaFromRed) {
    result = CopyPaletteIndices(*job);
  } else if (d.bitDepth == s.bitDepth && d.redMask == s.redMask && d.greenMask == s.greenMask &&
             d.blueMask == s.blueMask && d.alphaMask == s.alphaMask && d.bytesPerPixel == s.bytesPerPixel &&
             !job->keyToAlpha && !job->alphaFromImage && !job->colorOff && !job->alphaFromRed) {
    result = CopySameFormat(*job);
  } else if (!job->keySkip && dstHasAlpha && job->keyToAlpha && !job->colorOff && !job->alphaFromRed &&
             d.bitDepth == s.bitDepth && d.bytesPerPixel == s.bytesPerPixel && d.bytesPerPixel > 1 &&
             d.redMask == s.redMask && d.greenMask == s.greenMask && d.blueMask == s.blueMask) {
    result = KeyToAlphaSameFormat(*job);
  } else {
    FastRowFunc fastRow = nullptr;
    if (g_fastPathsEnabled && !job->keySkip && job->ditherMode == kDitherNone && !job->colorOff && !job->alphaFromRed &&
        !job->mirror && alphaPixels == nullptr)
      fastRow = FindFastPath(*job);
    if (fastRow) {
      for (int y = 0; y < job->height; ++y) fastRow(*job, job->SourceRow(y), job->DestinationRow(y), job->width);
      result = 0;
    } else if (job->keySkip && !job->keyToAlpha && !job->mirror && !job->alphaCarry && !job->alphaFromImage &&
               !job->colorOff && !job->alphaFromRed && ClassifyFormat(s) == FORMAT_XRGB8 &&
               ClassifyFormat(d) == FORMAT_ARGB8) {
      result = SkipKeyXrgbToArgb(*job);
    } else {
      result = TransferGeneral(*job);
    }
  }
  return result;
}
