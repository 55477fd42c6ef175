// Shared helpers of the image tests: file reading, loading from memory, RGBA8 views and SHA-256.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "zyvel/graphics.h"

namespace image_test {

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return bytes;
  uint8_t buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), file)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  std::fclose(file);
  return bytes;
}

// A bottom-up 24-bit BMP file of width x height whose pixel (x, y) is color(x, y) (0xRRGGBB).
template <typename Color>
std::vector<uint8_t> MakeBmp24(int width, int height, Color color) {
  const int pitch = (width * 3 + 3) & ~3;
  std::vector<uint8_t> file(54 + static_cast<size_t>(pitch) * height, 0);
  auto put32 = [&](size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(value >> (8 * i));
  };
  file[0] = 'B', file[1] = 'M';
  put32(2, static_cast<uint32_t>(file.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(width));
  put32(22, static_cast<uint32_t>(height));
  file[26] = 1, file[28] = 24;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t c = color(x, y);
      uint8_t* at = &file[54 + static_cast<size_t>(pitch) * (height - 1 - y) + 3 * x];
      at[0] = static_cast<uint8_t>(c), at[1] = static_cast<uint8_t>(c >> 8), at[2] = static_cast<uint8_t>(c >> 16);
    }
  return file;
}

inline std::string FixturePath(const std::string& relative) {
  return std::string(ZYVEL_SOURCE_DIR) + "/tests/fixtures/" + relative;
}

// A memory stream behind an ImageLoadSource, for calling one loader directly.
struct MemorySource {
  ImageLoadSource source{};
  explicit MemorySource(const std::vector<uint8_t>& bytes) {
    const StreamFunctionSet* f = GetMemoryStreamFuncs();
    source = {f->Tell, f->Seek, f->Read, f->Eof, f->IdleWait, f->Close, 0};
    source.stream = reinterpret_cast<StreamHandle>(OpenMemoryStream(bytes.data(), static_cast<int>(bytes.size())));
  }
  ~MemorySource() { source.Close(source.stream); }
  MemorySource(const MemorySource&) = delete;
  MemorySource& operator=(const MemorySource&) = delete;
};

inline int LoadFromMemory(const std::vector<uint8_t>& bytes, BaseImage* out, int mirror = 0) {
  return LoadBaseImagePlain(nullptr, bytes.data(), static_cast<int>(bytes.size()), 1, out, mirror);
}

// The image as 8-bit R, G, B, A, top row first; formats without an alpha channel read as opaque.
inline std::vector<uint8_t> ToRgba8(BaseImage* image) {
  std::vector<uint8_t> rgba;
  const bool hasAlpha = image->color.bytesPerPixel != 1 && image->color.alphaMask != 0;
  for (int y = 0; y < image->height; ++y) {
    for (int x = 0; x < image->width; ++x) {
      uint32_t r = 0, g = 0, b = 0, a = 0;
      GetBaseImagePixel(image, static_cast<unsigned>(x), static_cast<unsigned>(y), &r, &g, &b, &a);
      rgba.push_back(static_cast<uint8_t>(r));
      rgba.push_back(static_cast<uint8_t>(g));
      rgba.push_back(static_cast<uint8_t>(b));
      rgba.push_back(hasAlpha ? static_cast<uint8_t>(a) : 255);
    }
  }
  return rgba;
}

inline std::string Sha256Hex(const std::vector<uint8_t>& data) {
  static const uint32_t k[64] = {
      0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
      0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
      0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
      0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
      0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
      0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
      0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
      0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
  uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::vector<uint8_t> message = data;
  const uint64_t bits = static_cast<uint64_t>(data.size()) * 8;
  message.push_back(0x80);
  while (message.size() % 64 != 56) message.push_back(0);
  for (int i = 7; i >= 0; --i) message.push_back(static_cast<uint8_t>(bits >> (8 * i)));
  auto rotate = [](uint32_t x, int n) { return (x >> n) | (x << (32 - n)); };
  for (size_t chunk = 0; chunk < message.size(); chunk += 64) {
    uint32_t w[64];
    for (int i = 0; i < 16; ++i)
      w[i] = (static_cast<uint32_t>(message[chunk + 4 * i]) << 24) |
             (static_cast<uint32_t>(message[chunk + 4 * i + 1]) << 16) |
             (static_cast<uint32_t>(message[chunk + 4 * i + 2]) << 8) | message[chunk + 4 * i + 3];
    for (int i = 16; i < 64; ++i) {
      const uint32_t s0 = rotate(w[i - 15], 7) ^ rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
      const uint32_t s1 = rotate(w[i - 2], 17) ^ rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
    for (int i = 0; i < 64; ++i) {
      const uint32_t t1 = hh + (rotate(e, 6) ^ rotate(e, 11) ^ rotate(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
      const uint32_t t2 = (rotate(a, 2) ^ rotate(a, 13) ^ rotate(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      hh = g, g = f, f = e, e = d + t1, d = c, c = b, b = a, a = t1 + t2;
    }
    h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e, h[5] += f, h[6] += g, h[7] += hh;
  }
  char text[65];
  for (int i = 0; i < 8; ++i) std::snprintf(text + 8 * i, 9, "%08x", h[i]);
  return std::string(text, 64);
}

}  // namespace image_test
