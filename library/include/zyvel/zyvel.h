// Zyvel: the whole public interface of the library.
#pragma once

#include "zyvel/files.h"
#include "zyvel/graphics.h"
#include "zyvel/input.h"
#include "zyvel/memimg.h"
#include "zyvel/runtime.h"
#include "zyvel/sound.h"
#include "zyvel/window.h"
