// GDI32-shaped part of the platform stand-in.
#pragma once

#include "platform/types.h"

// ---- Device contexts, painting and picture output ----

// ---- Bitmaps and DIB sections ----

// ---- Fonts and glyphs ----
