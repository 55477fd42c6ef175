// Theora playback speed: frames per second that the decoder (its decode thread filling the stock,
// the main thread converting each frame to 32-bit RGB) delivers for a 640 x 480 clip, beside two
// references in the same run: libtheora alone decoding the same packets (no stock, no RGB), and a
// memcpy of one 640 x 480 x 4 frame (the least any frame hand-over costs).
// The clip is made by the movie tests' clip maker: a fixed noise pattern of +-30 levels over
// changing greys, a key frame every 4 frames, so key frames carry full detail.
#include <benchmark/benchmark.h>
#include <ogg/ogg.h>
#include <theora/theora.h>

#include <cstring>
#include <vector>

#include "memory_files.h"
#include "movies/theora_decoder.h"
#include "ratio_report.h"
#include "theora_clips.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

const std::vector<uint8_t>& Clip() {
  static const std::vector<uint8_t> clip = [] {
    movie_test::TheoraClipOptions options;
    options.width = kWidth;
    options.height = kHeight;
    options.frames = 48;
    options.keyFrameInterval = 4;
    options.texture = 30;
    options.level = [](int frame) { return 60 + (frame * 37) % 120; };
    return movie_test::MakeTheoraClip(options);
  }();
  return clip;
}

void ReportFrames(benchmark::State& state, int64_t frames) {
  state.counters["frames_per_second"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}

void BM_TheoraDecoderToRgb(benchmark::State& state) {
  InitTheoraColorTables();
  auto file = std::make_shared<movie_test::MemoryFile>();
  file->bytes = Clip();
  const StreamHandle stream = movie_test::OpenMemoryFile(file);
  TheoraMovieDecoder* decoder = OpenTheoraDecoder(movie_test::MemoryFileTable(), stream, 10);
  if (!decoder) {
    state.SkipWithError("the clip did not open");
    return;
  }
  int64_t frames = 0;
  for (auto _ : state) {
    AdvanceTheoraFrame(decoder, 1);
    if (FetchTheoraFrame(decoder, 1, 0) != 1) {
      state.SkipWithError("a frame could not be had");
      break;
    }
    benchmark::DoNotOptimize(GetTheoraImage(decoder)->pixels);
    ++frames;
  }
  ReportFrames(state, frames);
  CloseTheoraDecoder(decoder);
  movie_test::MemoryFileTable()->Close(stream);
}
BENCHMARK(BM_TheoraDecoderToRgb)->UseRealTime();

// The Theora stream's packets, headers first.
std::vector<std::vector<uint8_t>> ClipPackets() {
  std::vector<std::vector<uint8_t>> packets;
  ogg_sync_state sync;
  ogg_sync_init(&sync);
  const std::vector<uint8_t>& clip = Clip();
  char* buffer = ogg_sync_buffer(&sync, static_cast<long>(clip.size()));
  std::memcpy(buffer, clip.data(), clip.size());
  ogg_sync_wrote(&sync, static_cast<long>(clip.size()));
  ogg_stream_state stream;
  bool started = false;
  ogg_page page;
  while (ogg_sync_pageout(&sync, &page) == 1) {
    if (!started) {
      ogg_stream_init(&stream, ogg_page_serialno(&page));
      started = true;
    }
    ogg_stream_pagein(&stream, &page);
    ogg_packet packet;
    while (ogg_stream_packetout(&stream, &packet) == 1)
      packets.emplace_back(packet.packet, packet.packet + packet.bytes);
  }
  if (started) ogg_stream_clear(&stream);
  ogg_sync_clear(&sync);
  return packets;
}

ogg_packet AsPacket(std::vector<uint8_t>& bytes, int64_t number) {
  ogg_packet packet{};
  packet.packet = bytes.data();
  packet.bytes = static_cast<long>(bytes.size());
  packet.b_o_s = number == 0;
  packet.granulepos = -1;
  packet.packetno = number;
  return packet;
}

void BM_LibtheoraAlone(benchmark::State& state) {
  std::vector<std::vector<uint8_t>> packets = ClipPackets();
  theora_info info;
  theora_comment comment;
  theora_info_init(&info);
  theora_comment_init(&comment);
  for (int64_t i = 0; i < 3; ++i) {
    ogg_packet header = AsPacket(packets[static_cast<size_t>(i)], i);
    theora_decode_header(&info, &comment, &header);
  }
  theora_state decoder;
  theora_decode_init(&decoder, &info);
  size_t next = 3;
  int64_t frames = 0;
  for (auto _ : state) {
    // Round the clip again from its first (key) frame.
    if (next == packets.size()) next = 3;
    ogg_packet packet = AsPacket(packets[next], static_cast<int64_t>(next));
    ++next;
    theora_decode_packetin(&decoder, &packet);
    yuv_buffer picture;
    theora_decode_YUVout(&decoder, &picture);
    benchmark::DoNotOptimize(picture.y);
    ++frames;
  }
  ReportFrames(state, frames);
  theora_clear(&decoder);
  theora_comment_clear(&comment);
  theora_info_clear(&info);
}
BENCHMARK(BM_LibtheoraAlone);

void BM_MemcpyOfAFrame(benchmark::State& state) {
  std::vector<uint8_t> source(kWidth * kHeight * 4), target(source.size());
  for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i * 2654435761u >> 24);
  int64_t frames = 0;
  for (auto _ : state) {
    std::memcpy(target.data(), source.data(), source.size());
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
    ++frames;
  }
  ReportFrames(state, frames);
}
BENCHMARK(BM_MemcpyOfAFrame);

}  // namespace

int main(int argc, char** argv) {
  return RunBenchmarksWithRatios(argc, argv, "frames_per_second",
                                 {{"BM_TheoraDecoderToRgb/real_time", "BM_LibtheoraAlone"},
                                  {"BM_TheoraDecoderToRgb/real_time", "BM_MemcpyOfAFrame"}},
                                 1.0);
}
