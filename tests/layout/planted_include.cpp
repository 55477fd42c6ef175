// A memimg file that includes a graphics header. MEMIMG lies below graphics, so this must not
// compile: tests/layout/CMakeLists.txt builds it in a target with memimg's include roots and
// expects the compiler not to find the header.
#include "graphics/screen_services.h"
