// MEMIMG services for the graphics layer beside the public calls of zyvel/memimg.h: the pixel
// converter's options record and its fast-path switch, and the pixel words base images store.
#pragma once

#include "memimg/image_transfer.h"
#include "memimg/pixel_words.h"

// Where SetupScreenMemImg learns the screen's colour depth for format -1: graphics hands over its
// query when it is connected. Until then the depth is 16 bits, the screen's own default.
using ScreenColorBitsQuery = int (*)();
void SetMemImgScreenColorBitsQuery(ScreenColorBitsQuery query);
