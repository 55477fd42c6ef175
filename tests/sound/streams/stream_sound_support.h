// Helpers of the stream-sound tests: counter-pattern WAVE images built in memory, the expected
// output of a sequence of entry passes, a log capture, and a fixture that starts the sound system
// over the DirectSound stand-in with manual mixing, then mixes in blocks and checks every frame.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "../sound_system_fixture.h"
#include "platform/testing.h"
#include "runtime/log.h"
#include "runtime/runtime_state.h"
#include "sound/loading.h"
#include "sound/stream_sound.h"
#include "window/window_state.h"

namespace stream_test {

namespace testing_door = platform::testing;

struct Frame {
  int16_t left;
  int16_t right;
  bool operator==(const Frame& other) const { return left == other.left && right == other.right; }
};

constexpr Frame kSilence{0, 0};
constexpr int kRate = 44100;
constexpr int kBytesPerFrame = 4;

// Frame `index` of the counter pattern tagged `tag` (0 to 7): the left channel holds the low 16
// bits of the index, the right one the tag and the next 12 bits, so every frame of a 200 s sound
// differs from every other, and from those of other tags.
inline Frame Pattern(int tag, int64_t index) {
  return Frame{static_cast<int16_t>(static_cast<uint16_t>(index & 0xFFFF)),
               static_cast<int16_t>((tag << 12) | ((index >> 16) & 0xFFF))};
}

inline void PutU32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

inline void PutU16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

// A 44-byte-header PCM WAVE image whose `dataBytes` bytes of samples are zero.
inline std::vector<uint8_t> WaveHeaderAnd(uint32_t dataBytes, uint16_t channels, uint16_t bits, uint32_t rate) {
  std::vector<uint8_t> image(44 + static_cast<size_t>(dataBytes));
  uint8_t* p = image.data();
  const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
  std::memcpy(p, "RIFF", 4);
  PutU32(p + 4, 36 + dataBytes);
  std::memcpy(p + 8, "WAVEfmt ", 8);
  PutU32(p + 16, 16);
  PutU16(p + 20, 1);
  PutU16(p + 22, channels);
  PutU32(p + 24, rate);
  PutU32(p + 28, rate * align);
  PutU16(p + 32, align);
  PutU16(p + 34, bits);
  std::memcpy(p + 36, "data", 4);
  PutU32(p + 40, dataBytes);
  return image;
}

// A 44,100 Hz stereo 16-bit WAVE of the counter pattern.
inline std::vector<uint8_t> CounterWave(int64_t frames, int tag) {
  std::vector<uint8_t> image = WaveHeaderAnd(static_cast<uint32_t>(frames * kBytesPerFrame), 2, 16, kRate);
  uint8_t* p = image.data() + 44;
  for (int64_t i = 0; i < frames; ++i, p += kBytesPerFrame) {
    const Frame frame = Pattern(tag, i);
    PutU16(p, static_cast<uint16_t>(frame.left));
    PutU16(p + 2, static_cast<uint16_t>(frame.right));
  }
  return image;
}

// Passes of entries as the output should play them: `frames` frames of the pattern of `tag`,
// each pass from its first frame.
struct Pass {
  int tag;
  int64_t frames;
};

// The expected output frame by frame: the passes in order, then silence, or the passes over and
// over when `cycle` is set.
class ExpectedOutput {
 public:
  ExpectedOutput(std::vector<Pass> passes, bool cycle) : passes_(std::move(passes)), cycle_(cycle) {
    for (const Pass& pass : passes_) length_ += pass.frames;
  }
  int64_t Length() const { return length_; }
  Frame At(int64_t frame) const {
    if (frame >= length_) {
      if (!cycle_) return kSilence;
      frame %= length_;
    }
    for (const Pass& pass : passes_) {
      if (frame < pass.frames) return Pattern(pass.tag, frame);
      frame -= pass.frames;
    }
    return kSilence;
  }

 private:
  std::vector<Pass> passes_;
  bool cycle_;
  int64_t length_ = 0;
};

// The sound system's fixture with a log of its own and files written for the test.
class StreamSoundFixture : public sound_test::SoundSystemFixture {
 protected:
  static constexpr int kBlockFrames = 4410;  // 0.1 s: less than one refill step

  void SetUp() override {
    SoundSystemFixture::SetUp();
    char pattern[] = "/tmp/zyvel-stream-log-XXXXXX";
    if (mkdtemp(pattern)) logDirectory_ = pattern;
    g_runtime.log = LogState{};
    testing_door::CaptureDebugOutput([this](const std::string& text) {
      std::lock_guard<std::mutex> lock(logMutex_);
      logText_ += text;
    });
    SetLogDirectory(platform::WindowsPathOf(logDirectory_).c_str());
    OpenLogFile();
  }

  void TearDown() override {
    SoundSystemFixture::TearDown();
    SetLogDirectory("");
    g_runtime.log = LogState{};
    testing_door::CaptureDebugOutput(nullptr);
    for (const std::string& path : writtenFiles_) unlink(path.c_str());
    unlink((logDirectory_ + "/Log.txt").c_str());
    rmdir(logDirectory_.c_str());
  }

  // Writes the bytes to a file of that name in the test's own directory and returns the path as
  // the library sees it.
  std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = logDirectory_ + "/" + name;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return "";
    const size_t written = std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    writtenFiles_.push_back(path);
    return written == bytes.size() ? platform::WindowsPathOf(path) : "";
  }

  std::string LogText() {
    std::lock_guard<std::mutex> lock(logMutex_);
    return logText_;
  }

  // A stream sound of one entry made from a WAVE image (kept as a file image in memory).
  static int StreamSoundOf(const std::vector<uint8_t>& image, int loopCount = 0, int sharedStream = -1) {
    const int handle = AddSoundData(-1);
    if (handle == -1) return -1;
    if (AddStreamSoundMemory(image.data(), static_cast<int>(image.size()), loopCount, handle, 2, sharedStream) != 0)
      return -1;
    return handle;
  }

  static StreamSoundPart& StreamOf(int handle) { return GetSoundRecord(handle)->stream; }

  // The one-processor refill: message processing calls the service once a frame.
  static void RefillFromPump() { UpdateStreamSounds(); }

  // Mixes `frames` output frames in blocks, running `refill` before each block, and compares
  // every frame with `expected`, which `clock` (frames since it began) indexes.
  ::testing::AssertionResult MixAndCompare(int64_t frames, const ExpectedOutput& expected, int64_t& clock,
                                           const std::function<void()>& refill = RefillFromPump,
                                           int blockFrames = kBlockFrames) {
    while (frames > 0) {
      if (refill) refill();
      const int block = static_cast<int>(std::min<int64_t>(frames, blockFrames));
      const std::vector<int16_t> mix = testing_door::MixSoundFrames(block);
      if (mix.size() != static_cast<size_t>(block) * 2) return ::testing::AssertionFailure() << "no mix";
      for (int i = 0; i < block; ++i, ++clock) {
        const Frame got{mix[2 * i], mix[2 * i + 1]};
        const Frame want = expected.At(clock);
        if (!(got == want))
          return ::testing::AssertionFailure() << "frame " << clock << ": got (" << got.left << ", " << got.right
                                               << "), expected (" << want.left << ", " << want.right << ")";
      }
      frames -= block;
    }
    return ::testing::AssertionSuccess();
  }

  // Mixes silence-expected blocks, refilling before each, until the sound stops; false when that
  // takes a whole lap of the ring or more.
  ::testing::AssertionResult RunOutWithinOneLap(int handle, const ExpectedOutput& expected, int64_t& clock,
                                                const std::function<void()>& refill = RefillFromPump) {
    for (int64_t silent = 0; silent < kRate; silent += kBlockFrames) {
      if (refill) refill();
      if (CheckSoundHandle(handle) == 0) return ::testing::AssertionSuccess();
      ::testing::AssertionResult mixed = MixAndCompare(kBlockFrames, expected, clock, nullptr);
      if (!mixed) return mixed;
    }
    return ::testing::AssertionFailure() << "still playing after a lap of silence";
  }

 private:
  std::string logDirectory_;
  std::vector<std::string> writtenFiles_;
  std::mutex logMutex_;
  std::string logText_;
};

}  // namespace stream_test
