// Masks on both rendering paths: the switches, the mask screen's sizes, and draws bracketed while
// masking is active. A masked scene is checked against the same scene drawn without the mask:
// where the mask is 0 the pixels must be exactly the unmasked ones, elsewhere exactly what the
// target held before the masked draws.
#include "../window/window_fixture.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "graphics/device/render_device.h"
#include "graphics/graphs/draw_settings.h"
#include "graphics/graphs/masks.h"
#include "graphics/graphs/screen_settings.h"
#include "graphics/graphs/screens.h"
#include "runtime/tracked_heap.h"
#include "window/window_state.h"

namespace {

enum class Path { kDevice, kSoftware };

constexpr int kScreenWidth = 408, kScreenHeight = 504;

// A mask of stripes and blocks, so every edge direction and both values meet the draws.
uint8_t StripedMask(int x, int y) { return ((x / 5 + y / 7) % 3 == 0) ? 1 : ((x >= 200 && y < 100) ? 7 : 0); }

// A 24 x 16 picture, written as a 24-bit BMP byte by byte.
void WritePicture(const std::string& path) {
  const int width = 24, height = 16, pitch = 72;
  std::vector<uint8_t> file(54 + static_cast<size_t>(pitch) * height, 0);
  auto put32 = [&](size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(value >> (8 * i));
  };
  file[0] = 'B', file[1] = 'M';
  put32(2, static_cast<uint32_t>(file.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, width);
  put32(22, height);
  file[26] = 1, file[28] = 24;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint8_t* at = &file[54 + static_cast<size_t>(pitch) * (height - 1 - y) + 3 * x];
      at[0] = static_cast<uint8_t>(x * 10 + 5), at[1] = static_cast<uint8_t>(y * 15 + 3), at[2] = 0xC0;
    }
  FILE* out = std::fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  std::fwrite(file.data(), 1, file.size(), out);
  std::fclose(out);
}

class MaskTest : public windowtest::LibraryTest, public ::testing::WithParamInterface<Path> {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    SetHardwareAccelFlag(GetParam() == Path::kDevice ? 1 : 0);
    g_windowSystem.backgroundRed = 0x20;
    g_windowSystem.backgroundGreen = 0x40;
    g_windowSystem.backgroundBlue = 0x60;
    blocksBefore_ = GetTrackedBlockCount();
  }
  void TearDown() override {
    EXPECT_EQ(FinishLibrary(), 0);
    EXPECT_EQ(g_maskScreen.MaskBuffer, nullptr) << "shut-down ends the mask system";
    EXPECT_EQ(GetTrackedBlockCount(), blocksBefore_);
    LibraryTest::TearDown();
    SetHardwareAccelFlag(1);
  }

  void Start() {
    ASSERT_EQ(InitializeLibrary(), 0);
    ASSERT_EQ(g_screenSettings.HardwareInUse, GetParam() == Path::kDevice ? 1 : 0);
    ASSERT_EQ(SelectDrawTarget(SCREEN_BACK), 0);
    ASSERT_EQ(ClearDrawScreenAll(), 0);
  }

  static void WriteMask(uint8_t (*mask)(int, int)) {
    MaskScreenState& state = g_maskScreen;
    for (int y = 0; y < state.MaskHeight; ++y)
      for (int x = 0; x < state.MaskWidth; ++x) state.MaskBuffer[y * state.MaskPitch + x] = mask(x, y);
    if (GetParam() == Path::kDevice) {
      ASSERT_EQ(UpdateMaskImageTexture(nullptr), 0);
    }
  }

  // The screen's pixel words (32-bit ones without their spare byte).
  static std::vector<uint32_t> ReadScreen() {
    std::vector<uint32_t> pixels;
    BaseImage locked{};
    const RECT whole{0, 0, kScreenWidth, kScreenHeight};
    EXPECT_EQ(LockDrawScreenBuffer(&whole, &locked), 0);
    if (!locked.pixels) return pixels;
    const int bytes = locked.color.bytesPerPixel;
    for (int y = 0; y < locked.height; ++y)
      for (int x = 0; x < locked.width; ++x) {
        uint32_t word = 0;
        std::memcpy(&word, locked.pixels + y * locked.pitch + x * bytes, static_cast<size_t>(bytes));
        pixels.push_back(bytes == 4 ? word & 0xFFFFFF : word);
      }
    UnlockDrawScreenBuffer();
    return pixels;
  }

  // The part drawn before masking: a box the masked draws blend over.
  static void DrawGround() {
    SetDrawBlendMode(BLEND_MODE_COPY, 0);
    ASSERT_EQ(DrawFilledBox(40, 40, 260, 180, 0x00A08020), 0);
  }

  // The masked part: a half-transparent box over the ground, a picture across a mask edge, and a
  // box crossing the right of the draw area.
  static void DrawScene(int picture) {
    SetDrawBlendMode(BLEND_MODE_ALPHA, 128);
    ASSERT_EQ(DrawFilledBox(100, 20, 300, 150, 0x0010E0F0), 0);
    SetDrawBlendMode(BLEND_MODE_COPY, 0);
    ASSERT_EQ(DrawGraphAt(190, 90, picture, 0), 0);
    ASSERT_EQ(DrawFilledBox(380, 300, 500, 320, 0x00FF00FF), 0);
  }

  // Masked pixels against the unmasked scene where the mask is 0 and the ground elsewhere.
  static void ExpectMasked(const std::vector<uint32_t>& masked, const std::vector<uint32_t>& unmasked,
                           const std::vector<uint32_t>& ground, uint8_t (*mask)(int, int)) {
    ASSERT_EQ(masked.size(), unmasked.size());
    ASSERT_EQ(masked.size(), ground.size());
    int wrong = 0;
    for (int y = 0; y < kScreenHeight; ++y)
      for (int x = 0; x < kScreenWidth; ++x) {
        const size_t i = static_cast<size_t>(y) * kScreenWidth + x;
        const uint32_t want = mask(x, y) == 0 ? unmasked[i] : ground[i];
        if (masked[i] != want && ++wrong <= 5)
          ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << masked[i] << ", wanted " << want;
      }
    EXPECT_EQ(wrong, 0);
  }

  int blocksBefore_ = 0;
};

TEST_P(MaskTest, MaskingNeedsAMaskScreen) {
  Start();
  EXPECT_EQ(GetUseMaskFlag(), 1) << "start-up leaves masking wanted but inactive";
  EXPECT_EQ(SetUseMaskFlag(1), -1) << "no mask buffer";
  EXPECT_EQ(SetUseMaskFlag(0), -1);
  EXPECT_EQ(IsMaskActive(), 0);
  EXPECT_EQ(GetUseMaskFlag(), 1) << "a refused call changes nothing";
  // Brackets without a mask screen only count.
  EXPECT_EQ(BeginMaskedDrawing(0, 0, 10, 10), 0);
  EXPECT_EQ(EndMaskedDrawing(0, 0, 10, 10), 0);
  EXPECT_EQ(g_maskScreen.Nesting, 0);

  ASSERT_EQ(CreateMaskScreen(), 0);
  EXPECT_EQ(IsMaskActive(), 0);
  EXPECT_EQ(SetUseMaskFlag(1), 0);
  EXPECT_EQ(IsMaskActive(), 1);
  EXPECT_EQ(SelectDrawTarget(SCREEN_BACK), 0);
  EXPECT_EQ(IsMaskActive(), 1) << "selecting a target keeps masking on";
  EXPECT_EQ(SetUseMaskFlag(0), 0);
  EXPECT_EQ(IsMaskActive(), 0);
}

// 800 x 600: textures of 1024 x 1024 and a pitch of 800; 641 pixels wide: a pitch of 644.
TEST_P(MaskTest, MaskScreenSizes) {
  struct {
    int width, height, pitch, textureWidth, textureHeight;
  } cases[] = {{800, 600, 800, 1024, 1024}, {641, 480, 644, 1024, 512}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
    SetScreenMode(c.width, c.height, 32, 60);
    Start();
    ASSERT_EQ(CreateMaskScreen(), 0);
    EXPECT_EQ(g_maskScreen.MaskPitch, c.pitch);
    EXPECT_EQ(g_maskScreen.MaskWidth, c.width);
    if (GetParam() == Path::kDevice) {
      D3DSURFACE_DESC image{}, screen{};
      ASSERT_NE(g_maskScreen.ImageTexture, nullptr);
      ASSERT_NE(g_maskScreen.ScreenTexture, nullptr);
      g_maskScreen.ImageTexture->GetLevelDesc(0, &image);
      g_maskScreen.ScreenTexture->GetLevelDesc(0, &screen);
      EXPECT_EQ(image.Width, static_cast<UINT>(c.textureWidth));
      EXPECT_EQ(image.Height, static_cast<UINT>(c.textureHeight));
      EXPECT_EQ(image.Usage, static_cast<DWORD>(D3DUSAGE_DYNAMIC));
      EXPECT_EQ(screen.Width, static_cast<UINT>(c.textureWidth));
      EXPECT_EQ(screen.Usage, static_cast<DWORD>(D3DUSAGE_RENDERTARGET));
      EXPECT_EQ(screen.Format, g_renderDevice.ScreenFormat);
    } else {
      EXPECT_EQ(g_maskScreen.MaskImage.Width, c.width);
      EXPECT_EQ(g_maskScreen.MaskImage.Height, c.height);
    }
    EXPECT_EQ(FinishLibrary(), 0);
  }
}

// The same scene unmasked, under a mask of zeros, and under a striped mask.
TEST_P(MaskTest, DrawingLandsOnlyWhereTheMaskIsZero) {
  WritePicture("picture.bmp");
  // 16-bit screens are masked pixel by pixel as 32-bit ones are (on the software path; the device
  // takes the desktop's 32 bits in a window).
  for (int bits : {32, 16}) {
    SCOPED_TRACE(std::to_string(bits) + " bits");
    SetScreenMode(kScreenWidth, kScreenHeight, bits, 60);
    Start();
    if (GetParam() == Path::kSoftware) {
      ASSERT_EQ(GetMemImgBytesPerPixel(g_softwareScreen.ScreenImage.Core), bits / 8);
    }
    const int picture = LoadGraphFile("picture.bmp", 0);
    ASSERT_NE(picture, -1);
    ASSERT_EQ(SetDrawClipArea(0, 0, 390, kScreenHeight), 0);
    DrawGround();
    const auto ground = ReadScreen();
    DrawScene(picture);
    const auto unmasked = ReadScreen();
    ASSERT_NE(unmasked, ground);

    ASSERT_EQ(CreateMaskScreen(), 0);
    for (uint8_t (*mask)(int, int) : {+[](int, int) -> uint8_t { return 0; }, StripedMask}) {
      ASSERT_EQ(ClearDrawScreenAll(), 0);
      DrawGround();
      WriteMask(mask);
      ASSERT_EQ(SetUseMaskFlag(1), 0);
      DrawScene(picture);
      ASSERT_EQ(SetUseMaskFlag(0), 0);
      ExpectMasked(ReadScreen(), unmasked, ground, mask);
    }
    EXPECT_EQ(FinishLibrary(), 0);
  }
}

// Text goes through the mask as graphs and boxes do, plain and anti-aliased with an edge.
TEST_P(MaskTest, TextLandsOnlyWhereTheMaskIsZero) {
  SetScreenMode(kScreenWidth, kScreenHeight, 32, 60);
  Start();
  for (int fontType : {FONT_TYPE_PLAIN, FONT_TYPE_ANTIALIAS_EDGE}) {
    SCOPED_TRACE("font type " + std::to_string(fontType));
    const int font = CreateFontToHandle(nullptr, 24, 4, fontType, -1, -1, 0, -1, -1);
    ASSERT_NE(font, -1);
    auto drawText = [&] {
      ASSERT_EQ(DrawTextWithFont(30, 60, "MASKED TEXT", 0x00FFFFFF, font, 0x00FF0000, 0), 0);
      ASSERT_EQ(DrawTextWithFont(60, 100, "MASKED", 0x0000FF00, font, 0x000000FF, 1), 0);
    };
    ASSERT_EQ(ClearDrawScreenAll(), 0);
    DrawGround();
    const auto ground = ReadScreen();
    drawText();
    const auto unmasked = ReadScreen();
    ASSERT_NE(unmasked, ground);
    if (g_maskScreen.MaskBuffer == nullptr) {
      ASSERT_EQ(CreateMaskScreen(), 0);
    }
    ASSERT_EQ(ClearDrawScreenAll(), 0);
    DrawGround();
    WriteMask(StripedMask);
    ASSERT_EQ(SetUseMaskFlag(1), 0);
    drawText();
    ASSERT_EQ(SetUseMaskFlag(0), 0);
    ExpectMasked(ReadScreen(), unmasked, ground, StripedMask);
    EXPECT_EQ(DeleteFontHandle(font), 0);
  }
}

// Only the outermost bracket acts: draws inside an open bracket reach the target when it closes,
// and a bracket outside the draw area copies and composes nothing.
TEST_P(MaskTest, NestedBracketsActOnce) {
  WritePicture("picture.bmp");
  Start();
  const int picture = LoadGraphFile("picture.bmp", 0);
  ASSERT_NE(picture, -1);
  DrawGround();
  const auto ground = ReadScreen();
  DrawScene(picture);
  const auto unmasked = ReadScreen();

  ASSERT_EQ(CreateMaskScreen(), 0);
  ASSERT_EQ(ClearDrawScreenAll(), 0);
  DrawGround();
  WriteMask(StripedMask);
  ASSERT_EQ(SetUseMaskFlag(1), 0);
  const bool device = GetParam() == Path::kDevice;
  // Device calls of one step, by name.
  auto count = [](const std::vector<std::string>& calls, const char* name) {
    int n = 0;
    for (const std::string& call : calls) n += call.rfind(name, 0) == 0;
    return n;
  };
  if (device) platform::testing::RecordDeviceCalls(true);
  ASSERT_EQ(BeginMaskedDrawing(0, 0, kScreenWidth, kScreenHeight), 0);
  if (device) {
    EXPECT_EQ(count(platform::testing::TakeRecordedDeviceCalls(), "StretchRect"), 1);
  }
  DrawScene(picture);
  if (device) {
    EXPECT_EQ(count(platform::testing::TakeRecordedDeviceCalls(), "StretchRect"), 0) << "inner brackets";
  }
  platform::testing::RecordDeviceCalls(false);
  EXPECT_EQ(ReadScreen(), ground) << "nothing composed while the outer bracket is open";
  ASSERT_EQ(EndMaskedDrawing(0, 0, kScreenWidth, kScreenHeight), 0);
  ExpectMasked(ReadScreen(), unmasked, ground, StripedMask);

  ASSERT_EQ(SetDrawClipArea(0, 0, 100, 100), 0);
  const auto before = ReadScreen();
  if (device) platform::testing::RecordDeviceCalls(true);
  EXPECT_EQ(BeginMaskedDrawing(200, 200, 300, 300), 0);
  EXPECT_EQ(EndMaskedDrawing(200, 200, 300, 300), 0);
  if (device) {
    const auto calls = platform::testing::TakeRecordedDeviceCalls();
    platform::testing::RecordDeviceCalls(false);
    for (const std::string& call : calls)
      EXPECT_TRUE(call.rfind("StretchRect", 0) != 0 && call.rfind("DrawPrimitiveUP", 0) != 0) << call;
  }
  EXPECT_EQ(ReadScreen(), before);
  EXPECT_EQ(g_maskScreen.Nesting, 0);
  ASSERT_EQ(SetUseMaskFlag(0), 0);
}

// A drawable graph as the target, wider than the screen the mask covers: inside the mask the draw
// lands where the mask is 0; past the mask's edge nothing is composed (and nothing read or
// written past the mask screen).
TEST_P(MaskTest, DrawableGraphWiderThanTheMask) {
  Start();
  SetCreateRenderTargetGraph(1);
  const int canvas = MakeBlankGraph(600, 300);
  SetCreateRenderTargetGraph(0);
  ASSERT_NE(canvas, -1);
  ASSERT_EQ(SelectDrawTarget(canvas), 0);
  ASSERT_EQ(ClearDrawScreenAll(), 0);
  ASSERT_EQ(CreateMaskScreen(), 0);
  WriteMask(StripedMask);
  ASSERT_EQ(SetUseMaskFlag(1), 0);
  const uint32_t red = 0xFF0000;
  ASSERT_EQ(DrawFilledBox(0, 0, 600, 300, static_cast<unsigned>(MakeColorCode(255, 0, 0))), 0);
  ASSERT_EQ(SetUseMaskFlag(0), 0);

  BaseImage locked{};
  const RECT whole{0, 0, 600, 300};
  ASSERT_EQ(LockDrawScreenBuffer(&whole, &locked), 0);
  int wrong = 0;
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 600; ++x) {
      const uint32_t got = reinterpret_cast<const uint32_t*>(locked.pixels + y * locked.pitch)[x] & 0xFFFFFF;
      const uint32_t want = x < kScreenWidth && StripedMask(x, y) == 0 ? red : 0x204060;
      if (got != want && ++wrong <= 5) ADD_FAILURE() << x << "," << y << " is " << std::hex << got;
    }
  EXPECT_EQ(wrong, 0);
  UnlockDrawScreenBuffer();
  ASSERT_EQ(SelectDrawTarget(SCREEN_BACK), 0);
}

// A device made again after a loss gets new mask textures holding the same mask, and masking
// stays on.
TEST_P(MaskTest, MaskOutlivesALostDevice) {
  if (GetParam() != Path::kDevice) GTEST_SKIP();
  WritePicture("picture.bmp");
  Start();
  const int picture = LoadGraphFile("picture.bmp", 0);
  ASSERT_NE(picture, -1);
  DrawGround();
  const auto ground = ReadScreen();
  DrawScene(picture);
  const auto unmasked = ReadScreen();

  ASSERT_EQ(CreateMaskScreen(), 0);
  WriteMask(StripedMask);
  ASSERT_EQ(SetUseMaskFlag(1), 0);
  ASSERT_EQ(FlipScreen(), 0);
  platform::testing::LoseDevices();
  EXPECT_EQ(FlipScreen(), -1);
  platform::testing::RegainLostDevices();
  ASSERT_EQ(FlipScreen(), 0);
  EXPECT_EQ(IsMaskActive(), 1);
  ASSERT_NE(g_maskScreen.ScreenSurface, nullptr);

  ASSERT_EQ(SetUseMaskFlag(0), 0);
  ASSERT_EQ(ClearDrawScreenAll(), 0);
  DrawGround();
  ASSERT_EQ(SetUseMaskFlag(1), 0);
  DrawScene(picture);
  ASSERT_EQ(SetUseMaskFlag(0), 0);
  ExpectMasked(ReadScreen(), unmasked, ground, StripedMask);
}

// Mask records: kind-5 handles, refused when foreign, out of range or stale; shut-down frees them.
TEST(MaskRecords, HandlesAreCheckedAndEveryRecordIsFreed) {
  const int blocksBefore = GetTrackedBlockCount();
  const int first = AddMaskRecord(64);
  const int second = AddMaskRecord(0);
  ASSERT_GE(first, 0);
  ASSERT_GE(second, 0);
  EXPECT_EQ(first & 0x78000000, 0x28000000) << "kind 5";
  const int slot = first & 0xFFFF;
  for (int refused : {-1, (first & ~0x78000000) | 0x08000000, (first & ~0xFFFF) | kMaskTableSize, first ^ (1 << 16),
                      (first & ~0xFFFF) | (slot + 2)})
    EXPECT_EQ(DeleteMaskRecord(refused), -1) << std::hex << refused;
  EXPECT_EQ(DeleteMaskRecord(first), 0);
  EXPECT_EQ(DeleteMaskRecord(first), -1) << "deleted once";
  const int third = AddMaskRecord(8);
  EXPECT_EQ(third & 0xFFFF, slot) << "the free slot is taken again";
  EXPECT_NE(third, first) << "with a new check value";
  EXPECT_EQ(DeleteAllMaskRecords(), 0);
  EXPECT_EQ(DeleteMaskRecord(second), -1);
  EXPECT_EQ(DeleteMaskRecord(third), -1);
  EXPECT_EQ(GetTrackedBlockCount(), blocksBefore);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, MaskTest, ::testing::Values(Path::kDevice, Path::kSoftware),
                         [](const ::testing::TestParamInfo<Path>& info) {
                           return info.param == Path::kDevice ? "Device" : "Software";
                         });

}  // namespace
