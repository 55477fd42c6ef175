// CoCreateInstance over the stand-in's one table of classes. A library of the stand-in whose
// objects the program creates by class id adds one line to the table.
#include <mutex>
#include <vector>

#include "com/registered_classes.h"
#include "platform/com.h"
#include "platform/ddraw.h"
#include "platform/dinput.h"
#include "platform/dshow.h"
#include "platform/dsound.h"
#include "platform/testing.h"

namespace platform {

HRESULT CreateDirectInputObject(LPUNKNOWN outer, REFIID iid, void** object);
HRESULT CreateDirectInput8Object(LPUNKNOWN outer, REFIID iid, void** object);
HRESULT CreateDirectSoundObject(LPUNKNOWN outer, REFIID iid, void** object);
HRESULT CreateFilterGraphObject(LPUNKNOWN outer, REFIID iid, void** object);
HRESULT CreateSystemClockObject(LPUNKNOWN outer, REFIID iid, void** object);

const ComClassDefinition kComClassTable[] = {
    {&CLSID_DirectInput, CreateDirectInputObject},
    {&CLSID_DirectInput8, CreateDirectInput8Object},
    {&CLSID_DirectSound, CreateDirectSoundObject},
    {&CLSID_DirectDraw7, CreateDirectDrawInstance},
    {&CLSID_FilterGraph, CreateFilterGraphObject},
    {&CLSID_SystemClock, CreateSystemClockObject},
    {nullptr, nullptr},
};

namespace {

std::mutex g_refusedMutex;
std::vector<CLSID> g_refusedClasses;

bool IsRefused(REFCLSID classId) {
  std::lock_guard<std::mutex> lock(g_refusedMutex);
  for (const CLSID& refused : g_refusedClasses)
    if (refused == classId) return true;
  return false;
}

}  // namespace
}  // namespace platform

HRESULT CoCreateInstance(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if ((context & CLSCTX_ALL) == 0) return E_INVALIDARG;
  if (platform::IsRefused(classId)) return REGDB_E_CLASSNOTREG;
  if (IClassFactory* factory = platform::FindRegisteredClass(classId)) {
    HRESULT result = factory->CreateInstance(outer, iid, object);
    factory->Release();
    return result;
  }
  for (const platform::ComClassDefinition* entry = platform::kComClassTable; entry->classId; ++entry)
    if (*entry->classId == classId) return entry->create(outer, iid, object);
  return REGDB_E_CLASSNOTREG;
}

namespace platform::testing {

void RefuseComClass(const CLSID& classId, bool refused) {
  std::lock_guard<std::mutex> lock(g_refusedMutex);
  std::erase(g_refusedClasses, classId);
  if (refused) g_refusedClasses.push_back(classId);
}

}  // namespace platform::testing
