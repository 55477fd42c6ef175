// MPEG audio frame headers as the MP3 decoder reads them (MPEG-1 and MPEG-2; MPEG-2.5 lacks the
// full twelve sync bits and is not taken for a header), and the sound length the codec gives for
// a run of frames.
#pragma once

#include <cstdint>

#include "platform/mpeg_audio.h"

using Mp3FrameInfo = platform::MpegAudioFrameHeader;

// 0; -2 when the bytes hold no sync; -1 for a reserved layer, bit-rate index 15 or sample-rate
// index 3.
int DecodeMp3FrameHeader(Mp3FrameInfo* out, const uint8_t header[4]);

// The samples the codec gives for frames holding `scannedSamples` samples whose first frame is
// `firstFrame` (`bytes` long, header `frame`): a Layer III information frame (Xing/Info, by the
// codec's rule for telling one from sound) gives no sound, and with a frame count it trims the
// encoder's delay and padding of its LAME extension (gapless). A frame count beyond any real
// sound makes the codec take the frame for sound, and so does this count.
int64_t GaplessSampleCount(const uint8_t* firstFrame, uint32_t bytes, const Mp3FrameInfo& frame,
                           int64_t scannedSamples);

// The samples the codec gives for MPEG audio frames held in memory (the data of a WAVE file),
// walked as the codec walks them: bytes that start no whole frame are skipped.
int64_t CountMpegAudioSamples(const uint8_t* data, uint32_t bytes);
