#include "runtime/window_state.h"

WindowSystemRecord g_windowSystem;
