// The pad list: SDL2 joysticks and game controllers, then the test door's virtual pads.
#include "dinput/pads.h"

#include <SDL.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/testing.h"

namespace platform {
namespace {

struct VirtualPad {
  std::string name;
  int axes[6] = {};
  int hat = -1;
  BYTE buttons[32] = {};
  bool forceFeedback = false;
  int vibration = 0;
};

struct SystemPad {
  SDL_Joystick* joystick = nullptr;
  SDL_GameController* controller = nullptr;
};

struct PadTable {
  std::mutex mutex;
  bool ignoreSystem = false;
  bool sdlReady = false;
  std::vector<SystemPad> system;
  std::vector<VirtualPad> virtualPads;
  int count = 0;
};

PadTable& Table() {
  static PadTable* table = new PadTable;
  return *table;
}

void CloseSystemPads(PadTable& table) {
  for (SystemPad& pad : table.system) {
    if (pad.controller)
      SDL_GameControllerClose(pad.controller);
    else if (pad.joystick)
      SDL_JoystickClose(pad.joystick);
  }
  table.system.clear();
}

int HatToHundredths(Uint8 hat) {
  switch (hat) {
    case SDL_HAT_UP:
      return 0;
    case SDL_HAT_RIGHTUP:
      return 4500;
    case SDL_HAT_RIGHT:
      return 9000;
    case SDL_HAT_RIGHTDOWN:
      return 13500;
    case SDL_HAT_DOWN:
      return 18000;
    case SDL_HAT_LEFTDOWN:
      return 22500;
    case SDL_HAT_LEFT:
      return 27000;
    case SDL_HAT_LEFTUP:
      return 31500;
    default:
      return -1;
  }
}

void ReadSystemPad(const SystemPad& pad, PadSnapshot* out) {
  SDL_JoystickUpdate();
  out->name = SDL_JoystickName(pad.joystick) ? SDL_JoystickName(pad.joystick) : "Joystick";
  out->forceFeedback = SDL_JoystickHasRumble(pad.joystick) == SDL_TRUE;
  if (pad.controller) {
    // A game controller in the usual pad layout: left stick X/Y, right stick Z/Rz, triggers Rx/Ry.
    SDL_GameController* c = pad.controller;
    out->axes[0] = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTX);
    out->axes[1] = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTY);
    out->axes[2] = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_RIGHTX);
    out->axes[3] = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_TRIGGERLEFT) * 2 - 32767;
    out->axes[4] = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_TRIGGERRIGHT) * 2 - 32767;
    out->axes[5] = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_RIGHTY);
    out->axisCount = 6;
    const SDL_GameControllerButton order[] = {SDL_CONTROLLER_BUTTON_A,
                                              SDL_CONTROLLER_BUTTON_B,
                                              SDL_CONTROLLER_BUTTON_X,
                                              SDL_CONTROLLER_BUTTON_Y,
                                              SDL_CONTROLLER_BUTTON_LEFTSHOULDER,
                                              SDL_CONTROLLER_BUTTON_RIGHTSHOULDER,
                                              SDL_CONTROLLER_BUTTON_BACK,
                                              SDL_CONTROLLER_BUTTON_START,
                                              SDL_CONTROLLER_BUTTON_LEFTSTICK,
                                              SDL_CONTROLLER_BUTTON_RIGHTSTICK,
                                              SDL_CONTROLLER_BUTTON_GUIDE};
    int count = 0;
    for (SDL_GameControllerButton button : order)
      out->buttons[count++] = SDL_GameControllerGetButton(c, button) ? 0x80 : 0;
    out->buttonCount = count;
    Uint8 hat = 0;
    if (SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_UP)) hat |= SDL_HAT_UP;
    if (SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_DOWN)) hat |= SDL_HAT_DOWN;
    if (SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_LEFT)) hat |= SDL_HAT_LEFT;
    if (SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_RIGHT)) hat |= SDL_HAT_RIGHT;
    out->hat = HatToHundredths(hat);
    return;
  }
  SDL_Joystick* j = pad.joystick;
  out->axisCount = std::min(SDL_JoystickNumAxes(j), 6);
  for (int a = 0; a < out->axisCount; ++a) out->axes[a] = SDL_JoystickGetAxis(j, a);
  out->buttonCount = std::min(SDL_JoystickNumButtons(j), 32);
  for (int b = 0; b < out->buttonCount; ++b) out->buttons[b] = SDL_JoystickGetButton(j, b) ? 0x80 : 0;
  out->hat = SDL_JoystickNumHats(j) > 0 ? HatToHundredths(SDL_JoystickGetHat(j, 0)) : -1;
}

}  // namespace

int EnumeratePads() {
  PadTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  CloseSystemPads(table);
  if (!table.ignoreSystem) {
    if (!table.sdlReady) table.sdlReady = SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER) == 0;
    if (table.sdlReady) {
      for (int i = 0; i < SDL_NumJoysticks(); ++i) {
        SystemPad pad;
        if (SDL_IsGameController(i)) {
          pad.controller = SDL_GameControllerOpen(i);
          pad.joystick = pad.controller ? SDL_GameControllerGetJoystick(pad.controller) : nullptr;
        } else {
          pad.joystick = SDL_JoystickOpen(i);
        }
        if (pad.joystick) table.system.push_back(pad);
      }
    }
  }
  table.count = static_cast<int>(table.system.size() + table.virtualPads.size());
  return table.count;
}

int PadCount() {
  std::lock_guard<std::mutex> lock(Table().mutex);
  return Table().count;
}

bool ReadPad(int index, PadSnapshot* out) {
  PadTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  *out = PadSnapshot{};
  if (index < 0 || index >= table.count) return false;
  if (index < static_cast<int>(table.system.size())) {
    const SystemPad& pad = table.system[static_cast<size_t>(index)];
    if (!SDL_JoystickGetAttached(pad.joystick)) return false;
    ReadSystemPad(pad, out);
    out->present = true;
    return true;
  }
  size_t virtualIndex = static_cast<size_t>(index) - table.system.size();
  if (virtualIndex >= table.virtualPads.size()) return false;
  const VirtualPad& pad = table.virtualPads[virtualIndex];
  out->present = true;
  out->name = pad.name;
  std::copy(std::begin(pad.axes), std::end(pad.axes), out->axes);
  std::copy(std::begin(pad.buttons), std::end(pad.buttons), out->buttons);
  out->hat = pad.hat;
  out->axisCount = 6;
  out->buttonCount = 32;
  out->forceFeedback = pad.forceFeedback;
  return true;
}

void SetPadVibration(int index, int strength) {
  PadTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  if (index < 0 || index >= table.count) return;
  strength = std::clamp(strength, 0, 10000);
  if (index < static_cast<int>(table.system.size())) {
    const Uint16 level = static_cast<Uint16>(strength * 65535 / 10000);
    // Endless effects are renewed by each start; a minute covers any frame gap.
    SDL_JoystickRumble(table.system[static_cast<size_t>(index)].joystick, level, level, strength ? 60000 : 0);
    return;
  }
  size_t virtualIndex = static_cast<size_t>(index) - table.system.size();
  if (virtualIndex < table.virtualPads.size()) table.virtualPads[virtualIndex].vibration = strength;
}

}  // namespace platform

namespace platform::testing {

int AddVirtualPad(const std::string& name, bool forceFeedback) {
  std::lock_guard<std::mutex> lock(Table().mutex);
  VirtualPad pad;
  pad.name = name;
  pad.forceFeedback = forceFeedback;
  Table().virtualPads.push_back(pad);
  return static_cast<int>(Table().virtualPads.size()) - 1;
}

static VirtualPad* VirtualPadAt(int pad) {
  if (pad < 0 || pad >= static_cast<int>(Table().virtualPads.size())) return nullptr;
  return &Table().virtualPads[static_cast<size_t>(pad)];
}

void SetVirtualPadAxis(int pad, int axis, int value) {
  std::lock_guard<std::mutex> lock(Table().mutex);
  if (VirtualPad* p = VirtualPadAt(pad); p && axis >= 0 && axis < 6) p->axes[axis] = std::clamp(value, -32768, 32767);
}

void SetVirtualPadButton(int pad, int button, bool down) {
  std::lock_guard<std::mutex> lock(Table().mutex);
  if (VirtualPad* p = VirtualPadAt(pad); p && button >= 0 && button < 32) p->buttons[button] = down ? 0x80 : 0;
}

void SetVirtualPadHat(int pad, int hundredthsOfDegrees) {
  std::lock_guard<std::mutex> lock(Table().mutex);
  if (VirtualPad* p = VirtualPadAt(pad)) p->hat = hundredthsOfDegrees;
}

bool IsVirtualPadVibrating(int pad) {
  std::lock_guard<std::mutex> lock(Table().mutex);
  VirtualPad* p = VirtualPadAt(pad);
  return p && p->vibration > 0;
}

void RemoveAllVirtualPads() {
  std::lock_guard<std::mutex> lock(Table().mutex);
  Table().virtualPads.clear();
  Table().count = static_cast<int>(Table().system.size());
}

void IgnoreSystemJoysticks(bool ignore) {
  std::lock_guard<std::mutex> lock(Table().mutex);
  Table().ignoreSystem = ignore;
}

}  // namespace platform::testing
