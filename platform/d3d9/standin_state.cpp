// The global record of the Direct3D 9 stand-in and its test door.
#include "d3d9/standin_state.h"

#include <cstdarg>
#include <cstdio>

#include "kernel/state.h"
#include "platform/ddraw.h"
#include "platform/display_modes.h"

namespace platform::d3d9 {

namespace {
AdapterMode AdapterModeOf(const DisplayModeRecord& mode) {
  D3DFORMAT format = D3DFMT_UNKNOWN;
  switch (mode.bits) {
    case 15:
      format = D3DFMT_X1R5G5B5;
      break;
    case 16:
      format = D3DFMT_R5G6B5;
      break;
    case 24:
      format = D3DFMT_R8G8B8;
      break;
    case 32:
      format = D3DFMT_X8R8G8B8;
      break;
  }
  return {static_cast<UINT>(mode.width), static_cast<UINT>(mode.height), static_cast<UINT>(mode.refresh), format};
}
}  // namespace

std::vector<AdapterMode> ListAdapterModes() {
  std::vector<AdapterMode> modes;
  for (const DisplayModeRecord& mode : ListDisplayModes()) modes.push_back(AdapterModeOf(mode));
  return modes;
}

void ChargeReadBack(uint64_t microseconds) {
  if (State().fakeClock.load()) State().fakeMicroseconds += microseconds;
}

AdapterMode DesktopAdapterMode() { return AdapterModeOf(CurrentDisplayMode()); }

Direct3DStandInState& StandIn() {
  static Direct3DStandInState* state =
      new Direct3DStandInState;  // Never destroyed: objects may outlive static teardown.
  return *state;
}

testing::Direct3DSwitches CurrentSwitches() {
  std::lock_guard<std::mutex> lock(StandIn().mutex);
  return StandIn().switches;
}

bool TakeFaultCount(std::atomic<int>& counter) {
  int value = counter.load();
  while (value != 0) {
    if (value < 0) return true;
    if (counter.compare_exchange_weak(value, value - 1)) return true;
  }
  return false;
}

void RecordCall(const char* name, const char* argumentFormat, ...) {
  if (!StandIn().recording.load(std::memory_order_relaxed)) return;
  char text[320];
  va_list arguments;
  va_start(arguments, argumentFormat);
  std::vsnprintf(text, sizeof(text), argumentFormat, arguments);
  va_end(arguments);
  std::lock_guard<std::mutex> lock(StandIn().mutex);
  StandIn().recordedCalls.push_back(std::string(name) + "(" + text + ")");
}

}  // namespace platform::d3d9

namespace platform::testing {

using platform::d3d9::StandIn;

void SetDirect3DSwitches(const Direct3DSwitches& switches) {
  std::lock_guard<std::mutex> lock(StandIn().mutex);
  StandIn().switches = switches;
}

void FailDeviceCreation(int count) { StandIn().failDeviceCreation = count; }
void FailDeviceResets(int count) { StandIn().failDeviceResets = count; }

void LoseDevices() {
  StandIn().devicesLost = true;
  ++StandIn().lostGeneration;
}
void RegainLostDevices() { StandIn().devicesLost = false; }
void RefuseSystemMemorySurfaceLocks(bool on) { StandIn().refuseSystemMemorySurfaceLocks = on; }

int LiveDirect3DObjects() { return StandIn().liveObjects.load(); }

void RecordDeviceCalls(bool on) { StandIn().recording = on; }

std::vector<std::string> TakeRecordedDeviceCalls() {
  std::lock_guard<std::mutex> lock(StandIn().mutex);
  std::vector<std::string> calls;
  calls.swap(StandIn().recordedCalls);
  return calls;
}

void UseRasterFastPaths(bool on) { StandIn().fastPaths = on; }

void ResetDirect3DSwitches() {
  {
    std::lock_guard<std::mutex> lock(StandIn().mutex);
    StandIn().switches = Direct3DSwitches{};
    StandIn().recordedCalls.clear();
  }
  StandIn().failDeviceCreation = 0;
  StandIn().failDeviceResets = 0;
  StandIn().devicesLost = false;
  StandIn().refuseSystemMemorySurfaceLocks = false;
  StandIn().recording = false;
  StandIn().fastPaths = true;
  RefuseComClass(CLSID_DirectDraw7, false);
}

}  // namespace platform::testing
