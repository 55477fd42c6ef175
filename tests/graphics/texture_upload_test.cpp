// Texture upload: what reaches the tiles (and their edge copies) on the device, and the MEMIMG on
// the software path; new textures start cleared.
#include "render_device_support.h"

#include <cstring>

#include "graphics/graphs/graph_records.h"
#include "graphics/graphs/texture_upload.h"
#include "zyvel/memimg.h"

namespace device_test {
namespace {

// A recognisable pattern: every pixel different.
uint32_t Pattern(int x, int y) {
  return static_cast<uint32_t>((x * 7 + 3) << 16 | (y * 5 + 1) << 8 | (x ^ y)) & 0xFFFFFF;
}

struct SourceImage {
  BaseImage image{};
  SourceImage(int width, int height) {
    CreateXRGB8BaseImage(width, height, &image);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) reinterpret_cast<uint32_t*>(image.pixels + image.pitch * y)[x] = Pattern(x, y);
  }
  ~SourceImage() { ReleaseBaseImage(&image); }
};

class TextureUploadTest : public RenderDeviceTest {
 protected:
  void TearDown() override {
    for (int slot = 0; slot < g_graphHandleTable.highWaterMark; ++slot)
      if (auto* record = static_cast<GraphRecord*>(g_graphHandleTable.slots[slot]))
        DeleteHandleRecord(&g_graphHandleTable, record->Handle);
    ReleaseGraphTextures(&part_);
    ZV_FREE(part_.Textures);
    if (part_.SoftImage.ValidMark) ReleaseMemImg(&part_.SoftImage);
    RenderDeviceTest::TearDown();
  }

  // A 32-bit textured part of width x height, tiled as this device tiles it, shown whole by one graph.
  int TexturedGraph(int width, int height) {
    part_.Textured = 1;
    part_.FormatCode = kTextureFormatColor32;
    part_.Width = width, part_.Height = height;
    part_.MipLevels = 1;
    EXPECT_EQ(LayoutGraphTextures(&part_, 0), 0);
    EXPECT_EQ(CreateGraphTextures(&part_), 0);
    return Graph(width, height);
  }

  int Graph(int width, int height) {
    const int handle = NewGraphHandle();
    GraphRecord* record = GetGraphRecord(handle);
    record->Part = &part_;
    record->Width = width, record->Height = height;
    EXPECT_EQ(SetupGraphTileDraws(handle), 0);
    return handle;
  }

  // The pixels of a tile as the library wrote them (through the twin when the part keeps one).
  std::vector<uint32_t> TilePixels(const GraphTexture& tile) {
    IDirect3DTexture9* texture = tile.Twin ? tile.Twin : tile.Texture;
    D3DLOCKED_RECT locked;
    EXPECT_EQ(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    std::vector<uint32_t> pixels;
    for (int y = 0; y < tile.TextureHeight; ++y)
      for (int x = 0; x < tile.TextureWidth; ++x)
        pixels.push_back(reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + locked.Pitch * y)[x] &
                         0xFFFFFF);
    texture->UnlockRect(0);
    return pixels;
  }

  GraphImagePart part_{};
};

TEST_F(TextureUploadTest, AnImageInOneTileGetsItsEdgesRepeatedOnceAndTheRestStaysCleared) {
  ASSERT_EQ(StartDevice(), 0);
  const int graph = TexturedGraph(100, 100);
  ASSERT_EQ(part_.TextureCount, 1);
  const GraphTexture& tile = part_.Textures[0];
  ASSERT_EQ(tile.TextureWidth, 128);
  for (uint32_t pixel : TilePixels(tile)) ASSERT_EQ(pixel, 0u) << "a new texture is cleared";

  SourceImage source(100, 100);
  const RECT all = {0, 0, 100, 100};
  ASSERT_EQ(UploadImageToGraph(graph, nullptr, nullptr, nullptr, &all, 0, 0, 0, &source.image, nullptr, 0, 0, 0), 0);
  const std::vector<uint32_t> pixels = TilePixels(tile);
  for (int y = 0; y < 128; ++y)
    for (int x = 0; x < 128; ++x) {
      uint32_t expected = 0;
      if (x <= 100 && y <= 100) expected = Pattern(std::min(x, 99), std::min(y, 99));
      ASSERT_EQ(pixels[y * 128 + x], expected) << x << "," << y;
    }
  const RECT none = {5, 5, 5, 9};
  EXPECT_EQ(UploadImageToGraph(graph, nullptr, nullptr, nullptr, &none, 0, 0, 0, &source.image, nullptr, 0, 0, 0), 0);
}

TEST_F(TextureUploadTest, AWideImageIsSplitOverItsTilesAndClippedToBothImages) {
  ASSERT_EQ(StartDevice(), 0);
  const int graph = TexturedGraph(640, 20);
  ASSERT_EQ(part_.TextureCount, 2);
  EXPECT_EQ(part_.Textures[0].TextureWidth, 512);
  EXPECT_EQ(part_.Textures[1].TextureWidth, 128);

  SourceImage source(640, 20);
  // Asked for more than the source holds: only the image is read.
  const RECT beyond = {0, 0, 700, 30};
  ASSERT_EQ(UploadImageToGraph(graph, nullptr, nullptr, nullptr, &beyond, 0, 0, 0, &source.image, nullptr, 0, 0, 0), 0);
  const std::vector<uint32_t> right = TilePixels(part_.Textures[1]);
  EXPECT_EQ(right[0], Pattern(512, 0));
  EXPECT_EQ(right[19 * 128 + 127], Pattern(639, 19));
  const std::vector<uint32_t> left = TilePixels(part_.Textures[0]);
  EXPECT_EQ(left[5 * 512 + 511], Pattern(511, 5));
  EXPECT_EQ(left[20 * 512 + 3], Pattern(3, 19)) << "row 20 repeats the last image row";

  // A piece at an offset lands at that offset and nowhere else.
  SourceImage patch(8, 8);
  const RECT small = {2, 2, 6, 6};
  ASSERT_EQ(UploadImageToGraph(graph, nullptr, nullptr, nullptr, &small, 510, 10, 0, &patch.image, nullptr, 0, 0, 0),
            0);
  EXPECT_EQ(TilePixels(part_.Textures[0])[10 * 512 + 511], Pattern(3, 2));
  EXPECT_EQ(TilePixels(part_.Textures[1])[13 * 128 + 1], Pattern(5, 5));
  EXPECT_EQ(TilePixels(part_.Textures[1])[13 * 128 + 2], Pattern(514, 13));
}

TEST_F(TextureUploadTest, ASquareOnlyDeviceCutsTilesIntoSquares) {
  platform::testing::Direct3DSwitches switches;
  switches.reportSquareOnlyTextures = true;
  platform::testing::SetDirect3DSwitches(switches);
  ASSERT_EQ(StartDevice(), 0);
  part_.Width = 256, part_.Height = 64;
  ASSERT_EQ(LayoutGraphTextures(&part_, 0), 0);
  ASSERT_EQ(part_.TextureCount, 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(part_.Textures[i].X, 64 * i);
    EXPECT_EQ(part_.Textures[i].TextureWidth, 64);
    EXPECT_EQ(part_.Textures[i].UsedHeight, 64);
  }
  part_.Textured = 1;
  part_.FormatCode = kTextureFormatColor32;
  part_.MipLevels = 1;
  EXPECT_EQ(CreateGraphTextures(&part_), 0) << "every tile is square, so every texture is made";
}

TEST_F(TextureUploadTest, AMipChainIsConvertedLevelByLevelIntoTheTextureFormat) {
  ASSERT_EQ(StartDevice(), 0);
  part_.MipLevels = 3;
  part_.Textured = 1;
  part_.FormatCode = kTextureFormatColor32;
  part_.Width = part_.Height = 4;
  part_.TextureCount = 1;
  part_.Textures = static_cast<GraphTexture*>(ZV_ALLOC_ZEROED(sizeof(GraphTexture)));
  part_.Textures[0] = GraphTexture{nullptr, nullptr, nullptr, nullptr, 0, 0, 4, 4, 4, 4};
  ASSERT_EQ(CreateGraphTextures(&part_), 0);
  const int graph = Graph(4, 4);
  SourceImage source(4, 4);
  const RECT all = {0, 0, 4, 4};
  ASSERT_EQ(UploadImageToGraph(graph, nullptr, nullptr, nullptr, &all, 0, 0, 0, &source.image, nullptr, 0, 0, 0), 0);
  const GraphTexture& tile = part_.Textures[0];
  IDirect3DTexture9* texture = tile.Twin ? tile.Twin : tile.Texture;
  auto pixel = [&](int level, int x, int y) {
    D3DLOCKED_RECT locked;
    EXPECT_EQ(texture->LockRect(static_cast<UINT>(level), &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    const uint32_t value = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + locked.Pitch * y)[x];
    texture->UnlockRect(static_cast<UINT>(level));
    return value & 0xFFFFFF;
  };
  EXPECT_EQ(pixel(0, 3, 2), Pattern(3, 2));
  // Level 1 (1, 0): the mean of source (2..3, 0..1), per channel, within the halving's rounding.
  for (int shift : {0, 8, 16}) {
    int sum = 0;
    for (int y = 0; y < 2; ++y)
      for (int x = 2; x < 4; ++x) sum += static_cast<int>(Pattern(x, y) >> shift & 0xFF);
    EXPECT_NEAR(static_cast<int>(pixel(1, 1, 0) >> shift & 0xFF), sum / 4, 1) << shift;
  }
  EXPECT_NE(pixel(2, 0, 0), 0u) << "the last level is written too";
}

// A system-memory surface that will not lock holds no picture: the upload fails and the graph keeps
// what it showed.
TEST_F(TextureUploadTest, ADrawableGraphIsFilledThroughASystemMemorySurfaceThatMustLock) {
  ASSERT_EQ(StartDevice(), 0);
  part_.Textured = 1;
  part_.Drawable = 1;
  part_.FormatCode = kTextureFormatDrawable32;
  part_.MipLevels = 1;
  part_.Width = part_.Height = 16;
  part_.TextureCount = 1;
  part_.Textures = static_cast<GraphTexture*>(ZV_ALLOC_ZEROED(sizeof(GraphTexture)));
  part_.Textures[0] = GraphTexture{nullptr, nullptr, nullptr, nullptr, 0, 0, 16, 16, 16, 16};
  ASSERT_EQ(CreateGraphTextures(&part_), 0);
  const int graph = Graph(16, 16);
  SourceImage source(16, 16);
  const RECT all = {0, 0, 16, 16};
  auto expectPattern = [&] {
    IDirect3DSurface9* readable = nullptr;
    D3DSURFACE_DESC desc{};
    part_.Textures[0].Surface->GetDesc(&desc);
    ASSERT_EQ(
        g_renderDevice.Device->CreateOffscreenPlainSurface(16, 16, desc.Format, D3DPOOL_SYSTEMMEM, &readable, nullptr),
        D3D_OK);
    ASSERT_EQ(g_renderDevice.Device->GetRenderTargetData(part_.Textures[0].Surface, readable), D3D_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(readable->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    int wrong = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x)
        if ((reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + locked.Pitch * y)[x] & 0xFFFFFF) !=
                Pattern(x, y) &&
            ++wrong <= 3)
          ADD_FAILURE() << "pixel " << x << "," << y;
    readable->UnlockRect();
    readable->Release();
  };
  ASSERT_EQ(UploadImageToGraph(graph, nullptr, nullptr, nullptr, &all, 0, 0, 0, &source.image, nullptr, 0, 0, 0), 0);
  expectPattern();

  BaseImage other{};
  ASSERT_EQ(CreateXRGB8BaseImage(16, 16, &other), 0);
  std::memset(other.pixels, 0x80, static_cast<size_t>(other.pitch) * 16);
  platform::testing::RefuseSystemMemorySurfaceLocks(true);
  EXPECT_EQ(UploadImageToGraph(graph, nullptr, nullptr, nullptr, &all, 0, 0, 0, &other, nullptr, 0, 0, 0), -1);
  platform::testing::RefuseSystemMemorySurfaceLocks(false);
  ReleaseBaseImage(&other);
  EXPECT_NE(ReadLog().find("テクスチャのロックに失敗しました\n"), std::string::npos);
  expectPattern();
  ReleaseDrawableGraphExtras(&part_);
}

TEST_F(TextureUploadTest, OnTheSoftwarePathThePixelsLandInThePartsImage) {
  part_.Width = 50, part_.Height = 40;
  ASSERT_EQ(SetupMemImg(&part_.SoftImage, 50, 40, -1, 0, kMemImgFormat32, 0, 0, 0, nullptr), 0);
  const RECT whole = {0, 0, 50, 40};
  FillMemImgRaw(&part_.SoftImage, &whole, 0);
  const int graph = NewGraphHandle();
  GraphRecord* record = GetGraphRecord(graph);
  record->Part = &part_;
  record->PartX = 10, record->PartY = 5, record->Width = 30, record->Height = 30;
  ASSERT_EQ(SetupGraphTileDraws(graph), 0);

  SourceImage source(50, 50);
  const RECT all = {0, 0, 50, 50};
  // Graph coordinates: the graph's 30 x 30 takes the source's top-left 30 x 30.
  ASSERT_EQ(UploadImageToGraph(graph, nullptr, nullptr, nullptr, &all, 0, 0, 0, &source.image, nullptr, 0, 0, 0), 0);
  const MemImgCore* core = part_.SoftImage.Core;
  auto at = [&](int x, int y) {
    return reinterpret_cast<const uint32_t*>(core->PixelBuffer + core->Pitch * y)[x] & 0xFFFFFF;
  };
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 50; ++x) {
      const bool inside = x >= 10 && x < 40 && y >= 5 && y < 35;
      ASSERT_EQ(at(x, y), inside ? Pattern(x - 10, y - 5) : 0u) << x << "," << y;
    }
  const RECT offImage = {60, 0, 70, 10};
  EXPECT_EQ(UploadImageToGraph(graph, nullptr, nullptr, nullptr, &offImage, 0, 0, 0, &source.image, nullptr, 0, 0, 0),
            -1);
}

}  // namespace
}  // namespace device_test

namespace device_test {
namespace {

TEST_F(TextureUploadTest, APaletteGraphTakesItsTransparentColoursIndexOrZero) {
  BaseImage source{};
  SetupPalette8ColorData(&source.color);
  source.width = source.height = 2;
  source.pitch = 4;
  uint8_t indices[8] = {0, 1, 0, 0, 2, 3, 0, 0};
  source.pixels = indices;
  for (int i = 0; i < 256; ++i) source.color.palette[i] = ColorPaletteEntry{static_cast<uint8_t>(i), 0, 0, 0xFF};
  source.color.palette[3] = ColorPaletteEntry{0x56, 0x34, 0x12, 0xFF};

  part_.Palette = 1;
  part_.Width = part_.Height = 2;
  ASSERT_EQ(SetupMemImg(&part_.SoftImage, 2, 2, -1, 0, kMemImgFormat32, 1, 0, 0, nullptr), 0);
  const int graph = Graph(2, 2);
  const RECT all = {0, 0, 2, 2};
  part_.TransparentColor = 0x123456;
  ASSERT_EQ(UploadImageToGraph(graph, nullptr, nullptr, nullptr, &all, 0, 0, 0, &source, nullptr, 0, 0, 0), 0);
  EXPECT_EQ(part_.SoftImage.Core->KeyColor, 3u);
  part_.TransparentColor = 0xABCDEF;
  ASSERT_EQ(UploadImageToGraph(graph, nullptr, nullptr, nullptr, &all, 0, 0, 0, &source, nullptr, 0, 0, 0), 0);
  EXPECT_EQ(part_.SoftImage.Core->KeyColor, 0u);
}

}  // namespace
}  // namespace device_test
