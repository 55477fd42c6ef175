// The MEMIMG manager: set-up of images and views over shared, reference-counted pixel stores,
// release, raw fills and the cached pixel layouts.
//
// A store lives until the last view that holds it is released; a caller's pixel buffer is never
// freed. Set-up refuses sizes whose buffers could not be addressed and pitches shorter than a row,
// and a failed set-up leaves nothing allocated behind.
#include <climits>
#include <cstring>
#include <utility>

#include "memimg/derived_data.h"
#include "memimg/memimg_services.h"
#include "zyvel/memimg.h"

int GetMemImgBytesPerPixel(const MemImgCore* core) {
  if (core->UsePalette) return 1;
  switch (core->Format) {
    case 0:
      return core->UseAlpha ? 4 : 2;
    case 1:
      return 4;
    case 2:
      return 1;
    default:
      return 2;
  }
}

const ColorData* GetMemImgColorData(unsigned format, int useAlpha, int usePalette) {
  // One layout per variant, built on first request and kept for the life of the process.
  static ColorData layouts[2][2][2];
  static bool built[2][2][2];
  static ColorData singleChannel[2];
  static bool singleChannelBuilt[2];
  if (format > kMemImgFormatChannel16) return nullptr;
  if (format >= kMemImgFormatChannel8) {
    const int index = format - 2;
    if (!singleChannelBuilt[index]) {
      ColorData& color = singleChannel[index];
      std::memset(&color, 0, sizeof color);
      const int bits = format == kMemImgFormatChannel8 ? 8 : 16;
      const uint32_t mask = format == kMemImgFormatChannel8 ? 0xFF : 0xFFFF;
      color.bitDepth = static_cast<uint16_t>(bits);
      color.bytesPerPixel = static_cast<uint16_t>(bits / 8);
      color.redWidth = color.greenWidth = color.blueWidth = color.alphaWidth = static_cast<uint8_t>(bits);
      color.redMask = color.greenMask = color.blueMask = color.alphaMask = mask;
      singleChannelBuilt[index] = true;
    }
    return &singleChannel[index];
  }
  const int alpha = useAlpha ? 1 : 0;
  const int palette = usePalette ? 1 : 0;
  if (!built[format][alpha][palette]) {
    ColorData& color = layouts[format][alpha][palette];
    std::memset(&color, 0, sizeof color);
    const int bits = palette ? 8 : format == kMemImgFormat16 ? (alpha ? 32 : 16) : 32;
    if (format == kMemImgFormat16)
      SetupColorDataFromMasks(&color, bits, 0xF800, 0x07E0, 0x001F, alpha ? 0x00FF0000 : 0);
    else
      SetupColorDataFromMasks(&color, bits, 0x00FF0000, 0x0000FF00, 0x000000FF, alpha ? 0xFF000000 : 0);
    built[format][alpha][palette] = true;
  }
  return &layouts[format][alpha][palette];
}

// Frees every buffer the core owns and the core itself.
static void FreeMemImgCore(MemImgCore* core) {
  if (core->PixelBuffer && !core->UserPixels) ZV_FREE(core->PixelBuffer);
  if (core->PremultBuffer) ZV_FREE(core->PremultBuffer);
  if (core->LineCodes) ZV_FREE(core->LineCodes);
  if (core->Palette) ZV_FREE(core->Palette);
  ZV_FREE(core);
}

// A buffer size in bytes, or -1 when it does not fit the allocator's int.
static int BufferSize(long long rowBytes, long long rows) {
  const long long size = rowBytes * rows;
  return size > INT_MAX ? -1 : static_cast<int>(size);
}

int SetupMemImg(MEMIMG* image, int width, int height, int pitch, uint32_t keyColor, int format, int usePalette,
                int useAlpha, int extraBuffers, void* userPixels) {
  if (image->ValidMark == kMemImgValidMark) return -1;
  if (width < 0 || height < 0 || format < kMemImgFormat16 || format > kMemImgFormatChannel16 || pitch < -1) return -1;

  // A core left in an unmarked record is reused, but as a fresh store: whatever buffers it holds
  // were made for another size.
  MemImgCore* core = image->Core;
  if (core) {
    if (core->PixelBuffer && !core->UserPixels) ZV_FREE(core->PixelBuffer);
    if (core->PremultBuffer) ZV_FREE(core->PremultBuffer);
    if (core->LineCodes) ZV_FREE(core->LineCodes);
    if (core->Palette) ZV_FREE(core->Palette);
    std::memset(core, 0, sizeof *core);
  } else {
    core = static_cast<MemImgCore*>(ZV_ALLOC_ZEROED(sizeof(MemImgCore)));
    if (!core) return -1;
  }
  image->Core = core;

  if (usePalette) useAlpha = 0;
  if (format >= kMemImgFormatChannel8) usePalette = useAlpha = 0;
  core->Width = width;
  core->Height = height;
  core->RefCount = 1;
  core->KeyColor = keyColor;
  core->Format = format;
  core->UsePalette = usePalette ? 1 : 0;
  core->UseAlpha = useAlpha ? 1 : 0;
  core->PremultValid = 0;
  core->LineCodesValid = 0;

  const int bytesPerPixel = GetMemImgBytesPerPixel(core);
  const long long rowBytes = static_cast<long long>(bytesPerPixel) * width;
  long long fullPitch = pitch;
  if (pitch == -1) fullPitch = (rowBytes + 15) / 16 * 16;
  const int pixelBytes = BufferSize(fullPitch, height);
  const int lineCodeBytes = BufferSize(static_cast<long long>(width) + 5, height);
  if (fullPitch < rowBytes || fullPitch > INT_MAX || pixelBytes < 0 || lineCodeBytes < 0) {
    FreeMemImgCore(core);
    image->Core = nullptr;
    return -1;
  }
  core->Pitch = static_cast<int>(fullPitch);

  // The pitch's shift is measured against the requested pitch, or the unpadded row when the
  // pitch is computed, so a computed pitch that needed padding never counts as a power of two.
  const long long measured = pitch == -1 ? rowBytes : pitch;
  int shift = 0;
  while ((1LL << shift) < measured) ++shift;
  core->PitchShift = (1LL << shift) == core->Pitch ? shift : -1;
  core->Layout = GetMemImgColorData(static_cast<unsigned>(format), core->UseAlpha, core->UsePalette);

  bool failed = false;
  if (core->UsePalette) {
    core->Palette = static_cast<uint8_t*>(ZV_ALLOC_ZEROED(2048));
    core->PaletteCopy = core->Palette ? core->Palette + 1024 : nullptr;
    failed = !core->Palette;
  }
  if (!failed) {
    if (userPixels) {
      core->PixelBuffer = static_cast<uint8_t*>(userPixels);
      core->UserPixels = 1;
    } else {
      core->PixelBuffer = static_cast<uint8_t*>(ZV_ALLOC(pixelBytes));
      failed = !core->PixelBuffer;
    }
  }
  if (!failed && extraBuffers) {
    if (core->UseAlpha) {
      core->PremultBuffer = static_cast<uint8_t*>(ZV_ALLOC(pixelBytes));
      failed = !core->PremultBuffer;
    }
    if (!failed && format != kMemImgFormatChannel8) {
      core->LineCodes = static_cast<uint8_t*>(ZV_ALLOC(lineCodeBytes));
      failed = !core->LineCodes;
    }
  }
  if (failed) {
    FreeMemImgCore(core);
    image->Core = nullptr;
    return -1;
  }

  image->ValidMark = kMemImgValidMark;
  image->Width = width;
  image->Height = height;
  image->Pixels = core->PixelBuffer;
  image->PremultPixels = core->PremultBuffer;
  return 0;
}

namespace {
ScreenColorBitsQuery g_screenColorBits = nullptr;
}  // namespace

void SetMemImgScreenColorBitsQuery(ScreenColorBitsQuery query) { g_screenColorBits = query; }

int SetupScreenMemImg(MEMIMG* image, int width, int height, int format) {
  // The record starts afresh; a store it still held is let go first rather than leaked.
  ReleaseMemImg(image);
  std::memset(image, 0, sizeof *image);
  if (format == -1) format = (g_screenColorBits ? g_screenColorBits() : 16) == 16 ? 0 : 1;
  return SetupMemImg(image, width, height, -1, 0, format, 0, 0, 0, nullptr);
}

void ReleaseMemImg(MEMIMG* image) {
  if (image->ValidMark != kMemImgValidMark) return;
  MemImgCore* core = image->Core;
  if (core && --core->RefCount <= 0) FreeMemImgCore(core);
  image->Core = nullptr;
  image->ValidMark = 0;
}

int IsMemImgValid(const MEMIMG* image) { return image && image->ValidMark == kMemImgValidMark && image->Core ? 1 : 0; }

void MakeMemImgView(MEMIMG* view, const MEMIMG* source, int x, int y, int width, int height) {
  if (!IsMemImgValid(source)) return;
  if (x < 0 || y < 0 || width < 0 || height < 0 || static_cast<long long>(x) + width > source->Width ||
      static_cast<long long>(y) + height > source->Height)
    return;
  MemImgCore* core = source->Core;
  const ptrdiff_t offset = static_cast<ptrdiff_t>(x) * GetMemImgBytesPerPixel(core) +
                           static_cast<ptrdiff_t>(y) * core->Pitch;
  uint8_t* pixels = source->Pixels + offset;
  uint8_t* premultPixels = core->PremultBuffer && source->PremultPixels ? source->PremultPixels + offset : nullptr;
  // Hold the store before letting go of whatever the view held, which may be the same store.
  ++core->RefCount;
  ReleaseMemImg(view);
  view->ValidMark = kMemImgValidMark;
  view->Width = width;
  view->Height = height;
  view->Pixels = pixels;
  view->PremultPixels = premultPixels;
  view->Core = core;
}

void InvalidateMemImgDerivedData(MEMIMG* image) {
  image->Core->PremultValid = 0;
  image->Core->LineCodesValid = 0;
}

void FillMemImgRaw(MEMIMG* image, const RECT* area, uint32_t value) {
  if (!IsMemImgValid(image)) return;
  RECT fill = area ? *area : RECT{0, 0, image->Width, image->Height};
  if (fill.left > fill.right) std::swap(fill.left, fill.right);
  if (fill.top > fill.bottom) std::swap(fill.top, fill.bottom);
  const RECT whole = {0, 0, image->Width, image->Height};
  ClipRectToRect(&fill, &whole);
  if (fill.left == fill.right || fill.top == fill.bottom) return;
  MemImgCore* core = image->Core;
  InvalidateMemImgDerivedData(image);
  const int bytesPerPixel = GetMemImgBytesPerPixel(core);
  const int count = fill.right - fill.left;
  for (int y = fill.top; y < fill.bottom; ++y) {
    uint8_t* row = image->Pixels + static_cast<ptrdiff_t>(y) * core->Pitch +
                   static_cast<ptrdiff_t>(fill.left) * bytesPerPixel;
    if (bytesPerPixel == 1) {
      std::memset(row, static_cast<int>(value & 0xFF), count);
    } else if (bytesPerPixel == 2) {
      const uint16_t pixel = static_cast<uint16_t>(value);
      for (int x = 0; x < count; ++x) std::memcpy(row + x * 2, &pixel, 2);
    } else {
      for (int x = 0; x < count; ++x) std::memcpy(row + x * 4, &value, 4);
    }
  }
}
