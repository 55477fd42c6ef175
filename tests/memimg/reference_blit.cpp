// The reference blits: one pixel at a time, every rule decided where it applies.
#include "reference_blit.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

enum class Path { General, LineCodes, Stretched };

int64_t FloorDivide(int64_t numerator, int64_t denominator) {
  int64_t quotient = numerator / denominator;
  if ((numerator % denominator != 0) && ((numerator < 0) != (denominator < 0))) --quotient;
  return quotient;
}

// The blend image's border parameter and range, as the real table was last set up with.
int g_blendBorder = 0;
int g_blendRange = 0;

int BlendWeight(int byte) {
  const int border = std::clamp(g_blendBorder, 0, 255);
  const int range = std::clamp(g_blendRange, 0, 255);
  const int r = range + 1;
  const int a = (65536 / r + 256) * border / 256;
  return std::clamp(byte * 256 / r + 256 - a, 0, 255);
}

struct Call {
  bool wide;  // Format 1.
  bool palette;
  bool sourceAlpha;
  bool transparent;
  bool blend;
  bool plain;
  int mode;  // After the full-strength rule of mode 1.
  int param;
  uint32_t bright;
  Path path;
};

// Channel layout: blue, green, red.
int Shift(bool wide, int c) { return wide ? 8 * c : (c == 0 ? 0 : c == 1 ? 5 : 11); }
int Maximum(bool wide, int c) { return wide ? 255 : (c == 1 ? 63 : 31); }
int Bits(bool wide, int c) { return wide ? 8 : (c == 1 ? 6 : 5); }
int FieldOf(bool wide, uint32_t word, int c) { return static_cast<int>((word >> Shift(wide, c)) & Maximum(wide, c)); }

uint32_t ReadPixel(const uint8_t* p, int bytes) {
  uint32_t value = 0;
  std::memcpy(&value, p, bytes);
  return value;
}

// Draws one source pixel (raw value as read, colour word, alpha) onto the destination pixel.
void DrawPixel(const Call& call, uint32_t raw, uint32_t colour, int alpha, bool isKey, int blendByte, uint8_t* target) {
  const int destBytes = call.wide ? 4 : 2;
  const uint32_t destination = ReadPixel(target, destBytes);

  // Which pixels count, and whether they are weighted by their alpha.
  bool partial;
  if (call.sourceAlpha) {
    if (call.transparent) {
      if (alpha == 0) return;
      partial = alpha != 255;
    } else {
      partial = !(call.mode == 0 && call.plain && !call.blend);
    }
  } else {
    if (call.transparent && isKey) return;
    partial = false;
  }
  const bool opaque = !partial && !call.blend;
  const int64_t weight = (partial ? alpha : 1) * static_cast<int64_t>(call.blend ? BlendWeight(blendByte) : 1);
  const int weightBits = 8 * ((partial ? 1 : 0) + (call.blend ? 1 : 0));
  const int64_t weightScale = int64_t{1} << weightBits;
  const int p = call.param;

  auto write = [&](uint32_t value) { std::memcpy(target, &value, destBytes); };

  if (call.mode == 0 && opaque && call.plain) {
    write(call.wide ? raw : raw & 0xFFFF);
    return;
  }
  const bool fastFormsAllowed = call.path == Path::General && !call.sourceAlpha && !call.blend && call.plain;
  if (call.mode == 1 && p == 128 && fastFormsAllowed) {
    const uint32_t half = call.wide ? 0x7F7F7F : 0x7BEF;
    write(((raw >> 1) & half) + ((destination >> 1) & half));
    return;
  }

  int s[3];
  int d[3];
  for (int c = 0; c < 3; ++c) {
    s[c] = FieldOf(call.wide, colour, c);
    if (!call.plain) s[c] = s[c] * static_cast<int>((call.bright >> (8 * c)) & 0xFF) / 255;
    d[c] = FieldOf(call.wide, destination, c);
  }

  if (call.mode == 2 || call.mode == 3) {
    const bool fullStrength = p == 255 && !call.sourceAlpha && !call.blend && call.plain;
    uint32_t scaled = 0;
    for (int c = 0; c < 3; ++c) {
      const int64_t value = opaque ? s[c] * p / 255 : FloorDivide(s[c] * weight * p, weightScale * 256);
      scaled |= static_cast<uint32_t>(value) << Shift(call.wide, c);
    }
    const uint32_t mask = call.wide ? 0xFEFEFF : 0xF7DF;
    const uint32_t carries = call.wide ? 0x1010100 : 0x10820;
    const int carryShift = call.wide ? 8 : 5;
    uint32_t result;
    if (call.mode == 2) {
      const uint32_t t = (scaled & mask) + (destination & mask);
      const uint32_t c = t & carries;
      result = t | (c - (c >> carryShift));
      if (!fullStrength) result |= (scaled | destination) & (call.wide ? 0x10100u : 0x0820u);
    } else {
      const uint32_t t = (destination | carries) - (scaled & mask);
      const uint32_t c = t & carries;
      result = t & (c - (c >> carryShift));
    }
    write(result);
    return;
  }

  int out[3];
  for (int c = 0; c < 3; ++c) {
    const int max = Maximum(call.wide, c);
    const int multiplyBits = call.wide ? 8 : Bits(call.wide, c);
    int source = s[c];
    const int dest = d[c];
    switch (call.mode) {
      case 0:
        out[c] = opaque ? source : dest + static_cast<int>(FloorDivide(weight * (source - dest), weightScale));
        break;
      case 4:
        out[c] = static_cast<int>(FloorDivide(dest * source * weight, (int64_t{1} << multiplyBits) * weightScale));
        break;
      default: {
        if (call.mode == 10) source = max - source;
        if (call.mode == 11) source = FloorDivide(source * dest, int64_t{1} << multiplyBits);
        if (!opaque) {
          out[c] = dest + static_cast<int>(FloorDivide(weight * p * (source - dest), weightScale * 256));
        } else if (call.wide) {
          out[c] = dest + static_cast<int>(FloorDivide(p * (source - dest), 256));
        } else if (call.mode == 1 && fastFormsAllowed && !call.palette) {
          const int o = p / 4;
          out[c] = (o * source + (63 - o) * dest) / 63;
        } else {
          out[c] = dest + p * (source - dest) / 255;  // Truncates toward zero.
        }
      }
    }
  }
  uint32_t result = 0;
  for (int c = 0; c < 3; ++c) result |= static_cast<uint32_t>(out[c]) << Shift(call.wide, c);
  if (call.wide) result |= destination & 0xFF000000;
  write(result);
}

// The call's rules; false when it draws nothing.
bool MakeCall(const MEMIMG* dest, const MEMIMG* source, const MEMIMG* blendImage, int transparent,
              const MemImgDrawSettings& settings, Path path, Call* call) {
  if (!IsMemImgValid(dest) || !IsMemImgValid(source)) return false;
  if (blendImage &&
      (!IsMemImgValid(blendImage) || blendImage->Width < source->Width || blendImage->Height < source->Height))
    return false;
  const MemImgCore* sc = source->Core;
  const MemImgCore* dc = dest->Core;
  if (sc->Format != dc->Format || dc->UsePalette || dc->UseAlpha || sc->Format > 1) return false;
  call->wide = sc->Format == 1;
  call->palette = sc->UsePalette;
  call->sourceAlpha = sc->UseAlpha;
  call->transparent = transparent != 0;
  call->blend = blendImage != nullptr;
  call->bright = settings.BrightColor;
  call->plain = (call->bright & 0xFFFFFF) == 0xFFFFFF;
  call->param = std::clamp(settings.BlendParam, 0, 255);
  call->mode = settings.BlendMode;
  call->path = path;
  if (call->mode == 1 && call->param == 255) call->mode = 0;
  if ((call->mode == 1 || call->mode == 2) && call->param == 0) return false;
  if (call->mode == 3 && call->param == 0 && !call->palette) return false;
  const int m = call->mode;
  return m == 0 || m == 1 || m == 2 || m == 3 || m == 4 || m == 10 || m == 11;
}

// Reads source pixel (x, y) and draws it.
void DrawSourcePixel(const Call& call, const MEMIMG* source, int x, int y, const MEMIMG* blendImage, uint8_t* target) {
  const MemImgCore* core = source->Core;
  const int bytes = GetMemImgBytesPerPixel(core);
  const uint8_t* p = source->Pixels + static_cast<ptrdiff_t>(y) * core->Pitch + x * bytes;
  const uint32_t value = ReadPixel(p, bytes);
  uint32_t raw;
  uint32_t colour;
  int alpha = 255;
  bool isKey;
  if (call.palette) {
    raw = ReadPixel(core->Palette + value * (call.wide ? 4 : 2), call.wide ? 4 : 2);
    colour = raw;
    isKey = value == (core->KeyColor & 0xFF);
  } else if (call.wide) {
    raw = value;
    colour = value & 0xFFFFFF;
    alpha = static_cast<int>(value >> 24);
    isKey = value == core->KeyColor;
  } else {
    raw = value & 0xFFFF;
    colour = raw;
    if (call.sourceAlpha) alpha = static_cast<int>((value >> 16) & 0xFF);
    isKey = raw == (core->KeyColor & 0xFFFF);
  }
  const int blendByte = blendImage ? blendImage->Pixels[static_cast<ptrdiff_t>(y) * blendImage->Core->Pitch + x] : 0;
  DrawPixel(call, raw, colour, alpha, isKey, blendByte, target);
}

RECT ClippedArea(const MEMIMG* dest, const RECT& area, int64_t left, int64_t top, int64_t right, int64_t bottom) {
  RECT result;
  result.left = static_cast<LONG>(std::max<int64_t>({left, area.left, 0}));
  result.top = static_cast<LONG>(std::max<int64_t>({top, area.top, 0}));
  result.right = static_cast<LONG>(std::min<int64_t>({right, area.right, dest->Width}));
  result.bottom = static_cast<LONG>(std::min<int64_t>({bottom, area.bottom, dest->Height}));
  return result;
}

uint8_t* DestPixel(MEMIMG* dest, int x, int y) {
  return dest->Pixels + static_cast<ptrdiff_t>(y) * dest->Core->Pitch + x * GetMemImgBytesPerPixel(dest->Core);
}

}  // namespace

void SetReferenceBlendImageBorder(int border, int range) {
  g_blendBorder = border;
  g_blendRange = range;
}

void ReferenceBlitAt(MEMIMG* dest, const MEMIMG* source, int x, int y, int transparent, const MEMIMG* blendImage,
                     const MemImgDrawSettings& settings) {
  if (!IsMemImgValid(dest) || !IsMemImgValid(source)) return;
  const RECT area = ClippedArea(dest, settings.DrawArea, x, y, int64_t{x} + source->Width, int64_t{y} + source->Height);
  if (area.left >= area.right || area.top >= area.bottom) return;
  const MemImgCore* core = source->Core;
  const bool whole = area.right - area.left == source->Width && area.bottom - area.top == source->Height &&
                     source->Pixels == core->PixelBuffer && source->Width == core->Width &&
                     source->Height == core->Height;
  const Path path = transparent && core->LineCodesValid && whole ? Path::LineCodes : Path::General;
  Call call;
  if (!MakeCall(dest, source, blendImage, transparent, settings, path, &call)) return;
  for (int dy = area.top; dy < area.bottom; ++dy)
    for (int dx = area.left; dx < area.right; ++dx)
      DrawSourcePixel(call, source, dx - x, dy - y, blendImage, DestPixel(dest, dx, dy));
}

void ReferenceBlitToRect(MEMIMG* dest, const MEMIMG* source, const int rect[4], int transparent,
                         const MEMIMG* blendImage, const MemImgDrawSettings& settings) {
  if (!IsMemImgValid(dest) || !IsMemImgValid(source)) return;
  const int64_t left = std::min(rect[0], rect[2]);
  const int64_t right = std::max(rect[0], rect[2]);
  const int64_t top = std::min(rect[1], rect[3]);
  const int64_t bottom = std::max(rect[1], rect[3]);
  const bool mirrorX = rect[0] > rect[2];
  const bool mirrorY = rect[1] > rect[3];
  const int64_t width = right - left;
  const int64_t height = bottom - top;
  if (width == 0 || height == 0) return;
  if (width == source->Width && height == source->Height && !mirrorX && !mirrorY) {
    ReferenceBlitAt(dest, source, static_cast<int>(left), static_cast<int>(top), transparent, blendImage, settings);
    return;
  }
  if (source->Width > 65536 || source->Height > 65536) return;
  const int64_t stepX = (width << 16) / source->Width;
  const int64_t stepY = (height << 16) / source->Height;
  if (stepX == 0 || stepY == 0) return;
  const RECT area = ClippedArea(dest, settings.DrawArea, left, top, right, bottom);
  if (area.left >= area.right || area.top >= area.bottom) return;
  Call call;
  if (!MakeCall(dest, source, blendImage, transparent, settings, Path::Stretched, &call)) return;
  // Destination pixel j of the rectangle shows source pixel floor(j * 65536 / step).
  for (int dy = area.top; dy < area.bottom; ++dy) {
    int sy = static_cast<int>(((dy - top) << 16) / stepY);
    if (mirrorY) sy = source->Height - 1 - sy;
    for (int dx = area.left; dx < area.right; ++dx) {
      int sx = static_cast<int>(((dx - left) << 16) / stepX);
      if (mirrorX) sx = source->Width - 1 - sx;
      DrawSourcePixel(call, source, sx, sy, blendImage, DestPixel(dest, dx, dy));
    }
  }
}
