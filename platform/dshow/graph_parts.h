// Inside the graph manager: the system reference clock and the list of filter classes that
// Connect and Render try, in order.
#pragma once

#include <vector>

#include "platform/dshow.h"

namespace platform {

// A new system clock with one reference: time from the platform's performance counter (so the
// fake clock drives it too), one thread serving AdviseTime and AdvisePeriodic.
IReferenceClock* CreateSystemClock();
HRESULT CreateSystemClockObject(LPUNKNOWN outer, REFIID iid, void** object);
HRESULT CreateFilterGraphObject(LPUNKNOWN outer, REFIID iid, void** object);

struct GraphFilterClass {
  CLSID classId;
  const char16_t* name;
};
// The classes Connect and Render try after the graph's own filters. A class the program has not
// registered is skipped.
std::vector<GraphFilterClass> GraphFilterClasses();

}  // namespace platform
