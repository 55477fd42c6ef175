// Graphs that show a movie: each new frame of the movie is copied into the graph, through the
// Theora decoder's YUV surface when the device offers one, else from the frame's RGB image.
#include "graphics/screen_services.h"
#include "movies/movie_services.h"

int CopyMovieFrameToGraph(MovieSlot* slot, int graph) {
  const int target = GetGraphFrameTarget(graph);
  if (!slot || target < 0) return 0;
  // The open already decoded frame 0, and a restore leaves the graph empty: the first copy takes
  // whatever the outputs hold, new frame or not, or the graph would stay black until the movie
  // moves on.
  const bool firstCopy = !slot->callbackRan;
  if (slot->theora) {
    IDirect3DSurface9* yuv = target == 1 ? GetTheoraYuvSurface(slot->decoder) : nullptr;
    if (yuv) {
      if (FetchTheoraFrame(slot->decoder, 0, 1) == 0 && !firstCopy) return 0;
      CopySurfaceToGraph(graph, yuv);
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
  CopyFrameImageToGraph(graph, &color, slot->alphaOption ? &alpha : nullptr, slot->drawMode != 2 && !slot->alphaOption);
  return 0;
}

void ForgetMovieGraphPicture(int movie) {
  if (MovieSlot* slot = GetMovieSlot(movie)) slot->callbackRan = 0;
}
