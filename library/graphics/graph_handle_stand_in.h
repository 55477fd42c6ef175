// Stand-ins for the graph-handle calls the model textures make, until graph handles are built
// (delete this header and its .cpp then). Each answers as for a graph that does not exist.
#pragma once

#include "zyvel/graphics.h"

int RefillGraphFromImages(BaseImage* color, BaseImage* alpha, int graph, int mirrorA, int mirrorB);
int ReloadGraphFromMemoryImage(const void* image, int size, int graph, const void* alphaImage, int alphaSize,
                               int mirror);
int DeleteGraphHandle(int graph);
