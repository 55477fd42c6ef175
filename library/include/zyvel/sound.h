// Zyvel sound: sound handles, loading and decoding, stream sounds, MIDI and capture.
#pragma once

#include "zyvel/runtime.h"
