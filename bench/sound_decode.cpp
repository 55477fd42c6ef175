// Decoding speed of MP3 (through the audio compression manager over libmpg123) and Ogg Vorbis
// (libvorbisfile over the library's streams), as x-realtime: seconds of sound decoded per second,
// beside the same files decoded straight by libmpg123 and libvorbisfile.
#include <benchmark/benchmark.h>
#include <mpg123.h>
#include <vorbis/vorbisfile.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ratio_report.h"
#include "sound/pcm_converter.h"
#include "sound/sound_records.h"

namespace {

typedef std::vector<uint8_t> Bytes;

Bytes ReadFixture(const char* name) {
  std::string path = __FILE__;
  path = path.substr(0, path.rfind('/')) + "/../tests/fixtures/sound/" + name;
  std::ifstream file(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Stereo 44.1 kHz files: short effects (a constant-rate and a variable-rate MP3 of different
// sounds, decoded in turn so the branch predictors do not learn one file; set-up counts), and a
// 30-second piece.
const char* const kMp3Effects[] = {"mp3_stereo_cbr.mp3", "mp3_stereo_vbr.mp3"};
const char* const kMp3Long[] = {"mp3_stereo_30s.mp3", "mp3_stereo_30s.mp3"};
constexpr double kBytesPerSecond = 44100.0 * 4;

void ReportRealtime(benchmark::State& state, int64_t pcmBytes) {
  state.counters["x_realtime"] = benchmark::Counter(static_cast<double>(pcmBytes) / kBytesPerSecond,
                                                    benchmark::Counter::kIsRate);
}

// Converts the whole file in 64 KiB pieces; returns the PCM bytes, and keeps them when asked.
int64_t ConvertAll(const Bytes& file, int decoderMask = 0, Bytes* kept = nullptr) {
  SoundStreamSource source{*GetMemoryStreamFuncs(), reinterpret_cast<StreamHandle>(
                                                        OpenMemoryStream(file.data(), static_cast<int>(file.size())))};
  PcmConverter converter{};
  int64_t total = 0;
  g_soundOptions.decoderMask = decoderMask;
  const int setup = SetupPcmConverter(&source, &converter);
  g_soundOptions.decoderMask = 0;
  if (setup == 0) {
    static Bytes piece(65536);
    int got;
    while ((got = ConvertPcm(&converter, piece.data(), static_cast<int>(piece.size()))) > 0) {
      total += got;
      if (kept) kept->insert(kept->end(), piece.begin(), piece.begin() + got);
    }
    EndPcmConverter(&converter);
  }
  CloseMemoryStream(source.stream);
  return total;
}

Bytes ConvertedPcm(const Bytes& file, int decoderMask = 0) {
  Bytes pcm;
  ConvertAll(file, decoderMask, &pcm);
  return pcm;
}

// The file decoded straight by libmpg123 from memory in one feed; returns the PCM bytes, and
// keeps them when asked.
int64_t DecodeWithLibmpg123(const Bytes& file, std::vector<unsigned char>* out, Bytes* kept = nullptr) {
  mpg123_handle* handle = mpg123_new(nullptr, nullptr);
  mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
  mpg123_open_feed(handle);
  size_t done = 0;
  int64_t bytes = 0;
  int result = mpg123_decode(handle, file.data(), file.size(), out->data(), out->size(), &done);
  for (;;) {
    bytes += static_cast<int64_t>(done);
    if (kept) kept->insert(kept->end(), out->begin(), out->begin() + static_cast<std::ptrdiff_t>(done));
    if (result == MPG123_NEED_MORE || result == MPG123_ERR) break;
    result = mpg123_decode(handle, nullptr, 0, out->data(), out->size(), &done);
  }
  mpg123_delete(handle);
  return bytes;
}

Bytes Libmpg123Pcm(const Bytes& file) {
  mpg123_init();
  std::vector<unsigned char> out(1 << 20);
  Bytes pcm;
  DecodeWithLibmpg123(file, &out, &pcm);
  return pcm;
}

// Both ways give the same samples, bit for bit: the converter runs the same libmpg123 with the
// same gapless trimming, and copies its 16-bit samples unchanged.
void RequireLibmpg123Samples(const char* const* names, int decoderMask, const char* what) {
  if (!FirstTime(std::string(names[0]) + " " + names[1] + " " + std::to_string(decoderMask))) return;
  for (int i = 0; i < 2; ++i) {
    const Bytes file = ReadFixture(names[i]);
    const Bytes ours = ConvertedPcm(file, decoderMask);
    RequireSameOutput(!ours.empty() && ours == Libmpg123Pcm(file), what);
  }
}

void BM_Mp3ThroughConverter(benchmark::State& state, const char* const* names) {
  RequireLibmpg123Samples(names, 0, "MP3 through the converter and libmpg123 alone");
  const Bytes files[2] = {ReadFixture(names[0]), ReadFixture(names[1])};
  int64_t bytes = 0;
  int turn = 0;
  for (auto _ : state) bytes += ConvertAll(files[turn++ & 1]);
  ReportRealtime(state, bytes);
}
BENCHMARK_CAPTURE(BM_Mp3ThroughConverter, effects, kMp3Effects);
BENCHMARK_CAPTURE(BM_Mp3ThroughConverter, 30s, kMp3Long);

// The same effects through the media framework's filter graph (memory reader, MPEG-audio decoder,
// sample grabber, null renderer), every other decoder masked: the graph's cost on top of the codec.
// The graph streams on threads of its own, so the rate is per second of the whole process's
// processor time.
void BM_Mp3ThroughFilterGraph(benchmark::State& state) {
  RequireLibmpg123Samples(kMp3Effects, 0x0F, "MP3 through the filter graph and libmpg123 alone");
  const Bytes files[2] = {ReadFixture(kMp3Effects[0]), ReadFixture(kMp3Effects[1])};
  int64_t bytes = 0;
  int turn = 0;
  for (auto _ : state) bytes += ConvertAll(files[turn++ & 1], 0x0F);
  ReportRealtime(state, bytes);
}
BENCHMARK(BM_Mp3ThroughFilterGraph)->MeasureProcessCPUTime();

void BM_Mp3RawLibmpg123(benchmark::State& state, const char* const* names) {
  const Bytes files[2] = {ReadFixture(names[0]), ReadFixture(names[1])};
  mpg123_init();
  int64_t bytes = 0;
  int turn = 0;
  std::vector<unsigned char> out(1 << 20);
  for (auto _ : state) bytes += DecodeWithLibmpg123(files[turn++ & 1], &out);
  ReportRealtime(state, bytes);
}
BENCHMARK_CAPTURE(BM_Mp3RawLibmpg123, effects, kMp3Effects);
BENCHMARK_CAPTURE(BM_Mp3RawLibmpg123, 30s, kMp3Long);

struct RawOggSource {
  const Bytes* file;
  size_t position;
};

// The file decoded straight by libvorbisfile from memory as 16-bit little-endian samples; returns
// the PCM bytes (-1 when it is no Ogg Vorbis), and keeps them when asked.
int64_t DecodeWithLibvorbisfile(const Bytes& file, std::vector<char>* out, Bytes* kept = nullptr) {
  const ov_callbacks callbacks = {[](void* buffer, size_t size, size_t count, void* data) -> size_t {
                                    auto* source = static_cast<RawOggSource*>(data);
                                    const size_t bytes = std::min(size * count,
                                                                  source->file->size() - source->position);
                                    std::memcpy(buffer, source->file->data() + source->position, bytes);
                                    source->position += bytes;
                                    return size ? bytes / size : 0;
                                  },
                                  nullptr, nullptr, nullptr};
  RawOggSource source{&file, 0};
  OggVorbis_File vorbis;
  if (ov_open_callbacks(&source, &vorbis, nullptr, 0, callbacks) != 0) return -1;
  int64_t bytes = 0;
  int section = 0;
  long got;
  while ((got = ov_read(&vorbis, out->data(), static_cast<int>(out->size()), 0, 2, 1, &section)) > 0) {
    bytes += got;
    if (kept) kept->insert(kept->end(), out->begin(), out->begin() + got);
  }
  ov_clear(&vorbis);
  return bytes;
}

void BM_VorbisThroughConverter(benchmark::State& state) {
  const Bytes file = ReadFixture("vorbis_stereo.ogg");
  if (FirstTime("vorbis")) {
    // The same library decodes both ways: the samples are equal bit for bit.
    std::vector<char> out(4096);
    Bytes reference;
    DecodeWithLibvorbisfile(file, &out, &reference);
    const Bytes ours = ConvertedPcm(file);
    RequireSameOutput(!ours.empty() && ours == reference, "Ogg Vorbis through the converter and libvorbisfile alone");
  }
  int64_t bytes = 0;
  for (auto _ : state) bytes += ConvertAll(file);
  ReportRealtime(state, bytes);
}
BENCHMARK(BM_VorbisThroughConverter);

void BM_VorbisRawLibvorbisfile(benchmark::State& state) {
  const Bytes file = ReadFixture("vorbis_stereo.ogg");
  int64_t bytes = 0;
  std::vector<char> out(4096);
  for (auto _ : state) {
    const int64_t got = DecodeWithLibvorbisfile(file, &out);
    if (got < 0) {
      state.SkipWithError("not Ogg Vorbis");
      break;
    }
    bytes += got;
  }
  ReportRealtime(state, bytes);
}
BENCHMARK(BM_VorbisRawLibvorbisfile);

}  // namespace

int main(int argc, char** argv) {
  return RunBenchmarksWithRatios(argc, argv, "x_realtime",
                                 {{"BM_Mp3ThroughConverter/effects", "BM_Mp3RawLibmpg123/effects"},
                                  {"BM_Mp3ThroughConverter/30s", "BM_Mp3RawLibmpg123/30s"},
                                  {"BM_VorbisThroughConverter", "BM_VorbisRawLibvorbisfile"}},
                                 1.0);
}
