// Theora playback speed: frames per second that the decoder delivers as 32-bit RGB (its decode
// thread filling the stock, the main thread converting each frame) for a 640 x 480 4:2:0 clip,
// beside two references in the same run that do the same work on one thread:
//   - libtheora decoding the same packets, then a plain scalar loop of the decoder's own formula
//     to RGB (so the pictures must be the same bytes);
//   - libavcodec's Theora decoder on the same packets, from memory, one thread, then swscale to
//     BGRA (blue, green, red, 255 in memory, the decoder's byte order).
// libtheora decoding alone is shown too, for what the conversion costs.
//
// Rates are per second of the whole process's processor time (the decoder's two threads added),
// which is what the ratios compare; the "/real_time" rows are the same work per wall second, where
// the decoder's thread runs on a second core. Every decoder run opens a fresh decoder: opening
// (indexing the file, decoding frame 0) is not timed, and frames left decoded ahead in the stock
// when the loop ends are timed but not counted.
//
// The clip is made by the movie tests' clip maker: a fixed noise pattern of +-30 levels over
// changing greys, a key frame every 4 frames, so key frames carry full detail, and a tinted
// quarter, so the comparison with swscale covers its colour matrix and chroma placement.
#include <benchmark/benchmark.h>
#include <ogg/ogg.h>
#include <theora/theora.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "memory_files.h"
#include "movies/theora_decoder.h"
#include "ratio_report.h"
#include "theora_clips.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kFrames = 48;
constexpr int kHeaderPackets = 3;
constexpr size_t kFrameBytes = static_cast<size_t>(kWidth) * kHeight * 4;

// swscale rounds differently and keeps its coefficients to fewer bits than the decoder's tables:
// each byte may differ by kSwscaleByteTolerance, and the mean difference over all bytes must stay
// below kSwscaleMeanTolerance. Measured: 2 and 0.15; swscale with the BT.709 matrix instead gives
// 15 and 1.5, so a different colour matrix or chroma placement does not pass.
constexpr int kSwscaleByteTolerance = 3;
constexpr double kSwscaleMeanTolerance = 0.3;

const std::vector<uint8_t>& Clip() {
  static const std::vector<uint8_t> clip = [] {
    movie_test::TheoraClipOptions options;
    options.width = kWidth;
    options.height = kHeight;
    options.frames = kFrames;
    options.keyFrameInterval = 4;
    options.texture = 30;
    options.tintedQuarter = 1;
    options.level = [](int frame) { return 60 + (frame * 37) % 120; };
    return movie_test::MakeTheoraClip(options);
  }();
  return clip;
}

// The Theora stream's packets, headers first.
const std::vector<std::vector<uint8_t>>& ClipPackets() {
  static const std::vector<std::vector<uint8_t>> packets = [] {
    std::vector<std::vector<uint8_t>> found;
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
        found.emplace_back(packet.packet, packet.packet + packet.bytes);
    }
    if (started) ogg_stream_clear(&stream);
    ogg_sync_clear(&sync);
    return found;
  }();
  return packets;
}

void ReportFrames(benchmark::State& state, int64_t frames) {
  state.counters["frames_per_second"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}

// ---- Ours: the decoder, decode thread and all ----

class OurDecoder {
 public:
  OurDecoder() {
    InitTheoraColorTables();
    auto file = std::make_shared<movie_test::MemoryFile>();
    file->bytes = Clip();
    stream_ = movie_test::OpenMemoryFile(file);
    decoder_ = OpenTheoraDecoder(movie_test::MemoryFileTable(), stream_, 10);
  }
  ~OurDecoder() {
    CloseTheoraDecoder(decoder_);
    movie_test::MemoryFileTable()->Close(stream_);
  }
  bool opened() const { return decoder_ != nullptr; }
  // The next frame (wrapping round the clip) in the decoder's image; false when it could not be had.
  bool Next() {
    AdvanceTheoraFrame(decoder_, 1);
    return FetchTheoraFrame(decoder_, 1, 0) == 1;
  }
  // The picture as packed rows.
  void CopyTo(uint8_t* out) const {
    const BaseImage* image = GetTheoraImage(decoder_);
    for (int y = 0; y < kHeight; ++y)
      std::memcpy(out + static_cast<size_t>(y) * kWidth * 4, image->pixels + static_cast<ptrdiff_t>(y) * image->pitch,
                  kWidth * 4);
  }
  const uint8_t* pixels() const { return GetTheoraImage(decoder_)->pixels; }

 private:
  StreamHandle stream_ = 0;
  TheoraMovieDecoder* decoder_ = nullptr;
};

void BM_TheoraDecoderToRgb(benchmark::State& state) {
  OurDecoder decoder;
  if (!decoder.opened()) {
    state.SkipWithError("the clip did not open");
    return;
  }
  int64_t frames = 0;
  for (auto _ : state) {
    if (!decoder.Next()) {
      state.SkipWithError("a frame could not be had");
      break;
    }
    benchmark::DoNotOptimize(decoder.pixels());
    ++frames;
  }
  ReportFrames(state, frames);
}

// ---- Reference (a): libtheora and a plain loop ----

ogg_packet AsPacket(const std::vector<uint8_t>& bytes, int64_t number) {
  ogg_packet packet{};
  packet.packet = const_cast<unsigned char*>(bytes.data());
  packet.bytes = static_cast<long>(bytes.size());
  packet.b_o_s = number == 0;
  packet.granulepos = -1;
  packet.packetno = number;
  return packet;
}

class LibtheoraDecoder {
 public:
  LibtheoraDecoder() : packets_(ClipPackets()) {
    theora_info_init(&info_);
    theora_comment_init(&comment_);
    for (int64_t i = 0; i < kHeaderPackets; ++i) {
      ogg_packet header = AsPacket(packets_[static_cast<size_t>(i)], i);
      theora_decode_header(&info_, &comment_, &header);
    }
    theora_decode_init(&state_, &info_);
  }
  ~LibtheoraDecoder() {
    theora_clear(&state_);
    theora_comment_clear(&comment_);
    theora_info_clear(&info_);
  }
  // Decodes the next frame, rounding the clip again from its first (key) frame.
  yuv_buffer Next() {
    if (next_ == packets_.size()) next_ = kHeaderPackets;
    ogg_packet packet = AsPacket(packets_[next_], static_cast<int64_t>(next_));
    ++next_;
    theora_decode_packetin(&state_, &packet);
    yuv_buffer picture;
    theora_decode_YUVout(&state_, &picture);
    return picture;
  }

 private:
  const std::vector<std::vector<uint8_t>>& packets_;
  size_t next_ = kHeaderPackets;
  theora_info info_;
  theora_comment comment_;
  theora_state state_;
};

uint8_t ClampByte(int value) { return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value); }

// The decoder's 4:2:0 formula (BT.601, studio range, 1/16384 units, rounded towards zero), one
// pixel at a time.
void PlainYuvToRgb(const yuv_buffer& picture, uint8_t* out) {
  for (int row = 0; row < kHeight; ++row) {
    const uint8_t* luma = picture.y + static_cast<ptrdiff_t>(row) * picture.y_stride;
    const uint8_t* u = picture.u + static_cast<ptrdiff_t>(row / 2) * picture.uv_stride;
    const uint8_t* v = picture.v + static_cast<ptrdiff_t>(row / 2) * picture.uv_stride;
    for (int column = 0; column < kWidth; ++column, out += 4) {
      const int y = 19070 * (luma[column] - 16);
      const int cb = u[column / 2] - 128, cr = v[column / 2] - 128;
      out[0] = ClampByte((y + 33062 * cb) / 16384);
      out[1] = ClampByte((y - 6406 * cb - 13320 * cr) / 16384);
      out[2] = ClampByte((y + 26148 * cr) / 16384);
      out[3] = 255;
    }
  }
}

void BM_LibtheoraAndPlainLoop(benchmark::State& state) {
  LibtheoraDecoder decoder;
  std::vector<uint8_t> rgb(kFrameBytes);
  int64_t frames = 0;
  for (auto _ : state) {
    PlainYuvToRgb(decoder.Next(), rgb.data());
    benchmark::DoNotOptimize(rgb.data());
    benchmark::ClobberMemory();
    ++frames;
  }
  ReportFrames(state, frames);
}

void BM_LibtheoraAlone(benchmark::State& state) {
  LibtheoraDecoder decoder;
  int64_t frames = 0;
  for (auto _ : state) {
    const yuv_buffer picture = decoder.Next();
    benchmark::DoNotOptimize(picture.y);
    ++frames;
  }
  ReportFrames(state, frames);
}

// ---- Reference (b): libavcodec and swscale ----

class LibavcodecDecoder {
 public:
  LibavcodecDecoder() {
    const std::vector<std::vector<uint8_t>>& packets = ClipPackets();
    // The headers as its Theora decoder takes them: each after its length, 16 bits big-endian.
    std::vector<uint8_t> headers;
    for (int i = 0; i < kHeaderPackets; ++i) {
      const std::vector<uint8_t>& header = packets[static_cast<size_t>(i)];
      headers.push_back(static_cast<uint8_t>(header.size() >> 8));
      headers.push_back(static_cast<uint8_t>(header.size()));
      headers.insert(headers.end(), header.begin(), header.end());
    }
    // Its readers may look past a packet's end, into padding that must be there and zero.
    for (size_t i = kHeaderPackets; i < packets.size(); ++i) {
      std::vector<uint8_t> padded(packets[i].size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
      std::memcpy(padded.data(), packets[i].data(), packets[i].size());
      frames_.push_back({std::move(padded), static_cast<int>(packets[i].size())});
    }
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_THEORA);
    context_ = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!context_) return;
    context_->thread_count = 1;
    context_->extradata = static_cast<uint8_t*>(av_mallocz(headers.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    std::memcpy(context_->extradata, headers.data(), headers.size());
    context_->extradata_size = static_cast<int>(headers.size());
    if (avcodec_open2(context_, codec, nullptr) != 0) return;
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    scaler_ = sws_getContext(kWidth, kHeight, AV_PIX_FMT_YUV420P, kWidth, kHeight, AV_PIX_FMT_BGRA, SWS_BILINEAR,
                             nullptr, nullptr, nullptr);
    opened_ = packet_ && frame_ && scaler_;
  }
  ~LibavcodecDecoder() {
    sws_freeContext(scaler_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&context_);
  }
  bool opened() const { return opened_; }
  // Decodes the next frame (rounding the clip again) and converts it to BGRA rows of kWidth * 4
  // bytes; false when the decoder gave no picture of the clip's size.
  bool Next(uint8_t* out) {
    if (next_ == frames_.size()) next_ = 0;
    Packet& packet = frames_[next_++];
    packet_->data = packet.bytes.data();
    packet_->size = packet.size;
    if (avcodec_send_packet(context_, packet_) != 0 || avcodec_receive_frame(context_, frame_) != 0) return false;
    if (frame_->width != kWidth || frame_->height != kHeight || frame_->format != AV_PIX_FMT_YUV420P) return false;
    uint8_t* planes[4] = {out, nullptr, nullptr, nullptr};
    const int strides[4] = {kWidth * 4, 0, 0, 0};
    return sws_scale(scaler_, frame_->data, frame_->linesize, 0, kHeight, planes, strides) == kHeight;
  }

 private:
  struct Packet {
    std::vector<uint8_t> bytes;
    int size;
  };
  std::vector<Packet> frames_;
  size_t next_ = 0;
  AVCodecContext* context_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
  SwsContext* scaler_ = nullptr;
  bool opened_ = false;
};

void BM_LibavcodecAndSwscale(benchmark::State& state) {
  LibavcodecDecoder decoder;
  if (!decoder.opened()) {
    state.SkipWithError("libavcodec's Theora decoder did not open");
    return;
  }
  std::vector<uint8_t> rgb(kFrameBytes);
  int64_t frames = 0;
  for (auto _ : state) {
    if (!decoder.Next(rgb.data())) {
      state.SkipWithError("libavcodec gave no picture");
      break;
    }
    benchmark::DoNotOptimize(rgb.data());
    benchmark::ClobberMemory();
    ++frames;
  }
  ReportFrames(state, frames);
}

// Per second of the process's processor time, and the same again per wall second.
void Register(const char* name, void (*function)(benchmark::State&)) {
  benchmark::RegisterBenchmark(name, function)->MeasureProcessCPUTime();
  benchmark::RegisterBenchmark(name, function)->MeasureProcessCPUTime()->UseRealTime();
}

// A round of the clip and a little more from each, before anything is timed: the decoder's
// pictures must be the plain loop's bytes, and swscale's within its tolerance.
void CompareOutputs() {
  OurDecoder ours;
  LibtheoraDecoder libtheora;
  LibavcodecDecoder libavcodec;
  RequireSameOutput(ours.opened(), "the decoder did not open the clip");
  RequireSameOutput(libavcodec.opened(), "libavcodec's Theora decoder did not open");
  std::vector<uint8_t> ourFrame(kFrameBytes), plainFrame(kFrameBytes), swscaleFrame(kFrameBytes);
  int largest = 0;
  double differenceSum = 0;
  // The few frames past the round compare the wrap back to the first frame too. The decoder's
  // image holds frame 0 once opened.
  constexpr int kCompared = kFrames + 4;
  for (int frame = 0; frame < kCompared; ++frame) {
    if (frame > 0) RequireSameOutput(ours.Next(), "the decoder could not give a frame");
    ours.CopyTo(ourFrame.data());
    const yuv_buffer picture = libtheora.Next();
    RequireSameOutput(picture.y_width == kWidth && picture.y_height == kHeight, "libtheora's picture size");
    PlainYuvToRgb(picture, plainFrame.data());
    RequireSameOutput(ourFrame == plainFrame, "the decoder's RGB and libtheora + the plain loop's");
    RequireSameOutput(libavcodec.Next(swscaleFrame.data()), "libavcodec gave no picture");
    for (size_t i = 0; i < kFrameBytes; ++i) {
      const int difference = std::abs(ourFrame[i] - swscaleFrame[i]);
      largest = std::max(largest, difference);
      differenceSum += difference;
    }
  }
  const double mean = differenceSum / (static_cast<double>(kFrameBytes) * kCompared);
  std::printf(
      "libavcodec + swscale against the decoder: largest byte difference %d (allowed %d), mean %.3f "
      "(allowed %.2f)\n",
      largest, kSwscaleByteTolerance, mean, kSwscaleMeanTolerance);
  RequireSameOutput(largest <= kSwscaleByteTolerance && mean < kSwscaleMeanTolerance,
                    "the decoder's RGB and libavcodec + swscale's, beyond swscale's rounding");
}

}  // namespace

int main(int argc, char** argv) {
  CompareOutputs();
  Register("BM_TheoraDecoderToRgb", BM_TheoraDecoderToRgb);
  Register("BM_LibtheoraAndPlainLoop", BM_LibtheoraAndPlainLoop);
  Register("BM_LibavcodecAndSwscale", BM_LibavcodecAndSwscale);
  Register("BM_LibtheoraAlone", BM_LibtheoraAlone);
  const char* ours = "BM_TheoraDecoderToRgb/process_time";
  const char* oursWall = "BM_TheoraDecoderToRgb/process_time/real_time";
  return RunBenchmarksWithRatios(argc, argv, "frames_per_second",
                                 {{ours, "BM_LibtheoraAndPlainLoop/process_time"},
                                  {ours, "BM_LibavcodecAndSwscale/process_time"},
                                  {ours, "BM_LibtheoraAlone/process_time"},
                                  {oursWall, "BM_LibtheoraAndPlainLoop/process_time/real_time"},
                                  {oursWall, "BM_LibavcodecAndSwscale/process_time/real_time"}},
                                 1.0);
}
