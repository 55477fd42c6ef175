// Pictures on the road a game's graph takes: a path through the file-function table that start-up
// installed (archive first, plain file otherwise) into the loader chain, with the "_a" companion.
#include <cstring>

#include "integration_support.h"
#include "platform/gdi.h"
#include "zyvel/files.h"
#include "zyvel/graphics.h"

namespace integration_test {
namespace {

// What a load gave: the result, and when it loaded the size, depth and every pixel as ARGB.
struct LoadedImage {
  int result = -1;
  int width = 0;
  int height = 0;
  int bitDepth = 0;
  std::vector<uint32_t> argb;
  bool operator==(const LoadedImage&) const = default;
};

LoadedImage Describe(int result, BaseImage* image) {
  LoadedImage loaded;
  loaded.result = result;
  if (result != 0) return loaded;
  loaded.width = image->width;
  loaded.height = image->height;
  loaded.bitDepth = image->color.bitDepth;
  for (int y = 0; y < image->height; ++y)
    for (int x = 0; x < image->width; ++x) loaded.argb.push_back(GetBaseImagePixelArgb(image, x, y));
  ReleaseBaseImage(image);
  return loaded;
}

LoadedImage LoadFromFile(const std::string& path) {
  BaseImage image;
  return Describe(LoadBaseImagePlain(path.c_str(), nullptr, 0, 0, &image, 0), &image);
}

LoadedImage LoadFromMemory(const Bytes& bytes) {
  BaseImage image;
  return Describe(LoadBaseImagePlain(nullptr, bytes.data(), static_cast<int>(bytes.size()), 1, &image, 0), &image);
}

std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// Every loader of the chain and the formats' odd corners: RLE and bit fields through the platform's
// DIB conversion, interlaced palettes, TGA footers and origins, progressive and grey JPEG.
const char* const kPictures[] = {
    "conformance/bmpsuite/good/rgb24.bmp",
    "conformance/bmpsuite/good/pal4rle.bmp",
    "conformance/bmpsuite/good/rgb16-565.bmp",
    "conformance/pngsuite/primary/basn6a08.png",
    "conformance/pngsuite/primary/basi3p08.png",
    "images/tga24rle.tga",
    "images/tga32toprle.tga",
    "images/tga8mapped.tga",
    "images/jpeg_progressive.jpg",
    "images/jpeg_grey.jpg",
};

class ImageFiles : public StartedLibrary {};

TEST_F(ImageFiles, PlainFilesAndArchiveMembersLoadLikeTheirMemoryImages) {
  std::vector<Member> members;
  for (const char* fixture : kPictures) members.push_back({"img\\" + BaseName(fixture), ReadFixture(fixture)});
  members.push_back({"img\\a.png", ReadFixture("conformance/pngsuite/primary/basn6a08.png")});
  for (const Member& member : members) WriteFile("img/" + member.path.substr(4), member.data);
  // DATA.ZVA compresses every member, STORE.ZVA stores them: both ways a member is read.
  WriteFile("DATA.ZVA", PackArchive(members, ArchiveCompression::Always));
  WriteFile("STORE.ZVA", PackArchive(members, ArchiveCompression::Store));

  for (const Member& member : members) {
    SCOPED_TRACE(member.path);
    const LoadedImage expected = LoadFromMemory(member.data);
    ASSERT_EQ(expected.result, 0);
    const std::string name = member.path.substr(4);
    for (const std::string& path : {"img\\" + name, "data\\img\\" + name, "store\\img\\" + name, "./Data/IMG/" + name,
                                    directory_ + "/store/img/" + name})
      EXPECT_TRUE(LoadFromFile(path) == expected) << path;
  }
  // The DIB output of the chain from an archive member.
  BITMAPINFO* dib = nullptr;
  void* bits = nullptr;
  BaseImage image;
  ASSERT_EQ(LoadBaseImage("data\\img\\a.png", nullptr, 0, 0, 1, 0, &image, &dib, &bits), 0);
  ASSERT_NE(dib, nullptr);
  EXPECT_EQ(dib->bmiHeader.biWidth, 32);
  ZV_FREE(bits);
  ZV_FREE(dib);
}

// A 24-bit BMP whose red channel holds the alpha to be: 7x + y at (x, y); green and blue hold
// other values, so a mix-up of channels shows.
Bytes AlphaBmp(int width, int height) {
  Bytes out = {'B', 'M'};
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
  };
  const int pitch = (width * 3 + 3) / 4 * 4;
  put32(54 + static_cast<uint32_t>(pitch * height));
  put32(0);
  put32(54);
  put32(40);
  put32(static_cast<uint32_t>(width));
  put32(static_cast<uint32_t>(height));
  put32(1 | 24 << 16);
  for (int i = 0; i < 6; ++i) put32(0);
  for (int y = height - 1; y >= 0; --y) {  // Bottom row first.
    for (int x = 0; x < width; ++x) {
      const int red = (7 * x + y) & 0xFF;
      out.insert(out.end(), {0x55, static_cast<unsigned char>(255 - red), static_cast<unsigned char>(red)});
    }
    out.resize(out.size() + static_cast<size_t>(pitch - width * 3), 0);
  }
  return out;
}

// The companion's red channel becomes the alpha of the picture, as the graph upload combines them.
std::vector<uint32_t> CombineWithAlpha(BaseImage* colour, BaseImage* alpha) {
  BaseImage combined;
  EXPECT_EQ(CreateARGB8BaseImage(colour->width, colour->height, &combined), 0);
  const ImageTransferRect whole = {0, 0, colour->width, colour->height};
  TransferImagePixels(combined.pixels, combined.pitch, &combined.color, colour->pixels, colour->pitch, &colour->color,
                      alpha->pixels, alpha->pitch, &alpha->color, 0, 0, &whole, 0, 0, 0, 0, 0, 0, 0, 0);
  std::vector<uint32_t> argb;
  for (int y = 0; y < combined.height; ++y)
    for (int x = 0; x < combined.width; ++x) argb.push_back(GetBaseImagePixelArgb(&combined, x, y));
  ReleaseBaseImage(&combined);
  return argb;
}

TEST_F(ImageFiles, AlphaCompanionGivesTheAlphaAndItsAbsenceIsNoError) {
  const Bytes colour = ReadFixture("conformance/pngsuite/primary/basn2c08.png");  // 32 x 32 RGB
  const Bytes alpha = AlphaBmp(32, 32);
  // The chain goes by content: a BMP named "_a.png" loads as well.
  for (const char* directory : {"pic/", "old.v2/"}) {
    WriteFile(std::string(directory) + "sprite.png", colour);
    WriteFile(std::string(directory) + "sprite_a.png", alpha);
  }
  // 表 and ソ end in the byte of "\\": neither splits the path nor the name.
  WriteFile("表/ソ.png", colour);
  WriteFile("表/ソ_a.png", alpha);
  WriteFile("pic/lonely.png", colour);
  WriteFile("pic/junk.png", colour);
  WriteFile("pic/junk_a.png", Bytes(300, 0x42));
  // Once DATA.ZVA covers the path, a companion beside it on disk is not looked at.
  WriteFile("data/pic/lonely_a.png", alpha);
  WriteFile("DATA.ZVA", PackArchive({{"pic\\sprite.png", colour},
                                     {"pic\\sprite_a.png", alpha},
                                     {"pic\\lonely.png", colour},
                                     {"表\\ソ.png", colour},
                                     {"表\\ソ_a.png", alpha}},
                                    ArchiveCompression::WhenSmaller));

  const LoadedImage plain = LoadFromMemory(colour);
  ASSERT_EQ(plain.result, 0);
  struct AlphaCase {
    const char* path;
    int expected;  // 0 with the companion, 1 without.
  };
  for (const AlphaCase& c :
       {AlphaCase{"pic\\sprite.png", 0}, AlphaCase{"old.v2/sprite.png", 0}, AlphaCase{"data\\pic\\sprite.png", 0},
        AlphaCase{"表\\ソ.png", 0}, AlphaCase{"data\\表\\ソ.png", 0}, AlphaCase{"pic\\lonely.png", 1},
        AlphaCase{"pic\\junk.png", 1}, AlphaCase{"data\\pic\\lonely.png", 1}}) {
    SCOPED_TRACE(c.path);
    BaseImage colourImage, alphaImage;
    ASSERT_EQ(LoadBaseImageWithAlpha(c.path, nullptr, 0, 0, nullptr, 0, 0, &colourImage, &alphaImage, 0), c.expected);
    if (c.expected == 1) {
      EXPECT_TRUE(Describe(0, &colourImage) == plain);
      continue;
    }
    const std::vector<uint32_t> argb = CombineWithAlpha(&colourImage, &alphaImage);
    ReleaseBaseImage(&colourImage);
    ReleaseBaseImage(&alphaImage);
    ASSERT_EQ(argb.size(), plain.argb.size());
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) {
        const uint32_t pixel = argb[static_cast<size_t>(y * 32 + x)];
        ASSERT_EQ(pixel >> 24, static_cast<uint32_t>((7 * x + y) & 0xFF)) << x << "," << y;
        ASSERT_EQ(pixel & 0xFFFFFF, plain.argb[static_cast<size_t>(y * 32 + x)] & 0xFFFFFF) << x << "," << y;
      }
  }
}

TEST_F(ImageFiles, MissingPicturesFailSilentlyAndLeaveNothingOpen) {
  WriteFile("img/there.png", ReadFixture("conformance/pngsuite/primary/basn2c08.png"));
  WriteFile("DATA.ZVA", PackArchive({{"img\\there.png", ReadFixture("images/tga24.tga")}}, ArchiveCompression::Store));
  const int blocks = GetTrackedBlockCount();
  const std::string log = ReadLog();
  for (const char* path : {"img\\none.png", "nowhere\\none.png", "data\\img\\none.png", "data\\none\\there.png", ""}) {
    SCOPED_TRACE(path);
    BaseImage colour, alpha;
    EXPECT_EQ(LoadBaseImagePlain(path, nullptr, 0, 0, &colour, 0), -1);
    EXPECT_EQ(LoadBaseImageWithAlpha(path, nullptr, 0, 0, nullptr, 0, 0, &colour, &alpha, 0), -1);
  }
  // The file layer and the chain leave the message to their callers.
  EXPECT_EQ(ReadLog(), log);
  // DATA.ZVA stays open without references until released; nothing else is left.
  ReleaseUnusedArchives();
  EXPECT_EQ(GetTrackedBlockCount(), blocks);
  // Every file record was given back: the next open takes the first slot.
  const StreamHandle file = StreamFileOpen("img\\there.png", 0, 1, 0);
  EXPECT_EQ(file, 0xF0000000u);
  StreamFileClose(file);
}

}  // namespace
}  // namespace integration_test
