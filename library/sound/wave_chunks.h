// The RIFF WAVE chunk walk shared by the two WAVE decoders.
#pragma once

#include "sound/pcm_converter.h"

// The largest conversion buffer a decoder sets up (one second of 384 kHz, 8-channel, 32-bit PCM).
constexpr uint32_t kLargestStepBuffer = 384000 * 8 * 4;

// Walks from the stream's start to the first data byte. Sets the format chunk position and size
// and the data position and size (clamped to the stream), and hands out the format chunk in a
// zero-filled block of at least 18 bytes, which the caller frees.
int WalkWaveChunks(PcmConverter* converter, BYTE** formatOut);
// Refuses channels, rate or block align of 0; fills in a missing average rate.
int CheckWaveFormatFields(WAVEFORMATEX* format);
