// SetDIBitsToDevice and StretchDIBits: a DIB drawn into the DIB section selected into a memory
// context, or shown in the window of a window context.
#include <vector>

#include "dib_section.h"
#include "platform/window_surface.h"

namespace platform {
namespace {

// Copies the source rectangle (top-down coordinates) of a decoded DIB into a destination
// rectangle of the context, stretched by nearest pixel; a negative destination size mirrors.
int DrawDecoded(HDC dc, const DecodedDib& dib, int destinationX, int destinationY, int destinationWidth,
                int destinationHeight, int sourceX, int sourceY, int sourceWidth, int sourceHeight) {
  DeviceContext* context = LookUpDeviceContext(dc);
  if (!context || sourceWidth <= 0 || sourceHeight <= 0 || destinationWidth == 0 || destinationHeight == 0) return 0;
  const bool mirrorX = destinationWidth < 0;
  const bool mirrorY = destinationHeight < 0;
  const int outWidth = mirrorX ? -destinationWidth : destinationWidth;
  const int outHeight = mirrorY ? -destinationHeight : destinationHeight;
  if (mirrorX) destinationX -= outWidth - 1;
  if (mirrorY) destinationY -= outHeight - 1;
  if (static_cast<int64_t>(outWidth) * outHeight > (int64_t{1} << 28)) return 0;

  auto sourcePixel = [&](int x, int y) -> uint32_t {
    const int64_t u = static_cast<int64_t>(mirrorX ? outWidth - 1 - x : x) * sourceWidth / outWidth + sourceX;
    const int64_t v = static_cast<int64_t>(mirrorY ? outHeight - 1 - y : y) * sourceHeight / outHeight + sourceY;
    if (u < 0 || v < 0 || u >= dib.width || v >= dib.height) return 0;
    return dib.pixels[static_cast<size_t>(v) * dib.width + static_cast<size_t>(u)];
  };

  if (context->memory) {
    auto* section = dynamic_cast<DibSection*>(context->selectedBitmap);
    if (!section) return 0;
    for (int y = 0; y < outHeight; ++y) {
      const int targetY = destinationY + y;
      if (targetY < 0 || targetY >= section->height()) continue;
      for (int x = 0; x < outWidth; ++x) {
        const int targetX = destinationX + x;
        if (targetX < 0 || targetX >= section->width()) continue;
        section->StorePixel(targetX, targetY, sourcePixel(x, y));
      }
    }
    return sourceHeight;
  }
  const RECT destination = {destinationX, destinationY, destinationX + outWidth, destinationY + outHeight};
  // Unscaled from inside the picture: its rows go to the window as they are.
  if (!mirrorX && !mirrorY && outWidth == sourceWidth && outHeight == sourceHeight && sourceX >= 0 && sourceY >= 0 &&
      static_cast<int64_t>(sourceX) + sourceWidth <= dib.width &&
      static_cast<int64_t>(sourceY) + sourceHeight <= dib.height) {
    const uint32_t* first = dib.pixels.data() + static_cast<size_t>(sourceY) * dib.width + sourceX;
    if (!PresentToWindow(context->window, first, outWidth, outHeight, dib.width * 4, &destination)) return 0;
    return sourceHeight;
  }
  std::vector<uint32_t> frame(static_cast<size_t>(outWidth) * outHeight);
  for (int y = 0; y < outHeight; ++y)
    for (int x = 0; x < outWidth; ++x) frame[static_cast<size_t>(y) * outWidth + x] = sourcePixel(x, y);
  if (!PresentToWindow(context->window, frame.data(), outWidth, outHeight, outWidth * 4, &destination)) return 0;
  return sourceHeight;
}

// DIB source coordinates count from the bottom-left corner for a bottom-up DIB.
int TopDownSourceY(const BITMAPINFO* info, int height, int sourceY, int sourceHeight) {
  return info->bmiHeader.biHeight > 0 ? height - sourceY - sourceHeight : sourceY;
}

}  // namespace
}  // namespace platform

int SetDIBitsToDevice(HDC dc, int destinationX, int destinationY, DWORD width, DWORD height, int sourceX, int sourceY,
                      UINT startScan, UINT scanLines, const void* bits, const BITMAPINFO* info, UINT) {
  platform::DecodedDib dib;
  if (!platform::DecodeDib(info, bits, startScan, scanLines, &dib)) return 0;
  if (width > 0x7FFFFFFF || height > 0x7FFFFFFF) return 0;
  const int w = static_cast<int>(width);
  const int h = static_cast<int>(height);
  const int top = platform::TopDownSourceY(info, dib.height, sourceY, h);
  if (platform::DrawDecoded(dc, dib, destinationX, destinationY, w, h, sourceX, top, w, h) == 0) return 0;
  const int64_t available = static_cast<int64_t>(dib.height) - startScan;
  return static_cast<int>(available < scanLines ? (available < 0 ? 0 : available) : scanLines);
}

int StretchDIBits(HDC dc, int destinationX, int destinationY, int destinationWidth, int destinationHeight, int sourceX,
                  int sourceY, int sourceWidth, int sourceHeight, const void* bits, const BITMAPINFO* info, UINT,
                  DWORD) {
  platform::DecodedDib dib;
  if (!info) return 0;
  const int lines = info->bmiHeader.biHeight < 0 ? -info->bmiHeader.biHeight : info->bmiHeader.biHeight;
  if (!platform::DecodeDib(info, bits, 0, static_cast<UINT>(lines), &dib)) return 0;
  // StretchDIBits counts the source rectangle from the bottom-left corner for top-down DIBs too
  // (SetDIBitsToDevice does not), and its callers rely on it.
  const int top = dib.height - sourceY - sourceHeight;
  return platform::DrawDecoded(dc, dib, destinationX, destinationY, destinationWidth, destinationHeight, sourceX, top,
                               sourceWidth, sourceHeight);
}
