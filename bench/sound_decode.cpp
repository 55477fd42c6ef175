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

int64_t ConvertAll(const Bytes& file, int decoderMask = 0) {
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
    while ((got = ConvertPcm(&converter, piece.data(), static_cast<int>(piece.size()))) > 0) total += got;
    EndPcmConverter(&converter);
  }
  CloseMemoryStream(source.stream);
  return total;
}

void BM_Mp3ThroughConverter(benchmark::State& state, const char* const* names) {
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
void BM_Mp3ThroughFilterGraph(benchmark::State& state) {
  const Bytes files[2] = {ReadFixture(kMp3Effects[0]), ReadFixture(kMp3Effects[1])};
  int64_t bytes = 0;
  int turn = 0;
  for (auto _ : state) bytes += ConvertAll(files[turn++ & 1], 0x0F);
  ReportRealtime(state, bytes);
}
BENCHMARK(BM_Mp3ThroughFilterGraph);

void BM_Mp3RawLibmpg123(benchmark::State& state, const char* const* names) {
  const Bytes files[2] = {ReadFixture(names[0]), ReadFixture(names[1])};
  mpg123_init();
  int64_t bytes = 0;
  int turn = 0;
  std::vector<unsigned char> out(1 << 20);
  for (auto _ : state) {
    const Bytes& file = files[turn++ & 1];
    mpg123_handle* handle = mpg123_new(nullptr, nullptr);
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_open_feed(handle);
    size_t done = 0;
    int result = mpg123_decode(handle, file.data(), file.size(), out.data(), out.size(), &done);
    bytes += static_cast<int64_t>(done);
    while (result != MPG123_NEED_MORE && result != MPG123_ERR) {
      result = mpg123_decode(handle, nullptr, 0, out.data(), out.size(), &done);
      bytes += static_cast<int64_t>(done);
    }
    mpg123_delete(handle);
  }
  ReportRealtime(state, bytes);
}
BENCHMARK_CAPTURE(BM_Mp3RawLibmpg123, effects, kMp3Effects);
BENCHMARK_CAPTURE(BM_Mp3RawLibmpg123, 30s, kMp3Long);

void BM_VorbisThroughConverter(benchmark::State& state) {
  const Bytes file = ReadFixture("vorbis_stereo.ogg");
  int64_t bytes = 0;
  for (auto _ : state) bytes += ConvertAll(file);
  ReportRealtime(state, bytes);
}
BENCHMARK(BM_VorbisThroughConverter);

struct RawOggSource {
  const Bytes* file;
  size_t position;
};

void BM_VorbisRawLibvorbisfile(benchmark::State& state) {
  const Bytes file = ReadFixture("vorbis_stereo.ogg");
  const ov_callbacks callbacks = {[](void* buffer, size_t size, size_t count, void* data) -> size_t {
                                    auto* source = static_cast<RawOggSource*>(data);
                                    const size_t bytes = std::min(size * count,
                                                                  source->file->size() - source->position);
                                    std::memcpy(buffer, source->file->data() + source->position, bytes);
                                    source->position += bytes;
                                    return size ? bytes / size : 0;
                                  },
                                  nullptr, nullptr, nullptr};
  int64_t bytes = 0;
  std::vector<char> out(4096);
  for (auto _ : state) {
    RawOggSource source{&file, 0};
    OggVorbis_File vorbis;
    if (ov_open_callbacks(&source, &vorbis, nullptr, 0, callbacks) != 0) {
      state.SkipWithError("not Ogg Vorbis");
      break;
    }
    int section = 0;
    long got;
    while ((got = ov_read(&vorbis, out.data(), static_cast<int>(out.size()), 0, 2, 1, &section)) > 0) bytes += got;
    ov_clear(&vorbis);
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
