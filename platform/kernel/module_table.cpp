// The modules LoadLibraryA can find. A library of the stand-in that the program loads by name
// adds one line here.
#include "platform/module_registry.h"

// ---- DSOUND.DLL ----
#include "platform/dsound.h"

namespace platform {
namespace {
const ModuleExport kDirectSoundExports[] = {
    {"DirectSoundCreate", ExportOf(DirectSoundCreate)},
    {"DirectSoundEnumerateA", ExportOf(DirectSoundEnumerateA)},
};
}  // namespace
}  // namespace platform

namespace platform {

const ModuleDefinition kModuleTable[] = {
    {"DSOUND.DLL", kDirectSoundExports, sizeof(kDirectSoundExports) / sizeof(kDirectSoundExports[0])},
    {nullptr, nullptr, 0},
};

}  // namespace platform
