// COM apartments: a per-thread initialisation count, which is all the stand-in's objects need.
#include "platform/com.h"

namespace {
thread_local int t_initialisations = 0;
}

HRESULT CoInitialize(LPVOID) { return t_initialisations++ == 0 ? S_OK : S_FALSE; }

void CoUninitialize() {
  if (t_initialisations > 0) --t_initialisations;
}
