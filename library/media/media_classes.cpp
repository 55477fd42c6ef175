// The class objects through which CoCreateInstance makes the framework's own classes.
#include "media/media_classes.h"

#include <mutex>

#include "media/graph_filters.h"
#include "media/heap_sample_pool.h"
#include "media/position_pass_through.h"
#include "platform/dshow.h"

namespace {

typedef HRESULT (*CreateFunction)(IUnknown* outer, REFIID iid, void** out);

// Lives as long as the process; its references are nominal.
template <CreateFunction Create>
class FrameworkClass final : public IClassFactory {
 public:
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *object = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT CreateInstance(LPUNKNOWN outer, REFIID iid, void** object) override {
    return Create(outer, iid, object);
  }
  HRESULT LockServer(BOOL) override { return S_OK; }
};

}  // namespace

void RegisterMediaFrameworkClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    static auto* const memoryAllocator = new FrameworkClass<Z_CHeapSamplePool::CreateInstance>;
    DWORD cookie = 0;
    CoRegisterClassObject(CLSID_MemoryAllocator, memoryAllocator, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
    static auto* const seekingPassThru = new FrameworkClass<Z_CSeekingPassThru::CreateInstance>;
    CoRegisterClassObject(CLSID_SeekingPassThru, seekingPassThru, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
    RegisterGraphFilterClasses();
  });
}
