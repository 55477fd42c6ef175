// Fuzz target: the public sound-load path on hostile file images: the load mode (whole buffers
// or a stream kept in memory), the buffer count and the decoder mask come from the first byte,
// the rest is the file. What loads is played, mixed a little, refilled, asked for its length and
// deleted; nothing may read or write outside a buffer, and no handle may be left behind.
// Seeds (fuzz/corpus/sound_load): a steering byte ahead of the WAVE walk's and the stream
// sound's seeds and of the first 4 KB of the Ogg and MP3 test fixtures.
#include <cstdint>
#include <cstdlib>

#include "platform/testing.h"
#include "sound/pcm_converter.h"
#include "sound/sound_records.h"
#include "sound_system_fuzz.h"
#include "zyvel/sound.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (1 << 16)) return 0;
  StartSoundOnce();
  const unsigned modes[] = {0, 2, 3, 0};
  const uint8_t steer = data[0];
  SetSoundLoadMode(modes[steer & 3]);
  // The media framework stays off: the stand-in has no decoder behind it.
  SetSoundDecoderMask(((steer >> 2) & 0x0F) | SOUND_DECODER_MEDIA_FRAMEWORK);
  const int handles = g_soundHandles.usedCount;
  const int handle = LoadSoundFromMemoryImage(data + 1, static_cast<int>(size - 1), 1 + (steer >> 6), -1);
  if (handle != -1) {
    GetSoundTotalSample(handle);
    GetSoundTotalTime(handle);
    if (PlaySoundHandle(handle, 1, 1) == 0) {
      for (int round = 0; round < 3; ++round) {
        platform::testing::MixSoundFrames(2000);
        UpdateStreamSounds();
      }
      GetSoundHandlePosition(handle);
      StopSoundHandle(handle);
    }
    if (DeleteSoundHandle(handle) != 0) std::abort();
  }
  SetSoundLoadMode(0);
  SetSoundDecoderMask(0);
  if (g_soundHandles.usedCount != handles) std::abort();
  return 0;
}
