// The stand-in's own modules, as LoadLibraryA and GetProcAddress find them. Each library of the
// stand-in that the program loads by name lists its exports here (platform/kernel/module_table.cpp).
#pragma once

#include <cstddef>

#include "platform/kernel.h"

namespace platform {

struct ModuleExport {
  const char* name;
  FARPROC address;
};

struct ModuleDefinition {
  const char* fileName;  // As the program names it, e.g. "d3d9.dll".
  const ModuleExport* exports;
  size_t exportCount;
};

// All modules of the stand-in; the table ends with a null file name.
extern const ModuleDefinition kModuleTable[];

template <typename Function>
FARPROC ExportOf(Function function) {
  return reinterpret_cast<FARPROC>(function);
}

}  // namespace platform
