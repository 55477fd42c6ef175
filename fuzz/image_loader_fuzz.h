// One fuzz run of an image loader: arbitrary bytes read through a memory stream, and the pixels
// of anything the loader accepts read back in full. Each *_loader.cpp target names its loader.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zyvel/graphics.h"

inline int FuzzImageLoader(ImageLoaderFunc loader, const uint8_t* data, size_t size) {
  if (size > (1u << 24)) return 0;
  const StreamFunctionSet* functions = GetMemoryStreamFuncs();
  ImageLoadSource source = {
      functions->Tell, functions->Seek, functions->Read, functions->Eof, functions->IdleWait, functions->Close, 0};
  source.stream = reinterpret_cast<StreamHandle>(OpenMemoryStream(data, static_cast<int>(size)));
  if (source.stream == 0) return 0;
  BaseImage image = {};
  if (loader(&source, &image) == 0 && DecodeDxtBaseImage(&image) == 0) {
    // Pixels are read back across the whole picture, sampled for large ones so a run stays quick.
    const int stepX = image.width > 256 ? image.width / 256 : 1;
    const int stepY = image.height > 256 ? image.height / 256 : 1;
    uint32_t sum = 0;
    for (int y = 0; y < image.height; y += stepY)
      for (int x = 0; x < image.width; x += stepX) sum += GetBaseImagePixelArgb(&image, x, y);
    sum += GetBaseImagePixelArgb(&image, image.width - 1, image.height - 1);
    (void)sum;
    ReleaseBaseImage(&image);
  } else if (image.pixels) {
    ReleaseBaseImage(&image);
  }
  source.Close(source.stream);
  return 0;
}
