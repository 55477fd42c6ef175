// The class objects through which CoCreateInstance makes the framework's own classes.
#include "media/media_classes.h"

#include <mutex>

#include "media/graph_filters.h"
#include "media/heap_sample_pool.h"
#include "media/position_pass_through.h"
#include "platform/dshow.h"

void RegisterMediaFrameworkClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterFrameworkClass<Z_CHeapSamplePool::CreateInstance>(CLSID_MemoryAllocator);
    RegisterFrameworkClass<Z_CSeekingPassThru::CreateInstance>(CLSID_SeekingPassThru);
    RegisterGraphFilterClasses();
  });
}
