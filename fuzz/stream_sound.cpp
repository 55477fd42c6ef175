// Fuzz target: stream sounds over hostile data. The first bytes steer (entry kind, loop count,
// entries, play type, mix sizes); the rest is the sound file image. The sound is added, played
// and refilled for a bounded number of rounds while the DirectSound stand-in mixes, with stops,
// resumes and position queries in between. Nothing may read or write outside a buffer or hang.
// Seeds (fuzz/corpus/stream_sound): six steering bytes ahead of small PCM WAVE files written with
// Python's struct.pack (44-byte header, a byte ramp as samples), and ahead of the IMA ADPCM seed
// of the WAVE walk.
#include <cstdint>
#include <cstdlib>

#include "platform/testing.h"
#include "sound/loading.h"
#include "sound/stream_sound.h"
#include "sound_system_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 6 || size > (1 << 15)) return 0;
  StartSoundOnce();
  const int kind = (data[0] & 1) ? 2 : 0;
  const int loopCount = static_cast<int8_t>(data[1]);
  const int entries = 1 + data[2] % 3;
  const int playType = (data[3] & 2) ? 3 : 1;
  const int mixFrames = 1 + data[4] * 13;  // Up to 75 ms a round: the ring wraps within 24 rounds.
  const uint8_t actions = data[5];
  const uint8_t* image = data + 6;
  const int imageSize = static_cast<int>(size - 6);

  const int handle = AddSoundData(-1);
  if (handle == -1) std::abort();
  for (int i = 0; i < entries; ++i) AddStreamSoundMemory(image, imageSize, loopCount, handle, kind, -1);
  if (PlaySoundHandle(handle, playType, 1) == 0) {
    for (int round = 0; round < 24; ++round) {
      UpdateStreamSounds();
      platform::testing::MixSoundFrames(mixFrames);
      if ((actions >> (round % 8)) & 1) {
        GetSoundHandlePosition(handle);
        if (round % 5 == 0) {
          StopSoundHandle(handle);
          PlaySoundHandle(handle, playType, round % 3 == 0);
        }
      }
    }
  }
  if (DeleteSoundHandle(handle) != 0) std::abort();
  return 0;
}
