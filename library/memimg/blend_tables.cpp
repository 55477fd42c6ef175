// `MemImgBlendTables`: the product and blend tables that every software blit and rasteriser
// routine reads in place of multiplications and divisions by 255 or 63. All divisions truncate
// toward zero.
#include "zyvel/memimg.h"

MemImgBlendTables g_memImgBlendTables;

int SetupMemImgBlendTables() {
  MemImgBlendTables& tables = g_memImgBlendTables;
  for (int p = 0; p < 256; ++p) {
    tables.SignedProductTable[p][0] = 0;
    for (int d = -255; d <= 255; ++d) tables.SignedProductTable[p][256 + d] = p * d / 255;
  }
  for (int i = 0; i < 256; ++i)
    for (int j = 0; j < 256; ++j) tables.ProductTable[i][j] = i * j / 255;
  for (int o = 0; o < 64; ++o)
    for (int k = 0; k < 64; ++k)
      for (int j = 0; j < 64; ++j)
        tables.MixTable64[o * 4096 + k * 64 + j] = static_cast<uint8_t>((o * k + (63 - o) * j) / 63);
  return 0;
}

// The border is the threshold and the range the softness: range 0 is a hard step at the border,
// range 255 with border 128 the identity.
void SetMemImgBlendImageBorder(int border, int range) {
  if (border < 0) border = 0;
  if (border > 255) border = 255;
  if (range < 0) range = 0;
  if (range > 255) range = 255;
  const int r = range + 1;
  const int a = (65536 / r + 256) * border / 256;
  for (int i = 0; i < 256; ++i) {
    int value = i * 256 / r + 256 - a;
    if (value < 0) value = 0;
    if (value > 255) value = 255;
    g_memImgBlendTables.BlendImageAlphaTable[i] = static_cast<uint8_t>(value);
  }
}
