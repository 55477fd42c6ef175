// The shipped assets, read with the library's own loaders and decoders: the sheets have the sizes
// the game cuts them by and no transparent hole inside a tile or digit, the sounds decode to short
// effects, and the save file holds a zero high score. (tools/asset-maker/make_assets.py makes
// them.)
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sound/pcm_converter.h"
#include "sound/sound_records.h"
#include "zyvel/zyvel.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadAsset(const char* name) {
  std::ifstream in(std::string(ZYVEL_SOURCE_DIR) + "/assets/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

struct LoadedSheet {
  BaseImage image{};
  int result = -1;
  explicit LoadedSheet(const char* name) {
    const Bytes file = ReadAsset(name);
    result = LoadBaseImagePlain(nullptr, file.data(), static_cast<int>(file.size()), 1, &image, 0);
  }
  ~LoadedSheet() { ReleaseBaseImage(&image); }
  bool Black(int x, int y) const { return (GetBaseImagePixelArgb(&image, x, y) & 0xFFFFFF) == 0; }
  int OpaqueIn(int left, int top, int width, int height) const {
    int count = 0;
    for (int y = top; y < top + height; ++y) {
      for (int x = left; x < left + width; ++x) count += !Black(x, y);
    }
    return count;
  }
};

TEST(Assets, CellTilesAreWholeOpaqueSquares) {
  LoadedSheet sheet("pylonrush01.png");
  ASSERT_EQ(sheet.result, 0);
  EXPECT_EQ(sheet.image.width, 240);
  EXPECT_EQ(sheet.image.height, 24);
  for (int tile = 0; tile < 10; ++tile) EXPECT_EQ(sheet.OpaqueIn(24 * tile, 0, 24, 24), 24 * 24) << "tile " << tile;
  // Each shape has its own colour: the face centres differ.
  std::vector<uint32_t> centres;
  for (int tile = 1; tile <= 8; ++tile) {
    const uint32_t centre = GetBaseImagePixelArgb(&sheet.image, 24 * tile + 12, 12) & 0xFFFFFF;
    for (uint32_t other : centres) EXPECT_NE(centre, other) << "tile " << tile;
    centres.push_back(centre);
  }
}

TEST(Assets, LabelsAndDigitsHaveArtworkInEveryCutAndNothingOutside) {
  LoadedSheet labels("pylonrush02.png");
  ASSERT_EQ(labels.result, 0);
  EXPECT_EQ(labels.image.width, 296);
  EXPECT_EQ(labels.image.height, 144);
  for (int k = 0; k < 6; ++k) EXPECT_GT(labels.OpaqueIn(0, 24 * k, 109, 24), 100) << "label " << k;
  EXPECT_GT(labels.OpaqueIn(109, 0, 187, 30), 300);
  EXPECT_GT(labels.OpaqueIn(109, 30, 187, 30), 300);
  EXPECT_EQ(labels.OpaqueIn(109, 60, 187, 84), 0) << "the sheet's unused corner stays transparent";

  LoadedSheet digits("pylonrush03.png");
  ASSERT_EQ(digits.result, 0);
  EXPECT_EQ(digits.image.width, 210);
  EXPECT_EQ(digits.image.height, 24);
  for (int d = 0; d < 10; ++d) EXPECT_GT(digits.OpaqueIn(21 * d, 0, 21, 24), 60) << "digit " << d;
}

TEST(Assets, SoundEffectsDecodeAsShortMp3s) {
  const char* names[] = {"pylonrush11.mp3", "pylonrush12.mp3", "pylonrush13.mp3"};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    Bytes file = ReadAsset(name);
    ASSERT_GT(file.size(), 100u);
    const StreamHandle stream =
        reinterpret_cast<StreamHandle>(OpenMemoryStream(file.data(), static_cast<int>(file.size())));
    SoundStreamSource source{*GetMemoryStreamFuncs(), stream};
    PcmConverter converter{};
    const int saved = g_soundOptions.decoderMask;
    g_soundOptions.decoderMask = SOUND_DECODER_MEDIA_FRAMEWORK;  // The MP3 decoder must take it.
    ASSERT_EQ(SetupPcmConverter(&source, &converter), 0);
    g_soundOptions.decoderMask = saved;
    EXPECT_EQ(converter.method, PCM_CONVERT_ACM);
    WAVEFORMATEX format{};
    void* pcm = nullptr;
    int size = 0;
    ASSERT_EQ(ConvertWholeToPcm(&converter, &format, &pcm, &size), 0);
    EXPECT_EQ(format.nSamplesPerSec, 44100u);
    const int milliseconds = size * 1000 / static_cast<int>(format.nAvgBytesPerSec);
    EXPECT_GE(milliseconds, 50);
    EXPECT_LE(milliseconds, 2000);
    ZV_FREE(pcm);
    EndPcmConverter(&converter);
    CloseMemoryStream(source.stream);
  }
}

TEST(Assets, SaveFileHoldsAZeroHighScore) { EXPECT_EQ(ReadAsset("pylonrush21.dat"), Bytes(12, 0)); }

}  // namespace
