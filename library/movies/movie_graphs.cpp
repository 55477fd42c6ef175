// Graphs that show a movie: each new frame of the movie is copied into the graph, through the
// Theora decoder's YUV surface when the device offers one, else from the frame's RGB image.
#include <algorithm>
#include <cstring>

#include "graphics/graphs/graph_handles.h"
#include "graphics/device/render_device.h"
#include "graphics/screen_services.h"
#include "graphics/graphs/texture_upload.h"
#include "movies/movie_services.h"
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

int CopyMovieFrameToGraph(MovieSlot* slot, int graph) {
  GraphRecord* record = GetGraphRecord(graph);
  if (!slot || !record || !record->Part) return 0;
  GraphImagePart* part = record->Part;
  // The open already decoded frame 0, and a restore leaves the graph empty: the first copy takes
  // whatever the outputs hold, new frame or not, or the graph would stay black until the movie
  // moves on.
  const bool firstCopy = !slot->callbackRan;
  if (slot->theora) {
    IDirect3DSurface9* yuv = part->Textured ? GetTheoraYuvSurface(slot->decoder) : nullptr;
    if (yuv && part->TextureCount > 0 && g_renderDevice.Device) {
      if (FetchTheoraFrame(slot->decoder, 0, 1) == 0 && !firstCopy) return 0;
      const GraphTexture& first = part->Textures[0];
      const RECT area = {0, 0, first.UsedWidth, first.UsedHeight};
      g_renderDevice.Device->StretchRect(yuv, &area, first.Surface, &area, D3DTEXF_NONE);
      return 0;
    }
    if (FetchTheoraFrame(slot->decoder, 1, 0) == 0 && !firstCopy) return 0;
  }
  const BaseImage* current = slot->currentImage;
  if (!current || !current->pixels) return 0;
  // With the alpha option the right half of each frame is the alpha image.
  BaseImage color = *current, alpha = *current;
  if (slot->alphaOption) {
    color.width /= 2;
    alpha.width = color.width;
    alpha.pixels = current->pixels + static_cast<ptrdiff_t>(color.width) * current->color.bytesPerPixel;
  }
  BaseImage* alphaImage = slot->alphaOption ? &alpha : nullptr;
  if (!part->Textured) {
    MEMIMG* image = &record->SoftView;
    if (slot->drawMode != 2 && !slot->alphaOption && IsMemImgValid(image) && image->Core->Layout &&
        SameLayout(current->color, *image->Core->Layout)) {
      CopyFrameRows(*current, image, std::min(current->width, image->Width), std::min(current->height, image->Height));
      return 0;
    }
  }
  const RECT source = {record->PartX, record->PartY, record->PartX + record->Width, record->PartY + record->Height};
  UploadImageToGraph(graph, nullptr, nullptr, nullptr, &source, 0, 0, 0, &color, alphaImage, 0, 0, 0);
  return 0;
}

void ForgetMovieGraphPicture(int movie) {
  if (MovieSlot* slot = GetMovieSlot(movie)) slot->callbackRan = 0;
}
