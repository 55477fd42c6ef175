// Graph handles beyond the public calls: the image part a new graph gets, the texture format it
// is given, uploads that also record where the pixels came from, and the restore after the
// device was made again. Set/HasGraphRestoreCallback are in screen_services.h.
#pragma once

#include "graphics/graphs/graph_records.h"
#include "graphics/screen_services.h"
#include "zyvel/graphics.h"

// Gives the graph a new image part of width x height: textures on the device path, a MEMIMG on
// the software path. mipLevels -1 means one level; compressed is the DXT kind (0 none). On
// failure the graph is deleted and the result is -1.
int CreateGraphImagePart(int mipLevels, int graph, int width, int height, int alpha, int palette, int compressed);
// The texture format index the part's request chooses (a TextureFormatIndex).
int GetTextureFormatIndex(const GraphImagePart* part);
const ColorData* ChooseTextureFormat(const GraphImagePart* part);
const ColorData* ChooseTextureFormatFor(int alpha, int transparent, int is32Bit, int renderTarget);
// Fills the graph from the images' rectangle at (fileX, fileY) and records the file (null clears
// it), the position and the mirror flag, so that a restore can do the same again.
int ReloadGraphFromImages(BaseImage* color, BaseImage* alpha, const char* fileName, int fileX, int fileY, int graph,
                          int mirror);
int TransferImageToGraphAt(BaseImage* color, BaseImage* alpha, const char* fileName, const RECT* source, int x, int y,
                           int graph, int mirror);
// After the device was made again: the restore callback, by default RestoreGraphsFromFiles.
int RestoreAllGraphs();
int RestoreGraphsFromFiles();

// The movie calls of graph code as connected (every field set).
const GraphMovieHooks& GraphMovies();
