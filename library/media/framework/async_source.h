// The asynchronous source: a filter with one output pin that serves a byte stream to a pulling
// parser through IAsyncReader, its reads done by the filter's read engine. The pin connects only
// to a peer that asks it for IAsyncReader while connecting, and offers and accepts one media type
// (any subtype when the offered one is GUID_NULL). Z_CMemReader is the source over a memory
// stream, with its type fixed at creation.
//
// The reader operations take no filter lock: the engine's list lock and the stream's lock guard
// them, so the parser's threads may call them while the graph changes state.
#pragma once

#include "media/framework/async_engine.h"
#include "media/framework/filter_core.h"
#include "media/framework/pin_core.h"

// {C553F2C0-1529-11D0-B4D1-00805F6CBBEA}
inline constexpr CLSID CLSID_AsyncSource = {
    0xC553F2C0, 0x1529, 0x11D0, {0xB4, 0xD1, 0x00, 0x80, 0x5F, 0x6C, 0xBB, 0xEA}};

class Z_CAsyncSource;

class Z_CAsyncSourcePin : public IAsyncReader, public Z_CPinCore {
 public:
  Z_CAsyncSourcePin(HRESULT* result, Z_CAsyncSource* filter, Z_CAsyncEngine* engine, Z_CLockSection* lock);

  Z_FORWARD_IUNKNOWN_TO_OUTER
  HRESULT InnerQueryInterface(REFIID iid, void** out) override;
  HRESULT TestType(const AM_MEDIA_TYPE* type) override;
  HRESULT TestPeer(IPin* peer) override;
  HRESULT OnUnlink() override;
  HRESULT OnLinked(IPin* peer) override;
  HRESULT ListTypeAt(int index, Z_CMediaTypeHolder* type) override;

  // IPin: Connect goes through the filter; the flushes are the reader's.
  HRESULT Connect(IPin* receivingPin, const AM_MEDIA_TYPE* type) override;
  HRESULT EndOfStream() override { return S_OK; }
  HRESULT Notify(IBaseFilter*, Quality) override { return E_NOTIMPL; }

  // IAsyncReader.
  HRESULT RequestAllocator(IMemAllocator* preferred, ALLOCATOR_PROPERTIES* properties, IMemAllocator** actual) override;
  HRESULT Request(IMediaSample* sample, DWORD_PTR userValue) override;
  HRESULT WaitForNext(DWORD timeoutMilliseconds, IMediaSample** sample, DWORD_PTR* userValue) override;
  HRESULT SyncReadAligned(IMediaSample* sample) override;
  HRESULT SyncRead(LONGLONG position, LONG length, BYTE* buffer) override;
  HRESULT Length(LONGLONG* total, LONGLONG* available) override;
  HRESULT BeginFlush() override { return m_engine->BeginFlush(); }
  HRESULT EndFlush() override { return m_engine->EndFlush(); }

 private:
  // The byte range a sample's times ask for, clipped to the stream (the sample's end time then
  // moves back), and the sample's buffer.
  HRESULT PrepareRead(IMediaSample* sample, LONGLONG* position, LONG* length, BYTE** buffer);
  HRESULT MakeOwnAllocator(IMemAllocator** allocator);
  bool FitsAlignment(LONG alignment);

  Z_CAsyncSource* m_source;
  Z_CAsyncEngine* m_engine;
  bool m_askedForReader = false;
};

class Z_CAsyncSource : public Z_CFilterCore {
 public:
  Z_CAsyncSource(const char* name, IUnknown* outer, Z_CByteStream* stream, HRESULT* result);
  ~Z_CAsyncSource() override;

  int CountPins() override { return 1; }
  Z_CPinCore* PinAt(int index) override;
  virtual HRESULT ConnectOutput(IPin* receivingPin, const AM_MEDIA_TYPE* type);

  Z_CAsyncSourcePin* OutputPin() { return &m_pin; }
  const Z_CMediaTypeHolder& OfferedType() const { return m_offeredType; }

 protected:
  Z_CLockSection m_filterLock;
  Z_CAsyncEngine m_engine;
  Z_CAsyncSourcePin m_pin;
  Z_CMediaTypeHolder m_offeredType;
};

class Z_CMemReader final : public Z_CAsyncSource {
 public:
  // The reader with no reference counted (the caller takes the first), or null with E_OUTOFMEMORY.
  static Z_CMemReader* Create(Z_CMemStream* stream, const AM_MEDIA_TYPE* type, HRESULT* result);
  // Ends the reader at once, whatever its count: it must be out of every graph first.
  static void Destroy(Z_CMemReader* reader);

  HRESULT Register() override { return S_OK; }
  HRESULT Unregister() override { return S_OK; }

 private:
  Z_CMemReader(Z_CMemStream* stream, HRESULT* result);
};
