// The Direct3D 9 stand-in's one global record: the adapter it reports, the test switches, the
// live-object count and the call recorder; and the counted-object base every object builds on.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "platform/d3d9.h"
#include "platform/testing.h"

namespace platform::d3d9 {

struct Direct3DStandInState {
  std::mutex mutex;  // Guards the switches and the recorder.
  testing::Direct3DSwitches switches;
  std::atomic<int> failDeviceCreation{0};
  std::atomic<int> failDeviceResets{0};
  std::atomic<int> lostGeneration{0};  // Bumped by LoseDevices.
  std::atomic<bool> devicesLost{false};
  std::atomic<bool> refuseSystemMemorySurfaceLocks{false};
  std::atomic<int> liveObjects{0};
  std::atomic<bool> recording{false};
  std::vector<std::string> recordedCalls;
  std::atomic<bool> fastPaths{true};
};

Direct3DStandInState& StandIn();

// The shared display (platform/display_modes.h) as the adapter reports it: 16-bit modes are
// R5G6B5, 32-bit ones X8R8G8B8.
struct AdapterMode {
  UINT width = 0;
  UINT height = 0;
  UINT refreshRate = 60;
  D3DFORMAT format = D3DFMT_X8R8G8B8;
};
std::vector<AdapterMode> ListAdapterModes();
// Moves the fake clock by a read-back's cost (nothing on the real clock).
void ChargeReadBack(uint64_t microseconds);
AdapterMode DesktopAdapterMode();
testing::Direct3DSwitches CurrentSwitches();
bool TakeFaultCount(std::atomic<int>& counter);
// Records "Name(arguments)" while the test door records calls; the arguments are formatted only
// then, so a program that no test watches pays one flag test per call.
void RecordCall(const char* name, const char* argumentFormat, ...) __attribute__((format(printf, 2, 3)));

// Reference counts the way the platform keeps them: the count the program sees (external) and
// the references the device holds for its bindings (internal). The object dies when both are 0.
// A sub-object (a texture level, the implicit swap chain's back buffer) has no count of its own:
// it forwards every reference to its container.
class CountedObject {
 public:
  CountedObject() { ++StandIn().liveObjects; }
  virtual ~CountedObject() { --StandIn().liveObjects; }
  CountedObject(const CountedObject&) = delete;
  CountedObject& operator=(const CountedObject&) = delete;

  ULONG AddExternal() {
    if (container_) return container_->AddExternal();
    return ++external_;
  }
  ULONG ReleaseExternal() {
    if (container_) return container_->ReleaseExternal();
    ULONG value = external_.load();
    if (value == 0) return 0;  // An extra Release is refused rather than freeing twice.
    value = --external_;
    if (value == 0) {
      AddInternal();  // Keeps this alive while it lets go of what it holds.
      OnLastExternalRelease();
      ReleaseInternal();
    }
    return value;
  }
  void AddInternal() {
    if (container_) return container_->AddInternal();
    ++internal_;
  }
  void ReleaseInternal() {
    if (container_) return container_->ReleaseInternal();
    if (--internal_ == 0 && external_.load() == 0) delete this;
  }
  // The count behind IUnknown (ComInterfaces): the program's references.
  ULONG AddReference() { return AddExternal(); }
  ULONG DropReference() { return ReleaseExternal(); }
  ULONG ExternalCount() const { return container_ ? container_->ExternalCount() : external_.load(); }
  void SetContainer(CountedObject* container) {
    container_ = container;
    external_ = 0;
  }

 protected:
  virtual void OnLastExternalRelease() {}

 private:
  std::atomic<ULONG> external_{1};
  std::atomic<ULONG> internal_{0};
  CountedObject* container_ = nullptr;
};

}  // namespace platform::d3d9
