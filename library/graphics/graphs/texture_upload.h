// Pixels into graphs: the one way an image reaches a graph's textures or MEMIMG, and the
// re-creation of every device object after the device was made again.
#pragma once

#include "platform/types.h"
#include "zyvel/graphics.h"

// A rectangle of the source (colour image, optional alpha image) converted into the graph at
// (x, y), in graph coordinates or, with partCoordinates, in the whole image part. keyToAlpha
// makes pixels of the part's transparent colour fully transparent where the format has alpha.
int UploadImageToGraph(int graph, const ColorData* bitmapColor, void* colorBitmap, void* alphaBitmap,
                       const RECT* sourceRect, int x, int y, int fromBitmaps, BaseImage* colorImage,
                       BaseImage* alphaImage, int alphaFromRed, int keyToAlpha, int partCoordinates);
int RecreateAllDeviceResources();
