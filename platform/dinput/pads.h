// Joypads as the stand-in sees them: the machine's own joysticks (through SDL2) followed by the
// virtual pads of the test door. Both DirectInput and the WinMM joystick calls read them here.
#pragma once

#include <string>

#include "platform/types.h"

namespace platform {

struct PadSnapshot {
  bool present = false;
  std::string name;
  int axes[6] = {};  // X, Y, Z, Rx, Ry, Rz: -32768..32767.
  int hat = -1;      // Hundredths of degrees; -1 centred.
  BYTE buttons[32] = {};
  int axisCount = 0;
  int buttonCount = 0;
  bool forceFeedback = false;
};

// Looks for attached pads again; returns how many there are.
int EnumeratePads();
// The number of pads found by the last enumeration.
int PadCount();
// Reads pad `index` (0-based, in enumeration order); false when it is gone.
bool ReadPad(int index, PadSnapshot* out);
// Starts (strength 0..10000) or stops the pad's vibration.
void SetPadVibration(int index, int strength);

}  // namespace platform
