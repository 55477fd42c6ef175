// The GDI font calls of the stand-in: metrics and glyph bitmaps of a pinned face, GDI's bitmap
// layouts, fontconfig's choice of face and weight, the per-character fallback and the code-page
// look-up of double-byte codes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "font_files.h"
#include "platform/gdi.h"
#include "platform/testing.h"

namespace {

constexpr MAT2 kIdentity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
// "ＭＳ ゴシック" in CP932.
const char* const kDefaultFace = "\x82\x6c\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4e";

// A memory context with one font selected; gives both back at the end.
class SelectedFont {
 public:
  SelectedFont(int height, int weight, const char* face, DWORD charSet = SHIFTJIS_CHARSET)
      : font_(CreateFontA(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, charSet, OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, FIXED_PITCH, face)),
        dc_(CreateCompatibleDC(nullptr)) {
    if (font_) previous_ = SelectObject(dc_, font_);
  }
  ~SelectedFont() {
    if (font_) {
      SelectObject(dc_, previous_);
      DeleteDC(dc_);
      EXPECT_TRUE(DeleteObject(font_));
    } else {
      DeleteDC(dc_);
    }
  }
  HFONT font() const { return font_; }
  HDC dc() const { return dc_; }
  TEXTMETRICA Metrics() const {
    TEXTMETRICA metrics{};
    EXPECT_TRUE(GetTextMetricsA(dc_, &metrics));
    return metrics;
  }
  // The glyph's bitmap in the format, with its metrics; empty when it has no ink.
  std::vector<BYTE> Glyph(UINT code, UINT format, GLYPHMETRICS* metrics) const {
    const DWORD size = GetGlyphOutlineA(dc_, code, format, metrics, 0, nullptr, &kIdentity);
    EXPECT_NE(size, GDI_ERROR);
    std::vector<BYTE> bits(size == GDI_ERROR ? 0 : size);
    if (!bits.empty()) {
      GLYPHMETRICS again{};
      EXPECT_EQ(GetGlyphOutlineA(dc_, code, format, &again, size, bits.data(), &kIdentity), size);
    }
    return bits;
  }

 private:
  HFONT font_;
  HDC dc_;
  HGDIOBJ previous_ = nullptr;
};

class GdiFontTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::testing::PinFontFiles({font_files::kGothic}); }
  void TearDown() override { platform::testing::ResetFontSwitches(); }
};

// Counts the set pixels of a monochrome bitmap, and checks the padding beyond the width is clear.
int InkOfMonochrome(const std::vector<BYTE>& bits, const GLYPHMETRICS& metrics) {
  const UINT pitch = (metrics.gmBlackBoxX + 31) / 32 * 4;
  int ink = 0;
  for (UINT y = 0; y < metrics.gmBlackBoxY; ++y)
    for (UINT x = 0; x < pitch * 8; ++x) {
      const bool set = (bits[y * pitch + x / 8] >> (7 - x % 8)) & 1;
      if (x >= metrics.gmBlackBoxX) {
        EXPECT_FALSE(set) << "padding bit set at " << x << "," << y;
      }
      ink += set;
    }
  return ink;
}

TEST_F(GdiFontTest, PinnedGothicMetricsAtTheGameSizes) {
  // A positive height is the cell height: IPAGothic's Windows ascent and descent span 2257 of its
  // 2048 units, so a 16-pixel cell holds a 15-pixel em (the full-width advance), 24 holds 22, and
  // 64 holds 58 plus a rounding pixel in the widest advance.
  struct Case {
    int height;
    int ascent, maxWidth;
    int advanceA, boxWidthA, boxHeightA, originYA;
  };
  const Case cases[] = {
      {16, 13, 15, 8, 7, 10, 11},
      {24, 19, 22, 11, 11, 16, 17},
      {64, 52, 59, 30, 27, 41, 44},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.height);
    SelectedFont font(c.height, FW_NORMAL, kDefaultFace);
    ASSERT_NE(font.font(), nullptr);
    const TEXTMETRICA metrics = font.Metrics();
    EXPECT_EQ(metrics.tmHeight, c.height);
    EXPECT_EQ(metrics.tmAscent, c.ascent);
    EXPECT_EQ(metrics.tmDescent, c.height - c.ascent);
    EXPECT_EQ(metrics.tmMaxCharWidth, c.maxWidth);
    EXPECT_EQ(metrics.tmCharSet, SHIFTJIS_CHARSET);
    GLYPHMETRICS a{};
    const std::vector<BYTE> bits = font.Glyph('A', GGO_BITMAP, &a);
    EXPECT_EQ(a.gmCellIncX, c.advanceA);
    EXPECT_EQ(static_cast<int>(a.gmBlackBoxX), c.boxWidthA);
    EXPECT_EQ(static_cast<int>(a.gmBlackBoxY), c.boxHeightA);
    EXPECT_EQ(a.gmptGlyphOrigin.y, c.originYA);
    EXPECT_GT(InkOfMonochrome(bits, a), 0);
  }
}

TEST_F(GdiFontTest, BitmapSizesFollowTheDwordAlignedRows) {
  SelectedFont font(24, FW_NORMAL, kDefaultFace);
  for (UINT code : {UINT{'A'}, UINT{'g'}, UINT{'W'}, 0x82A0u /* あ */, 0x8ABFu /* 漢 */}) {
    SCOPED_TRACE(code);
    GLYPHMETRICS mono{}, grey{};
    const std::vector<BYTE> monoBits = font.Glyph(code, GGO_BITMAP, &mono);
    const std::vector<BYTE> greyBits = font.Glyph(code, GGO_GRAY4_BITMAP, &grey);
    EXPECT_EQ(monoBits.size(), (mono.gmBlackBoxX + 31) / 32 * 4 * mono.gmBlackBoxY);
    EXPECT_EQ(greyBits.size(), (grey.gmBlackBoxX + 3) / 4 * 4 * grey.gmBlackBoxY);
    EXPECT_GT(InkOfMonochrome(monoBits, mono), 0);
    int top = 0;
    const UINT pitch = (grey.gmBlackBoxX + 3) / 4 * 4;
    for (UINT y = 0; y < grey.gmBlackBoxY; ++y)
      for (UINT x = 0; x < pitch; ++x) {
        const BYTE level = greyBits[y * pitch + x];
        EXPECT_LE(level, 16);
        if (x >= grey.gmBlackBoxX) {
          EXPECT_EQ(level, 0) << "padding at " << x << "," << y;
        }
        top = std::max<int>(top, level);
      }
    EXPECT_EQ(top, 16) << "solid strokes reach the top level";
    EXPECT_EQ(mono.gmCellIncX, grey.gmCellIncX);
  }
}

TEST_F(GdiFontTest, RefusesWhatItCannotAnswer) {
  SelectedFont font(16, FW_NORMAL, kDefaultFace);
  GLYPHMETRICS metrics{};
  const DWORD size = GetGlyphOutlineA(font.dc(), 'A', GGO_GRAY4_BITMAP, &metrics, 0, nullptr, &kIdentity);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> bits(size);
  EXPECT_EQ(GetGlyphOutlineA(font.dc(), 'A', GGO_GRAY4_BITMAP, &metrics, size - 1, bits.data(), &kIdentity), GDI_ERROR)
      << "buffer too small";
  const MAT2 doubled = {{0, 2}, {0, 0}, {0, 0}, {0, 2}};
  EXPECT_EQ(GetGlyphOutlineA(font.dc(), 'A', GGO_BITMAP, &metrics, 0, nullptr, &doubled), GDI_ERROR);
  EXPECT_EQ(GetGlyphOutlineA(font.dc(), 'A', GGO_BITMAP, &metrics, 0, nullptr, nullptr), GDI_ERROR);
  EXPECT_EQ(GetGlyphOutlineA(font.dc(), 'A', 2 /* GGO_NATIVE */, &metrics, 0, nullptr, &kIdentity), GDI_ERROR);

  // Without a selected font there is nothing to measure; a selected font cannot be deleted.
  HDC bare = CreateCompatibleDC(nullptr);
  TEXTMETRICA text{};
  EXPECT_FALSE(GetTextMetricsA(bare, &text));
  EXPECT_EQ(GetGlyphOutlineA(bare, 'A', GGO_BITMAP, &metrics, 0, nullptr, &kIdentity), GDI_ERROR);
  DeleteDC(bare);
  EXPECT_FALSE(DeleteObject(font.font()));

  platform::testing::FailFontCreation(1);
  EXPECT_EQ(CreateFontA(16, 0, 0, 0, 400, 0, 0, 0, 1, 0, 0, 3, 1, nullptr), nullptr);
  platform::testing::FailGlyphOutlines(1);
  EXPECT_EQ(GetGlyphOutlineA(font.dc(), 'A', GGO_BITMAP, &metrics, 0, nullptr, &kIdentity), GDI_ERROR);
  EXPECT_NE(GetGlyphOutlineA(font.dc(), 'A', GGO_BITMAP, &metrics, 0, nullptr, &kIdentity), GDI_ERROR);

  LOGFONTA described{};
  EXPECT_EQ(GetObjectA(font.font(), sizeof described, &described), static_cast<int>(sizeof(LOGFONTA)));
  EXPECT_EQ(described.lfHeight, 16);
  EXPECT_STREQ(described.lfFaceName, kDefaultFace);
}

TEST_F(GdiFontTest, SpacesHaveAnAdvanceAndNoInk) {
  SelectedFont font(16, FW_NORMAL, kDefaultFace);
  struct Case {
    UINT code;
    int advance;
  } const cases[] = {{0x20, 8}, {0x8140 /* full-width space */, 15}};
  for (const Case& c : cases)
    for (UINT format : {UINT{GGO_BITMAP}, UINT{GGO_GRAY4_BITMAP}}) {
      GLYPHMETRICS metrics{};
      EXPECT_EQ(GetGlyphOutlineA(font.dc(), c.code, format, &metrics, 0, nullptr, &kIdentity), 0u);
      EXPECT_EQ(metrics.gmBlackBoxX, 1u);
      EXPECT_EQ(metrics.gmBlackBoxY, 1u);
      EXPECT_EQ(metrics.gmCellIncX, c.advance);
    }
}

TEST_F(GdiFontTest, HeavyWeightsOnARegularFaceAreEmboldened) {
  SelectedFont regular(64, FW_NORMAL, kDefaultFace), heavy(64, 900, kDefaultFace);
  EXPECT_EQ(heavy.Metrics().tmMaxCharWidth, regular.Metrics().tmMaxCharWidth + 2);  // 58 / 24, rounded
  GLYPHMETRICS thin{}, thick{};
  const std::vector<BYTE> thinBits = regular.Glyph('I', GGO_BITMAP, &thin);
  const std::vector<BYTE> thickBits = heavy.Glyph('I', GGO_BITMAP, &thick);
  EXPECT_EQ(thick.gmCellIncX, thin.gmCellIncX + 2);
  EXPECT_EQ(thick.gmBlackBoxY, thin.gmBlackBoxY) << "emboldening widens, it does not heighten";
  EXPECT_GT(InkOfMonochrome(thickBits, thick),
            InkOfMonochrome(thinBits, thin) + 2 * static_cast<int>(thin.gmBlackBoxY) - 1);
}

TEST(GdiFontMatching, FontconfigServesTheDefaultFaceAndTheNearestWeight) {
  platform::testing::ResetFontSwitches();
  namespace fs = std::filesystem;
  const fs::path gothic = fs::canonical(font_files::kGothic);
  for (const char* face : {kDefaultFace, static_cast<const char*>(nullptr)}) {
    SelectedFont font(16, 600, face, SHIFTJIS_CHARSET);
    ASSERT_NE(font.font(), nullptr);
    EXPECT_EQ(fs::canonical(platform::testing::FontFileOf(font.font())), gothic);
  }
  // A family with a bold style gets that style for every heavy weight, not an emboldened regular.
  struct Case {
    int weight;
    const char* file;
  } const cases[] = {{400, "DejaVuSans.ttf"}, {700, "DejaVuSans-Bold.ttf"}, {900, "DejaVuSans-Bold.ttf"}};
  for (const Case& c : cases) {
    SelectedFont font(16, c.weight, "DejaVu Sans", DEFAULT_CHARSET);
    EXPECT_EQ(fs::path(platform::testing::FontFileOf(font.font())).filename(), c.file) << c.weight;
  }
  SelectedFont bold(16, FW_BOLD, "DejaVu Sans", DEFAULT_CHARSET), heavy(16, 900, "DejaVu Sans", DEFAULT_CHARSET);
  GLYPHMETRICS boldA{}, heavyA{};
  EXPECT_EQ(bold.Glyph('A', GGO_BITMAP, &boldA), heavy.Glyph('A', GGO_BITMAP, &heavyA));
}

TEST(GdiFontMatching, CharactersTheFaceLacksComeFromTheNextFont) {
  // A Latin face first, the gothic face after it; both at a 16-pixel em.
  platform::testing::PinFontFiles({font_files::kLatinMono, font_files::kGothic});
  SelectedFont mixed(-16, FW_NORMAL, "DejaVu Sans Mono");
  platform::testing::PinFontFiles({font_files::kGothic});
  SelectedFont gothic(-16, FW_NORMAL, kDefaultFace);
  platform::testing::PinFontFiles({font_files::kLatinMono});
  SelectedFont latin(-16, FW_NORMAL, "DejaVu Sans Mono");
  platform::testing::ResetFontSwitches();

  GLYPHMETRICS m1{}, m2{}, m3{};
  EXPECT_EQ(mixed.Glyph('A', GGO_BITMAP, &m1), latin.Glyph('A', GGO_BITMAP, &m2)) << "the face's own glyph";
  EXPECT_EQ(mixed.Metrics().tmAscent, latin.Metrics().tmAscent);
  const std::vector<BYTE> fallback = mixed.Glyph(0x82A0 /* あ */, GGO_GRAY4_BITMAP, &m1);
  EXPECT_EQ(fallback, gothic.Glyph(0x82A0, GGO_GRAY4_BITMAP, &m2));
  EXPECT_EQ(m1.gmCellIncX, m2.gmCellIncX);
  EXPECT_EQ(m1.gmptGlyphOrigin.y, m2.gmptGlyphOrigin.y);
  // Alone, the Latin face draws its missing-glyph box instead.
  EXPECT_NE(latin.Glyph(0x82A0, GGO_GRAY4_BITMAP, &m3), fallback);
}

TEST_F(GdiFontTest, DoubleByteCodesAreLookedUpThroughTheCodePage) {
  SelectedFont font(24, FW_NORMAL, kDefaultFace);
  GLYPHMETRICS missing{}, metrics{};
  // A control code no face has: the missing-glyph box.
  const std::vector<BYTE> box = font.Glyph(0x01, GGO_BITMAP, &missing);
  ASSERT_FALSE(box.empty());
  struct Case {
    UINT code;
    int advance;  // Full width 22, half width 11.
  } const cases[] = {{0x82A0, 22} /* あ */,
                     {0x8ABF, 22} /* 漢 */,
                     {0xB1, 11} /* half-width ｱ */,
                     {0x8260, 22} /* full-width Ａ */,
                     {0x5C, 11}};
  for (const Case& c : cases) {
    const std::vector<BYTE> bits = font.Glyph(c.code, GGO_BITMAP, &metrics);
    EXPECT_FALSE(bits.empty()) << std::hex << c.code;
    EXPECT_NE(bits, box) << std::hex << c.code;
    EXPECT_EQ(metrics.gmCellIncX, c.advance) << std::hex << c.code;
  }
  // The two bytes name one character: あ is not the glyphs of 0x82 or 0xA0.
  GLYPHMETRICS a{}, fullA{};
  EXPECT_NE(font.Glyph(0x8260, GGO_BITMAP, &fullA), font.Glyph('A', GGO_BITMAP, &a));
}

}  // namespace
