// The rasteriser on images made by the MEMIMG manager: it draws into views at their offset in the
// shared store, and marks the store's premultiplied plane and line codes stale whenever it draws.
#include "raster_images.h"

namespace {

class MemImgStoreTest : public RasterTest {
 protected:
  void TearDown() override {
    ReleaseMemImg(&view);
    ReleaseMemImg(&image);
  }
  MEMIMG image{};
  MEMIMG view{};
};

TEST_F(MemImgStoreTest, DrawsIntoAViewAndMarksTheStoreStale) {
  ASSERT_EQ(0, SetupMemImg(&image, 32, 24, -1, 0, 1, 0, 0, 0, nullptr));
  FillMemImgRaw(&image, nullptr, 0);
  MakeMemImgView(&view, &image, 10, 6, 8, 8);
  ASSERT_TRUE(IsMemImgValid(&view));
  auto pixel = [&](int x, int y) {
    uint32_t value;
    std::memcpy(&value, image.Pixels + y * image.Core->Pitch + x * 4, 4);
    return value;
  };
  auto markValid = [&] { image.Core->PremultValid = image.Core->LineCodesValid = 1; };

  markValid();
  const RECT box = {-4, -4, 2, 2};  // Clipped to the view: its pixels (0, 0) to (1, 1).
  FillMemImgBox(&view, &box, 0x0000FF, g_rasterDrawSettings);
  EXPECT_EQ(pixel(10, 6), 0x0000FFu);
  EXPECT_EQ(pixel(11, 7), 0x0000FFu);
  EXPECT_EQ(pixel(9, 6), 0u);
  EXPECT_EQ(pixel(10, 5), 0u);
  EXPECT_EQ(pixel(12, 6), 0u);
  EXPECT_EQ(image.Core->PremultValid + image.Core->LineCodesValid, 0);

  markValid();
  DrawMemImgLine(&view, 0, 7, 30, 7, 0x00FF00, g_rasterDrawSettings);  // Stops at the view's right edge.
  EXPECT_EQ(pixel(10, 13), 0x00FF00u);
  EXPECT_EQ(pixel(17, 13), 0x00FF00u);
  EXPECT_EQ(pixel(18, 13), 0u);
  EXPECT_EQ(image.Core->PremultValid + image.Core->LineCodesValid, 0);

  markValid();
  const MemImgVertex corners[3] = {{-20, -20, 0, 0}, {40, -20, 0, 0}, {-20, 40, 0, 0}};
  MapMemImgTriangle(&view, nullptr, corners, 0, nullptr, 0xFF0000, g_rasterDrawSettings);
  EXPECT_EQ(pixel(17, 12), 0xFF0000u);
  EXPECT_EQ(pixel(18, 12), 0u);
  EXPECT_EQ(pixel(17, 14), 0u);
  EXPECT_EQ(image.Core->PremultValid + image.Core->LineCodesValid, 0);

  // Drawing nothing leaves the marks alone.
  markValid();
  g_rasterDrawSettings.BlendMode = 7;
  FillMemImgBox(&view, nullptr, 0x123456, g_rasterDrawSettings);
  DrawMemImgLine(&view, 0, 0, 5, 5, 0x123456, g_rasterDrawSettings);
  MapMemImgTriangle(&view, nullptr, corners, 0, nullptr, 0x123456, g_rasterDrawSettings);
  EXPECT_EQ(image.Core->PremultValid + image.Core->LineCodesValid, 2);
}

}  // namespace
