// The WinMM joystick calls over the stand-in's pad list.
#include <cstdio>
#include <cstring>

#include "dinput/pads.h"
#include "platform/winmm.h"

UINT joyGetNumDevs() { return 16; }

MMRESULT joyGetDevCapsA(UINT_PTR joystickId, JOYCAPSA* caps, UINT size) {
  if (!caps || size < sizeof(JOYCAPSA)) return MMSYSERR_INVALPARAM;
  // A count from id 0 upwards looks for pads again, so pads plugged in since are found.
  if (joystickId == 0) platform::EnumeratePads();
  if (joystickId >= 16) return MMSYSERR_NODRIVER;
  platform::PadSnapshot pad;
  if (!platform::ReadPad(static_cast<int>(joystickId), &pad)) return JOYERR_UNPLUGGED;
  std::memset(caps, 0, sizeof(*caps));
  std::snprintf(caps->szPname, sizeof(caps->szPname), "%s", pad.name.c_str());
  caps->wXmax = caps->wYmax = caps->wZmax = caps->wRmax = caps->wUmax = caps->wVmax = 65535;
  caps->wNumButtons = static_cast<UINT>(pad.buttonCount);
  caps->wMaxButtons = 32;
  caps->wPeriodMin = 10;
  caps->wPeriodMax = 1000;
  caps->wMaxAxes = 6;
  caps->wNumAxes = static_cast<UINT>(pad.axisCount);
  if (pad.axisCount >= 3) caps->wCaps |= JOYCAPS_HASZ;
  if (pad.axisCount >= 6) caps->wCaps |= JOYCAPS_HASR | JOYCAPS_HASU | JOYCAPS_HASV;
  if (pad.hat >= -1) caps->wCaps |= JOYCAPS_HASPOV;
  return JOYERR_NOERROR;
}

MMRESULT joyGetPosEx(UINT joystickId, JOYINFOEX* info) {
  if (!info || info->dwSize < sizeof(JOYINFOEX)) return MMSYSERR_INVALPARAM;
  platform::PadSnapshot pad;
  if (joystickId >= 16 || !platform::ReadPad(static_cast<int>(joystickId), &pad)) return JOYERR_UNPLUGGED;
  auto position = [](int axis) { return static_cast<DWORD>(axis + 32768); };
  info->dwXpos = position(pad.axes[0]);
  info->dwYpos = position(pad.axes[1]);
  info->dwZpos = position(pad.axes[2]);
  info->dwRpos = position(pad.axes[5]);
  info->dwUpos = position(pad.axes[3]);
  info->dwVpos = position(pad.axes[4]);
  info->dwButtons = 0;
  info->dwButtonNumber = 0;
  for (int b = 0; b < 32; ++b) {
    if (pad.buttons[b]) {
      info->dwButtons |= 1u << b;
      ++info->dwButtonNumber;
    }
  }
  info->dwPOV = pad.hat < 0 ? JOY_POVCENTERED : static_cast<DWORD>(pad.hat);
  return JOYERR_NOERROR;
}
