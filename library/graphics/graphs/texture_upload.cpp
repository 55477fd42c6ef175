// Texture upload: a rectangle of a base image, converted to the graph's pixel format, written
// into every texture tile the destination overlaps (hardware path) or into the part's MEMIMG
// (software path). Each tile is locked over the piece only, plus one column and one row past the
// image's edge inside the tile, which get the edge pixels again so that bilinear filtering at a
// tile's image edge reads the edge colour and not the cleared texture.
//
// The source rectangle is clipped to the source image and the destination to the part (or the
// graph), so a file that changed size on disk since the graph was made cannot be over-read.
// A plain-pixel mip chain is converted level by level into the texture's format and pitch.
// Drawable parts (render targets) are written through a system-memory surface. Sources given as
// GDI bitmaps are not handled (refused with -1): nothing in this system passes them.
#include "graphics/graphs/texture_upload.h"

#include <algorithm>
#include <cstring>

#include "graphics/device/render_device.h"
#include "graphics/graphs/graph_records.h"
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
void CopyEdges(uint8_t* bits, int pitch, int bytesPerPixel, int width, int height, bool extraColumn, bool extraRow) {
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
    std::memcpy(locked.pBits, color->pixels, static_cast<size_t>(height) * width * color->color.bitDepth / 8);
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
                        alpha ? &alpha->color : nullptr, 0, 0, &source, 0, keyToAlpha, part->TransparentColor, 0, 0,
                        alphaFromRed, 0, 0);
    CopyEdges(static_cast<uint8_t*>(locked.pBits), locked.Pitch, target->bytesPerPixel, width, height, extraColumn,
              extraRow);
  }
  texture->UnlockRect(0);
  if (tile.Twin) g_renderDevice.Device->UpdateTexture(tile.Twin, tile.Texture);
  return 0;
}

int NextPowerOfTwo(int value) {
  int power = 1;
  while (power < value) power *= 2;
  return power;
}

// Writes `levels` levels of the piece: compressed levels copied as they are, plain levels the
// source holds converted one by one, or, when the source has fewer levels, level 0 converted and
// every next level halved from the one before.
int UploadMipLevels(GraphTexture& tile, int levels, const Rect& piece, int sourceX, int sourceY, BaseImage* color,
                    BaseImage* alpha, const ColorData* target, D3DFORMAT format, int keyToAlpha, int alphaFromRed,
                    uint32_t key) {
  IDirect3DTexture9* texture = tile.Twin ? tile.Twin : tile.Texture;
  const int placeX = piece.left - tile.X, placeY = piece.top - tile.Y;
  auto lockLevel = [&](int level, int x, int y, int width, int height, D3DLOCKED_RECT* locked) {
    RECT rect = {x, y, x + width, y + height};
    if (FAILED(texture->LockRect(static_cast<UINT>(level), locked, &rect, 0))) {
      AddLogText("ミップマップテクスチャのロックに失敗しました\n");
      return false;
    }
    return true;
  };

  // Compressed pictures go into a texture of their own format block for block: the piece's blocks
  // land on the tile's blocks, so the piece must start on a block edge of both. Only the top level
  // is placed anywhere else than the tile's corner; a chain needs the whole picture at the corner.
  const uint32_t dxtKind = color->color.dxtKind;
  const bool blockAligned = sourceX % 4 == 0 && sourceY % 4 == 0 && placeX % 4 == 0 && placeY % 4 == 0;
  const bool atCorner = sourceX == 0 && sourceY == 0 && placeX == 0 && placeY == 0;
  if (dxtKind && DxtFormatOf(dxtKind) == format && blockAligned && std::max(1, color->mipMapCount) >= levels &&
      (levels == 1 || atCorner)) {
    const size_t blockBytes = dxtKind == 1 ? 8 : 16;
    const uint8_t* data = color->pixels;
    for (int level = 0; level < levels; ++level) {
      const int imageWidth = std::max(1, color->width >> level), imageHeight = std::max(1, color->height >> level);
      const int imageColumns = (imageWidth + 3) / 4, imageRows = (imageHeight + 3) / 4;
      const int textureColumns = (std::max(1, tile.TextureWidth >> level) + 3) / 4;
      const int textureRows = (std::max(1, tile.TextureHeight >> level) + 3) / 4;
      const int fromColumn = (sourceX >> level) / 4, fromRow = (sourceY >> level) / 4;
      const int toColumn = (placeX >> level) / 4, toRow = (placeY >> level) / 4;
      const int pieceColumns = (std::max(1, piece.Width() >> level) + 3) / 4;
      const int pieceRows = (std::max(1, piece.Height() >> level) + 3) / 4;
      const int columns = std::min({pieceColumns, imageColumns - fromColumn, textureColumns - toColumn});
      const int rows = std::min({pieceRows, imageRows - fromRow, textureRows - toRow});
      D3DLOCKED_RECT locked;
      if (FAILED(texture->LockRect(static_cast<UINT>(level), &locked, nullptr, 0))) {
        AddLogText("ミップマップテクスチャのロックに失敗しました\n");
        return -1;
      }
      for (int row = 0; row < rows && columns > 0; ++row)
        std::memcpy(static_cast<uint8_t*>(locked.pBits) + static_cast<size_t>(toRow + row) * locked.Pitch +
                        static_cast<size_t>(toColumn) * blockBytes,
                    data + (static_cast<size_t>(fromRow + row) * imageColumns + fromColumn) * blockBytes,
                    static_cast<size_t>(columns) * blockBytes);
      texture->UnlockRect(static_cast<UINT>(level));
      data += static_cast<size_t>(imageColumns) * imageRows * blockBytes;
    }
    return 0;
  }
  if (IsDxtFormat(format)) {
    AddLogText("DXTフォーマットのテクスチャに標準形式のイメージを転送することはできません\n");
    return 0;
  }
  if ((color->color.dxtKind && DecodeDxtBaseImage(color) != 0) ||
      (alpha && alpha->color.dxtKind && DecodeDxtBaseImage(alpha) != 0)) {
    AddLogText("標準イメージ用のメモリ確保に失敗しました\n");
    return -1;
  }

  const int bytesPerPixel = target->bytesPerPixel;
  if (color->mipMapCount >= levels && !alpha) {
    // The source's own levels follow level 0, each packed at its width.
    const uint8_t* data = color->pixels;
    int sourcePitch = color->pitch;
    for (int level = 0, w = color->width, h = color->height; level < levels; ++level) {
      const int shift = level;
      const int x = placeX >> shift, y = placeY >> shift;
      const int width = std::max(1, piece.Width() >> shift), height = std::max(1, piece.Height() >> shift);
      D3DLOCKED_RECT locked;
      if (!lockLevel(level, x, y, width, height, &locked)) return -1;
      const ImageTransferRect source = {sourceX >> shift, sourceY >> shift, (sourceX >> shift) + width,
                                        (sourceY >> shift) + height};
      if (source.right <= w && source.bottom <= h)
        TransferImagePixels(static_cast<uint8_t*>(locked.pBits), locked.Pitch, target, data, sourcePitch, &color->color,
                            nullptr, 0, nullptr, 0, 0, &source, 0, keyToAlpha, key, 0, 0, alphaFromRed, 0, 0);
      texture->UnlockRect(static_cast<UINT>(level));
      data += static_cast<size_t>(sourcePitch) * h;
      w = std::max(1, w / 2), h = std::max(1, h / 2);
      sourcePitch = w * color->color.bytesPerPixel;
    }
    return 0;
  }

  const int bufferWidth = NextPowerOfTwo(piece.Width()), bufferHeight = NextPowerOfTwo(piece.Height());
  const size_t bufferBytes = static_cast<size_t>(bufferWidth) * bufferHeight * bytesPerPixel;
  auto* buffers = static_cast<uint8_t*>(ZV_ALLOC_ZEROED(static_cast<int>(bufferBytes * 2)));
  if (!buffers) {
    AddLogText("テクスチャへ転送する画像を一時的に格納するメモリ領域の確保に失敗しました\n");
    return -1;
  }
  uint8_t* current = buffers;
  uint8_t* other = buffers + bufferBytes;
  const ImageTransferRect source = {sourceX, sourceY, sourceX + piece.Width(), sourceY + piece.Height()};
  TransferImagePixels(current, bufferWidth * bytesPerPixel, target, color->pixels, color->pitch, &color->color,
                      alpha ? alpha->pixels : nullptr, alpha ? alpha->pitch : 0, alpha ? &alpha->color : nullptr, 0, 0,
                      &source, 0, keyToAlpha, key, 0, 0, alphaFromRed, 0, 0);
  int result = 0;
  int width = bufferWidth, height = bufferHeight;
  for (int level = 0; level < levels; ++level) {
    if (level > 0) {
      ShrinkImageByHalf(target, other, bufferWidth * bytesPerPixel, current, bufferWidth * bytesPerPixel, 0, 0, 0, 0,
                        width, height);
      std::swap(current, other);
      width = std::max(1, width / 2), height = std::max(1, height / 2);
    }
    const int pieceWidth = std::max(1, piece.Width() >> level), pieceHeight = std::max(1, piece.Height() >> level);
    D3DLOCKED_RECT locked;
    if (!lockLevel(level, placeX >> level, placeY >> level, pieceWidth, pieceHeight, &locked)) {
      result = -1;
      break;
    }
    const ImageTransferRect levelRect = {0, 0, pieceWidth, pieceHeight};
    TransferImagePixels(static_cast<uint8_t*>(locked.pBits), locked.Pitch, target, current, bufferWidth * bytesPerPixel,
                        target, nullptr, 0, nullptr, 0, 0, &levelRect, 0, 0, 0, 0, 0, 0, 0, 0);
    texture->UnlockRect(static_cast<UINT>(level));
  }
  ZV_FREE(buffers);
  return result;
}

// The palette index of the part's transparent colour (the first match; 0 when none matches):
// 32-bit entries compare their 24 colour bits, 16-bit entries the 5-6-5 word.
uint32_t FindPaletteKey(const GraphImagePart& part, const MemImgCore& core) {
  const uint32_t key = part.TransparentColor & 0xFFFFFF;
  for (int index = 0; index < 256; ++index) {
    if (core.Format == kMemImgFormat32) {
      uint32_t entry;
      std::memcpy(&entry, core.Palette + index * 4, 4);
      if ((entry & 0xFFFFFF) == key) return static_cast<uint32_t>(index);
    } else {
      uint16_t entry;
      std::memcpy(&entry, core.Palette + index * 2, 2);
      const uint16_t key565 =
          static_cast<uint16_t>((key >> 19 & 0x1F) << 11 | (key >> 10 & 0x3F) << 5 | (key >> 3 & 0x1F));
      if (entry == key565) return static_cast<uint32_t>(index);
    }
  }
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
    // The software image takes plain pixels: compressed pictures are decoded first.
    if ((colorImage->color.dxtKind && DecodeDxtBaseImage(colorImage) != 0) ||
        (alphaImage && alphaImage->color.dxtKind && DecodeDxtBaseImage(alphaImage) != 0))
      return -1;
    if (FillMemImgFromBaseImage(colorImage, alphaImage, &part->SoftImage, sourceLeft, sourceTop, clippedDest.Width(),
                                clippedDest.Height(), clippedDest.left, clippedDest.top, keyToAlpha) < 0)
      return -1;
    MemImgCore* core = part->SoftImage.Core;
    if (part->Palette && core && core->UsePalette && core->Palette) core->KeyColor = FindPaletteKey(*part, *core);
    return 0;
  }

  if (!g_renderDevice.Device) return -1;
  const D3DFORMAT format = g_renderDevice.TextureFormats[part->FormatCode];
  const ColorData* target = GetFormatColorData(format);
  if (!target && !IsDxtFormat(format)) return -1;
  // Key to alpha only where the texture can hold alpha and no alpha image says otherwise.
  const int key = keyToAlpha && target && target->alphaWidth && !alphaImage ? 1 : 0;

  if (part->Drawable) {
    // Render targets do not lock: the pixels go through a system-memory surface.
    if (!target) return -1;
    IDirect3DSurface9* staging = nullptr;
    if (FAILED(g_renderDevice.Device->CreateOffscreenPlainSurface(static_cast<UINT>(clippedDest.Width()),
                                                                  static_cast<UINT>(clippedDest.Height()), format,
                                                                  D3DPOOL_SYSTEMMEM, &staging, nullptr))) {
      AddLogText("画像転送用のシステムメモリテクスチャの作成に失敗しました\n");
      return -1;
    }
    D3DLOCKED_RECT locked;
    // A surface that cannot be locked holds no picture: copying it would fill the tiles with
    // whatever the surface was made with.
    if (FAILED(staging->LockRect(&locked, nullptr, D3DLOCK_NOSYSLOCK))) {
      staging->Release();
      AddLogText("テクスチャのロックに失敗しました\n");
      return -1;
    }
    if ((colorImage->color.dxtKind && DecodeDxtBaseImage(colorImage) != 0) ||
        (alphaImage && alphaImage->color.dxtKind && DecodeDxtBaseImage(alphaImage) != 0)) {
      staging->UnlockRect();
      staging->Release();
      AddLogText("標準イメージ用のメモリ確保に失敗しました\n");
      return -1;
    }
    const ImageTransferRect source = {sourceLeft, sourceTop, sourceLeft + clippedDest.Width(),
                                      sourceTop + clippedDest.Height()};
    TransferImagePixels(static_cast<uint8_t*>(locked.pBits), locked.Pitch, target, colorImage->pixels,
                        colorImage->pitch, &colorImage->color, alphaImage ? alphaImage->pixels : nullptr,
                        alphaImage ? alphaImage->pitch : 0, alphaImage ? &alphaImage->color : nullptr, 0, 0, &source, 0,
                        key, part->TransparentColor, 0, 0, alphaFromRed, 0, 0);
    staging->UnlockRect();
    int result = 0;
    for (int i = 0; i < part->TextureCount; ++i) {
      GraphTexture& tile = part->Textures[i];
      const Rect piece = Intersect(clippedDest,
                                   Rect{tile.X, tile.Y, tile.X + tile.UsedWidth, tile.Y + tile.UsedHeight});
      if (piece.Empty() || !tile.Surface) continue;
      const RECT from = {piece.left - clippedDest.left, piece.top - clippedDest.top, piece.right - clippedDest.left,
                         piece.bottom - clippedDest.top};
      const POINT to = {piece.left - tile.X, piece.top - tile.Y};
      if (FAILED(g_renderDevice.Device->UpdateSurface(staging, &from, tile.Surface, &to)) && !partCoordinates) {
        AddLogText("描画可能テクスチャへの画像の転送に失敗しました\n");
        result = -1;
        break;
      }
    }
    staging->Release();
    return result;
  }

  for (int i = 0; i < part->TextureCount; ++i) {
    GraphTexture& tile = part->Textures[i];
    const Rect piece = Intersect(clippedDest, Rect{tile.X, tile.Y, tile.X + tile.UsedWidth, tile.Y + tile.UsedHeight});
    if (piece.Empty()) continue;
    const int sourceX = sourceLeft + piece.left - clippedDest.left;
    const int sourceY = sourceTop + piece.top - clippedDest.top;
    // Compressed textures take their blocks level by level, a single level too.
    const bool byLevels = part->MipLevels >= 2 || IsDxtFormat(format);
    const int result = byLevels ? UploadMipLevels(tile, part->MipLevels, piece, sourceX, sourceY, colorImage,
                                                  alphaImage, target, format, key, alphaFromRed, part->TransparentColor)
                                : UploadToTile(part, tile, piece, sourceX, sourceY, colorImage, alphaImage, target,
                                               format, key, alphaFromRed);
    if (tile.Twin && byLevels) g_renderDevice.Device->UpdateTexture(tile.Twin, tile.Texture);
    if (result < 0) return -1;
  }
  return 0;
}
