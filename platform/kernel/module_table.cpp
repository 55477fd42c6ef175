// The modules LoadLibraryA can find. A library of the stand-in that the program loads by name
// adds one line here.
#include "platform/d3d9.h"
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

// d3d9 stand-in
const ModuleExport kDirect3D9Exports[] = {
    {"Direct3DCreate9Ex", ExportOf(Direct3DCreate9Ex)},
    {"Direct3DCreate9", ExportOf(Direct3DCreate9)},
};

const ModuleDefinition kModuleTable[] = {
    {"DSOUND.DLL", kDirectSoundExports, sizeof(kDirectSoundExports) / sizeof(kDirectSoundExports[0])},
    {"d3d9.dll", kDirect3D9Exports, sizeof(kDirect3D9Exports) / sizeof(kDirect3D9Exports[0])},
    {nullptr, nullptr, 0},
};

}  // namespace platform
