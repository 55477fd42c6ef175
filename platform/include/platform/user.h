// USER32-shaped part of the platform stand-in.
#pragma once

#include "platform/types.h"

// ---- Window classes, windows and messages ----

// ---- Keyboard ----

// ---- Cursor and display ----
