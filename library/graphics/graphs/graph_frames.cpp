// Whole frames into a graph: a movie's frame, as a device surface or as an image, copied over the
// graph's textures or its MEMIMG.
#include <algorithm>
#include <cstring>

#include "graphics/device/render_device.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/graphs/texture_upload.h"
#include "graphics/screen_services.h"
#include "zyvel/memimg.h"

namespace {

// The software path's straight copy: the frame already has the image's pixel layout.
bool SameLayout(const ColorData& frame, const ColorData& image) {
  return frame.bytesPerPixel == image.bytesPerPixel && frame.redMask == image.redMask &&
         frame.greenMask == image.greenMask && frame.blueMask == image.blueMask;
}

void CopyFrameRows(const BaseImage& frame, MEMIMG* image, int width, int height) {
  const int rowBytes = width * frame.color.bytesPerPixel;
  const int pitch = image->Core->Pitch;
  for (int row = 0; row < height; ++row)
    memcpy(image->Pixels + static_cast<ptrdiff_t>(row) * pitch,
           frame.pixels + static_cast<ptrdiff_t>(row) * frame.pitch, static_cast<size_t>(rowBytes));
  InvalidateMemImgDerivedData(image);
}

}  // namespace

int GetGraphFrameTarget(int graph) {
  const GraphRecord* record = GetGraphRecord(graph);
  if (!record || !record->Part) return -1;
  const GraphImagePart* part = record->Part;
  return part->Textured && part->TextureCount > 0 && g_renderDevice.Device ? 1 : 0;
}

int CopySurfaceToGraph(int graph, IDirect3DSurface9* source) {
  if (GetGraphFrameTarget(graph) != 1 || !source) return -1;
  const GraphTexture& first = GetGraphRecord(graph)->Part->Textures[0];
  const RECT area = {0, 0, first.UsedWidth, first.UsedHeight};
  g_renderDevice.Device->StretchRect(source, &area, first.Surface, &area, D3DTEXF_NONE);
  return 0;
}

int CopyFrameImageToGraph(int graph, BaseImage* color, BaseImage* alpha, int straightCopy) {
  GraphRecord* record = GetGraphRecord(graph);
  if (!record || !record->Part || !color) return -1;
  if (!record->Part->Textured) {
    MEMIMG* image = &record->SoftView;
    if (straightCopy && IsMemImgValid(image) && image->Core->Layout && SameLayout(color->color, *image->Core->Layout)) {
      CopyFrameRows(*color, image, std::min(color->width, image->Width), std::min(color->height, image->Height));
      return 0;
    }
  }
  const RECT source = {record->PartX, record->PartY, record->PartX + record->Width, record->PartY + record->Height};
  UploadImageToGraph(graph, nullptr, nullptr, nullptr, &source, 0, 0, 0, color, alpha, 0, 0, 0);
  return 0;
}
