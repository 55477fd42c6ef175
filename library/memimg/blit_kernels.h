// The loops of the software blits. One template body gives every combination of source family,
// blend operation and the four switches (blend image, plain bright, source alpha, transparency) a
// loop of its own, so nothing that is fixed for a call is tested per pixel; blit_table.h lists
// which combinations exist. The arithmetic is the tables' (no division in any loop).
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "zyvel/memimg.h"

// Source families: pixel format 1 or 0, paletted or direct.
enum BlitFamily {
  kFamilyPalette32 = 0,
  kFamilyDirect32 = 1,
  kFamilyPalette16 = 2,
  kFamilyDirect16 = 3,
  kFamilyCount = 4,
};

// Blend operations, with the special forms a call can select up front.
enum BlitOperation {
  kOperationCopy = 0,       // Mode 0 (and mode 1 at full strength).
  kOperationAlpha,          // Mode 1.
  kOperationAlphaHalving,   // Mode 1 at 128, no alpha, no blend image, plain bright.
  kOperationAlphaMix,       // 16-bit mode 1 through the 6-bit mix table.
  kOperationAdd,            // Mode 2.
  kOperationAddFull,        // Mode 2 at 255, no alpha, no blend image, plain bright.
  kOperationSubtract,       // Mode 3.
  kOperationMultiply,       // Mode 4.
  kOperationInvertedAlpha,  // Mode 10.
  kOperationMultiplyBlend,  // Mode 11.
  kOperationCount,
};

// How source pixels are visited.
enum BlitForm {
  kFormGeneral = 0,    // Row by row, every pixel tested.
  kFormLineCodes = 1,  // Row by row along the source's line codes.
  kFormStretched = 2,  // Stepped in 16.16 fixed point, possibly mirrored.
  kFormCount = 3,
};

// Everything a loop needs, prepared once per call.
struct BlitCall {
  uint8_t* dest;  // First destination pixel drawn.
  ptrdiff_t destPitch;
  const uint8_t* source;  // General and line-code forms: the source pixel drawn first;
  ptrdiff_t sourcePitch;  // stretched: the source's top-left pixel.
  const uint8_t* blend;   // Same position in the blend image, or null.
  ptrdiff_t blendPitch;
  int width;  // Destination pixels per row and rows.
  int height;
  const uint8_t* lineCodes;      // Line-code form: the codes of the source's first row.
  uint32_t key;                  // As GetMemImgComparedKey gives it.
  const uint8_t* palette;        // Palette entries of a paletted source.
  int param;                     // `BlendParam`, 0..255.
  const int32_t* product;        // ProductTable row of the parameter.
  const int32_t* signedProduct;  // Signed-product row of the parameter, centred.
  const uint8_t* mix;            // MixTable64 plane of the parameter / 4.
  const int32_t* bright[3];      // ProductTable rows of the bright colour's blue, green, red.
  const uint8_t* blendWeights;   // BlendImageAlphaTable.
  // Stretched form.
  int64_t stepX;
  int64_t stepY;
  int64_t startErrorX;
  int64_t startErrorY;
  int startColumn;  // First source column and row drawn.
  int startRow;
  int directionX;  // +1 or -1.
  int directionY;
};

typedef void (*BlitRowsFunction)(const BlitCall& call);

// Looks a loop up; null for a combination that has none.
BlitRowsFunction GetBlitRowsFunction(int form, int family, int operation, bool blendImage, bool plainBright,
                                     bool sourceAlpha, bool transparent);

namespace blit_detail {

template <bool Wide>
struct Channels;
// 32-bit pixels: blue, green, red bytes, then a fourth byte that is not colour.
template <>
struct Channels<true> {
  using Pixel = uint32_t;
  static constexpr int kShift[3] = {0, 8, 16};
  static constexpr int kMaximum[3] = {255, 255, 255};
  static constexpr int kMultiplyShift[3] = {8, 8, 8};
  static constexpr uint32_t kAddMask = 0xFEFEFF;
  static constexpr uint32_t kCarryMask = 0x1010100;
  static constexpr uint32_t kLowBits = 0x10100;
  static constexpr int kCarryShift = 8;
  static constexpr uint32_t kHalfMask = 0x7F7F7F;
};
// 5-6-5 pixels: blue in bits 0-4, green 5-10, red 11-15.
template <>
struct Channels<false> {
  using Pixel = uint16_t;
  static constexpr int kShift[3] = {0, 5, 11};
  static constexpr int kMaximum[3] = {31, 63, 31};
  static constexpr int kMultiplyShift[3] = {5, 6, 5};
  static constexpr uint32_t kAddMask = 0xF7DF;
  static constexpr uint32_t kCarryMask = 0x10820;
  static constexpr uint32_t kLowBits = 0x0820;
  static constexpr int kCarryShift = 5;
  static constexpr uint32_t kHalfMask = 0x7BEF;
};

template <typename T>
inline T Load(const uint8_t* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}
template <typename T>
inline void Store(uint8_t* p, T value) {
  std::memcpy(p, &value, sizeof value);
}

template <int Family, int Operation, bool BlendImage, bool PlainBright, bool SourceAlpha, bool Transparent, int Form>
struct BlitLoop {
  static constexpr bool kWide = Family == kFamilyPalette32 || Family == kFamilyDirect32;
  static constexpr bool kPalette = Family == kFamilyPalette32 || Family == kFamilyPalette16;
  static constexpr int kSourceBytes = kPalette ? 1 : (kWide || SourceAlpha) ? 4 : 2;
  static constexpr int kDestBytes = kWide ? 4 : 2;
  using C = Channels<kWide>;
  using Pixel = typename C::Pixel;

  // The source pixel as raw word (what a plain copy writes), colour word and alpha.
  struct Source {
    uint32_t raw;
    uint32_t colour;
    int alpha;
  };

  static inline Source Read(const BlitCall& call, const uint8_t* p) {
    Source s;
    if constexpr (kPalette) {
      s.raw = kWide ? Load<uint32_t>(call.palette + *p * 4) : Load<uint16_t>(call.palette + *p * 2);
      s.colour = s.raw;
      s.alpha = 255;
    } else if constexpr (kWide) {
      s.raw = Load<uint32_t>(p);
      s.colour = s.raw & 0xFFFFFF;
      s.alpha = static_cast<int>(s.raw >> 24);
    } else if constexpr (SourceAlpha) {
      const uint32_t word = Load<uint32_t>(p);
      s.raw = word & 0xFFFF;
      s.colour = s.raw;
      s.alpha = static_cast<int>((word >> 16) & 0xFF);
    } else {
      s.raw = Load<uint16_t>(p);
      s.colour = s.raw;
      s.alpha = 255;
    }
    return s;
  }

  // Whether the key leaves this pixel out (sources without alpha, transparent flag set).
  static inline bool IsKey(const BlitCall& call, const uint8_t* p) {
    if constexpr (kPalette)
      return *p == call.key;
    else if constexpr (kWide)
      return Load<uint32_t>(p) == call.key;
    else
      return Load<uint16_t>(p) == call.key;
  }

  static inline int Field(uint32_t word, int channel) {
    return static_cast<int>((word >> C::kShift[channel]) & C::kMaximum[channel]);
  }

  // Draws one pixel: Partial weights it by its alpha; weight is the blend image's.
  template <bool Partial>
  static inline void Draw(const BlitCall& call, const Source& source, int weight, uint8_t* target) {
    const Pixel destination = Load<Pixel>(target);
    constexpr bool kOpaque = !Partial && !BlendImage;
    // Combined weight of alpha and blend image, and its shift.
    constexpr int kWeightShift = 8 * ((Partial ? 1 : 0) + (BlendImage ? 1 : 0));
    using Wide = std::conditional_t<Partial && BlendImage, int64_t, int32_t>;
    const Wide combined = static_cast<Wide>(Partial ? source.alpha : 1) * (BlendImage ? weight : 1);

    if constexpr (Operation == kOperationCopy && kOpaque && PlainBright) {
      Store<Pixel>(target, static_cast<Pixel>(source.raw));
      return;
    }
    if constexpr (Operation == kOperationAlphaHalving) {
      Store<Pixel>(target,
                   static_cast<Pixel>(((source.raw >> 1) & C::kHalfMask) + ((destination >> 1) & C::kHalfMask)));
      return;
    }

    // 32-bit steps toward s by a weight f of 8 bits: d + floor(f (s - d) / 256) is
    // (d (256 - f) + s f) >> 8, two channels per multiplication.
    constexpr bool kOneByteWeight =
        kWide && (((Operation == kOperationAlpha || Operation == kOperationInvertedAlpha) && kOpaque) ||
                  (Operation == kOperationCopy && kWeightShift == 8));
    if constexpr (kOneByteWeight) {
      uint32_t word = source.colour & 0xFFFFFF;
      if constexpr (!PlainBright)
        word = static_cast<uint32_t>(call.bright[0][word & 0xFF] | (call.bright[1][(word >> 8) & 0xFF] << 8) |
                                     (call.bright[2][word >> 16] << 16));
      if constexpr (Operation == kOperationInvertedAlpha) word ^= 0xFFFFFF;
      const uint32_t f = Operation == kOperationCopy ? static_cast<uint32_t>(combined)
                                                     : static_cast<uint32_t>(call.param);
      const uint32_t g = 256 - f;
      const uint32_t redBlue = (((destination & 0xFF00FF) * g + (word & 0xFF00FF) * f) >> 8) & 0xFF00FF;
      const uint32_t green = (((destination & 0x00FF00) * g + (word & 0x00FF00) * f) >> 8) & 0x00FF00;
      Store<Pixel>(target, static_cast<Pixel>((destination & 0xFF000000) | redBlue | green));
      return;
    }

    int s[3];
    int d[3];
    for (int c = 0; c < 3; ++c) {
      s[c] = Field(source.colour, c);
      if constexpr (!PlainBright) s[c] = call.bright[c][s[c]];
      d[c] = Field(destination, c);
    }

    if constexpr (Operation == kOperationAdd || Operation == kOperationAddFull || Operation == kOperationSubtract) {
      uint32_t scaled = 0;
      for (int c = 0; c < 3; ++c) {
        int value;
        if constexpr (Operation == kOperationAddFull)
          value = s[c];
        else if constexpr (kOpaque)
          value = call.product[s[c]];
        else
          value = static_cast<int>((s[c] * combined * call.param) >> (kWeightShift + 8));
        scaled |= static_cast<uint32_t>(value) << C::kShift[c];
      }
      const uint32_t d32 = destination;
      uint32_t result;
      if constexpr (Operation == kOperationSubtract) {
        const uint32_t t = (d32 | C::kCarryMask) - (scaled & C::kAddMask);
        const uint32_t carry = t & C::kCarryMask;
        result = t & (carry - (carry >> C::kCarryShift));
      } else {
        const uint32_t t = (scaled & C::kAddMask) + (d32 & C::kAddMask);
        const uint32_t carry = t & C::kCarryMask;
        result = t | (carry - (carry >> C::kCarryShift));
        if constexpr (Operation != kOperationAddFull) result |= (scaled | d32) & C::kLowBits;
      }
      Store<Pixel>(target, static_cast<Pixel>(result));
      return;
    }

    int out[3];
    for (int c = 0; c < 3; ++c) {
      const int dc = d[c];
      int sc = s[c];
      if constexpr (Operation == kOperationInvertedAlpha) sc = C::kMaximum[c] - sc;
      if constexpr (Operation == kOperationMultiplyBlend) sc = (sc * dc) >> C::kMultiplyShift[c];
      if constexpr (Operation == kOperationCopy) {
        out[c] = kOpaque ? sc : dc + static_cast<int>((combined * (sc - dc)) >> kWeightShift);
      } else if constexpr (Operation == kOperationMultiply) {
        out[c] = kOpaque ? (dc * sc) >> C::kMultiplyShift[c]
                         : static_cast<int>((dc * sc * combined) >> (C::kMultiplyShift[c] + kWeightShift));
      } else if constexpr (Operation == kOperationAlphaMix) {
        out[c] = call.mix[(sc << 6) | dc];
      } else {
        // Alpha, inverted alpha and multiply-blend: a weighted step from d toward s.
        if constexpr (kOpaque) {
          if constexpr (kWide)
            out[c] = dc + ((call.param * (sc - dc)) >> 8);
          else
            out[c] = dc + call.signedProduct[sc - dc];
        } else {
          out[c] = dc + static_cast<int>((combined * call.param * (sc - dc)) >> (kWeightShift + 8));
        }
      }
    }
    uint32_t result = 0;
    for (int c = 0; c < 3; ++c) result |= static_cast<uint32_t>(out[c]) << C::kShift[c];
    if constexpr (kWide) result |= destination & 0xFF000000;  // The fourth byte is kept.
    Store<Pixel>(target, static_cast<Pixel>(result));
  }

  // One source pixel of the general or stretched form, with its transparency rules.
  static inline void Visit(const BlitCall& call, const uint8_t* sourcePixel, const uint8_t* blendByte,
                           uint8_t* target) {
    const int weight = BlendImage ? call.blendWeights[*blendByte] : 0;
    if constexpr (SourceAlpha) {
      const Source source = Read(call, sourcePixel);
      if constexpr (Transparent) {
        if (source.alpha == 0) return;
        if (source.alpha == 255)
          Draw<false>(call, source, weight, target);
        else
          Draw<true>(call, source, weight, target);
      } else if constexpr (Operation == kOperationCopy && !BlendImage && PlainBright) {
        Draw<false>(call, source, weight, target);  // Copied unchanged, alpha and all.
      } else {
        Draw<true>(call, source, weight, target);
      }
    } else {
      if constexpr (Transparent)
        if (IsKey(call, sourcePixel)) return;
      Draw<false>(call, Read(call, sourcePixel), weight, target);
    }
  }

  static void Rows(const BlitCall& shared) {
    // A private copy: pixel stores go through byte pointers, which could alias the caller's record
    // and would make every pixel reload its fields.
    const BlitCall call = shared;
    if constexpr (Form == kFormGeneral) {
      if constexpr (Operation == kOperationCopy && !BlendImage && PlainBright && !Transparent && !kPalette &&
                    kSourceBytes == kDestBytes) {
        // Rows that follow each other in both images are one block.
        const ptrdiff_t rowBytes = static_cast<ptrdiff_t>(call.width) * kDestBytes;
        // (Not when they overlap: row by row, a later row may read what an earlier one wrote.)
        const size_t bytes = static_cast<size_t>(rowBytes) * call.height;
        if (call.sourcePitch == rowBytes && call.destPitch == rowBytes &&
            (call.source + bytes <= call.dest || call.dest + bytes <= call.source)) {
          std::memcpy(call.dest, call.source, bytes);
          return;
        }
      }
      for (int y = 0; y < call.height; ++y) {
        const uint8_t* source = call.source + y * call.sourcePitch;
        const uint8_t* blend = BlendImage ? call.blend + y * call.blendPitch : nullptr;
        uint8_t* dest = call.dest + y * call.destPitch;
        if constexpr (Operation == kOperationCopy && !BlendImage && PlainBright && !Transparent && !kPalette &&
                      kSourceBytes == kDestBytes) {
          std::memmove(dest, source, static_cast<size_t>(call.width) * kDestBytes);
          continue;
        }
        for (int x = 0; x < call.width; ++x)
          Visit(call, source + x * kSourceBytes, BlendImage ? blend + x : nullptr, dest + x * kDestBytes);
      }
    } else if constexpr (Form == kFormLineCodes) {
      const uint8_t* code = call.lineCodes;
      for (int y = 0; y < call.height; ++y) {
        const uint8_t* source = call.source + y * call.sourcePitch;
        const uint8_t* blend = BlendImage ? call.blend + y * call.blendPitch : nullptr;
        uint8_t* dest = call.dest + y * call.destPitch;
        int x = 0;
        for (uint8_t value = *code++; value != kMemImgLineEnd; value = *code++) {
          int length = (value & 63) + 1;
          if (length > call.width - x) length = call.width - x;
          const int kind = value >> 6;
          if (kind != kMemImgRunTransparent) {
            if constexpr (Operation == kOperationCopy && !BlendImage && PlainBright && !kPalette &&
                          kSourceBytes == kDestBytes) {
              if (kind == kMemImgRunOpaque) {
                std::memmove(dest + x * kDestBytes, source + x * kSourceBytes,
                             static_cast<size_t>(length) * kDestBytes);
                x += length;
                continue;
              }
            }
            for (int i = x; i < x + length; ++i) {
              const int weight = BlendImage ? call.blendWeights[blend[i]] : 0;
              const Source pixel = Read(call, source + i * kSourceBytes);
              if (SourceAlpha && kind == kMemImgRunPartial)
                Draw<true>(call, pixel, weight, dest + i * kDestBytes);
              else
                Draw<false>(call, pixel, weight, dest + i * kDestBytes);
            }
          }
          x += length;
        }
      }
    } else {
      int64_t errorY = call.startErrorY;
      ptrdiff_t row = call.startRow;
      for (int y = 0; y < call.height; ++y) {
        const uint8_t* source = call.source + row * call.sourcePitch;
        const uint8_t* blend = BlendImage ? call.blend + row * call.blendPitch : nullptr;
        uint8_t* dest = call.dest + y * call.destPitch;
        int64_t errorX = call.startErrorX;
        ptrdiff_t column = call.startColumn;
        for (int x = 0; x < call.width; ++x) {
          Visit(call, source + column * kSourceBytes, BlendImage ? blend + column : nullptr, dest + x * kDestBytes);
          errorX -= 0x10000;
          while (errorX <= 0) {
            errorX += call.stepX;
            column += call.directionX;
          }
        }
        errorY -= 0x10000;
        while (errorY <= 0) {
          errorY += call.stepY;
          row += call.directionY;
        }
      }
    }
  }
};

}  // namespace blit_detail
