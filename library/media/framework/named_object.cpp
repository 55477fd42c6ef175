// Live-object counting of the media framework.
#include "media/framework/named_object.h"

#include "media/framework/media_classes.h"

std::atomic<LONG> Z_CNamedObject::LiveObjectCount{0};
std::atomic<HMODULE> Z_CNamedObject::AutomationModule{nullptr};

Z_CNamedObject::Z_CNamedObject(const char*) {
  // The framework's classes become creatable by class id as soon as any framework object exists,
  // so a pin or a graph asking for the memory allocator always finds it.
  RegisterMediaFrameworkClasses();
  ++LiveObjectCount;
}

Z_CNamedObject::~Z_CNamedObject() {
  if (--LiveObjectCount != 0) return;
  if (HMODULE module = AutomationModule.exchange(nullptr)) FreeLibrary(module);
}
