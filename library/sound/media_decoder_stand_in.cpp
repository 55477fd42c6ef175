// Stand-in for decoding through the media framework until it is built: it declines every stream.
#include "sound/pcm_converter.h"

int SetupMediaFrameworkDecoder(PcmConverter*) { return -1; }
