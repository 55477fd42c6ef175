// The load options' start values (sound start-up sets them again).
#include "sound/sound_options.h"

SoundOptions g_soundOptions = {0, 2, 0, 0};
