// The modules LoadLibraryA can find. A library of the stand-in that the program loads by name
// adds one line here.
#include "platform/module_registry.h"

namespace platform {

const ModuleDefinition kModuleTable[] = {
    {nullptr, nullptr, 0},
};

}  // namespace platform
