// Zyvel MEMIMG: software images, blend tables and the software blits and rasteriser.
#pragma once

#include "zyvel/runtime.h"
