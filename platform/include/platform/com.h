// ole32-shaped part of the platform stand-in.
#pragma once

#include "platform/types.h"

// ---- Apartment ----
// Per thread: the first CoInitialize gives S_OK, further ones S_FALSE; each needs its
// CoUninitialize.
HRESULT CoInitialize(LPVOID reserved);
void CoUninitialize();
