// Zyvel graphics: colour data, base images and loaders, graphs, screens, drawing, fonts, masks.
#pragma once

#include "zyvel/runtime.h"
