// The vector YUV-to-RGB loops against the plain loops: every level must write the plain loops'
// bytes for every chroma layout, at every size (odd ones, sizes that leave each vector step's
// tail to the plain loop, regions cropped from larger planes), over planes whose values include
// the extremes and the ones whose colours clamp.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "memory_files.h"
#include "movies/theora_decoder.h"
#include "movies/theora_rgb.h"
#include "theora_clips.h"

namespace movie_test {
namespace {

struct LevelCase {
  TheoraRgbLevel level;
  const char* name;
};
constexpr LevelCase kVectorLevels[] = {{kTheoraRgbSse2, "SSE2"}, {kTheoraRgbAvx2, "AVX2"}};

class TheoraRgb : public ::testing::Test {
 protected:
  void SetUp() override { InitTheoraColorTables(); }
  void TearDown() override { SetTheoraRgbLevel(kTheoraRgbBest); }

  // False (and the level left as is) when the processor lacks it.
  static bool UseLevel(TheoraRgbLevel level) {
    SetTheoraRgbLevel(level);
    return GetTheoraRgbLevel() == level;
  }
};

// Chroma planes of `uvWidth` x `uvHeight` for a luma plane of `yWidth` x `yHeight`.
struct Layout {
  const char* name;
  int yWidth, yHeight, uvWidth, uvHeight;
};

struct Picture {
  std::vector<uint8_t> bytes[3];
  TheoraYuvPlanes planes{};
};

// Half the samples at values where the formulas turn (black and white of studio range, the
// chroma centre, the ends, their neighbours), so every clamp is met; the rest uniform.
Picture MakePicture(const Layout& layout, std::mt19937& random) {
  static constexpr uint8_t kEdges[] = {0, 1, 15, 16, 17, 127, 128, 129, 234, 235, 236, 239, 240, 254, 255};
  std::uniform_int_distribution<int> byte(0, 255), coin(0, 1), edge(0, sizeof kEdges - 1);
  Picture picture;
  // Strides wider than the rows, their padding filled like the samples: a loop that steps rows by
  // their width, or takes a sample from past a row's end, writes other bytes than the plain one.
  // A read past a row's end stays inside the plane, so it goes unreported.
  const int widths[3] = {layout.yWidth, layout.uvWidth, layout.uvWidth};
  const int heights[3] = {layout.yHeight, layout.uvHeight, layout.uvHeight};
  const int strides[3] = {layout.yWidth + 13, layout.uvWidth + 7, layout.uvWidth + 7};
  for (int i = 0; i < 3; ++i) {
    picture.bytes[i].resize(static_cast<size_t>(strides[i]) * heights[i]);
    for (uint8_t& value : picture.bytes[i])
      value = static_cast<uint8_t>(coin(random) ? kEdges[edge(random)] : byte(random));
    picture.planes.planes[i] = picture.bytes[i].data();
  }
  picture.planes.yWidth = widths[0], picture.planes.yHeight = heights[0], picture.planes.yStride = strides[0];
  picture.planes.uvWidth = widths[1], picture.planes.uvHeight = heights[1], picture.planes.uvStride = strides[1];
  return picture;
}

// The converted region in a buffer with a marked margin on the right of each row and below.
std::vector<uint8_t> Convert(const Picture& picture, int width, int height, int* pitch) {
  *pitch = 4 * width + 12;
  std::vector<uint8_t> pixels(static_cast<size_t>(*pitch) * (height + 1), 0xA5);
  ConvertTheoraPlanesToRgb(picture.planes, pixels.data(), *pitch, width, height);
  return pixels;
}

TEST_F(TheoraRgb, EveryVectorLevelWritesThePlainBytesForEveryLayoutAndSize) {
  const Layout layouts[] = {
      {"4:2:0", 64, 48, 32, 24},        {"4:2:0 narrow", 30, 6, 15, 3}, {"4:2:2", 66, 20, 33, 20},
      {"4:4:4", 37, 9, 37, 9},          {"4:2:2 tall", 14, 40, 7, 40},  {"4:4:0", 24, 16, 24, 8},
      {"a third wide", 30, 12, 10, 12},
  };
  // Output regions: the whole planes, odd sizes inside them (each loop's tail), a single pixel,
  // and a region larger than the planes (cut to them).
  struct Region {
    int width, height;
  };
  std::mt19937 random(20261211);
  int compared = 0;
  for (const Layout& layout : layouts) {
    SCOPED_TRACE(layout.name);
    const Picture picture = MakePicture(layout, random);
    const Region regions[] = {{layout.yWidth, layout.yHeight},
                              {layout.yWidth - 1, layout.yHeight - 1},
                              {layout.yWidth / 2 + 1, layout.yHeight / 2 + 1},
                              {17, 3},
                              {1, 1},
                              {layout.yWidth + 9, layout.yHeight + 5}};
    for (const Region& region : regions) {
      const int width = std::min(region.width, layout.yWidth), height = std::min(region.height, layout.yHeight);
      SCOPED_TRACE(testing::Message() << region.width << " x " << region.height);
      int pitch = 0;
      ASSERT_TRUE(UseLevel(kTheoraRgbPlain));
      const std::vector<uint8_t> plain = Convert(picture, region.width, region.height, &pitch);
      // The plain loops themselves: opaque pixels inside, the margins untouched.
      for (int y = 0; y <= height; ++y)
        for (int x = 0; x < pitch / 4; ++x)
          ASSERT_EQ(plain[static_cast<size_t>(y) * pitch + 4 * x + 3], y < height && x < width ? 255 : 0xA5)
              << x << "," << y;
      for (const LevelCase& level : kVectorLevels) {
        if (!UseLevel(level.level)) continue;
        SCOPED_TRACE(level.name);
        int vectorPitch = 0;
        const std::vector<uint8_t> vector = Convert(picture, region.width, region.height, &vectorPitch);
        ASSERT_EQ(vectorPitch, pitch);
        for (size_t i = 0; i < plain.size(); ++i) {
          const int x = static_cast<int>(i % pitch) / 4, y = static_cast<int>(i / pitch);
          ASSERT_EQ(vector[i], plain[i]) << "pixel " << x << "," << y << " byte " << i % 4;
        }
        ++compared;
      }
    }
  }
  EXPECT_GT(compared, 0) << "no vector level ran";
}

// Converts `picture` at every level after each of `rounds` refills of its planes, expecting the
// plain loops' bytes each time.
template <typename Refill>
void ExpectThePlainBytesAtEveryLevel(Picture& picture, int rounds, Refill refill) {
  const int width = picture.planes.yWidth, height = picture.planes.yHeight;
  for (int round = 0; round < rounds; ++round) {
    refill(round);
    int pitch = 0;
    SetTheoraRgbLevel(kTheoraRgbPlain);
    const std::vector<uint8_t> plain = Convert(picture, width, height, &pitch);
    for (const LevelCase& level : kVectorLevels) {
      SetTheoraRgbLevel(level.level);
      if (GetTheoraRgbLevel() != level.level) continue;
      int vectorPitch = 0;
      ASSERT_TRUE(Convert(picture, width, height, &vectorPitch) == plain) << level.name << ", round " << round;
    }
  }
}

Picture MakeBlankPicture(int yWidth, int yHeight, int uvWidth, int uvHeight) {
  Picture picture;
  picture.bytes[0].resize(static_cast<size_t>(yWidth) * yHeight);
  for (int i : {1, 2}) picture.bytes[i].resize(static_cast<size_t>(uvWidth) * uvHeight);
  picture.planes = {{picture.bytes[0].data(), picture.bytes[1].data(), picture.bytes[2].data()},
                    yWidth,
                    yHeight,
                    yWidth,
                    uvWidth,
                    uvHeight,
                    uvWidth};
  return picture;
}

// Every (Y, U, V) triple through both paths, so the vector loops' narrower integers and their
// floating-point operations are proven on the whole domain, not on a sample of it.
TEST_F(TheoraRgb, VectorLoopsMatchThePlainLoopsOnEveryYuvTriple) {
  {
    SCOPED_TRACE("4:2:0, integers");
    // The chroma samples run through all 65536 (U, V) pairs, each under four luma values; 64
    // rounds cover all 256 luma values.
    Picture picture = MakeBlankPicture(512, 512, 256, 256);
    for (int v = 0; v < 256; ++v) {
      for (int u = 0; u < 256; ++u) {
        picture.bytes[1][v * 256 + u] = static_cast<uint8_t>(u);
        picture.bytes[2][v * 256 + u] = static_cast<uint8_t>(v);
      }
    }
    ExpectThePlainBytesAtEveryLevel(picture, 64, [&](int round) {
      for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x)
          picture.bytes[0][y * 512 + x] = static_cast<uint8_t>(4 * round + (2 * (y & 1) + (x & 1) + x / 2 + y / 2) % 4);
    });
  }
  {
    SCOPED_TRACE("4:4:4, floating point");
    // Luma along the rows, U down the columns, one V per round.
    Picture picture = MakeBlankPicture(256, 256, 256, 256);
    for (int y = 0; y < 256; ++y) {
      for (int x = 0; x < 256; ++x) {
        picture.bytes[0][y * 256 + x] = static_cast<uint8_t>(x);
        picture.bytes[1][y * 256 + x] = static_cast<uint8_t>(y);
      }
    }
    ExpectThePlainBytesAtEveryLevel(picture, 256, [&](int round) {
      std::fill(picture.bytes[2].begin(), picture.bytes[2].end(), static_cast<uint8_t>(round));
    });
  }
}

// The decoder converts through the chosen level: a textured, tinted clip of each layout gives
// the same picture at every level.
TEST_F(TheoraRgb, DecoderPicturesAreTheSameAtEveryLevel) {
  for (int layout : {420, 422, 444}) {
    SCOPED_TRACE(layout);
    TheoraClipOptions options;
    options.width = 72;
    options.height = 40;
    options.frames = 1;
    options.chromaLayout = layout;
    options.tintedQuarter = 1;
    options.texture = 120;
    std::vector<uint8_t> clip = MakeTheoraClip(options);
    std::vector<uint8_t> plain;
    for (TheoraRgbLevel level : {kTheoraRgbPlain, kTheoraRgbSse2, kTheoraRgbAvx2}) {
      if (!UseLevel(level)) continue;
      auto file = std::make_shared<MemoryFile>();
      file->bytes = clip;
      const StreamHandle stream = OpenMemoryFile(file);
      TheoraMovieDecoder* decoder = OpenTheoraDecoder(MemoryFileTable(), stream, 1);
      ASSERT_NE(decoder, nullptr);
      const BaseImage* image = GetTheoraImage(decoder);
      std::vector<uint8_t> pixels;
      for (int y = 0; y < image->height; ++y)
        pixels.insert(pixels.end(), image->pixels + y * image->pitch,
                      image->pixels + y * image->pitch + 4 * image->width);
      CloseTheoraDecoder(decoder);
      MemoryFileTable()->Close(stream);
      if (level == kTheoraRgbPlain)
        plain = pixels;
      else
        EXPECT_TRUE(pixels == plain) << "level " << level;
    }
  }
}

}  // namespace
}  // namespace movie_test
