// The Ogg Theora movie decoder: reads a file's Theora headers, indexes its pages, frames and key
// frames, and keeps a small stock of decoded frames just ahead of the frame the movie wants on a
// decode thread of its own. The main thread moves the wanted frame (AdvanceTheoraFrame) and takes
// it out of the stock as 32-bit RGB or into a Direct3D YUV surface (FetchTheoraFrame).
//
// The main thread and the decode thread share the decoder without a lock: each request is a flag
// the main thread sets and then waits on; every wait also ends when the thread has ended.
#pragma once

#include <cstdint>

#include "movies/movie_services.h"  // InitTheoraColorTables, FetchTheoraFrame, GetTheoraYuvSurface.
#include "zyvel/files.h"

struct TheoraInfo {
  double framesPerSecond;
  int64_t frameCount;
  int width;  // The coded size.
  int height;
};

// Opens the Theora stream of an Ogg file read through `files` (Seek, Read and Eof are used) and
// starts its decode thread. Null when the file is not Ogg, has no Theora stream, has no frames or
// no frame rate, or anything fails (failures past the headers are logged). The stream stays the
// caller's; `stockSize` frames are kept decoded ahead.
TheoraMovieDecoder* OpenTheoraDecoder(const FileFunctionTable* files, StreamHandle stream, int stockSize);
// Ends the decode thread (waiting for it) and frees the decoder. Null is ignored.
int CloseTheoraDecoder(TheoraMovieDecoder* decoder);

int GetTheoraInfo(TheoraMovieDecoder* decoder, TheoraInfo* out);
int64_t GetTheoraCurrentFrame(TheoraMovieDecoder* decoder);
// The decoder's own 32-bit image (blue, green, red, 255 per pixel) that FetchTheoraFrame fills.
BaseImage* GetTheoraImage(TheoraMovieDecoder* decoder);

// Moves the wanted frame on by `count` (nothing for count <= 0), wrapping past the last frame.
int AdvanceTheoraFrame(TheoraMovieDecoder* decoder, int64_t count);
// Makes `frame` (clamped to 0..N-1) the wanted frame, decoding from its page's key frame.
int SeekTheoraFrame(TheoraMovieDecoder* decoder, int64_t frame);
