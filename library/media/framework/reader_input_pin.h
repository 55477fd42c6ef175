// An input pin that takes a byte stream: when it connects it asks its peer for IAsyncReader and
// hands the reader to its filter to examine (a failure refuses the connection); the filter then
// pulls the stream through Reader() while the pin stays connected. Derived pins say which media
// types they take (TestType).
#pragma once

#include "media/framework/pin_core.h"

class Z_CReaderInputPin : public Z_CPinCore {
 public:
  // The filter's side: what it makes of the stream it is offered, and forgetting it again.
  class Owner {
   public:
    virtual HRESULT Examine(IAsyncReader* reader) = 0;
    virtual void Forget() = 0;

   protected:
    ~Owner() = default;
  };

  Z_CReaderInputPin(const char* objectName, Z_CFilterCore* filter, Owner* owner, Z_CLockSection* lock);
  ~Z_CReaderInputPin() override;

  HRESULT OnLinked(IPin* peer) override;
  HRESULT OnUnlink() override;
  HRESULT EndOfStream() override { return S_OK; }
  HRESULT BeginFlush() override { return S_OK; }
  HRESULT EndFlush() override { return S_OK; }
  HRESULT Notify(IBaseFilter*, Quality) override { return E_NOTIMPL; }

  IAsyncReader* Reader() const { return m_reader; }

 private:
  Owner* m_owner;
  IAsyncReader* m_reader = nullptr;  // One reference while connected.
};
