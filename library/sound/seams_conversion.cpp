// Seam of the PCM conversion front end (see seams_conversion.h). SamplesToMilliseconds is its
// whole self already: the length queries need it.
#include "sound/seams_conversion.h"

int EndPcmConverter(PcmConverter* converter) {
  if (converter) converter->active = 0;
  return 0;
}

int SamplesToMilliseconds(int frames, int rate) {
  if (rate <= 0) return 0;
  return static_cast<int>(static_cast<int64_t>(frames) * 1000 / rate);
}
