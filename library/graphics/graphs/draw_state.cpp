// The global draw state.
#include "graphics/graphs/draw_state.h"

DrawState g_drawState;
