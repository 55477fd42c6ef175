// The byte-stream input pin.
#include "media/framework/reader_input_pin.h"

Z_CReaderInputPin::Z_CReaderInputPin(const char* objectName, Z_CFilterCore* filter, Owner* owner, Z_CLockSection* lock)
    : Z_CPinCore(objectName, filter, lock, nullptr, u"Input", PINDIR_INPUT), m_owner(owner) {}

Z_CReaderInputPin::~Z_CReaderInputPin() {
  if (m_reader) m_reader->Release();
}

HRESULT Z_CReaderInputPin::OnLinked(IPin* peer) {
  IAsyncReader* reader = nullptr;
  if (FAILED(peer->QueryInterface(IID_IAsyncReader, reinterpret_cast<void**>(&reader))) || !reader)
    return VFW_E_NO_ALLOCATOR;
  const HRESULT result = m_owner->Examine(reader);
  if (FAILED(result)) {
    reader->Release();
    return result;
  }
  if (m_reader) m_reader->Release();
  m_reader = reader;
  return S_OK;
}

HRESULT Z_CReaderInputPin::OnUnlink() {
  if (m_reader) m_reader->Release();
  m_reader = nullptr;
  m_owner->Forget();
  return S_OK;
}
