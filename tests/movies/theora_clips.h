// Ogg Theora clips made at test time with the reference encoder: flat grey frames whose level
// tells which frame is shown, optionally with a Vorbis sound track.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace movie_test {

inline constexpr int kTintU = 90;
inline constexpr int kTintV = 200;

struct TheoraClipOptions {
  int width = 64;
  int height = 48;
  int frames = 12;
  int fpsNumerator = 30;
  int fpsDenominator = 1;
  int keyFrameInterval = 64;  // 1: every frame is a key frame.
  // The grey level of frame i (0..255); by default 20 + 16 * i, cycling.
  std::function<int(int)> level;
  // 0: flat frames. Otherwise the same fixed pattern of up to +-this many levels lies over every
  // frame's grey (its mean is about 0), so frames are coded as changes to the frame before.
  int texture = 0;
  // The chroma layout: 420, 422 or 444.
  int chromaLayout = 420;
  // 1: the bottom-right quarter of every frame is tinted (U = kTintU, V = kTintV); elsewhere
  // U = V = 128.
  int tintedQuarter = 0;
  // A Vorbis track of this many seconds (0: none) of a quiet tone, in its own Ogg stream.
  double soundSeconds = 0;
};

// The clip as the bytes of an .ogv file.
std::vector<uint8_t> MakeTheoraClip(const TheoraClipOptions& options);
// An Ogg file with only a Vorbis stream.
std::vector<uint8_t> MakeVorbisOnlyOgg(double seconds);
// The default level of frame i.
int DefaultClipLevel(int frame);
// The grey a frame of flat luma `level` (U = V = 128) shows in RGB by the decoder's integer
// tables: luma runs from 16 (black) to 235 (white).
int GreyRgb(int level);
// Writes bytes to a file; false on failure.
bool WriteBytesToFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace movie_test
