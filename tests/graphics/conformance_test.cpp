// The PNG and BMP conformance suites against ImageMagick's reference decodes (8-bit RGBA).
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include "image_test_support.h"

namespace {

using image_test::FixturePath;
using image_test::LoadFromMemory;
using image_test::ReadFileBytes;
using image_test::Sha256Hex;
using image_test::ToRgba8;

struct ReferenceRow {
  std::string path;
  int width = 0;
  int height = 0;
  std::string hash;
  std::string note;
};

std::vector<ReferenceRow> ReadReference(const std::string& suite) {
  std::vector<ReferenceRow> rows;
  std::ifstream file(FixturePath("conformance/" + suite + "/REFERENCE.tsv"));
  std::string line;
  std::getline(file, line);
  while (std::getline(file, line)) {
    std::vector<std::string> fields;
    std::stringstream stream(line);
    std::string field;
    while (std::getline(stream, field, '\t')) fields.push_back(field);
    fields.resize(5);
    ReferenceRow row;
    row.path = fields[0];
    row.width = fields[1].empty() ? 0 : std::stoi(fields[1]);
    row.height = fields[2].empty() ? 0 : std::stoi(fields[2]);
    row.hash = fields[3];
    row.note = fields[4];
    rows.push_back(row);
  }
  return rows;
}

// The hash a loader that keeps the high byte of 16-bit samples should match.
std::string HighByteHash(const ReferenceRow& row) {
  const std::string marker = "if cut by v>>8: ";
  const size_t at = row.note.find(marker);
  return at == std::string::npos ? row.hash : row.note.substr(at + marker.size(), 64);
}

TEST(PngConformance, EverySuiteFileDecodesToTheReferenceOrIsRefused) {
  const auto rows = ReadReference("pngsuite");
  ASSERT_GT(rows.size(), 200u);
  int checked = 0;
  for (const ReferenceRow& row : rows) {
    if (row.path.rfind("primary_check/", 0) == 0) continue;  // Copies of primary/.
    SCOPED_TRACE(row.path);
    const auto bytes = ReadFileBytes(FixturePath("conformance/pngsuite/" + row.path));
    ASSERT_FALSE(bytes.empty());
    BaseImage image;
    const int result = LoadFromMemory(bytes, &image);
    const bool mustRefuse = row.path.rfind("corrupt/", 0) == 0 || row.path.rfind("iphone/", 0) == 0;
    if (mustRefuse || row.hash.empty()) {
      EXPECT_EQ(result, -1);
      if (result == 0) ReleaseBaseImage(&image);
      continue;
    }
    ASSERT_EQ(result, 0);
    EXPECT_EQ(image.width, row.width);
    EXPECT_EQ(image.height, row.height);
    EXPECT_EQ(Sha256Hex(ToRgba8(&image)), HighByteHash(row));
    ReleaseBaseImage(&image);
    ++checked;
  }
  EXPECT_GT(checked, 150);
}

TEST(BmpConformance, GoodFilesDecodeToTheReference) {
  // A 32-bit BI_RGB picture keeps its fourth byte as alpha (0 in these files), where the
  // reference shows it opaque: compared without alpha.
  const std::map<std::string, bool> colourOnly = {{"good/rgb32.bmp", true}};
  for (const ReferenceRow& row : ReadReference("bmpsuite")) {
    if (row.path.rfind("good/", 0) != 0) continue;
    SCOPED_TRACE(row.path);
    BaseImage image;
    ASSERT_EQ(LoadFromMemory(ReadFileBytes(FixturePath("conformance/bmpsuite/" + row.path)), &image), 0);
    EXPECT_EQ(image.width, row.width);
    EXPECT_EQ(image.height, row.height);
    auto rgba = ToRgba8(&image);
    if (colourOnly.count(row.path))
      for (size_t i = 3; i < rgba.size(); i += 4) rgba[i] = 255;
    EXPECT_EQ(Sha256Hex(rgba), row.hash);
    ReleaseBaseImage(&image);
  }
}

TEST(BmpConformance, BadFilesWithDamagedPixelsAreRefused) {
  // The others in bad/ carry harmless damage (density, bitmap size, file size fields) and decode.
  const std::vector<std::string> refused = {
      "bad/badbitcount.bmp",  "bad/badpalettesize.bmp", "bad/badplanes.bmp", "bad/badrle.bmp",    "bad/badrle4.bmp",
      "bad/badrle4bis.bmp",   "bad/badrle4ter.bmp",     "bad/badrlebis.bmp", "bad/badrleter.bmp", "bad/badwidth.bmp",
      "bad/pal8badindex.bmp", "bad/reallybig.bmp",      "bad/shortfile.bmp"};
  for (const ReferenceRow& row : ReadReference("bmpsuite")) {
    if (row.path.rfind("bad/", 0) != 0) continue;
    SCOPED_TRACE(row.path);
    BaseImage image;
    const int result = LoadFromMemory(ReadFileBytes(FixturePath("conformance/bmpsuite/" + row.path)), &image);
    if (std::find(refused.begin(), refused.end(), row.path) != refused.end()) {
      EXPECT_EQ(result, -1);
    } else if (result == 0 && !row.hash.empty()) {
      EXPECT_EQ(Sha256Hex(ToRgba8(&image)), row.hash);
    }
    if (result == 0) ReleaseBaseImage(&image);
  }
}

TEST(BmpConformance, QuestionableFilesDecodeOrAreRefusedCleanly) {
  for (const ReferenceRow& row : ReadReference("bmpsuite")) {
    if (row.path.rfind("questionable/", 0) != 0) continue;
    SCOPED_TRACE(row.path);
    BaseImage image;
    if (LoadFromMemory(ReadFileBytes(FixturePath("conformance/bmpsuite/" + row.path)), &image) != 0) continue;
    EXPECT_EQ(image.width, 127);
    EXPECT_EQ(image.height, 64);
    ToRgba8(&image);
    ReleaseBaseImage(&image);
  }
}

}  // namespace
