// MEMIMG services for the graphics layer beside the public calls of zyvel/memimg.h: the pixel
// converter's options record and its fast-path switch, and the pixel words base images store.
#pragma once

#include "memimg/image_transfer.h"
#include "memimg/pixel_words.h"
