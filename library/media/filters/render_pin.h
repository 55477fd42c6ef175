// The one input pin of every renderer: all its decisions are the renderer's. Types are accepted
// by the renderer's TestType, samples go to its ProcessSample, and end of stream and flushing run
// under the renderer's filter lock and then its render lock. A failed sample is reported to the
// graph once per run of failures: EC_ERRORABORT, then EC_COMPLETE while streaming.
#pragma once

#include "media/framework/receiving_pin.h"

class Z_CRenderFilter;

class Z_CRenderPin : public Z_CReceivingPin {
 public:
  Z_CRenderPin(Z_CRenderFilter* renderer, HRESULT* result, LPCWSTR pinName);

  HRESULT OnActivate() override;
  HRESULT OnDeactivate() override;
  HRESULT TestType(const AM_MEDIA_TYPE* type) override;
  HRESULT AdoptType(const AM_MEDIA_TYPE* type) override;
  HRESULT OnUnlink() override;
  HRESULT OnLinked(IPin* peer) override;

  HRESULT QueryId(LPWSTR* id) override;
  HRESULT QueryInternalConnections(IPin** pins, ULONG* count) override;
  HRESULT EndOfStream() override;
  HRESULT BeginFlush() override;
  HRESULT EndFlush() override;
  HRESULT Receive(IMediaSample* sample) override;

 private:
  Z_CRenderFilter* m_renderer;
};
