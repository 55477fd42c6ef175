// The LZ decoder: hand-made token vectors, every token shape, the packer round trip, and
// malformed streams that must fail without reading or writing outside their buffers.
#include <algorithm>

#include "file_test_support.h"

namespace files_test {
namespace {

std::vector<unsigned char> Stream(uint32_t unpacked, unsigned char escape, const std::vector<unsigned char>& body) {
  std::vector<unsigned char> stream(9 + body.size());
  const uint32_t packed = static_cast<uint32_t>(9 + body.size());
  for (int i = 0; i < 4; ++i) {
    stream[i] = static_cast<unsigned char>(unpacked >> (8 * i));
    stream[4 + i] = static_cast<unsigned char>(packed >> (8 * i));
  }
  stream[8] = escape;
  std::copy(body.begin(), body.end(), stream.begin() + 9);
  return stream;
}

// A copy token, written independently of the packer.
void PutCopy(std::vector<unsigned char>& body, unsigned char escape, uint32_t length, uint32_t distance) {
  const uint32_t field = length - 4;
  const uint32_t value = distance - 1;
  const uint32_t width = value < 0x100 ? 0 : value < 0x10000 ? 1 : 2;
  const uint32_t code = (field & 31) << 3 | (field > 31 ? 4 : 0) | width;
  body.push_back(escape);
  body.push_back(static_cast<unsigned char>(code < escape ? code : code + 1));
  if (field > 31) body.push_back(static_cast<unsigned char>(field >> 5));
  for (uint32_t i = 0; i <= width; ++i) body.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

std::vector<unsigned char> Decode(const std::vector<unsigned char>& stream, int capacity, int* result) {
  std::vector<unsigned char> out(static_cast<size_t>(capacity));
  *result = UnpackArchiveLz(stream.data(), static_cast<int>(stream.size()), out.data(), capacity);
  return out;
}

TEST(LzDecoder, HandMadeVectors) {
  int result = 0;
  // E E is one literal E.
  auto out = Decode(Stream(3, 0x80, {'a', 0x80, 0x80, 'b'}), 3, &result);
  EXPECT_EQ(result, 3);
  EXPECT_EQ(out, (std::vector<unsigned char>{'a', 0x80, 'b'}));
  // Distance 1, length 10 after 0x41: the code 0x30 sits above E = 0x10, so it is written 0x31.
  out = Decode(Stream(11, 0x10, {0x41, 0x10, 0x31, 0x00}), 11, &result);
  EXPECT_EQ(result, 11);
  EXPECT_EQ(out, std::vector<unsigned char>(11, 0x41));
  // The same token below E is written as it is.
  out = Decode(Stream(11, 0x40, {0x41, 0x40, 0x30, 0x00}), 11, &result);
  EXPECT_EQ(out, std::vector<unsigned char>(11, 0x41));
  // Length field 31 with the extension byte 1: length 63 + 4 = 67.
  out = Decode(Stream(68, 0x01, {'x', 0x01, 0xFD, 0x01, 0x00}), 68, &result);
  EXPECT_EQ(result, 68);
  EXPECT_EQ(out, std::vector<unsigned char>(68, 'x'));
  // Null output gives the size only.
  auto stream = Stream(68, 0x01, {'x', 0x01, 0xFD, 0x01, 0x00});
  EXPECT_EQ(UnpackArchiveLz(stream.data(), static_cast<int>(stream.size()), nullptr, 0), 68);
}

TEST(LzDecoder, EveryLengthAndDistanceShape) {
  struct Copy {
    uint32_t length;
    uint32_t distance;
  };
  const Copy copies[] = {{4, 1}, {35, 256}, {36, 257}, {8195, 65536}, {100, 65537}, {5, 3}, {8195, 2}};
  const unsigned char escape = 0xE5;
  std::vector<unsigned char> expected = RandomBytes(70000, 11);
  for (auto& b : expected)
    if (b == escape) b = 0;
  std::vector<unsigned char> body = expected;
  for (const Copy& copy : copies) {
    PutCopy(body, escape, copy.length, copy.distance);
    for (uint32_t i = 0; i < copy.length; ++i) expected.push_back(expected[expected.size() - copy.distance]);
  }
  int result = 0;
  auto out = Decode(Stream(static_cast<uint32_t>(expected.size()), escape, body), static_cast<int>(expected.size()),
                    &result);
  EXPECT_EQ(result, static_cast<int>(expected.size()));
  EXPECT_EQ(out, expected);
}

TEST(LzDecoder, LongestDistance) {
  const unsigned char escape = 0xFF;
  std::vector<unsigned char> body = RandomBytes(1u << 24, 5);
  for (auto& b : body)
    if (b == escape) b = 1;
  const std::vector<unsigned char> head(body.begin(), body.begin() + 8195);
  PutCopy(body, escape, 8195, 1u << 24);
  int result = 0;
  const int size = (1 << 24) + 8195;
  auto out = Decode(Stream(size, escape, body), size, &result);
  ASSERT_EQ(result, size);
  EXPECT_TRUE(std::equal(head.begin(), head.end(), out.begin() + (1 << 24)));
}

TEST(LzDecoder, PackerRoundTrip) {
  std::vector<std::vector<unsigned char>> inputs = {
      {}, {7}, CompressibleBytes(300000, 1), RandomBytes(5000, 2), std::vector<unsigned char>(20000, 0x55)};
  std::vector<unsigned char> everyByte;  // Each byte value equally often: the escape is common.
  for (int round = 0; round < 40; ++round)
    for (int b = 0; b < 256; ++b) everyByte.push_back(static_cast<unsigned char>(round % 2 ? 255 - b : b));
  inputs.push_back(everyByte);
  for (const auto& input : inputs) {
    const auto stream = PackArchiveLz(input.data(), input.size());
    int result = 0;
    auto out = Decode(stream, static_cast<int>(input.size()), &result);
    EXPECT_EQ(result, static_cast<int>(input.size()));
    EXPECT_EQ(out, input);
  }
}

TEST(LzDecoder, MalformedStreamsFail) {
  struct Case {
    const char* what;
    std::vector<unsigned char> stream;
    int capacity;
  };
  std::vector<unsigned char> lyingHead = Stream(3, 0x80, {'a', 'b', 'c'});
  lyingHead[4] = 200;  // Packed size beyond the data.
  std::vector<unsigned char> shortHead = Stream(3, 0x80, {'a', 'b', 'c'});
  shortHead[4] = 5;  // Packed size shorter than the head.
  const Case cases[] = {
      {"no head", {1, 0, 0, 0, 9}, 16},
      {"packed size beyond the data", lyingHead, 16},
      {"packed size inside the head", shortHead, 16},
      {"unpacked size beyond the buffer", Stream(17, 0x80, {'a'}), 16},
      {"escape at the end", Stream(2, 0x80, {'a', 0x80}), 16},
      {"token without distance", Stream(8, 0x80, {'a', 0x80, 0x00}), 16},
      {"token without extension", Stream(80, 0x80, {'a', 0x80, 0x04}), 100},
      {"token with a cut 24-bit distance", Stream(8, 0x80, {'a', 0x80, 0x02, 0x00, 0x00}), 16},
      {"distance before the start", Stream(6, 0x80, {'a', 0x80, 0x00, 0x01}), 16},
      {"distance width 3", Stream(6, 0x80, {'a', 0x80, 0x03, 0, 0, 0, 0}), 16},
      {"copy beyond the unpacked size", Stream(4, 0x80, {'a', 0x80, 0x00, 0x00}), 16},
      {"literals beyond the unpacked size", Stream(2, 0x80, {'a', 'b', 'c'}), 16},
      {"fewer bytes than promised", Stream(5, 0x80, {'a', 'b'}), 16},
  };
  for (const Case& test : cases) {
    // An exact-size heap copy, so that any read past the stream is caught.
    std::vector<unsigned char> stream = test.stream;
    int result = 0;
    Decode(stream, test.capacity, &result);
    EXPECT_EQ(result, -1) << test.what;
  }
}

}  // namespace
}  // namespace files_test
