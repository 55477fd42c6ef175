// The vector blit loops against the plain ones on random pictures: every kind the vector loops
// take, every width from 1 to 67 and every alignment of source and destination, unscaled and
// stretched (growing, shrinking and mirrored), whole and clipped by the draw area.
#include <gtest/gtest.h>

#include <random>

#include "memimg/blit_vector.h"
#include "memimg/derived_data.h"
#include "memimg_test_images.h"

namespace {

struct Kind {
  const char* name;
  int mode;
  int param;
  bool alpha;
  int transparent;
  uint32_t bright = 0xFFFFFF;
};

// A bright colour that is not plain, its fourth byte set (which the blits ignore).
constexpr uint32_t kBright = 0xA5C81E40;

const Kind kKinds[] = {
    {"per-pixel alpha", 0, 0, true, 1},
    {"alpha copy", 0, 0, true, 0},
    {"key copy", 0, 0, false, 1},
    {"constant alpha", 1, 77, false, 0},
    {"constant alpha with key", 1, 200, false, 1},
    {"add at full strength", 2, 255, false, 0},
    {"add at full strength with key", 2, 255, false, 1},
    {"add", 2, 77, false, 0},
    {"add with key", 2, 200, false, 1},
    {"add bright", 2, 140, false, 0, kBright},
    {"add bright at full strength with key", 2, 255, false, 1, kBright},
    {"add per-pixel alpha", 2, 255, true, 1},
    {"add per-pixel alpha bright", 2, 99, true, 1, kBright},
    {"add alpha without transparency", 2, 180, true, 0},
    {"add alpha without transparency bright", 2, 255, true, 0, kBright},
};

// Alpha: a third clear, a third opaque, a third anything, with runs so that whole groups of
// each occur; a quarter of the colours are the key.
void FillPicture(MEMIMG* image, bool alpha, std::mt19937& random) {
  FillRandom(image, random);
  const uint32_t key = ReadPixelAt(image, 0, 0);
  image->Core->KeyColor = key;
  int run = 0;
  uint32_t runAlpha = 0;
  for (int y = 0; y < image->Height; ++y)
    for (int x = 0; x < image->Width; ++x) {
      uint32_t value = random() % 4 == 0 ? key : ReadPixelAt(image, x, y);
      if (alpha) {
        if (run-- <= 0) {
          run = static_cast<int>(random() % 12);
          const int choice = random() % 3;
          runAlpha = choice == 0 ? 0 : choice == 1 ? 255 : 256;
        }
        const uint32_t a = runAlpha == 256 ? random() % 256 : runAlpha;
        value = (value & 0xFFFFFF) | (a << 24);
      }
      WritePixelAt(image, x, y, value);
    }
}

std::vector<uint8_t> Draw(VectorBlitLevel level, const MEMIMG* source, const MEMIMG* start, int x, int y,
                          const int* rect, int transparent, const RECT& area) {
  TestImage dest;
  EXPECT_EQ(0, SetupMemImg(dest.get(), start->Width, start->Height, -1, 0, 1, 0, 0, 0, nullptr));
  std::memcpy(dest->Pixels, start->Pixels, static_cast<size_t>(start->Core->Pitch) * start->Height);
  SetVectorBlitLevel(level);
  g_blitDrawSettings.DrawArea = area;
  if (rect)
    BlitMemImgToRect(dest.get(), source, rect, transparent, nullptr, g_blitDrawSettings);
  else
    BlitMemImgAt(dest.get(), source, x, y, transparent, nullptr, g_blitDrawSettings);
  SetVectorBlitLevel(kVectorBlitBest);
  return StoreBytes(dest.get());
}

}  // namespace

TEST(BlitVector, EveryWidthAndAlignmentMatchesThePlainLoops) {
  const MemImgDrawSettings saved = g_blitDrawSettings;
  SetupMemImgBlendTables();
  std::mt19937 random(67);
  int mismatches = 0;
  for (const Kind& kind : kKinds) {
    g_blitDrawSettings.BlendMode = kind.mode;
    g_blitDrawSettings.BlendParam = kind.param;
    g_blitDrawSettings.BrightColor = kind.bright;
    for (int width = 1; width <= 67; ++width) {
      TestImage source;
      ASSERT_EQ(0, SetupMemImg(source.get(), width + 7, 3, -1, 0, 1, 0, kind.alpha, 0, nullptr));
      FillPicture(source.get(), kind.alpha, random);
      TestImage start;
      ASSERT_EQ(0, SetupMemImg(start.get(), 2 * width + 16, 5, -1, 0, 1, 0, 0, 0, nullptr));
      FillRandom(start.get(), random);
      const RECT whole = {0, 0, start->Width, start->Height};
      for (int sourceOffset = 0; sourceOffset < 8; ++sourceOffset) {
        TestImage view;
        MakeMemImgView(view.get(), source.get(), sourceOffset, 0, width, 3);
        for (int destOffset = 0; destOffset < 8; ++destOffset) {
          // Unscaled, then stretched to a width that grows, shrinks or mirrors.
          const int stretchedWidth = destOffset % 3 == 0 ? 2 * width : destOffset % 3 == 1 ? (width + 1) / 2 : -width;
          const int rect[4] = {destOffset + (stretchedWidth < 0 ? width : 0), 1,
                               destOffset + (stretchedWidth < 0 ? 0 : stretchedWidth), 1 + 2 * (sourceOffset % 2 + 1)};
          // A draw area that cuts a few pixels off either side and the first row.
          const LONG cutLeft = destOffset + static_cast<LONG>(random() % 4);
          const LONG cutRight = destOffset + static_cast<LONG>(random() % (2 * width + 1));
          const RECT clipped = {cutLeft, 2, cutRight > cutLeft ? cutRight : cutLeft + 1, start->Height};
          for (const int* drawRect : {static_cast<const int*>(nullptr), rect})
            for (const RECT* area : {&whole, &clipped}) {
              const std::vector<uint8_t> plain = Draw(kVectorBlitNone, view.get(), start.get(), destOffset, 1, drawRect,
                                                      kind.transparent, *area);
              for (VectorBlitLevel level : {kVectorBlitSse2, kVectorBlitAvx2}) {
                if (Draw(level, view.get(), start.get(), destOffset, 1, drawRect, kind.transparent, *area) != plain &&
                    ++mismatches <= 10)
                  ADD_FAILURE() << kind.name << " width " << width << " offsets " << sourceOffset << "/" << destOffset
                                << (drawRect ? " stretched" : " unscaled") << (area == &whole ? "" : " clipped")
                                << " level " << level;
              }
            }
        }
      }
    }
  }
  EXPECT_EQ(0, mismatches);
  g_blitDrawSettings = saved;
}

TEST(BlitVector, AnOverlappingDrawStaysWithThePlainLoops) {
  // Drawing an image onto itself one pixel to the right: the plain loops read each pixel after
  // the previous one was written, and the vector loops must give the same smear.
  const MemImgDrawSettings saved = g_blitDrawSettings;
  SetupMemImgBlendTables();
  std::mt19937 random(5);
  g_blitDrawSettings.BlendMode = 1;
  g_blitDrawSettings.BlendParam = 90;
  g_blitDrawSettings.BrightColor = 0xFFFFFF;
  std::vector<uint8_t> results[2];
  int i = 0;
  for (VectorBlitLevel level : {kVectorBlitNone, kVectorBlitBest}) {
    std::mt19937 same(5);
    TestImage image;
    ASSERT_EQ(0, SetupMemImg(image.get(), 40, 4, -1, 0, 1, 0, 0, 0, nullptr));
    FillRandom(image.get(), same);
    g_blitDrawSettings.DrawArea = {0, 0, 40, 4};
    SetVectorBlitLevel(level);
    BlitMemImgAt(image.get(), image.get(), 1, 0, 0, nullptr, g_blitDrawSettings);
    SetVectorBlitLevel(kVectorBlitBest);
    results[i++] = StoreBytes(image.get());
  }
  EXPECT_EQ(results[0], results[1]);
  g_blitDrawSettings = saved;
}
