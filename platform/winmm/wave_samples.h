// The sample layouts of uncompressed wave formats, shared by the audio compression manager and
// the DirectSound mixer: integer PCM of 8 (unsigned), 16, 24 and 32 bits and 32-bit float, each
// plain (format tags 1 and 3) or extensible (tag 0xFFFE with its sub-format).
#pragma once

#include <cstdint>

#include "platform/winmm.h"

namespace platform::winmm {

enum class SampleLayout { kNone, kUnsigned8, kSigned16, kSigned24, kSigned32, kFloat32 };

// The layout `format` describes, or kNone. An extensible format must carry its 22 extra bytes
// (cbSize at least 22) right after the 18; its valid bits only say how many of the container's
// top bits carry sound, so the container's width decides. Block align must be channels x width.
SampleLayout SampleLayoutOf(const WAVEFORMATEX* format);

// One sample as a full-scale 32-bit value (a 16-bit sample s is s << 16); float is clamped to
// -1..1 and NaN is silence.
int32_t ReadFullScaleSample(SampleLayout layout, const uint8_t* sample);

}  // namespace platform::winmm
