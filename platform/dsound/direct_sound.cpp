// The DirectSound object: capabilities, cooperative level, buffer creation and duplication, and
// the SDL playback device whose callback runs the mixer.
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "dsound/device.h"
#include "platform/kernel.h"

namespace platform::dsound {

namespace {

struct DeviceRegistry {
  std::mutex mutex;
  std::vector<DirectSoundObject*> devices;  // Initialised and alive, oldest first.
};

DeviceRegistry& Registry() {
  static DeviceRegistry registry;
  return registry;
}

// Counts one use of a fault switch: true when this use must fail.
bool TakeFault(std::atomic<int>& counter) {
  int value = counter.load();
  while (value != 0) {
    if (value < 0) return true;
    if (counter.compare_exchange_weak(value, value - 1)) return true;
  }
  return false;
}

void AudioCallback(void* userData, Uint8* stream, int length) {
  if (Switches().manualMixing) {
    std::memset(stream, 0, static_cast<size_t>(length));
    return;
  }
  static_cast<DirectSoundObject*>(userData)->Mix(reinterpret_cast<int16_t*>(stream), length / 4);
}

// Starts SDL's audio on the driver its hint names and opens the playback device; 0 when either
// fails (SDL_GetError says why), with the subsystem left as it was.
SDL_AudioDeviceID OpenOutput(const SDL_AudioSpec& wanted) {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return 0;
  SDL_AudioSpec obtained{};
  const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
  if (device == 0) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  return device;
}

}  // namespace

SoundSwitches& Switches() {
  static SoundSwitches switches;
  return switches;
}

LatestDevice LockLatestDevice() {
  LatestDevice latest{std::unique_lock<std::mutex>(Registry().mutex), nullptr};
  if (!Registry().devices.empty()) latest.device = Registry().devices.back();
  return latest;
}

bool IsPlayableFormat(const WAVEFORMATEX* format) {
  if (platform::winmm::SampleLayoutOf(format) == platform::winmm::SampleLayout::kNone) return false;
  if (format->nChannels != 1 && format->nChannels != 2) return false;
  return format->nSamplesPerSec >= DSBFREQUENCY_MIN && format->nSamplesPerSec <= DSBFREQUENCY_MAX;
}

DirectSoundObject::~DirectSoundObject() { CloseDevice(); }

void DirectSoundObject::CloseDevice() {
  {
    std::lock_guard<std::mutex> lock(Registry().mutex);
    std::erase(Registry().devices, this);
  }
  if (deviceId_ != 0) {
    SDL_CloseAudioDevice(deviceId_);  // Returns once the callback has finished.
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    deviceId_ = 0;
  }
  // Buffers the program still holds outlive the device: they answer DSERR_UNINITIALIZED.
  std::lock_guard<std::mutex> lock(mixerMutex);
  for (SoundBuffer* buffer : buffers) {
    buffer->owner = nullptr;
    buffer->voice.playing = false;
  }
  buffers.clear();
}

HRESULT DirectSoundObject::Initialize(const GUID*) {
  if (initialised_) return DSERR_ALREADYINITIALIZED;
  if (Switches().failDevice) return DSERR_NODRIVER;
  {
    std::lock_guard<std::mutex> lock(Switches().mutex);
    if (!Switches().driverName.empty()) SDL_SetHint(SDL_HINT_AUDIODRIVER, Switches().driverName.c_str());
  }
  SDL_AudioSpec wanted{};
  wanted.freq = static_cast<int>(kOutputRate);
  wanted.format = AUDIO_S16SYS;
  wanted.channels = kOutputChannels;
  wanted.samples = kPeriodFrames;
  wanted.callback = AudioCallback;
  wanted.userdata = this;
  deviceId_ = OpenOutput(wanted);
  if (deviceId_ == 0) {
    // A machine without a sound card (a server, a container) still runs the program: it plays
    // into a silent device that takes the samples at the real rate, so cursors move and sounds
    // end as they would be heard.
    const std::string reason = SDL_GetError();
    SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, kSilentDriver, SDL_HINT_OVERRIDE);
    deviceId_ = OpenOutput(wanted);
    SDL_ResetHint(SDL_HINT_AUDIODRIVER);
    if (deviceId_ == 0) return DSERR_NODRIVER;
    silentOutput = true;
    std::fprintf(stderr, "%s (%s)\n", kSilentOutputDescription, reason.c_str());
  }
  initialised_ = true;
  {
    std::lock_guard<std::mutex> lock(Registry().mutex);
    Registry().devices.push_back(this);
  }
  SDL_PauseAudioDevice(deviceId_, 0);
  return DS_OK;
}

HRESULT DirectSoundObject::GetCaps(LPDSCAPS caps) {
  if (!caps || caps->dwSize != sizeof(DSCAPS)) return DSERR_INVALIDPARAM;
  if (!initialised_) return DSERR_UNINITIALIZED;
  const DWORD minimum = Switches().minimumRate;
  const DWORD maximum = Switches().maximumRate;
  std::memset(caps, 0, sizeof(DSCAPS));
  caps->dwSize = sizeof(DSCAPS);
  caps->dwFlags = DSCAPS_PRIMARYMONO | DSCAPS_PRIMARYSTEREO | DSCAPS_PRIMARY8BIT | DSCAPS_PRIMARY16BIT |
                  DSCAPS_CONTINUOUSRATE | DSCAPS_EMULDRIVER | DSCAPS_SECONDARYMONO | DSCAPS_SECONDARYSTEREO |
                  DSCAPS_SECONDARY8BIT | DSCAPS_SECONDARY16BIT;
  caps->dwMinSecondarySampleRate = minimum ? minimum : DSBFREQUENCY_MIN;
  caps->dwMaxSecondarySampleRate = maximum ? maximum : DSBFREQUENCY_MAX;
  caps->dwPrimaryBuffers = 1;
  return DS_OK;
}

HRESULT DirectSoundObject::SetCooperativeLevel(HWND window, DWORD level) {
  if (!initialised_) return DSERR_UNINITIALIZED;
  if (!window || level < DSSCL_NORMAL || level > DSSCL_WRITEPRIMARY) return DSERR_INVALIDPARAM;
  cooperativeLevel = level;
  return DS_OK;
}

HRESULT DirectSoundObject::CreateSoundBuffer(LPCDSBUFFERDESC description, LPDIRECTSOUNDBUFFER* buffer,
                                             LPUNKNOWN outer) {
  if (!buffer) return DSERR_INVALIDPARAM;
  *buffer = nullptr;
  if (!description || description->dwSize != sizeof(DSBUFFERDESC)) return DSERR_INVALIDPARAM;
  if (outer) return DSERR_NOAGGREGATION;
  if (!initialised_) return DSERR_UNINITIALIZED;
  const DWORD flags = description->dwFlags;
  if (flags & DSBCAPS_PRIMARYBUFFER) {
    if (description->dwBufferBytes != 0 || description->lpwfxFormat) return DSERR_INVALIDPARAM;
    SoundBuffer* primary = new (std::nothrow) SoundBuffer(this, flags, true);
    if (!primary) return DSERR_OUTOFMEMORY;
    *buffer = primary;
    return DS_OK;
  }
  const WAVEFORMATEX* format = description->lpwfxFormat;
  if (!format) return DSERR_INVALIDPARAM;
  if (!IsPlayableFormat(format)) return DSERR_BADFORMAT;
  const DWORD bytes = description->dwBufferBytes;
  if (bytes < DSBSIZE_MIN || bytes > DSBSIZE_MAX || bytes < format->nBlockAlign) return DSERR_INVALIDPARAM;
  if (TakeFault(Switches().refuseBuffers)) return DSERR_OUTOFMEMORY;

  SoundBuffer* created = new (std::nothrow) SoundBuffer(this, flags, false);
  if (!created) return DSERR_OUTOFMEMORY;
  try {
    created->voice.samples = std::make_shared<SampleStore>();
    // Silence: 8-bit samples are unsigned around 128.
    created->voice.samples->bytes.assign(bytes, format->wBitsPerSample == 8 ? 0x80 : 0x00);
  } catch (const std::bad_alloc&) {
    created->Release();
    return DSERR_OUTOFMEMORY;
  }
  created->voice.format = *format;
  created->voice.format.cbSize = 0;
  created->voice.layout = platform::winmm::SampleLayoutOf(format);
  created->voice.frames = bytes / format->nBlockAlign;
  created->voice.frequency = format->nSamplesPerSec;
  {
    std::lock_guard<std::mutex> lock(mixerMutex);
    buffers.push_back(created);
  }
  *buffer = created;
  return DS_OK;
}

HRESULT DirectSoundObject::DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER original, LPDIRECTSOUNDBUFFER* duplicate) {
  if (!duplicate) return DSERR_INVALIDPARAM;
  *duplicate = nullptr;
  if (!initialised_) return DSERR_UNINITIALIZED;
  auto* source = dynamic_cast<SoundBuffer*>(original);
  if (!source || source->owner != this || source->primary) return DSERR_INVALIDPARAM;
  if (TakeFault(Switches().refuseBuffers)) return DSERR_OUTOFMEMORY;
  SoundBuffer* copy = new (std::nothrow) SoundBuffer(this, source->flags, false);
  if (!copy) return DSERR_OUTOFMEMORY;
  std::lock_guard<std::mutex> lock(mixerMutex);
  // Same samples, same settings; its own cursor, stopped at 0.
  copy->voice = source->voice;
  copy->voice.playing = false;
  copy->voice.looping = false;
  copy->voice.position = 0;
  copy->volume = source->volume;
  copy->pan = source->pan;
  buffers.push_back(copy);
  *duplicate = copy;
  return DS_OK;
}

void DirectSoundObject::Mix(int16_t* output, int frames) {
  std::lock_guard<std::mutex> lock(mixerMutex);
  accumulator_.assign(static_cast<size_t>(frames) * kOutputChannels, 0);
  for (SoundBuffer* buffer : buffers)
    if (buffer->voice.playing) MixVoice(buffer->voice, accumulator_.data(), frames);
  ClipToOutput(accumulator_.data(), output, frames * kOutputChannels);
}

HRESULT CreateDirectSoundObject(LPUNKNOWN outer, REFIID iid, void** object) {
  if (outer) return CLASS_E_NOAGGREGATION;
  IDirectSound* directSound = new (std::nothrow) DirectSoundObject;
  if (!directSound) return E_OUTOFMEMORY;
  HRESULT result = directSound->QueryInterface(iid, object);
  directSound->Release();
  return result;
}

}  // namespace platform::dsound

namespace platform {
// The class registry's entry for CLSID_DirectSound.
HRESULT CreateDirectSoundObject(LPUNKNOWN outer, REFIID iid, void** object) {
  return dsound::CreateDirectSoundObject(outer, iid, object);
}
}  // namespace platform

HRESULT DirectSoundCreate(const GUID* device, LPDIRECTSOUND* directSound, LPUNKNOWN outer) {
  if (!directSound) return DSERR_INVALIDPARAM;
  *directSound = nullptr;
  if (outer) return DSERR_NOAGGREGATION;
  IDirectSound* created = nullptr;
  HRESULT result = platform::dsound::CreateDirectSoundObject(nullptr, IID_IDirectSound,
                                                             reinterpret_cast<void**>(&created));
  if (FAILED(result)) return result;
  result = created->Initialize(device);
  if (FAILED(result)) {
    created->Release();
    return result;
  }
  *directSound = created;
  return DS_OK;
}

HRESULT DirectSoundEnumerateA(LPDSENUMCALLBACKA callback, LPVOID context) {
  if (!callback) return DSERR_INVALIDPARAM;
  if (!callback(nullptr, "Primary Sound Driver", "", context)) return DS_OK;
  bool silent = false;
  {
    platform::dsound::LatestDevice latest = platform::dsound::LockLatestDevice();
    silent = latest.device && latest.device->silentOutput;
  }
  if (silent) {
    // The device in use is the silent one: that is what plays, whatever else the machine lists.
    GUID device = {0x5A560000u, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
    callback(&device, platform::dsound::kSilentOutputDescription, platform::dsound::kSilentDriver, context);
    return DS_OK;
  }
  {
    std::lock_guard<std::mutex> lock(platform::dsound::Switches().mutex);
    const std::string& driver = platform::dsound::Switches().driverName;
    if (!driver.empty()) SDL_SetHint(SDL_HINT_AUDIODRIVER, driver.c_str());
  }
  if (platform::dsound::Switches().failDevice || SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return DS_OK;
  // One entry per playback device SDL lists, or the driver's default device when it lists none.
  const std::string module = SDL_GetCurrentAudioDriver() ? SDL_GetCurrentAudioDriver() : "";
  const int count = SDL_GetNumAudioDevices(0);
  for (int i = 0; i < std::max(count, 1); ++i) {
    GUID device = {0x5A560000u + static_cast<DWORD>(i), 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
    const char* name = count > 0 ? SDL_GetAudioDeviceName(i, 0) : nullptr;
    const std::string description = platform::Utf8ToCp932(name ? name : "Default Output Device");
    if (!callback(&device, description.c_str(), module.c_str(), context)) break;
  }
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  return DS_OK;
}
