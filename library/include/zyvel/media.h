// Zyvel media: the media framework, movies and the Theora front end.
#pragma once

#include "zyvel/runtime.h"
