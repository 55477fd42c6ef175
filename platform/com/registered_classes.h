// Look-up of the class objects registered by the program (registered_classes.cpp).
#pragma once

#include "platform/com.h"

namespace platform {

// The class object registered for the id with one reference added, or null.
IClassFactory* FindRegisteredClass(REFCLSID classId);

}  // namespace platform
