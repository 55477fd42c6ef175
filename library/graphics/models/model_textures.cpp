// Model textures: the grey ramp, the two fixed images, and material textures prepared from their
// memory images (height maps turned into normal maps, sizes raised to powers of two) before they
// are refilled into their graphs after a device restart.
#include <cmath>
#include <cstring>

#include "graphics/device/render_device.h"
#include "graphics/graphs/draw_settings.h"
#include "graphics/graphs/draw_state.h"
#include "graphics/models/model_buffers.h"
#include "zyvel/graphics.h"

namespace {

// The fixed images: 2 x 2 24-bit BMP files, opaque white and mid grey, written out by hand.
// clang-format off
#define ZV_FIXED_BMP_HEADERS \
  'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,          /* file header: 70 bytes, pixels at 54 */ \
  40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0,        /* 2 x 2, one plane, 24 bits */ \
  0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,         /* BI_RGB, 16 bytes of pixels */ \
  0, 0, 0, 0, 0, 0, 0, 0
constexpr unsigned char kFixedWhiteImage[70] = {ZV_FIXED_BMP_HEADERS,
                                                255, 255, 255, 255, 255, 255, 0, 0,   // Rows padded to 8 bytes.
                                                255, 255, 255, 255, 255, 255, 0, 0};
constexpr unsigned char kFixedGreyImage[70] = {ZV_FIXED_BMP_HEADERS,
                                               128, 128, 128, 128, 128, 128, 0, 0,
                                               128, 128, 128, 128, 128, 128, 0, 0};
#undef ZV_FIXED_BMP_HEADERS
// clang-format on

int NextPowerOfTwo(int value) {
  int result = 1;
  while (result < value && result < (1 << 30)) result <<= 1;
  return result;
}

// Height map -> normal map in place, from the first channel (red) of each pixel; the right and
// lower neighbours wrap at the edges.
int MakeNormalMap(BaseImage* image, float strength) {
  const float s = strength < kModelMinimumNormalStrength ? kModelMinimumNormalStrength : strength;
  const int width = image->width, height = image->height;
  BaseImage out = {};
  if (CreateXRGB8BaseImage(width, height, &out) != 0) return -1;
  auto heightAt = [image](int x, int y) {
    uint32_t red = 0, green = 0, blue = 0, alpha = 0;
    GetBaseImagePixel(image, static_cast<unsigned>(x), static_cast<unsigned>(y), &red, &green, &blue, &alpha);
    return static_cast<float>(red);
  };
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const float h = heightAt(x, y);
      const float dx = heightAt((x + 1) % width, y) - h;
      const float dy = heightAt(x, (y + 1) % height) - h;
      float n[3] = {-s * dx / 255.0f, -s * dy / 255.0f, s * s};
      const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
      for (float& c : n) c /= length;
      SetBaseImagePixel(&out, static_cast<unsigned>(x), static_cast<unsigned>(y), FloatToInt((n[0] + 1.0f) * 127.5f),
                        FloatToInt((n[1] + 1.0f) * 127.5f), FloatToInt((n[2] + 1.0f) * 127.5f), 0);
    }
  ReleaseBaseImage(image);
  *image = out;
  return 0;
}

// Scales an image whose sides are not powers of two up to the next ones, each side at most half
// the device's largest texture side.
int RaiseToPowerOfTwo(BaseImage* image) {
  auto powerOfTwo = [](int side) { return side > 0 && (side & (side - 1)) == 0; };
  if (powerOfTwo(image->width) && powerOfTwo(image->height)) return 0;
  int width = NextPowerOfTwo(image->width), height = NextPowerOfTwo(image->height);
  const int limit = g_renderDevice.MaxTextureSide > 1 ? g_renderDevice.MaxTextureSide / 2 : 0;
  if (limit > 0) {
    if (width > limit) width = limit;
    if (height > limit) height = limit;
  }
  if (width == image->width && height == image->height) return 0;
  BaseImage out = {};
  if (CreateBaseImageLike(width, height, &image->color, &out) != 0) return -1;
  if (StretchBaseImageRect(0, 0, image->width, image->height, image, 0, 0, width, height, &out, 1) != 0) {
    ReleaseBaseImage(&out);
    return -1;
  }
  ReleaseBaseImage(image);
  *image = out;
  return 0;
}

int ReloadTextures(ModelTexture* textures, int count) {
  for (int i = 0; i < count; ++i) {
    if (textures[i].Graph < 0) continue;
    BaseImage color = {}, alpha = {};
    if (PrepareModelTextureImages(&textures[i], &color, &alpha) != 0) continue;
    RefillGraphFromImages(&color, alpha.pixels ? &alpha : nullptr, textures[i].Graph, 0, 0);
    ReleaseBaseImage(&color);
    ReleaseBaseImage(&alpha);
  }
  return 0;
}

}  // namespace

int MakeModelRampImage(BaseImage* out) {
  if (CreateXRGB8BaseImage(256, 8, out) != 0) return -1;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 256; ++x)
      SetBaseImagePixel(out, static_cast<unsigned>(x), static_cast<unsigned>(y), x, x, x, 255);
  return 0;
}

int PrepareModelTextureImages(const ModelTexture* texture, BaseImage* colorOut, BaseImage* alphaOut) {
  *colorOut = BaseImage{};
  *alphaOut = BaseImage{};
  if (!texture || (!texture->ColorImage && !texture->AlphaImage)) return -1;
  BaseImage* images[2] = {colorOut, alphaOut};
  if (texture->AlphaImage &&
      LoadBaseImagePlain(nullptr, texture->AlphaImage, texture->AlphaSize, 1, alphaOut, 0) != 0) {
    *alphaOut = BaseImage{};
    return -1;
  }
  bool failed = false;
  if (texture->ColorImage) {
    failed = LoadBaseImagePlain(nullptr, texture->ColorImage, texture->ColorSize, 1, colorOut, 0) != 0;
    if (failed) *colorOut = BaseImage{};
  } else {
    failed = CreateXRGB8BaseImage(alphaOut->width, alphaOut->height, colorOut) != 0;
    if (!failed)
      std::memset(colorOut->pixels, 255, static_cast<size_t>(colorOut->pitch) * static_cast<size_t>(colorOut->height));
  }
  if (!failed && texture->NormalMap) failed = MakeNormalMap(colorOut, texture->Strength) != 0;
  for (BaseImage* image : images)
    if (!failed && image->pixels) failed = RaiseToPowerOfTwo(image) != 0;
  if (!failed && texture->Rotate180)
    for (BaseImage* image : images)
      if (image->pixels) RotateBaseImage180(image);
  if (failed) {
    for (BaseImage* image : images)
      if (image->pixels) ReleaseBaseImage(image);
    *colorOut = BaseImage{};
    *alphaOut = BaseImage{};
    return -1;
  }
  return 0;
}

int ReloadModelTextures() {
  ModelSystem& system = g_modelSystem;
  if (!system.Initialised) return 0;
  const int keyToAlpha = !g_drawState.NoKeyToAlpha;
  SetUseKeyToAlpha(0);
  ReloadGraphFromMemoryImage(kFixedWhiteImage, sizeof kFixedWhiteImage, system.FixedGraphs[0], nullptr, 0, 0);
  ReloadGraphFromMemoryImage(kFixedGreyImage, sizeof kFixedGreyImage, system.FixedGraphs[1], nullptr, 0, 0);
  BaseImage ramp = {};
  if (system.RampGraph >= 0 && MakeModelRampImage(&ramp) == 0) {
    RefillGraphFromImages(&ramp, nullptr, system.RampGraph, 0, 0);
    ReleaseBaseImage(&ramp);
  }
  for (int slot = 0; slot < system.BaseTableSize; ++slot)
    if (ModelBase* base = GetModelBase(slot)) ReloadTextures(base->Textures, base->TextureCount);
  for (int slot = 0; slot < system.Instances.highWaterMark; ++slot)
    if (auto* instance = static_cast<ModelInstance*>(system.Instances.slots[slot]))
      ReloadTextures(instance->Textures, instance->TextureCount);
  SetUseKeyToAlpha(keyToAlpha);
  return 0;
}
