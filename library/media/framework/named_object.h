// The root of every media framework object: a process-wide count of the framework objects alive.
// When the last one goes, the automation library that the position dispatch loads on first use is
// unloaded with it.
#pragma once

#include <atomic>

#include "platform/kernel.h"

class Z_CNamedObject {
 public:
  // The name tells a reader what the object is; it is not kept.
  explicit Z_CNamedObject(const char* name);
  ~Z_CNamedObject();
  Z_CNamedObject(const Z_CNamedObject&) = delete;
  Z_CNamedObject& operator=(const Z_CNamedObject&) = delete;

  static std::atomic<LONG> LiveObjectCount;
  // "OleAut32.dll" while the position dispatch holds it loaded, else null.
  static std::atomic<HMODULE> AutomationModule;
};
