// The DirectSound object, its buffers and the switches of the test door.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "dsound/mixer.h"
#include "platform/dsound.h"

namespace platform::dsound {

class SoundBuffer;

// The SDL driver of the silent output that stands in when no audio device opens, and the line
// that says so (on the error stream, and as the device's description).
inline constexpr char kSilentDriver[] = "dummy";
inline constexpr char kSilentOutputDescription[] = "No audio device could be opened: sound plays on a silent output";

// The test door's switches.
struct SoundSwitches {
  std::mutex mutex;  // Guards the driver name.
  std::string driverName;
  std::atomic<bool> failDevice{false};
  std::atomic<int> refuseBuffers{0};
  std::atomic<DWORD> minimumRate{0};
  std::atomic<DWORD> maximumRate{0};
  std::atomic<bool> manualMixing{false};
};
SoundSwitches& Switches();

class DirectSoundObject final : public ComObject<DirectSoundObject, IDirectSound> {
 public:
  static constexpr const IID* kInterfaceIds[] = {&IID_IDirectSound};
  HRESULT CreateSoundBuffer(LPCDSBUFFERDESC description, LPDIRECTSOUNDBUFFER* buffer, LPUNKNOWN outer) override;
  HRESULT GetCaps(LPDSCAPS caps) override;
  HRESULT DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER original, LPDIRECTSOUNDBUFFER* duplicate) override;
  HRESULT SetCooperativeLevel(HWND window, DWORD level) override;
  HRESULT Initialize(const GUID* device) override;

  // Mixes `frames` output frames of every playing buffer into `output` (interleaved stereo).
  void Mix(int16_t* output, int frames);

  // The mixer lock: the device callback, the test door and every buffer call take it.
  std::mutex mixerMutex;
  std::vector<SoundBuffer*> buffers;  // Secondary buffers, guarded by the mixer lock.
  DWORD cooperativeLevel = 0;
  bool hasPrimaryFormat = false;
  bool silentOutput = false;  // No audio device opened: the silent driver takes the samples.
  WAVEFORMATEX primaryFormat{};

 private:
  friend class ComObject<DirectSoundObject, IDirectSound>;
  ~DirectSoundObject();
  void CloseDevice();

  bool initialised_ = false;
  uint32_t deviceId_ = 0;
  std::vector<int32_t> accumulator_;  // Guarded by the mixer lock.
};

class SoundBuffer final : public ComObject<SoundBuffer, IDirectSoundBuffer> {
 public:
  static constexpr const IID* kInterfaceIds[] = {&IID_IDirectSoundBuffer};
  SoundBuffer(DirectSoundObject* owner, DWORD flags, bool primary);
  // The last reference leaves the owner's mixer.
  void OnFinalRelease();
  HRESULT GetCurrentPosition(LPDWORD playCursor, LPDWORD writeCursor) override;
  HRESULT GetStatus(LPDWORD status) override;
  HRESULT Lock(DWORD offset, DWORD bytes, LPVOID* part1, LPDWORD bytes1, LPVOID* part2, LPDWORD bytes2,
               DWORD flags) override;
  HRESULT Play(DWORD reserved, DWORD priority, DWORD flags) override;
  HRESULT SetCurrentPosition(DWORD offset) override;
  HRESULT SetFormat(LPCWAVEFORMATEX format) override;
  HRESULT SetVolume(LONG volume) override;
  HRESULT SetPan(LONG pan) override;
  HRESULT SetFrequency(DWORD frequency) override;
  HRESULT Stop() override;
  HRESULT Unlock(LPVOID part1, DWORD bytes1, LPVOID part2, DWORD bytes2) override;

  // Set while the owner lives; the owner's end detaches its buffers.
  DirectSoundObject* owner;
  const DWORD flags;
  const bool primary;
  Voice voice;  // Guarded by the owner's mixer lock.
  int32_t volume = 0;
  int32_t pan = 0;
  bool primaryPlaying = false;

 private:
  friend class ComObject<SoundBuffer, IDirectSoundBuffer>;
  ~SoundBuffer();
  DWORD SizeInBytes() const { return static_cast<DWORD>(voice.samples ? voice.samples->bytes.size() : 0); }

  // The staging copy of the window that Lock handed out, committed by Unlock.
  std::vector<uint8_t> staging_;
  bool locked_ = false;
  DWORD lockOffset_ = 0;
  DWORD lockBytes1_ = 0;
  DWORD lockBytes2_ = 0;
};

// True for a format the mixer plays: integer PCM of 8, 16, 24 or 32 bits or 32-bit float, plain
// or extensible, 1 or 2 channels, a rate in range and a consistent block align.
bool IsPlayableFormat(const WAVEFORMATEX* format);

// The most recently initialised DirectSound object that is still alive, with the registry lock
// held by the guard; null when there is none.
struct LatestDevice {
  std::unique_lock<std::mutex> guard;
  DirectSoundObject* device = nullptr;
};
LatestDevice LockLatestDevice();

}  // namespace platform::dsound
