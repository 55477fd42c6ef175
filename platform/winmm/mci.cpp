// Media control commands on a machine without a MIDI synthesiser: opening a sequencer fails. A
// test may install one recording device that accepts play and close, records them, and posts
// MM_MCINOTIFY to the play's callback window when the test ends the play.
#include <mutex>
#include <vector>

#include "platform/testing.h"
#include "platform/user.h"
#include "platform/winmm.h"

namespace {

constexpr MCIDEVICEID kRecordingDevice = 1;

struct MciState {
  std::mutex mutex;
  bool installed = false;
  bool open = false;
  bool playing = false;
  bool notifyAsked = false;
  HWND callback = nullptr;
  std::vector<platform::testing::RecordedMciCommand> commands;
};

MciState& State() {
  static MciState state;
  return state;
}

}  // namespace

MCIERROR mciSendCommandA(MCIDEVICEID device, UINT message, DWORD_PTR flags, DWORD_PTR parameters) {
  MciState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (message == MCI_OPEN) return MCIERR_SEQ_NOMIDIPRESENT;
  if (!state.installed || !state.open || device != kRecordingDevice) return MCIERR_INVALID_DEVICE_ID;
  platform::testing::RecordedMciCommand command{device, message, flags, 0, nullptr};
  if (parameters)
    command.callback = reinterpret_cast<HWND>(reinterpret_cast<MCI_GENERIC_PARMS*>(parameters)->dwCallback);
  if (message == MCI_PLAY) {
    if (parameters) command.from = reinterpret_cast<MCI_PLAY_PARMS*>(parameters)->dwFrom;
    state.playing = true;
    state.notifyAsked = (flags & MCI_NOTIFY) != 0;
    state.callback = command.callback;
  } else if (message == MCI_CLOSE) {
    state.open = false;
    state.playing = false;
  }
  state.commands.push_back(command);
  return 0;
}

namespace platform::testing {

MCIDEVICEID InstallRecordingMciDevice() {
  MciState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.installed = true;
  state.open = true;
  state.playing = false;
  state.notifyAsked = false;
  state.callback = nullptr;
  state.commands.clear();
  return kRecordingDevice;
}

void RemoveRecordingMciDevice() {
  MciState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.installed = false;
  state.open = false;
  state.playing = false;
  state.commands.clear();
}

std::vector<RecordedMciCommand> TakeRecordedMciCommands() {
  MciState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  std::vector<RecordedMciCommand> commands;
  commands.swap(state.commands);
  return commands;
}

bool EndRecordedMciPlay() {
  MciState& state = State();
  HWND callback = nullptr;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!state.playing) return false;
    state.playing = false;
    if (!state.notifyAsked) return true;
    callback = state.callback;
  }
  return PostMessageA(callback, MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, static_cast<LPARAM>(kRecordingDevice)) != FALSE;
}

}  // namespace platform::testing
