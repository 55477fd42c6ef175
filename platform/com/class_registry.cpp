// CoCreateInstance: the classes the stand-in can create, and the test switch that refuses one.
#include <mutex>
#include <vector>

#include "platform/com.h"
#include "platform/ddraw.h"
#include "platform/testing.h"

namespace {

const platform::ComClassDefinition kComClasses[] = {
    {&CLSID_DirectDraw7, platform::CreateDirectDrawInstance},
};

std::mutex g_refusedMutex;
std::vector<GUID> g_refusedClasses;

bool IsRefused(REFCLSID classId) {
  std::lock_guard<std::mutex> lock(g_refusedMutex);
  for (const GUID& refused : g_refusedClasses)
    if (refused == classId) return true;
  return false;
}

}  // namespace

HRESULT CoCreateInstance(REFCLSID classId, LPUNKNOWN outer, DWORD, REFIID iid, LPVOID* object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  if (IsRefused(classId)) return REGDB_E_CLASSNOTREG;
  for (const platform::ComClassDefinition& definition : kComClasses)
    if (*definition.classId == classId) return definition.create(iid, object);
  return REGDB_E_CLASSNOTREG;
}

namespace platform::testing {

void RefuseComClass(const CLSID& classId, bool refused) {
  std::lock_guard<std::mutex> lock(g_refusedMutex);
  for (auto it = g_refusedClasses.begin(); it != g_refusedClasses.end(); ++it)
    if (*it == classId) {
      if (!refused) g_refusedClasses.erase(it);
      return;
    }
  if (refused) g_refusedClasses.push_back(classId);
}

}  // namespace platform::testing
