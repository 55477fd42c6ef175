// Texture upload: a rectangle of a base image, converted to the graph's pixel format, written
// into every texture tile the destination overlaps (hardware path) or into the part's MEMIMG
// (software path). Each tile is locked over the piece only, plus one column and one row past the
// image's edge inside the tile, which get the edge pixels again so that bilinear filtering at a
// tile's image edge reads the edge colour and not the cleared texture.
//
// The source rectangle is clipped to the source image and the destination to the part (or the
// graph), so a file that changed size on disk since the graph was made cannot be over-read.
// Not handled: sources given as GDI bitmaps, and parts with mip levels (both refused with -1).
#include "graphics/texture_upload.h"

#include <algorithm>
#include <cstring>

#include "graphics/graph_records.h"
#include "graphics/render_device.h"
#include "zyvel/runtime.h"

namespace {

bool IsDxtFormat(D3DFORMAT format) {
  return format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 || format == D3DFMT_DXT4 ||
         format == D3DFMT_DXT5;
}

D3DFORMAT DxtFormatOf(uint32_t dxtKind) {
  static const D3DFORMAT kinds[6] = {D3DFMT_UNKNOWN, D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5};
  return dxtKind <= 5 ? kinds[dxtKind] : D3DFMT_UNKNOWN;
}

struct Rect {
  int left, top, right, bottom;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool Empty() const { return right <= left || bottom <= top; }
};

Rect Intersect(const Rect& a, const Rect& b) {
  return Rect{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
              std::min(a.bottom, b.bottom)};
}

// Repeats the last written row below it and the last column beside it (and the corner).
void CopyEdges(uint8_t* bits, int pitch, int bytesPerPixel, int width, int height, bool extraColumn,
               bool extraRow) {
  if (extraColumn)
    for (int y = 0; y < height; ++y) {
      uint8_t* row = bits + static_cast<size_t>(pitch) * y;
      std::memcpy(row + width * bytesPerPixel, row + (width - 1) * bytesPerPixel, bytesPerPixel);
    }
  if (extraRow) {
    const int bytes = (width + (extraColumn ? 1 : 0)) * bytesPerPixel;
    std::memcpy(bits + static_cast<size_t>(pitch) * height, bits + static_cast<size_t>(pitch) * (height - 1), bytes);
  }
}

int UploadToTile(GraphImagePart* part, GraphTexture& tile, const Rect& piece, int sourceX, int sourceY,
                 BaseImage* color, BaseImage* alpha, const ColorData* target, D3DFORMAT format, int keyToAlpha,
                 int alphaFromRed) {
  IDirect3DTexture9* texture = tile.Twin ? tile.Twin : tile.Texture;
  if (!texture) return -1;
  const int placeX = piece.left - tile.X, placeY = piece.top - tile.Y;
  const int width = piece.Width(), height = piece.Height();
  const bool extraColumn = piece.right == tile.X + tile.UsedWidth && tile.TextureWidth > tile.UsedWidth;
  const bool extraRow = piece.bottom == tile.Y + tile.UsedHeight && tile.TextureHeight > tile.UsedHeight;
  RECT lockRect = {placeX, placeY, placeX + width + (extraColumn ? 1 : 0), placeY + height + (extraRow ? 1 : 0)};
  D3DLOCKED_RECT locked;
  if (FAILED(texture->LockRect(0, &locked, &lockRect, 0))) {
    AddLogText("テクスチャのロックに失敗しました\n");
    return -1;
  }
  const bool wholeTexture = placeX == 0 && placeY == 0 && width == tile.TextureWidth && height == tile.TextureHeight;
  if (wholeTexture && color->color.dxtKind && DxtFormatOf(color->color.dxtKind) == format) {
    std::memcpy(locked.pBits, color->pixels,
                static_cast<size_t>(height) * width * color->color.bitDepth / 8);
  } else if (IsDxtFormat(format)) {
    AddLogText("DXTフォーマットのテクスチャに標準形式のイメージを転送することはできません\n");
  } else {
    if ((color->color.dxtKind && DecodeDxtBaseImage(color) != 0) ||
        (alpha && alpha->color.dxtKind && DecodeDxtBaseImage(alpha) != 0)) {
      texture->UnlockRect(0);
      AddLogText("標準イメージ用のメモリ確保に失敗しました\n");
      return -1;
    }
    const ImageTransferRect source = {sourceX, sourceY, sourceX + width, sourceY + height};
    TransferImagePixels(static_cast<uint8_t*>(locked.pBits), locked.Pitch, target, color->pixels, color->pitch,
                        &color->color, alpha ? alpha->pixels : nullptr, alpha ? alpha->pitch : 0,
                        alpha ? &alpha->color : nullptr, 0, 0, &source, 0, keyToAlpha, part->TransparentColor, 0,
                        0, alphaFromRed, 0, 0);
    CopyEdges(static_cast<uint8_t*>(locked.pBits), locked.Pitch, target->bytesPerPixel, width, height, extraColumn,
              extraRow);
  }
  texture->UnlockRect(0);
  if (tile.Twin) g_renderDevice.Device->UpdateTexture(tile.Twin, tile.Texture);
  return 0;
}

}  // namespace

int UploadImageToGraph(int graph, const ColorData* bitmapColor, void* colorBitmap, void* alphaBitmap,
                       const RECT* sourceRect, int x, int y, int fromBitmaps, BaseImage* colorImage,
                       BaseImage* alphaImage, int alphaFromRed, int keyToAlpha, int partCoordinates) {
  (void)bitmapColor, (void)colorBitmap, (void)alphaBitmap;
  GraphRecord* record = GetGraphRecord(graph);
  if (!record || !record->Part || !sourceRect) return -1;
  FlushVertexBatch();
  Rect source = {sourceRect->left, sourceRect->top, sourceRect->right, sourceRect->bottom};
  if (source.Empty()) return 0;
  if (fromBitmaps || !colorImage) return -1;
  GraphImagePart* part = record->Part;

  // The destination in part coordinates, limited to the part or to the graph.
  const Rect bounds = partCoordinates ? Rect{0, 0, part->Width, part->Height}
                                      : Rect{record->PartX, record->PartY, record->PartX + record->Width,
                                             record->PartY + record->Height};
  const int destX = partCoordinates ? x : x + record->PartX;
  const int destY = partCoordinates ? y : y + record->PartY;
  // Clip the source to its image (and the alpha image), moving the destination with it.
  Rect image = {0, 0, colorImage->width, colorImage->height};
  if (alphaImage) image = Intersect(image, Rect{0, 0, alphaImage->width, alphaImage->height});
  const Rect clippedSource = Intersect(source, image);
  Rect dest = {destX + clippedSource.left - source.left, destY + clippedSource.top - source.top, 0, 0};
  dest.right = dest.left + clippedSource.Width();
  dest.bottom = dest.top + clippedSource.Height();
  const Rect clippedDest = Intersect(dest, bounds);
  if (clippedSource.Empty() || clippedDest.Empty()) return -1;
  // Source pixel of the destination's top-left corner.
  const int sourceLeft = clippedSource.left + clippedDest.left - dest.left;
  const int sourceTop = clippedSource.top + clippedDest.top - dest.top;

  if (!part->Textured) {
    return FillMemImgFromBaseImage(colorImage, alphaImage, &part->SoftImage, sourceLeft, sourceTop,
                                   clippedDest.Width(), clippedDest.Height(), clippedDest.left, clippedDest.top,
                                   keyToAlpha) < 0
               ? -1
               : 0;
  }

  if (!g_renderDevice.Device) return -1;
  if (part->MipLevels >= 2 || part->Drawable) return -1;
  const D3DFORMAT format = g_renderDevice.TextureFormats[part->FormatCode];
  const ColorData* target = GetFormatColorData(format);
  if (!target && !IsDxtFormat(format)) return -1;
  // Key to alpha only where the texture can hold alpha and no alpha image says otherwise.
  const int key = keyToAlpha && target && target->alphaWidth && !alphaImage ? 1 : 0;

  for (int i = 0; i < part->TextureCount; ++i) {
    GraphTexture& tile = part->Textures[i];
    const Rect piece = Intersect(clippedDest, Rect{tile.X, tile.Y, tile.X + tile.UsedWidth, tile.Y + tile.UsedHeight});
    if (piece.Empty()) continue;
    if (UploadToTile(part, tile, piece, sourceLeft + piece.left - clippedDest.left,
                     sourceTop + piece.top - clippedDest.top, colorImage, alphaImage, target, format, key,
                     alphaFromRed) < 0)
      return -1;
  }
  return 0;
}
