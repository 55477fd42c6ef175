// Decoding through the media framework (the chain's last decoder, mask bit 0x10): the same PCM as
// the audio compression manager's MP3 path, refusals with their log lines, the end of the program
// during the run, and the growth of the PCM block.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <mutex>
#include <string>

#include "media/media_services.h"
#include "platform/testing.h"
#include "runtime/log.h"
#include "runtime/runtime_state.h"
#include "sound/sound_records.h"
#include "sound_fixtures.h"
#include "window/window_services.h"

namespace {

// Every decoder but the media framework's.
constexpr int kFrameworkOnly = SOUND_DECODER_WAVE_PCM | SOUND_DECODER_WAVE_ACM | SOUND_DECODER_OGG_VORBIS |
                               SOUND_DECODER_MP3_ACM;

// A fresh log in a temporary directory; what it hands to the debugger output meanwhile.
class LogLines {
 public:
  LogLines() {
    char pattern[] = "/tmp/zyvel-media-log-XXXXXX";
    if (mkdtemp(pattern)) directory_ = pattern;
    g_runtime.log = LogState{};
    platform::testing::CaptureDebugOutput([this](const std::string& text) {
      std::lock_guard<std::mutex> lock(mutex_);
      text_ += text;
    });
    SetLogDirectory(platform::WindowsPathOf(directory_).c_str());
    OpenLogFile();
  }
  ~LogLines() {
    SetLogDirectory("");
    g_runtime.log = LogState{};
    platform::testing::CaptureDebugOutput(nullptr);
    unlink((directory_ + "/Log.txt").c_str());
    rmdir(directory_.c_str());
  }
  bool Has(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_.find(line) != std::string::npos;
  }

 private:
  std::string directory_;
  std::mutex mutex_;
  std::string text_;
};

TEST(MediaFrameworkDecoder, GivesTheSamePcmAsTheCompressionManagerPath) {
  // Both paths decode through the platform's one MPEG audio codec, which trims the encoder's
  // delay and padding itself, so there is no decoder delay between them: the PCM is equal.
  for (const char* name : {"mp3_stereo_cbr.mp3", "mp3_mono_tag.mp3", "mp3_stereo_id3v2.mp3", "mp3_stereo_noinfo.mp3"}) {
    SCOPED_TRACE(name);
    const Bytes image = ReadSoundFixture(name);
    const WholeDecode throughAcm = DecodeWhole(image, 0);
    const WholeDecode throughGraph = DecodeWhole(image, kFrameworkOnly);
    ASSERT_EQ(throughAcm.result, 0);
    ASSERT_EQ(throughGraph.result, 0);
    EXPECT_EQ(std::memcmp(&throughAcm.format, &throughGraph.format, sizeof(WAVEFORMATEX)), 0);
    EXPECT_EQ(throughGraph.pcm.size(), throughAcm.pcm.size());
    EXPECT_TRUE(throughGraph.pcm == throughAcm.pcm);
  }

  // The converter holds the PCM: its size is what was gathered, and seeks land at once.
  MemoryConverter memory(ReadSoundFixture("mp3_mono_cbr.mp3"), kFrameworkOnly);
  ASSERT_EQ(memory.setupResult, 0);
  EXPECT_EQ(memory.converter.method, PCM_CONVERT_MEMORY_PCM);
  EXPECT_EQ(GetPcmConvertedSize(&memory.converter), memory.converter.memory.size);
  EXPECT_EQ(memory.converter.bufferSize, static_cast<int>(memory.converter.outputFormat.nAvgBytesPerSec));
  ASSERT_EQ(SetPcmConverterSampleTime(&memory.converter, 1000), 0);
  EXPECT_EQ(memory.converter.memory.readPosition, 1000 * memory.converter.outputFormat.nBlockAlign);
}

TEST(MediaFrameworkDecoder, WhatNoDecoderRendersFailsTheGraphWithItsLine) {
  Bytes junk(5000);
  for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<uint8_t>("not a sound at all "[i % 19]);
  const Bytes truncated = [] {
    Bytes head = ReadSoundFixture("mp3_stereo_cbr.mp3");
    head.resize(200);
    return head;
  }();
  for (const Bytes* image : std::vector<const Bytes*>{&junk, &truncated}) {
    LogLines log;
    MemoryConverter memory(*image, kFrameworkOnly);
    EXPECT_EQ(memory.setupResult, -1);
    EXPECT_TRUE(log.Has("グラフの構築に失敗しました"));
    EXPECT_EQ(memory.converter.memory.pcm, nullptr);
  }
  // Masked too, nothing decodes the file.
  MemoryConverter none(ReadSoundFixture("mp3_stereo_cbr.mp3"), kFrameworkOnly | SOUND_DECODER_MEDIA_FRAMEWORK);
  EXPECT_EQ(none.setupResult, -1);
}

TEST(MediaFrameworkDecoder, TheProgramEndingDuringTheRunEndsTheConversion) {
  LogLines log;
  g_windowSystem.quitRequested = 1;
  MemoryConverter memory(ReadSoundFixture("mp3_stereo_cbr.mp3"), kFrameworkOnly);
  g_windowSystem.quitRequested = 0;
  EXPECT_EQ(memory.setupResult, -1);
  EXPECT_TRUE(log.Has("MP3変換の途中でソフトが終了しました"));
  EXPECT_EQ(memory.converter.memory.pcm, nullptr);
}

// A sample holding `length` bytes of one value.
class FilledSample final : public IMediaSample {
 public:
  FilledSample(LONG length, BYTE value) : data_(static_cast<size_t>(length), value) {}
  HRESULT QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT GetPointer(BYTE** out) override {
    *out = data_.data();
    return S_OK;
  }
  LONG GetSize() override { return static_cast<LONG>(data_.size()); }
  HRESULT GetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return E_NOTIMPL; }
  HRESULT SetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return E_NOTIMPL; }
  HRESULT IsSyncPoint() override { return S_OK; }
  HRESULT SetSyncPoint(BOOL) override { return E_NOTIMPL; }
  HRESULT IsPreroll() override { return S_FALSE; }
  HRESULT SetPreroll(BOOL) override { return E_NOTIMPL; }
  LONG GetActualDataLength() override { return static_cast<LONG>(data_.size()); }
  HRESULT SetActualDataLength(LONG) override { return E_NOTIMPL; }
  HRESULT GetMediaType(AM_MEDIA_TYPE**) override { return S_FALSE; }
  HRESULT SetMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  HRESULT IsDiscontinuity() override { return S_FALSE; }
  HRESULT SetDiscontinuity(BOOL) override { return E_NOTIMPL; }
  HRESULT GetMediaTime(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }
  HRESULT SetMediaTime(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }

 private:
  std::vector<BYTE> data_;
};

TEST(MediaFrameworkDecoder, ASampleBeyondTheCapacityGrowsTheBlockByWholeSteps) {
  PcmConverter converter{};
  converter.memory.pcm = static_cast<BYTE*>(ZV_ALLOC(100));
  converter.memory.capacity = 100;
  const DWORD_PTR value = reinterpret_cast<DWORD_PTR>(&converter);
  FilledSample first(60, 1), second(0x200000 + 100, 2);
  EXPECT_EQ(AppendGrabbedPcm(&first, nullptr, nullptr, FALSE, value), 0);
  EXPECT_EQ(converter.memory.capacity, 100);
  // 60 + 2 MiB + 100 bytes need three steps of 1 MiB on top of 100.
  EXPECT_EQ(AppendGrabbedPcm(&second, nullptr, nullptr, FALSE, value), 0);
  EXPECT_EQ(converter.memory.capacity, 100 + 3 * 0x100000);
  EXPECT_EQ(converter.memory.size, 60 + 0x200000 + 100);
  EXPECT_EQ(converter.memory.pcm[59], 1);
  EXPECT_EQ(converter.memory.pcm[60], 2);
  ZV_FREE(converter.memory.pcm);

  // Without a block (a growth failed earlier) nothing is kept.
  converter.memory = PcmMemoryState{};
  EXPECT_EQ(AppendGrabbedPcm(&first, nullptr, nullptr, FALSE, value), 0);
  EXPECT_EQ(converter.memory.size, 0);
}

}  // namespace
