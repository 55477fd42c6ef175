// The test door's sound switches and the manual mix.
#include "platform/testing.h"
#include "dsound/device.h"

namespace platform::testing {

using platform::dsound::Switches;

void UseSoundDriver(const std::string& driverName) {
  std::lock_guard<std::mutex> lock(Switches().mutex);
  Switches().driverName = driverName;
}

void FailSoundDevice(bool failing) { Switches().failDevice = failing; }
void RefuseSoundBuffers(int count) { Switches().refuseBuffers = count; }

void SetSoundSampleRateRange(DWORD minimum, DWORD maximum) {
  Switches().minimumRate = minimum;
  Switches().maximumRate = maximum;
}

void UseManualSoundMixing(bool manual) { Switches().manualMixing = manual; }

std::vector<int16_t> MixSoundFrames(int frames) {
  std::vector<int16_t> output;
  platform::dsound::LatestDevice latest = platform::dsound::LockLatestDevice();
  if (!latest.device || frames <= 0) return output;
  output.resize(static_cast<size_t>(frames) * platform::dsound::kOutputChannels);
  latest.device->Mix(output.data(), frames);
  return output;
}

bool LastPrimarySoundFormat(WAVEFORMATEX* out) {
  platform::dsound::LatestDevice latest = platform::dsound::LockLatestDevice();
  if (!latest.device) return false;
  std::lock_guard<std::mutex> lock(latest.device->mixerMutex);
  if (!latest.device->hasPrimaryFormat) return false;
  *out = latest.device->primaryFormat;
  return true;
}

void ResetSoundSwitches() {
  UseSoundDriver("");
  FailSoundDevice(false);
  RefuseSoundBuffers(0);
  SetSoundSampleRateRange(0, 0);
  UseManualSoundMixing(false);
  RemoveRecordingMciDevice();
}

}  // namespace platform::testing
