// `ScreenSettings`: the screen's mode and how it is driven, one global record. The setters before
// start-up record the mode here; graphics start-up fills in the defaults; the device and the
// vertical-blank pacing read and update it.
#pragma once

#include <cstdint>

#include "platform/types.h"

struct ScreenSettings {
  int Initialised = 0;
  int Width = 0;  // 0 before start-up: unset.
  int Height = 0;
  int ColorBits = 0;  // 8, 16 or 32; 0: unset.
  int Refresh = 0;    // Hz; 0: the system's default.
  // Microseconds between vertical blanks; 0 or less: not measured (-1 after a measurement that
  // found no steady period).
  int64_t VerticalBlankPeriod = 0;
  int64_t LastVerticalBlankTime = 0;  // Microseconds.
  int HardwareInUse = 0;
  int SoftwareRequested = 0;
  int Emulating320x240 = 0;              // A requested 320 x 240 full screen runs as 640 x 480.
  RECT PresentationRect = {0, 0, 0, 0};  // The part of the screen image the last flip showed.
};

extern ScreenSettings g_screenSettings;
