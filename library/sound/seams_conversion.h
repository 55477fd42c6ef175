// Seam: the PCM conversion front end is built by a later sound issue; until then a converter holds
// nothing and ending one does nothing.
#pragma once

#include <cstdint>

struct PcmConverter {
  int active;
};

int EndPcmConverter(PcmConverter* converter);
// Frames to milliseconds at `rate`, in 64 bits; 0 for a rate of 0.
int SamplesToMilliseconds(int frames, int rate);
