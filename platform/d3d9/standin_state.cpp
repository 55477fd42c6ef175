// The global record of the Direct3D 9 stand-in and its test door.
#include "d3d9/standin_state.h"

#include <cstdarg>
#include <cstdio>

#include "platform/ddraw.h"

namespace platform::d3d9 {

std::vector<testing::DisplayAdapterMode> DefaultDisplayModes() {
  std::vector<testing::DisplayAdapterMode> modes;
  const UINT sizes[][2] = {{320, 240}, {640, 480}, {800, 600}, {1024, 768}, {1280, 720}, {1280, 1024}, {1920, 1080}};
  for (DWORD format : {static_cast<DWORD>(D3DFMT_R5G6B5), static_cast<DWORD>(D3DFMT_X8R8G8B8)})
    for (const auto& size : sizes) modes.push_back({size[0], size[1], 60, format});
  return modes;
}

namespace {
Direct3DStandInState* MakeState() {
  auto* state = new Direct3DStandInState;
  state->desktop = {1920, 1080, 60, D3DFMT_X8R8G8B8};
  state->modes = DefaultDisplayModes();
  return state;
}
}  // namespace

Direct3DStandInState& StandIn() {
  static Direct3DStandInState* state = MakeState();
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

void RecordCall(const char* name, const std::string& arguments) {
  if (!StandIn().recording.load()) return;
  std::lock_guard<std::mutex> lock(StandIn().mutex);
  StandIn().recordedCalls.push_back(std::string(name) + "(" + arguments + ")");
}

std::string FormatArguments(const char* format, ...) {
  char text[256];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof(text), format, arguments);
  va_end(arguments);
  return text;
}

}  // namespace platform::d3d9

namespace platform::testing {

using platform::d3d9::StandIn;

void SetDisplayAdapter(const DisplayAdapterMode& desktop, const std::vector<DisplayAdapterMode>& modes) {
  std::lock_guard<std::mutex> lock(StandIn().mutex);
  StandIn().desktop = desktop;
  StandIn().modes = modes;
}

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
  StandIn().recording = false;
  StandIn().fastPaths = true;
  SetDisplayAdapter({1920, 1080, 60, D3DFMT_X8R8G8B8}, platform::d3d9::DefaultDisplayModes());
  RefuseComClass(CLSID_DirectDraw7, false);
}

}  // namespace platform::testing
