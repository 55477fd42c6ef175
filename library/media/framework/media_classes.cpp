// The class objects through which CoCreateInstance makes the framework's own classes.
#include "media/framework/media_classes.h"

#include <mutex>

#include "media/filters/graph_filters.h"
#include "media/filters/position_pass_through.h"
#include "media/framework/heap_sample_pool.h"
#include "platform/dshow.h"

void RegisterMediaFrameworkClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterFrameworkClass<Z_CHeapSamplePool::CreateInstance>(CLSID_MemoryAllocator);
    RegisterFrameworkClass<Z_CSeekingPassThru::CreateInstance>(CLSID_SeekingPassThru);
    RegisterGraphFilterClasses();
  });
}
