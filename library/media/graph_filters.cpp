// Class objects for the graph's filters.
#include "media/graph_filters.h"

#include "media/file_source.h"
#include "media/graph_renderers.h"
#include "media/mpeg_audio_decoder.h"
#include "platform/dshow.h"

namespace {

typedef HRESULT (*CreateFunction)(IUnknown* outer, REFIID iid, void** out);

// Lives as long as the process; its references are nominal.
template <CreateFunction Create>
class GraphFilterClass final : public IClassFactory {
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
  HRESULT CreateInstance(LPUNKNOWN outer, REFIID iid, void** object) override { return Create(outer, iid, object); }
  HRESULT LockServer(BOOL) override { return S_OK; }
};

template <CreateFunction Create>
void Register(REFCLSID classId) {
  static auto* const factory = new GraphFilterClass<Create>;
  DWORD cookie = 0;
  CoRegisterClassObject(classId, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
}

}  // namespace

void RegisterGraphFilterClasses() {
  Register<Z_CNullRenderer::CreateInstance>(CLSID_NullRenderer);
  Register<Z_CAudioRenderer::CreateInstance>(CLSID_AudioRender);
  Register<Z_CFileSource::CreateInstance>(CLSID_FileSource);
  Register<Z_CMpegAudioDecoder::CreateInstance>(CLSID_MpegAudioDecoder);
}
