// Theora clips made with the reference encoder (th_encode_*) and, for the sound track, the
// reference Vorbis encoder; pages of the two streams are interleaved by time, as a muxer does.
#include "theora_clips.h"

#include <ogg/ogg.h>
#include <theora/theoraenc.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace movie_test {
namespace {

constexpr int kSoundRate = 22050;
constexpr int kSmallSoundPage = 256;  // Bytes.

struct TimedPage {
  double time;  // Seconds at the end of the page.
  std::vector<uint8_t> bytes;
};

void AppendPage(std::vector<uint8_t>* out, const ogg_page& page) {
  out->insert(out->end(), page.header, page.header + page.header_len);
  out->insert(out->end(), page.body, page.body + page.body_len);
}

std::vector<uint8_t> PageBytes(const ogg_page& page) {
  std::vector<uint8_t> bytes;
  AppendPage(&bytes, page);
  return bytes;
}

// A Vorbis stream of a quiet 440 Hz tone: its header pages and its timed data pages.
struct VorbisTrack {
  std::vector<uint8_t> firstPage;
  std::vector<uint8_t> otherHeaderPages;
  std::vector<TimedPage> pages;
};

VorbisTrack EncodeVorbisTrack(double seconds, int serial) {
  VorbisTrack track;
  vorbis_info info;
  vorbis_info_init(&info);
  if (vorbis_encode_init_vbr(&info, 1, kSoundRate, 0.1f) != 0) throw std::runtime_error("vorbis_encode_init_vbr");
  vorbis_comment comment;
  vorbis_comment_init(&comment);
  vorbis_dsp_state dsp;
  vorbis_analysis_init(&dsp, &info);
  vorbis_block block;
  vorbis_block_init(&dsp, &block);
  ogg_stream_state stream;
  ogg_stream_init(&stream, serial);

  ogg_packet identification, commentPacket, codebooks;
  vorbis_analysis_headerout(&dsp, &comment, &identification, &commentPacket, &codebooks);
  ogg_page page;
  ogg_stream_packetin(&stream, &identification);
  while (ogg_stream_flush(&stream, &page)) AppendPage(&track.firstPage, page);
  ogg_stream_packetin(&stream, &commentPacket);
  ogg_stream_packetin(&stream, &codebooks);
  while (ogg_stream_flush(&stream, &page)) AppendPage(&track.otherHeaderPages, page);

  const long total = std::lround(seconds * kSoundRate);
  long written = 0;
  bool ended = false;
  while (!ended) {
    const int chunk = static_cast<int>(std::min<long>(1024, total - written));
    if (chunk > 0) {
      float** buffer = vorbis_analysis_buffer(&dsp, chunk);
      for (int i = 0; i < chunk; ++i)
        buffer[0][i] = 0.1f *
                       static_cast<float>(std::sin(2 * M_PI * 440.0 * static_cast<double>(written + i) / kSoundRate));
      written += chunk;
    }
    vorbis_analysis_wrote(&dsp, chunk > 0 ? chunk : 0);
    while (vorbis_analysis_blockout(&dsp, &block) == 1) {
      vorbis_analysis(&block, nullptr);
      vorbis_bitrate_addblock(&block);
      ogg_packet packet;
      while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
        ogg_stream_packetin(&stream, &packet);
        // Small pages, as a muxer that interleaves sound with video writes them (the Vorbis file
        // library loses its place in a multiplexed track whose data all sits in one page).
        while (ogg_stream_pageout_fill(&stream, &page, kSmallSoundPage) ||
               (packet.e_o_s && ogg_stream_flush(&stream, &page))) {
          track.pages.push_back({static_cast<double>(ogg_page_granulepos(&page)) / kSoundRate, PageBytes(page)});
          if (ogg_page_eos(&page)) ended = true;
        }
      }
    }
    if (chunk <= 0 && !ended) {
      // Everything is analysed: what is left in the stream goes out.
      while (ogg_stream_flush(&stream, &page))
        track.pages.push_back({static_cast<double>(ogg_page_granulepos(&page)) / kSoundRate, PageBytes(page)});
      ended = true;
    }
  }
  ogg_stream_clear(&stream);
  vorbis_block_clear(&block);
  vorbis_dsp_clear(&dsp);
  vorbis_comment_clear(&comment);
  vorbis_info_clear(&info);
  return track;
}

}  // namespace

int GreyRgb(int level) { return std::clamp(19070 * (level - 16) / 16384, 0, 255); }

int DefaultClipLevel(int frame) { return 20 + 16 * (frame % 13); }

std::vector<uint8_t> MakeTheoraClip(const TheoraClipOptions& options) {
  const int codedWidth = (options.width + 15) & ~15;
  const int codedHeight = (options.height + 15) & ~15;
  th_info info;
  th_info_init(&info);
  info.frame_width = static_cast<ogg_uint32_t>(codedWidth);
  info.frame_height = static_cast<ogg_uint32_t>(codedHeight);
  info.pic_width = static_cast<ogg_uint32_t>(options.width);
  info.pic_height = static_cast<ogg_uint32_t>(options.height);
  info.pic_x = info.pic_y = 0;
  info.fps_numerator = static_cast<ogg_uint32_t>(options.fpsNumerator);
  info.fps_denominator = static_cast<ogg_uint32_t>(options.fpsDenominator);
  info.aspect_numerator = info.aspect_denominator = 1;
  info.colorspace = TH_CS_UNSPECIFIED;
  info.pixel_fmt = options.chromaLayout == 444 ? TH_PF_444 : options.chromaLayout == 422 ? TH_PF_422 : TH_PF_420;
  info.target_bitrate = 0;
  info.quality = 63;
  int shift = 0;
  while ((1 << shift) < options.keyFrameInterval) ++shift;
  info.keyframe_granule_shift = std::max(shift, 1);
  th_enc_ctx* encoder = th_encode_alloc(&info);
  th_info_clear(&info);
  if (!encoder) throw std::runtime_error("th_encode_alloc");
  ogg_uint32_t interval = static_cast<ogg_uint32_t>(std::max(options.keyFrameInterval, 1));
  th_encode_ctl(encoder, TH_ENCCTL_SET_KEYFRAME_FREQUENCY_FORCE, &interval, sizeof(interval));

  constexpr int kVideoSerial = 0x7E0A;
  constexpr int kSoundSerial = 0x50D0;
  ogg_stream_state stream;
  ogg_stream_init(&stream, kVideoSerial);
  std::vector<uint8_t> firstPage, otherHeaderPages;
  th_comment comment;
  th_comment_init(&comment);
  ogg_packet packet;
  ogg_page page;
  bool first = true;
  while (th_encode_flushheader(encoder, &comment, &packet) > 0) {
    ogg_stream_packetin(&stream, &packet);
    if (first) {
      while (ogg_stream_flush(&stream, &page)) AppendPage(&firstPage, page);
      first = false;
    }
  }
  while (ogg_stream_flush(&stream, &page)) AppendPage(&otherHeaderPages, page);
  th_comment_clear(&comment);

  std::vector<TimedPage> videoPages;
  const double frameSeconds = static_cast<double>(options.fpsDenominator) / options.fpsNumerator;
  std::vector<uint8_t> luma(static_cast<size_t>(codedWidth) * codedHeight);
  const int chromaWidth = options.chromaLayout == 444 ? codedWidth : codedWidth / 2;
  const int chromaHeight = options.chromaLayout == 420 ? codedHeight / 2 : codedHeight;
  std::vector<uint8_t> u(static_cast<size_t>(chromaWidth) * chromaHeight, 128), v = u;
  if (options.tintedQuarter) {
    for (int row = chromaHeight / 2; row < chromaHeight; ++row) {
      for (int column = chromaWidth / 2; column < chromaWidth; ++column) {
        u[static_cast<size_t>(row) * chromaWidth + column] = kTintU;
        v[static_cast<size_t>(row) * chromaWidth + column] = kTintV;
      }
    }
  }
  // The pattern: a hash of the position, even around 0.
  std::vector<int> pattern(luma.size(), 0);
  if (options.texture > 0) {
    for (size_t i = 0; i < pattern.size(); ++i) {
      uint32_t hash = static_cast<uint32_t>(i) * 2654435761u;
      hash ^= hash >> 15;
      pattern[i] = static_cast<int>(hash % static_cast<uint32_t>(2 * options.texture + 1)) - options.texture;
    }
  }
  int framesOut = 0;
  for (int frame = 0; frame < options.frames; ++frame) {
    const int level = options.level ? options.level(frame) : DefaultClipLevel(frame);
    for (size_t i = 0; i < luma.size(); ++i) luma[i] = static_cast<uint8_t>(std::clamp(level + pattern[i], 0, 255));
    th_ycbcr_buffer buffer;
    buffer[0] = {codedWidth, codedHeight, codedWidth, luma.data()};
    buffer[1] = {chromaWidth, chromaHeight, chromaWidth, u.data()};
    buffer[2] = {chromaWidth, chromaHeight, chromaWidth, v.data()};
    if (th_encode_ycbcr_in(encoder, buffer) != 0) throw std::runtime_error("th_encode_ycbcr_in");
    const int last = frame == options.frames - 1;
    while (th_encode_packetout(encoder, last, &packet) > 0) {
      ogg_stream_packetin(&stream, &packet);
      ++framesOut;
      while (last ? ogg_stream_flush(&stream, &page) : ogg_stream_pageout(&stream, &page))
        videoPages.push_back({framesOut * frameSeconds, PageBytes(page)});
    }
  }
  while (ogg_stream_flush(&stream, &page)) videoPages.push_back({framesOut * frameSeconds, PageBytes(page)});
  ogg_stream_clear(&stream);
  th_encode_free(encoder);

  std::vector<uint8_t> file = firstPage;
  if (options.soundSeconds <= 0) {
    file.insert(file.end(), otherHeaderPages.begin(), otherHeaderPages.end());
    for (const TimedPage& timed : videoPages) file.insert(file.end(), timed.bytes.begin(), timed.bytes.end());
    return file;
  }
  // Every beginning-of-stream page first, then the other headers, then the data by time.
  VorbisTrack sound = EncodeVorbisTrack(options.soundSeconds, kSoundSerial);
  file.insert(file.end(), sound.firstPage.begin(), sound.firstPage.end());
  file.insert(file.end(), otherHeaderPages.begin(), otherHeaderPages.end());
  file.insert(file.end(), sound.otherHeaderPages.begin(), sound.otherHeaderPages.end());
  size_t video = 0, audio = 0;
  while (video < videoPages.size() || audio < sound.pages.size()) {
    const bool takeVideo = audio == sound.pages.size() ||
                           (video < videoPages.size() && videoPages[video].time <= sound.pages[audio].time);
    const std::vector<uint8_t>& bytes = takeVideo ? videoPages[video++].bytes : sound.pages[audio++].bytes;
    file.insert(file.end(), bytes.begin(), bytes.end());
  }
  return file;
}

std::vector<uint8_t> MakeVorbisOnlyOgg(double seconds) {
  VorbisTrack sound = EncodeVorbisTrack(seconds, 0x50D1);
  std::vector<uint8_t> file = sound.firstPage;
  file.insert(file.end(), sound.otherHeaderPages.begin(), sound.otherHeaderPages.end());
  for (const TimedPage& timed : sound.pages) file.insert(file.end(), timed.bytes.begin(), timed.bytes.end());
  return file;
}

bool WriteBytesToFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace movie_test
