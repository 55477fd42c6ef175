// The global draw state.
#include "graphics/draw_state.h"

DrawState g_drawState;
