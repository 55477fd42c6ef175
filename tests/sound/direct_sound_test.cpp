// The DirectSound stand-in heard through the captured mix: pitch and length, duplicates, the lock
// window, volume and pan laws, play and stop, resampling, clipping, and its failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "../../platform/dsound/mixer.h"  // The mixer core, for its differential test.
#include "platform/kernel.h"
#include "platform/testing.h"
#include "sound_test_support.h"

using namespace sound_test;
namespace testing_door = platform::testing;

namespace {

class DirectSoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_door::ResetSoundSwitches();
    testing_door::UseSoundDriver("dummy");
    testing_door::UseManualSoundMixing(true);
    ASSERT_EQ(DirectSoundCreate(nullptr, &directSound_, nullptr), DS_OK);
    static HWND__ window;
    ASSERT_EQ(directSound_->SetCooperativeLevel(&window, DSSCL_PRIORITY), DS_OK);
  }
  void TearDown() override {
    for (IDirectSoundBuffer* buffer : buffers_) buffer->Release();
    if (directSound_) {
      EXPECT_EQ(directSound_->Release(), 0u);
    }
    testing_door::ResetSoundSwitches();
  }

  IDirectSoundBuffer* MakeBuffer(WAVEFORMATEX format, DWORD bytes, const void* data = nullptr) {
    DSBUFFERDESC description = BufferDescription(&format, bytes);
    IDirectSoundBuffer* buffer = nullptr;
    EXPECT_EQ(directSound_->CreateSoundBuffer(&description, &buffer, nullptr), DS_OK);
    if (buffer) buffers_.push_back(buffer);
    if (buffer && data) {
      EXPECT_TRUE(Fill(buffer, data, bytes));
    }
    return buffer;
  }

  // A 16-bit stereo buffer at the output rate whose every sample is `value`.
  IDirectSoundBuffer* ConstantBuffer(int16_t value, int frames) {
    std::vector<int16_t> samples(static_cast<size_t>(frames) * 2, value);
    return MakeBuffer(PcmFormat(44100, 2, 16), static_cast<DWORD>(frames * 4), samples.data());
  }

  static DWORD StatusOf(IDirectSoundBuffer* buffer) {
    DWORD status = 0xFFFF;
    EXPECT_EQ(buffer->GetStatus(&status), DS_OK);
    return status;
  }
  static DWORD PlayCursorOf(IDirectSoundBuffer* buffer) {
    DWORD play = 0xFFFF;
    DWORD write = 0;
    EXPECT_EQ(buffer->GetCurrentPosition(&play, &write), DS_OK);
    return play;
  }

  IDirectSound* directSound_ = nullptr;
  std::vector<IDirectSoundBuffer*> buffers_;
};

TEST_F(DirectSoundTest, ToneIsHeardAtItsPitchForItsLengthThenTheBufferStops) {
  // One second of 440 Hz, mono, 22,050 Hz: resampled to twice as many output frames.
  std::vector<int16_t> tone = Sine(440.0, 22050, 22050, 12000.0);
  IDirectSoundBuffer* buffer = MakeBuffer(PcmFormat(22050, 1, 16), 22050 * 2, tone.data());
  ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
  EXPECT_EQ(StatusOf(buffer), DSBSTATUS_PLAYING);

  std::vector<int16_t> mix = testing_door::MixSoundFrames(44100 + 4410);
  std::vector<int> left = Channel(mix, 0, 0, 44100);
  EXPECT_NEAR(UpwardCrossings(left), 440, 1);
  EXPECT_NEAR(Peak(left), 12000, 60);
  EXPECT_EQ(Channel(mix, 1, 0, 44100), left);                 // Mono plays on both sides.
  EXPECT_GT(Peak(Channel(mix, 0, 44100 - 441, 441)), 10000);  // Still sounding in its last 10 ms.
  EXPECT_EQ(Peak(Channel(mix, 0, 44100)), 0);                 // Silent after its end.

  EXPECT_EQ(StatusOf(buffer), 0u);
  EXPECT_EQ(PlayCursorOf(buffer), 0u);
}

TEST_F(DirectSoundTest, DuplicatesShareSamplesAndSum) {
  IDirectSoundBuffer* original = ConstantBuffer(1000, 1024);
  IDirectSoundBuffer* copies[2] = {};
  for (IDirectSoundBuffer*& copy : copies) {
    ASSERT_EQ(directSound_->DuplicateSoundBuffer(original, &copy), DS_OK);
    buffers_.push_back(copy);
  }
  for (IDirectSoundBuffer* buffer : {original, copies[0], copies[1]}) ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
  std::vector<int16_t> mix = testing_door::MixSoundFrames(512);
  for (int16_t sample : mix) ASSERT_EQ(sample, 3000);

  // New samples written through the original sound in every duplicate; each keeps its own cursor.
  std::vector<int16_t> louder(1024 * 2, 2000);
  ASSERT_TRUE(Fill(original, louder.data(), 1024 * 4));
  ASSERT_EQ(copies[1]->Stop(), DS_OK);
  mix = testing_door::MixSoundFrames(512);
  for (int16_t sample : mix) ASSERT_EQ(sample, 4000);
  EXPECT_EQ(PlayCursorOf(copies[1]), 512u * 4);
  EXPECT_EQ(StatusOf(copies[0]), 0u);  // Original and first copy reached their end.
}

TEST_F(DirectSoundTest, LockAcrossTheEndSplitsTheWindowInTwo) {
  IDirectSoundBuffer* buffer = ConstantBuffer(0, 1000);  // 4,000 bytes
  void* first = nullptr;
  void* second = nullptr;
  DWORD firstBytes = 0;
  DWORD secondBytes = 0;
  ASSERT_EQ(buffer->Lock(3600, 1000, &first, &firstBytes, &second, &secondBytes, 0), DS_OK);
  EXPECT_EQ(firstBytes, 400u);
  EXPECT_EQ(secondBytes, 600u);
  ASSERT_NE(second, nullptr);
  std::memset(first, 0x11, firstBytes);
  std::memset(second, 0x22, secondBytes);
  ASSERT_EQ(buffer->Unlock(first, firstBytes, second, secondBytes), DS_OK);

  ASSERT_EQ(buffer->Lock(0, 0, &first, &firstBytes, &second, &secondBytes, DSBLOCK_ENTIREBUFFER), DS_OK);
  ASSERT_EQ(firstBytes, 4000u);
  EXPECT_EQ(second, nullptr);
  void* whole = first;
  const uint8_t* bytes = static_cast<const uint8_t*>(whole);
  EXPECT_EQ(bytes[0], 0x22);
  EXPECT_EQ(bytes[599], 0x22);
  EXPECT_EQ(bytes[600], 0x00);
  EXPECT_EQ(bytes[3599], 0x00);
  EXPECT_EQ(bytes[3600], 0x11);
  EXPECT_EQ(bytes[3999], 0x11);
  // A second lock before the unlock is refused; an unlock with foreign pointers too.
  EXPECT_EQ(buffer->Lock(0, 4, &first, &firstBytes, &second, &secondBytes, 0), DSERR_INVALIDCALL);
  uint8_t foreign[4];
  EXPECT_EQ(buffer->Unlock(foreign, 4, nullptr, 0), DSERR_INVALIDPARAM);
  ASSERT_EQ(buffer->Unlock(whole, 0, nullptr, 0), DS_OK);

  struct Refused {
    DWORD offset;
    DWORD bytes;
  };
  for (Refused refused : {Refused{0, 4001}, Refused{4000, 4}, Refused{0, 0}, Refused{0xFFFFFFFFu, 4}}) {
    EXPECT_EQ(buffer->Lock(refused.offset, refused.bytes, &first, &firstBytes, &second, &secondBytes, 0),
              DSERR_INVALIDPARAM)
        << refused.offset << " + " << refused.bytes;
    EXPECT_EQ(first, nullptr);
  }
}

TEST_F(DirectSoundTest, VolumeAndPanFollowTheDecibelLaws) {
  struct Case {
    LONG volume;
    LONG pan;
    double leftDecibels;  // -INFINITY for silence
    double rightDecibels;
  };
  const Case cases[] = {
      {0, 0, 0.0, 0.0},
      {-600, 0, -6.0, -6.0},
      {-2000, 0, -20.0, -20.0},
      {-10000, 0, -INFINITY, -INFINITY},
      {0, -10000, 0.0, -INFINITY},
      {0, 10000, -INFINITY, 0.0},
      {0, -600, 0.0, -6.0},
      {-600, 1200, -18.0, -6.0},
  };
  IDirectSoundBuffer* buffer = ConstantBuffer(16000, 4096);
  for (const Case& c : cases) {
    ASSERT_EQ(buffer->SetVolume(c.volume), DS_OK);
    ASSERT_EQ(buffer->SetPan(c.pan), DS_OK);
    ASSERT_EQ(buffer->SetCurrentPosition(0), DS_OK);
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    std::vector<int16_t> mix = testing_door::MixSoundFrames(256);
    ASSERT_EQ(buffer->Stop(), DS_OK);
    const double expected[2] = {c.leftDecibels, c.rightDecibels};
    for (int channel = 0; channel < 2; ++channel) {
      const int level = Peak(Channel(mix, channel));
      if (std::isinf(expected[channel])) {
        EXPECT_EQ(level, 0) << "volume " << c.volume << " pan " << c.pan << " channel " << channel;
      } else {
        EXPECT_NEAR(20.0 * std::log10(level / 16000.0), expected[channel], 0.05)
            << "volume " << c.volume << " pan " << c.pan << " channel " << channel;
      }
    }
  }
  EXPECT_EQ(buffer->SetVolume(1), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->SetPan(-10001), DSERR_INVALIDPARAM);
}

TEST_F(DirectSoundTest, PlayAndStopKeepTheCursorAndLoopingWraps) {
  IDirectSoundBuffer* buffer = ConstantBuffer(100, 1000);
  ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
  testing_door::MixSoundFrames(512);
  ASSERT_EQ(buffer->Stop(), DS_OK);
  EXPECT_EQ(PlayCursorOf(buffer), 512u * 4);
  testing_door::MixSoundFrames(512);  // Stopped: the cursor stays.
  EXPECT_EQ(PlayCursorOf(buffer), 512u * 4);
  ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);  // Goes on from the cursor.
  EXPECT_EQ(StatusOf(buffer), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
  std::vector<int16_t> mix = testing_door::MixSoundFrames(1000);
  for (int16_t sample : mix) ASSERT_EQ(sample, 100);  // Wrapped at 1,000 frames, no gap.
  EXPECT_EQ(PlayCursorOf(buffer), 512u * 4);
  EXPECT_EQ(StatusOf(buffer), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);

  ASSERT_EQ(buffer->SetCurrentPosition(40), DS_OK);
  EXPECT_EQ(PlayCursorOf(buffer), 40u);
  EXPECT_EQ(buffer->SetCurrentPosition(4000), DSERR_INVALIDPARAM);
}

TEST_F(DirectSoundTest, FrequencyResamplesAndZeroRestoresTheOriginalRate) {
  IDirectSoundBuffer* buffer = ConstantBuffer(500, 1000);
  ASSERT_EQ(buffer->SetFrequency(88200), DS_OK);
  ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
  std::vector<int16_t> mix = testing_door::MixSoundFrames(600);
  EXPECT_EQ(Peak(Channel(mix, 0, 0, 500)), 500);
  EXPECT_EQ(Peak(Channel(mix, 0, 500)), 0);  // Twice as fast: over after 500 output frames.
  EXPECT_EQ(StatusOf(buffer), 0u);

  ASSERT_EQ(buffer->SetFrequency(0), DS_OK);
  ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
  mix = testing_door::MixSoundFrames(1000);
  EXPECT_EQ(Peak(Channel(mix, 0, 999)), 500);
  EXPECT_EQ(buffer->SetFrequency(99), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->SetFrequency(200001), DSERR_INVALIDPARAM);
}

TEST_F(DirectSoundTest, SumsClipAtTheSixteenBitLimits) {
  for (int16_t value : {30000, 30000, -32768}) ASSERT_EQ(ConstantBuffer(value, 600)->Play(0, 0, 0), DS_OK);
  std::vector<int16_t> mix = testing_door::MixSoundFrames(4);
  for (int16_t sample : mix) EXPECT_EQ(sample, 27232);
  IDirectSoundBuffer* more = ConstantBuffer(30000, 600);
  ASSERT_EQ(more->Play(0, 0, 0), DS_OK);
  mix = testing_door::MixSoundFrames(4);
  for (int16_t sample : mix) EXPECT_EQ(sample, 32767);
}

TEST_F(DirectSoundTest, EightBitSamplesAreUnsignedAroundTheMiddle) {
  std::vector<uint8_t> samples = {0x80, 0xFF, 0x00, 0x80};
  IDirectSoundBuffer* buffer = MakeBuffer(PcmFormat(44100, 1, 8), 4, samples.data());
  ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
  std::vector<int16_t> mix = testing_door::MixSoundFrames(4);
  EXPECT_EQ(Channel(mix, 0), (std::vector<int>{0, 127 * 256, -128 * 256, 0}));
}

// Samples of 24 and 32 bits and float, in the plain and the extensible format, are heard as
// their top 16 bits (float scaled by 32768 and clamped); formats of no known layout are refused.
TEST_F(DirectSoundTest, WideAndFloatSamplesMixAsTheirTopSixteenBits) {
  const std::vector<int> heard = {0, 12345, -32768, 32767, -2};
  struct Case {
    WORD tag;
    WORD bits;
    bool extensible;
  };
  for (const Case& c :
       {Case{WAVE_FORMAT_PCM, 24, false}, Case{WAVE_FORMAT_PCM, 32, false}, Case{WAVE_FORMAT_IEEE_FLOAT, 32, false},
        Case{WAVE_FORMAT_PCM, 24, true}, Case{WAVE_FORMAT_PCM, 32, true}, Case{WAVE_FORMAT_IEEE_FLOAT, 32, true}}) {
    SCOPED_TRACE(testing::Message() << c.tag << "/" << c.bits << (c.extensible ? " extensible" : ""));
    std::vector<uint8_t> bytes;
    for (int value : heard) {
      if (c.tag == WAVE_FORMAT_IEEE_FLOAT) {
        const float sample = static_cast<float>(value) / 32768.0f;
        const auto* p = reinterpret_cast<const uint8_t*>(&sample);
        bytes.insert(bytes.end(), p, p + 4);
        continue;
      }
      // Low bits below the top 16 are not heard.
      const uint32_t wide = static_cast<uint32_t>(value) << 16 | 0xA5C3u;
      for (int i = 4 - c.bits / 8; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(wide >> (8 * i)));
    }
    WAVEFORMATEXTENSIBLE format{};
    format.Format = PcmFormat(44100, 1, c.bits);
    format.Format.wFormatTag = c.tag;
    if (c.extensible) {
      format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
      format.Format.cbSize = kWaveFormatExtensibleExtraBytes;
      format.Samples.wValidBitsPerSample = c.bits;
      format.dwChannelMask = 4;
      format.SubFormat = c.tag == WAVE_FORMAT_IEEE_FLOAT ? KSDATAFORMAT_SUBTYPE_IEEE_FLOAT : KSDATAFORMAT_SUBTYPE_PCM;
    }
    DSBUFFERDESC description = BufferDescription(&format.Format, static_cast<DWORD>(bytes.size()));
    IDirectSoundBuffer* buffer = nullptr;
    ASSERT_EQ(directSound_->CreateSoundBuffer(&description, &buffer, nullptr), DS_OK);
    buffers_.push_back(buffer);
    ASSERT_TRUE(Fill(buffer, bytes.data(), static_cast<DWORD>(bytes.size())));
    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    const std::vector<int16_t> mix = testing_door::MixSoundFrames(static_cast<int>(heard.size()));
    EXPECT_EQ(Channel(mix, 0), heard);
    EXPECT_EQ(Channel(mix, 1), heard);
  }

  WAVEFORMATEXTENSIBLE unknown{};
  unknown.Format = PcmFormat(44100, 1, 16);
  unknown.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
  unknown.Format.cbSize = kWaveFormatExtensibleExtraBytes;
  unknown.Samples.wValidBitsPerSample = 16;
  unknown.SubFormat = IID_IUnknown;
  WAVEFORMATEXTENSIBLE shortExtra = unknown;
  shortExtra.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
  shortExtra.Format.cbSize = 0;
  WAVEFORMATEXTENSIBLE doubles{};
  doubles.Format = PcmFormat(44100, 1, 64);
  doubles.Format.wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
  for (WAVEFORMATEXTENSIBLE* refused : {&unknown, &shortExtra, &doubles}) {
    DSBUFFERDESC description = BufferDescription(&refused->Format, 400);
    IDirectSoundBuffer* buffer = reinterpret_cast<IDirectSoundBuffer*>(1);
    EXPECT_EQ(directSound_->CreateSoundBuffer(&description, &buffer, nullptr), DSERR_BADFORMAT);
    EXPECT_EQ(buffer, nullptr);
  }
}

TEST_F(DirectSoundTest, ObjectsCountReferencesHonestly) {
  EXPECT_EQ(directSound_->AddRef(), 2u);
  IUnknown* unknown = nullptr;
  ASSERT_EQ(directSound_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  EXPECT_EQ(unknown->Release(), 2u);
  EXPECT_EQ(directSound_->Release(), 1u);
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(directSound_->QueryInterface(IID_IDirectSoundBuffer, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);

  IDirectSoundBuffer* buffer = ConstantBuffer(0, 16);
  EXPECT_EQ(buffer->AddRef(), 2u);
  EXPECT_EQ(buffer->Release(), 1u);
  EXPECT_EQ(directSound_->Initialize(nullptr), DSERR_ALREADYINITIALIZED);
}

TEST_F(DirectSoundTest, CreationRefusesBadDescriptionsAndInjectedFaults) {
  WAVEFORMATEX good = PcmFormat(44100, 2, 16);
  WAVEFORMATEX badBits = PcmFormat(44100, 2, 12);
  WAVEFORMATEX badRate = PcmFormat(50, 1, 16);
  WAVEFORMATEX badAlign = good;
  badAlign.nBlockAlign = 3;
  struct Case {
    WAVEFORMATEX* format;
    DWORD bytes;
    HRESULT expected;
  };
  for (Case c : {Case{&badBits, 400, DSERR_BADFORMAT}, Case{&badRate, 400, DSERR_BADFORMAT},
                 Case{&badAlign, 400, DSERR_BADFORMAT}, Case{nullptr, 400, DSERR_INVALIDPARAM},
                 Case{&good, 2, DSERR_INVALIDPARAM}, Case{&good, DSBSIZE_MAX + 1, DSERR_INVALIDPARAM}}) {
    DSBUFFERDESC description = BufferDescription(c.format, c.bytes);
    IDirectSoundBuffer* buffer = reinterpret_cast<IDirectSoundBuffer*>(1);
    EXPECT_EQ(directSound_->CreateSoundBuffer(&description, &buffer, nullptr), c.expected) << c.bytes;
    EXPECT_EQ(buffer, nullptr);
  }
  DSBUFFERDESC description = BufferDescription(&good, 400);
  description.dwSize = 36;  // The 32-bit size is not this system's.
  IDirectSoundBuffer* buffer = nullptr;
  EXPECT_EQ(directSound_->CreateSoundBuffer(&description, &buffer, nullptr), DSERR_INVALIDPARAM);

  testing_door::RefuseSoundBuffers(1);
  description = BufferDescription(&good, 400);
  EXPECT_EQ(directSound_->CreateSoundBuffer(&description, &buffer, nullptr), DSERR_OUTOFMEMORY);
  IDirectSoundBuffer* original = ConstantBuffer(0, 100);
  testing_door::RefuseSoundBuffers(1);
  EXPECT_EQ(directSound_->DuplicateSoundBuffer(original, &buffer), DSERR_OUTOFMEMORY);
  EXPECT_EQ(buffer, nullptr);
  ASSERT_EQ(directSound_->DuplicateSoundBuffer(original, &buffer), DS_OK);
  buffers_.push_back(buffer);

  // A buffer without the controls refuses them.
  DSBUFFERDESC plain = BufferDescription(&good, 400, DSBCAPS_STATIC);
  ASSERT_EQ(directSound_->CreateSoundBuffer(&plain, &buffer, nullptr), DS_OK);
  buffers_.push_back(buffer);
  EXPECT_EQ(buffer->SetVolume(-100), DSERR_CONTROLUNAVAIL);
  EXPECT_EQ(buffer->SetFrequency(22050), DSERR_CONTROLUNAVAIL);
}

TEST_F(DirectSoundTest, PrimaryBufferTakesItsFormatAtPriorityLevel) {
  DSBUFFERDESC description{};
  description.dwSize = sizeof(DSBUFFERDESC);
  description.dwFlags = DSBCAPS_PRIMARYBUFFER;
  IDirectSoundBuffer* primary = nullptr;
  ASSERT_EQ(directSound_->CreateSoundBuffer(&description, &primary, nullptr), DS_OK);
  buffers_.push_back(primary);
  WAVEFORMATEX format = PcmFormat(22050, 1, 8);
  ASSERT_EQ(primary->SetFormat(&format), DS_OK);
  WAVEFORMATEX seen{};
  ASSERT_TRUE(testing_door::LastPrimarySoundFormat(&seen));
  EXPECT_EQ(std::memcmp(&seen, &format, sizeof(format)), 0);
  void* first = nullptr;
  DWORD bytes = 0;
  EXPECT_EQ(primary->Lock(0, 4, &first, &bytes, nullptr, nullptr, 0), DSERR_PRIOLEVELNEEDED);

  static HWND__ window;
  ASSERT_EQ(directSound_->SetCooperativeLevel(&window, DSSCL_NORMAL), DS_OK);
  EXPECT_EQ(primary->SetFormat(&format), DSERR_PRIOLEVELNEEDED);
}

TEST(DirectSoundDevice, FailingDeviceAndRefusedClassAreReported) {
  testing_door::ResetSoundSwitches();
  testing_door::UseSoundDriver("dummy");
  testing_door::FailSoundDevice(true);
  IDirectSound* directSound = reinterpret_cast<IDirectSound*>(1);
  EXPECT_EQ(DirectSoundCreate(nullptr, &directSound, nullptr), DSERR_NODRIVER);
  EXPECT_EQ(directSound, nullptr);
  EXPECT_TRUE(testing_door::MixSoundFrames(16).empty());

  ASSERT_EQ(CoCreateInstance(CLSID_DirectSound, nullptr, CLSCTX_ALL, IID_IDirectSound,
                             reinterpret_cast<void**>(&directSound)),
            S_OK);
  DSCAPS caps{};
  caps.dwSize = sizeof(DSCAPS);
  EXPECT_EQ(directSound->GetCaps(&caps), DSERR_UNINITIALIZED);
  EXPECT_EQ(directSound->Initialize(nullptr), DSERR_NODRIVER);
  EXPECT_EQ(directSound->Release(), 0u);

  testing_door::FailSoundDevice(false);
  testing_door::RefuseComClass(CLSID_DirectSound, true);
  EXPECT_EQ(CoCreateInstance(CLSID_DirectSound, nullptr, CLSCTX_ALL, IID_IDirectSound,
                             reinterpret_cast<void**>(&directSound)),
            REGDB_E_CLASSNOTREG);
  testing_door::RefuseComClass(CLSID_DirectSound, false);
  testing_door::ResetSoundSwitches();
}

TEST(DirectSoundDevice, TheModuleListsTheDriversPrimaryFirst) {
  testing_door::ResetSoundSwitches();
  testing_door::UseSoundDriver("dummy");
  HMODULE module = LoadLibraryA("DSOUND.DLL");
  ASSERT_NE(module, nullptr);
  typedef HRESULT (*Enumerate)(LPDSENUMCALLBACKA, LPVOID);
  auto enumerate = reinterpret_cast<Enumerate>(GetProcAddress(module, "DirectSoundEnumerateA"));
  ASSERT_NE(enumerate, nullptr);
  EXPECT_NE(GetProcAddress(module, "DirectSoundCreate"), nullptr);
  struct Seen {
    std::vector<std::string> descriptions;
    bool firstHadNoGuid = false;
  } seen;
  ASSERT_EQ(enumerate(
                [](GUID* device, LPCSTR description, LPCSTR, LPVOID context) -> BOOL {
                  auto* list = static_cast<Seen*>(context);
                  if (list->descriptions.empty()) list->firstHadNoGuid = device == nullptr;
                  list->descriptions.push_back(description);
                  return TRUE;
                },
                &seen),
            DS_OK);
  ASSERT_GE(seen.descriptions.size(), 2u);
  EXPECT_TRUE(seen.firstHadNoGuid);
  FreeLibrary(module);
}

// The descriptions DirectSoundEnumerateA gives, in its order.
std::vector<std::string> ListedDevices() {
  std::vector<std::string> listed;
  EXPECT_EQ(DirectSoundEnumerateA(
                [](GUID*, LPCSTR description, LPCSTR, LPVOID context) -> BOOL {
                  static_cast<std::vector<std::string>*>(context)->push_back(description);
                  return TRUE;
                },
                &listed),
            DS_OK);
  return listed;
}

// A tenth of a second of sound plays to its end on the device; the wait only bounds a hang.
void ExpectATenthOfASecondPlaysToItsEnd(IDirectSound* directSound) {
  WAVEFORMATEX format = PcmFormat(44100, 2, 16);
  DSBUFFERDESC description = BufferDescription(&format, 4410 * 4);
  IDirectSoundBuffer* buffer = nullptr;
  ASSERT_EQ(directSound->CreateSoundBuffer(&description, &buffer, nullptr), DS_OK);
  ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
  DWORD status = DSBSTATUS_PLAYING;
  for (int round = 0; round < 1000 && (status & DSBSTATUS_PLAYING); ++round) {
    Sleep(10);
    ASSERT_EQ(buffer->GetStatus(&status), DS_OK);
  }
  EXPECT_EQ(status, 0u);
  buffer->Release();
}

// A driver that does not exist stands for a machine whose audio device cannot be opened.
TEST(DirectSoundDevice, WithoutAnAudioDeviceSoundPlaysOnASilentOutputThatSaysSo) {
  const std::string silentOutput = "No audio device could be opened: sound plays on a silent output";
  testing_door::ResetSoundSwitches();
  testing_door::UseSoundDriver("no-such-driver");
  IDirectSound* directSound = nullptr;
  ::testing::internal::CaptureStderr();
  const HRESULT created = DirectSoundCreate(nullptr, &directSound, nullptr);
  const std::string errors = ::testing::internal::GetCapturedStderr();
  ASSERT_EQ(created, DS_OK);
  EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
  EXPECT_NE(errors.find(silentOutput), std::string::npos) << errors;

  // The device list names the silent output, so the program's log says where its sound went.
  EXPECT_EQ(ListedDevices(), (std::vector<std::string>{"Primary Sound Driver", silentOutput}));

  // The silent output takes the samples at the real rate.
  ExpectATenthOfASecondPlaysToItsEnd(directSound);
  EXPECT_EQ(directSound->Release(), 0u);

  // The next device on a working driver is a real one again.
  testing_door::UseSoundDriver("dummy");
  ASSERT_EQ(DirectSoundCreate(nullptr, &directSound, nullptr), DS_OK);
  const std::vector<std::string> listed = ListedDevices();
  EXPECT_EQ(std::count(listed.begin(), listed.end(), silentOutput), 0);
  EXPECT_EQ(directSound->Release(), 0u);
  testing_door::ResetSoundSwitches();
}

TEST(DirectSoundDevice, TheDeviceCallbackPlaysABufferToItsEnd) {
  testing_door::ResetSoundSwitches();
  testing_door::UseSoundDriver("dummy");
  IDirectSound* directSound = nullptr;
  ASSERT_EQ(DirectSoundCreate(nullptr, &directSound, nullptr), DS_OK);
  ExpectATenthOfASecondPlaysToItsEnd(directSound);
  EXPECT_EQ(directSound->Release(), 0u);
}

TEST(DirectSoundMixer, FastPathsMatchTheReferencePath) {
  std::mt19937 random(20261210);
  for (int round = 0; round < 400; ++round) {
    platform::dsound::Voice voice;
    const WORD bits = random() % 2 ? 16 : 8;
    const WORD channels = random() % 2 ? 2 : 1;
    const DWORD rates[] = {44100, 22050, 11025, 48000, 100, 200000, static_cast<DWORD>(8000 + random() % 90000)};
    voice.format = PcmFormat(rates[random() % 7], channels, bits);
    voice.layout = platform::winmm::SampleLayoutOf(&voice.format);
    voice.frames = 1 + random() % 3000;
    voice.samples = std::make_shared<platform::dsound::SampleStore>();
    voice.samples->bytes.resize(voice.frames * voice.format.nBlockAlign);
    for (uint8_t& byte : voice.samples->bytes) byte = static_cast<uint8_t>(random());
    voice.frequency = random() % 3 ? voice.format.nSamplesPerSec : 100 + random() % 199901;
    voice.playing = true;
    voice.looping = random() % 2;
    voice.position = (static_cast<uint64_t>(random() % voice.frames) << 32) |
                     (random() % 2 ? 0 : (random() & 0xFFFF0000u));
    platform::dsound::GainsOf(-static_cast<int32_t>(random() % 3000), static_cast<int32_t>(random() % 4001) - 2000,
                              &voice.leftGain, &voice.rightGain);
    const int frames = 1 + random() % 5000;
    platform::dsound::Voice reference = voice;
    std::vector<int32_t> fast(static_cast<size_t>(frames) * 2, 7);
    std::vector<int32_t> plain(static_cast<size_t>(frames) * 2, 7);
    platform::dsound::MixVoice(voice, fast.data(), frames);
    platform::dsound::MixVoiceReference(reference, plain.data(), frames);
    ASSERT_EQ(fast, plain) << "round " << round;
    ASSERT_EQ(voice.position, reference.position) << "round " << round;
    ASSERT_EQ(voice.playing, reference.playing) << "round " << round;
  }
}

}  // namespace
