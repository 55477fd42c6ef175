// A video source for graph tests, since the system's filter graph has no video decoder: a filter
// class offered to the graph manager that takes the file source's byte stream, reads a tiny raw
// video format from it and delivers uncompressed 24-bit RGB frames (bytes B, G, R; rows of
// (width·3 + 3) & ~3 bytes) on its own thread from Pause, stamped from the frame rate. Its output
// pin answers IMediaSeeking (media time only: duration, stop and current positions, SetPositions)
// and it sends the end of the stream after the last frame.
//
// The file: "ZVRAWVID", then little-endian int32 width, height, frames, frames per second and
// flags (1: rows bottom-up, 2: the source offers YUY2 instead of RGB24), then every frame's rows
// in stored order.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/dshow.h"

namespace movie_test {

inline constexpr CLSID kRgb24TestSourceClass = {
    0x5C0FFEE1, 0x24B6, 0x4E1A, {0x9D, 0x30, 0x52, 0x47, 0x42, 0x32, 0x34, 0x01}};
// Published subtypes the movie renderer refuses.
// {32595559-0000-0010-8000-00AA00389B71}
inline constexpr GUID kSubtypeYuy2 = {0x32595559, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
// {E436EB7E-524F-11CE-9F53-0020AF0BA770}
inline constexpr GUID kSubtypeRgb32 = {0xE436EB7E, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};

// The level of frame i: every pixel is (R, G, B) = (level, level / 2, 255 - level), except the
// image's top row, which is (0, 255, 0).
inline int TestFrameLevel(int frame) { return (10 + 20 * frame) % 256; }

// A file whose frame i is as TestFrameLevel says, stored bottom-up or top-down.
std::vector<uint8_t> MakeRgb24TestVideo(int width, int height, int frames, int fps, bool bottomUp);
// The same frames, but the source offers them as YUY2 only: nothing in the graph takes that.
std::vector<uint8_t> MakeYuvOnlyTestVideo(int width, int height, int frames, int fps);

// Registers the source's class with COM and offers it to the graph manager; false when COM
// refused it. Unregister revokes it and clears the graph manager's added classes.
bool RegisterRgb24TestSource();
void UnregisterRgb24TestSource();

}  // namespace movie_test
