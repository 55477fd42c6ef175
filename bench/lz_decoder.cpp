// The archive's LZ decoder in MB/s of output, beside memcpy of the same bytes. The stream is
// made here from tokens (a mix of literal runs, short and long copies at near and far
// distances), so the benchmark needs no packer and branch prediction sees varied input.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "files/archive_format.h"
#include "ratio_report.h"

namespace {

struct LzSample {
  std::vector<unsigned char> stream;
  std::vector<unsigned char> expected;
};

const LzSample& Sample() {
  static const LzSample sample = [] {
    LzSample s;
    const unsigned char escape = 0xF7;
    std::mt19937 random(12345);
    std::vector<unsigned char> body;
    auto literal = [&](unsigned char b) {
      body.push_back(b);
      if (b == escape) body.push_back(escape);
      s.expected.push_back(b);
    };
    while (s.expected.size() < (8u << 20)) {
      const uint32_t choice = random() % 8;
      if (s.expected.size() < 64 || choice < 3) {
        const int run = 1 + static_cast<int>(random() % 24);
        for (int i = 0; i < run; ++i) literal(static_cast<unsigned char>(random()));
        continue;
      }
      const uint32_t maxDistance =
          static_cast<uint32_t>(std::min<size_t>(s.expected.size(), choice < 6 ? 200 : 1u << 20));
      const uint32_t distance = 1 + random() % maxDistance;
      const uint32_t length = choice == 7 ? 36 + random() % 400 : 4 + random() % 28;
      const uint32_t field = length - 4, value = distance - 1;
      const uint32_t width = value < 0x100 ? 0 : value < 0x10000 ? 1 : 2;
      const uint32_t code = (field & 31) << 3 | (field > 31 ? 4 : 0) | width;
      body.push_back(escape);
      body.push_back(static_cast<unsigned char>(code < escape ? code : code + 1));
      if (field > 31) body.push_back(static_cast<unsigned char>(field >> 5));
      for (uint32_t i = 0; i <= width; ++i) body.push_back(static_cast<unsigned char>(value >> (8 * i)));
      for (uint32_t i = 0; i < length; ++i) s.expected.push_back(s.expected[s.expected.size() - distance]);
    }
    s.stream.resize(9);
    const uint32_t unpacked = static_cast<uint32_t>(s.expected.size());
    const uint32_t packed = static_cast<uint32_t>(9 + body.size());
    std::memcpy(s.stream.data(), &unpacked, 4);
    std::memcpy(s.stream.data() + 4, &packed, 4);
    s.stream[8] = escape;
    s.stream.insert(s.stream.end(), body.begin(), body.end());
    return s;
  }();
  return sample;
}

void BM_LzDecode(benchmark::State& state) {
  const LzSample& sample = Sample();
  std::vector<unsigned char> out(sample.expected.size());
  // The decode gives the bytes the reference copies.
  const int unpacked = UnpackArchiveLz(sample.stream.data(), static_cast<int>(sample.stream.size()), out.data(),
                                       static_cast<int>(out.size()));
  RequireSameOutput(unpacked == static_cast<int>(out.size()) && out == sample.expected,
                    "the LZ decode and the bytes memcpy copies");
  for (auto _ : state) {
    const int size = UnpackArchiveLz(sample.stream.data(), static_cast<int>(sample.stream.size()), out.data(),
                                     static_cast<int>(out.size()));
    benchmark::DoNotOptimize(size);
    benchmark::ClobberMemory();
  }
  if (out != sample.expected) state.SkipWithError("decoded bytes differ");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(out.size()));
}
BENCHMARK(BM_LzDecode)->Unit(benchmark::kMillisecond);

// The physical reference: copying the same number of output bytes.
void BM_Memcpy(benchmark::State& state) {
  const LzSample& sample = Sample();
  std::vector<unsigned char> out(sample.expected.size());
  for (auto _ : state) {
    std::memcpy(out.data(), sample.expected.data(), out.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(out.size()));
}
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);

}  // namespace
