// Zyvel MEMIMG: software images, blend tables and the software blits and rasteriser, with the
// colour data and the pixel converter they and the graphics layer above them share.
#pragma once

#include "zyvel/runtime.h"

#include "platform/types.h"

// ---- Colour data and base images ----
// `ColorData` describes a pixel format; `BaseImage` is an image in memory with one pixel buffer.
// Every image that enters the library (loaders, soft images, MEMIMG fills, texture upload)
// passes through these two records.

// One palette entry, stored blue, green, red, alpha (a little-endian 0xAARRGGBB word).
struct ColorPaletteEntry {
  uint8_t blue;
  uint8_t green;
  uint8_t red;
  uint8_t alpha;
};

struct ColorData {
  uint16_t bitDepth;       // 8, 16, 24 or 32; 4 (DXT1) or 8 (DXT2-5) for compressed images
  uint16_t bytesPerPixel;  // 1 to 4
  uint8_t redWidth;        // Bits of each channel; 0 = channel absent.
  uint8_t greenWidth;
  uint8_t blueWidth;
  uint8_t alphaWidth;
  uint8_t redShift;  // Position of each channel's lowest bit.
  uint8_t greenShift;
  uint8_t blueShift;
  uint8_t alphaShift;
  uint32_t redMask;    // 0 = channel absent. For 1-byte formats the masks describe a palette
  uint32_t greenMask;  // entry read as a little-endian word.
  uint32_t blueMask;
  uint32_t alphaMask;
  uint32_t spareMask;              // Bits of no channel; the converter writes them as 1 in 16/32-bit output.
  ColorPaletteEntry palette[256];  // Used when bytesPerPixel is 1.
  uint8_t spareShift;              // Position and length of the spare mask's lowest run.
  uint8_t spareWidth;
  uint32_t dxtKind;  // 0 plain pixels, 1 to 5: DXT1 to DXT5 blocks.
};

// Made, loaded and released by the graphics layer (zyvel/graphics.h); read here by the fills.
struct BaseImage {
  ColorData color;
  int32_t width;
  int32_t height;
  int32_t pitch;        // Bytes from one row to the next (0 for DXT data).
  uint8_t* pixels;      // Rows top to bottom; tracked heap, owned by the image.
  int32_t mipMapCount;  // Mip levels held in the buffer, the top level included; 0 normally.
};

int SetupPalette8ColorData(ColorData* color);
int SetupGrey8ColorData(ColorData* color);
int SetupXRGB8ColorData(ColorData* color);
int SetupARGB8ColorData(ColorData* color);
int SetupRGB24ColorData(ColorData* color);
int SetupColorDataFromMasks(ColorData* color, int bits, uint32_t redMask, uint32_t greenMask, uint32_t blueMask,
                            uint32_t alphaMask);
ColorData* RefreshSpareBitMask(ColorData* color);
uint32_t MakeBaseImageColorCode(const ColorData* color, int red, int green, int blue, int alpha);
int SplitColorCode(const ColorData* color, uint32_t code, uint32_t* red, uint32_t* green, uint32_t* blue,
                   uint32_t* alpha);

// ---- The pixel converter ----
struct ImageTransferRect {
  int32_t left;
  int32_t top;
  int32_t right;   // Exclusive.
  int32_t bottom;  // Exclusive.
};

// Moves and converts a rectangle of pixels between any two formats a ColorData describes.
// Returns -1 for an empty rectangle, the highest index for a plain palette copy, else 0.
int TransferImagePixels(uint8_t* dstPixels, int dstPitch, const ColorData* dstColor, const uint8_t* srcPixels,
                        int srcPitch, const ColorData* srcColor, const uint8_t* alphaPixels, int alphaPitch,
                        const ColorData* alphaColor, int dstX, int dstY, const ImageTransferRect* srcRect, int mirror,
                        int keyToAlpha, uint32_t keyColor, int ditherMode, int colorOff, int alphaFromRed, int keySkip,
                        int paletteRemap);

// ---- Rectangles ----
// Rectangles exclude their right and bottom edges.
// Orders rect's corners (a reversed pair collapses onto the first), then clamps each edge into
// clip; a rectangle outside clip ends with zero width or height on clip's edge.
int ClipRectToRect(RECT* rect, const RECT* clip);

// ---- Blend modes ----
// The blend modes both drawing paths draw (the blend parameter is 0..255). Other numbers up to 12
// are forms of the device path; the software path draws nothing in them.
enum : int {
  BLEND_MODE_COPY = 0,
  BLEND_MODE_ALPHA = 1,
  BLEND_MODE_ADD = 2,
  BLEND_MODE_SUBTRACT = 3,
  BLEND_MODE_MULTIPLY = 4,
  BLEND_MODE_INVERTED_ALPHA = 10,  // Toward 255 - source.
  BLEND_MODE_PRODUCT_ALPHA = 11,   // Toward source x destination / 256.
};

// What a software draw reads beside its images: the graphics layer fills one from its draw state
// for every draw, so the blits and the rasteriser keep no drawing state of their own.
struct MemImgDrawSettings {
  RECT DrawArea;         // Right and bottom exclusive; drawing also stays inside the destination.
  int BlendMode;         // BLEND_MODE_*; any other number draws nothing.
  int BlendParam;        // Clamped to 0..255 where it is read.
  uint32_t BrightColor;  // Bytes blue, green, red scale every pixel; the top byte is not read.
};

// ---- MEMIMG images ----
// A `MEMIMG` is a view (a sub-rectangle) onto a shared, reference-counted pixel store, the
// `MemImgCore`. Pixel formats: 0 is 5-6-5 in 2 bytes (4 bytes with alpha in the third byte),
// 1 is 0x00RRGGBB in 4 bytes (alpha in the fourth byte), 2 is one 8-bit channel, 3 one 16-bit
// channel; formats 0 and 1 may instead hold 8-bit palette indices. Beside the pixels a core may
// keep a premultiplied plane and run-length line codes; both are valid only after the whole image
// was filled from a base image, and every later write into the store invalidates them.

constexpr uint32_t kMemImgValidMark = 0x12345678;

// Pixel formats (`MemImgCore::Format`).
enum MemImgFormat : int {
  kMemImgFormat16 = 0,        // 5-6-5.
  kMemImgFormat32 = 1,        // 0x00RRGGBB.
  kMemImgFormatChannel8 = 2,  // Blend images.
  kMemImgFormatChannel16 = 3,
};

struct MemImgCore {
  int RefCount;  // Views that hold this core.
  int Width;     // Of the whole image.
  int Height;
  int Pitch;                // Bytes from one row to the next.
  int PitchShift;           // s with 2^s = Pitch, or -1.
  const ColorData* Layout;  // Cached, never freed with the core.
  uint32_t KeyColor;        // Raw pixel value, or palette index, that is transparent.
  int Format;               // 0..3.
  int UsePalette;
  int PaletteColors;
  int UseAlpha;
  int PremultValid;
  int LineCodesValid;
  int UserPixels;    // The pixel buffer is the caller's and is never freed.
  uint8_t* Palette;  // 2048 bytes: the entries, then `PaletteCopy`.
  uint8_t* PaletteCopy;
  uint8_t* PixelBuffer;
  uint8_t* PremultBuffer;
  uint8_t* LineCodes;  // (Width + 5) x Height bytes.
};

struct MEMIMG {
  uint32_t ValidMark;  // kMemImgValidMark while set up.
  int Width;
  int Height;
  uint8_t* Pixels;         // The view's top-left pixel in the core's pixel buffer.
  uint8_t* PremultPixels;  // The same pixel in the premultiplied plane, or null.
  MemImgCore* Core;
};

// Line codes: one byte per run, kind in bits 7-6 and length - 1 in bits 5-0; 0xC0 ends a row.
enum MemImgRunKind : int {
  kMemImgRunTransparent = 0,
  kMemImgRunOpaque = 1,
  kMemImgRunPartial = 2,  // Partly transparent (alpha images only).
};
constexpr uint8_t kMemImgLineEnd = 0xC0;

int SetupMemImg(MEMIMG* image, int width, int height, int pitch, uint32_t keyColor, int format, int usePalette,
                int useAlpha, int extraBuffers, void* userPixels);
int SetupScreenMemImg(MEMIMG* image, int width, int height, int format);
void ReleaseMemImg(MEMIMG* image);
int IsMemImgValid(const MEMIMG* image);
void MakeMemImgView(MEMIMG* view, const MEMIMG* source, int x, int y, int width, int height);
void FillMemImgRaw(MEMIMG* image, const RECT* area, uint32_t value);
int FillMemImgFromBaseImage(const BaseImage* base, const BaseImage* alphaBase, MEMIMG* dest, int sourceX, int sourceY,
                            int width, int height, int destX, int destY, int useKeyColor);
int CopyMemImgArea(MEMIMG* dest, const MEMIMG* source, const RECT* sourceArea, int destX, int destY);
const ColorData* GetMemImgColorData(unsigned format, int useAlpha, int usePalette);
// Bytes per pixel of the image's pixel buffer (1, 2 or 4).
int GetMemImgBytesPerPixel(const MemImgCore* core);
// Every writer into a store calls this: the premultiplied plane and the line codes no longer
// match the pixels.
void InvalidateMemImgDerivedData(MEMIMG* image);

// ---- Blend tables ----
// Every multiplication and division by 255 or 63 of the software renderers is a lookup here.
struct MemImgBlendTables {
  int32_t ProductTable[256][256];        // [i][j] = i j / 255
  int32_t SignedProductTable[256][512];  // [p][256 + d] = p d / 255 for d -255..255; [p][0] = 0
  uint8_t MixTable64[64 * 64 * 64];      // [o * 4096 + k * 64 + j] = (o k + (63 - o) j) / 63
  uint8_t BlendImageAlphaTable[256];     // Blend-image byte -> weight.
};
extern MemImgBlendTables g_memImgBlendTables;

// The signed-product row of p, centred so that index d (-255..255) reads p d / 255. Every reader
// goes through this, so the row's layout is known in one place.
inline const int32_t* GetSignedProductRow(int p) { return &g_memImgBlendTables.SignedProductTable[p][256]; }

int SetupMemImgBlendTables();
void SetMemImgBlendImageBorder(int border, int range);

// ---- Software blits ----
// Draw the source into the destination in the settings' blend mode, parameter and bright colour,
// clipped to their draw area. Transparent 1 leaves out the key colour (or alpha 0); a blend image
// (one byte per pixel, at source coordinates) weights every pixel.
void BlitMemImgAt(MEMIMG* dest, const MEMIMG* source, int x, int y, int transparent, const MEMIMG* blendImage,
                  const MemImgDrawSettings& settings);
// Scaled into the rectangle (x1, y1, x2, y2); reversed corners mirror.
void BlitMemImgToRect(MEMIMG* dest, const MEMIMG* source, const int rect[4], int transparent, const MEMIMG* blendImage,
                      const MemImgDrawSettings& settings);

// ---- Rasteriser ----
// Triangles (textured or flat), filled boxes and lines drawn into 16- and 32-bit MEMIMG images
// under the settings' draw area, blend mode (0 copy, 1 blend, 2 add, 3 subtract, 4 multiply,
// 10 blend toward the inverted source, 11 blend toward source x destination; others draw nothing),
// blend parameter and bright colour. Nothing is logged: unsupported cases draw nothing. Drawing is
// also kept inside the destination image itself, whatever the draw area says.

// One triangle corner: destination pixel (x, y) and source texel (u, v), whole units. Every value
// must lie in -8192..8191, else the triangle draws nothing.
struct MemImgVertex {
  int32_t x;
  int32_t y;
  int32_t u;
  int32_t v;
};

// One line of a line list, 24 bytes; the sixth word is carried for the caller and not read.
struct MemImgLineRecord {
  int32_t x1;
  int32_t y1;
  int32_t x2;
  int32_t y2;
  uint32_t color;
  int32_t blendParam;
};
static_assert(sizeof(MemImgLineRecord) == 24, "line records lie 24 bytes apart");

// Maps src (or, when src is null, the flat colour in dst's raw pixel format) onto the triangle.
// transparent leaves out the key colour (alpha 0 for alpha sources); blendImage, one byte per texel
// at least as large as src, weights each pixel.
void MapMemImgTriangle(MEMIMG* dst, MEMIMG* src, const MemImgVertex vertices[3], int transparent, MEMIMG* blendImage,
                       unsigned color, const MemImgDrawSettings& settings);
// Fills box (right and bottom exclusive; null for the whole image) with a colour in dst's raw
// pixel format.
void FillMemImgBox(MEMIMG* dst, const RECT* box, unsigned color, const MemImgDrawSettings& settings);
// A line from (x1, y1) towards (x2, y2); the end point itself is not drawn.
void DrawMemImgLine(MEMIMG* dst, int x1, int y1, int x2, int y2, unsigned color, const MemImgDrawSettings& settings);
void DrawMemImgLines(MEMIMG* dst, const MemImgLineRecord* lines, int count, const MemImgDrawSettings& settings);
