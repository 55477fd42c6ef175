// DDS files become graphs on both rendering paths (the device offering the DXT formats, so the
// blocks go into textures as they are): compressed pictures with and without mip chains, of
// sides that are not whole blocks, and an uncompressed one, written by ImageMagick and drawn
// unscaled against ImageMagick's own decode of the same file. (ImageMagick rounds the
// blocks' in-between colours where the library truncates, so channels may differ by one.)
#include "../window/window_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "graphics/device/render_device.h"
#include "graphics/graphs/graph_records.h"
#include "graphics/graphs/screen_settings.h"
#include "graphics/graphs/screens.h"
#include "runtime/tracked_heap.h"
#include "window/window_state.h"

namespace {

enum class Path { kDevice, kSoftware };

constexpr int kScreenWidth = 408, kScreenHeight = 504;
constexpr uint32_t kBackground = 0x204060;

class DdsGraphTest : public windowtest::LibraryTest, public ::testing::WithParamInterface<Path> {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    SetHardwareAccelFlag(GetParam() == Path::kDevice ? 1 : 0);
    g_windowSystem.backgroundRed = kBackground >> 16;
    g_windowSystem.backgroundGreen = kBackground >> 8 & 0xFF;
    g_windowSystem.backgroundBlue = kBackground & 0xFF;
  }
  void TearDown() override {
    EXPECT_EQ(FinishLibrary(), 0);
    platform::testing::ResetDirect3DSwitches();
    LibraryTest::TearDown();
    SetHardwareAccelFlag(1);
  }
};

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return bytes;
  int c;
  while ((c = std::fgetc(file)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
  std::fclose(file);
  return bytes;
}

TEST_P(DdsGraphTest, DdsPicturesBecomeGraphs) {
  const struct {
    const char* name;
    const char* command;
  } pictures[] = {
      {"dxt1mips.dds", "-size 64x32 gradient:red-blue -define dds:compression=dxt1 -define dds:mipmaps=6"},
      {"dxt1odd.dds",
       "-size 13x7 xc: -sparse-color bilinear '0,0 red 12,0 lime 0,6 blue 12,6 white' -alpha off "
       "-define dds:compression=dxt1 -define dds:mipmaps=0"},
      {"dxt5odd.dds",
       "-size 9x6 gradient:orange-teal -alpha set -channel A -fx 'i/9' +channel "
       "-define dds:compression=dxt5 -define dds:mipmaps=0"},
      {"plain.dds", "-size 20x10 gradient:yellow-navy -alpha off -define dds:compression=none"},
  };
  const int blocksBefore = GetTrackedBlockCount();
  platform::testing::Direct3DSwitches switches;
  switches.offerDxtFormats = true;
  platform::testing::SetDirect3DSwitches(switches);
  ASSERT_EQ(InitializeLibrary(), 0);
  ASSERT_EQ(SelectDrawTarget(SCREEN_BACK), 0);
  for (const auto& picture : pictures) {
    SCOPED_TRACE(picture.name);
    const std::string command = std::string("convert ") + picture.command + " " + picture.name + " && convert " +
                                picture.name + " -depth 8 rgba:" + picture.name + ".rgba";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const int graph = LoadGraphFile(picture.name, 0);
    ASSERT_NE(graph, -1);
    int width = 0, height = 0;
    ASSERT_EQ(GetGraphDimensions(graph, &width, &height), 0);
    const auto rgba = ReadBytes(std::string(picture.name) + ".rgba");
    ASSERT_EQ(rgba.size(), static_cast<size_t>(width) * height * 4);
    ASSERT_EQ(ClearDrawScreenAll(), 0);
    EXPECT_EQ(DrawGraphAt(3, 5, graph, 0), 0);

    BaseImage locked{};
    const RECT whole{0, 0, kScreenWidth, kScreenHeight};
    ASSERT_EQ(LockDrawScreenBuffer(&whole, &locked), 0);
    int wrong = 0;
    for (int y = 0; y < kScreenHeight; ++y)
      for (int x = 0; x < kScreenWidth; ++x) {
        const uint32_t got = reinterpret_cast<const uint32_t*>(locked.pixels + y * locked.pitch)[x];
        uint32_t want = kBackground;
        if (x >= 3 && y >= 5 && x < 3 + width && y < 5 + height) {
          const uint8_t* at = &rgba[(static_cast<size_t>(y - 5) * width + (x - 3)) * 4];
          want = static_cast<uint32_t>(at[0] << 16 | at[1] << 8 | at[2]);
        }
        bool close = true;
        for (int shift : {0, 8, 16})
          close = close &&
                  std::abs(static_cast<int>(got >> shift & 0xFF) - static_cast<int>(want >> shift & 0xFF)) <= 1;
        if (!close && ++wrong <= 5)
          ADD_FAILURE() << x << "," << y << " is " << std::hex << (got & 0xFFFFFF) << ", wanted " << want;
      }
    EXPECT_EQ(wrong, 0);
    UnlockDrawScreenBuffer();
    EXPECT_EQ(DeleteGraphHandle(graph), 0);
  }
  EXPECT_EQ(FinishLibrary(), 0);
  EXPECT_EQ(GetTrackedBlockCount(), blocksBefore);
}

// A grey file (A8L8: luminance 0x60 at alpha 0x80) and an alpha-only one (A8 at 0x80), built
// byte by byte, as graphs drawn with their alpha over the background 204060: grey and white
// halfway onto it. 0x20 + (0x60 - 0x20) x 128 / 255 = 0x40 (integer), and so on per channel.
TEST_P(DdsGraphTest, LuminanceIsGreyAndAlphaOnlyIsWhiteAsGraphs) {
  auto make = [](const char* name, uint32_t pixelFlags, uint32_t bits, uint32_t luminanceMask, uint32_t alphaMask,
                 std::vector<uint8_t> pixel) {
    std::vector<uint8_t> file(128, 0);
    auto put = [&](size_t at, uint32_t v) {
      for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    std::memcpy(file.data(), "DDS ", 4);
    put(4, 124), put(8, 0x1007), put(12, 4), put(16, 4), put(76, 32), put(80, pixelFlags), put(88, bits);
    put(92, luminanceMask), put(104, alphaMask), put(108, 0x1000);
    for (int i = 0; i < 16; ++i) file.insert(file.end(), pixel.begin(), pixel.end());
    FILE* out = std::fopen(name, "wb");
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(std::fwrite(file.data(), 1, file.size(), out), file.size());
    std::fclose(out);
  };
  make("grey.dds", 0x20001, 16, 0xFF, 0xFF00, {0x60, 0x80});
  make("alpha.dds", 0x2, 8, 0, 0xFF, {0x80});
  ASSERT_EQ(InitializeLibrary(), 0);
  ASSERT_EQ(SelectDrawTarget(SCREEN_BACK), 0);
  const struct {
    const char* name;
    uint32_t drawn;
  } cases[] = {{"grey.dds", 0x405060}, {"alpha.dds", 0x8F9FAF}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int graph = LoadGraphFile(c.name, 0);
    ASSERT_NE(graph, -1);
    ASSERT_EQ(ClearDrawScreenAll(), 0);
    EXPECT_EQ(DrawGraphAt(0, 0, graph, 1), 0);
    BaseImage locked{};
    const RECT whole{0, 0, kScreenWidth, kScreenHeight};
    ASSERT_EQ(LockDrawScreenBuffer(&whole, &locked), 0);
    for (int shift : {0, 8, 16}) {
      const uint32_t got = reinterpret_cast<const uint32_t*>(locked.pixels + 2 * locked.pitch)[2];
      EXPECT_NEAR(static_cast<int>(got >> shift & 0xFF), static_cast<int>(c.drawn >> shift & 0xFF), 2) << shift;
    }
    UnlockDrawScreenBuffer();
    EXPECT_EQ(DeleteGraphHandle(graph), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(BothPaths, DdsGraphTest, ::testing::Values(Path::kDevice, Path::kSoftware),
                         [](const auto& info) { return info.param == Path::kDevice ? "Device" : "Software"; });

}  // namespace
