#include "window/window_state.h"

WindowSystemRecord g_windowSystem;
