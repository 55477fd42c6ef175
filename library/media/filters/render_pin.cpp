// The render pin: the renderer's input, with failure reporting to the graph.
#include "media/filters/render_pin.h"

#include <cstring>

#include "media/filters/render_filter.h"

Z_CRenderPin::Z_CRenderPin(Z_CRenderFilter* renderer, HRESULT* result, LPCWSTR pinName)
    : Z_CReceivingPin("Renderer pin", renderer, renderer->FilterLock(), result, pinName), m_renderer(renderer) {}

HRESULT Z_CRenderPin::OnActivate() { return m_renderer->ZeroReturnHook(); }

HRESULT Z_CRenderPin::OnDeactivate() {
  m_runtimeError = false;
  return m_renderer->ResetPositionAndSample();
}

HRESULT Z_CRenderPin::TestType(const AM_MEDIA_TYPE* type) { return m_renderer->TestType(type); }

HRESULT Z_CRenderPin::AdoptType(const AM_MEDIA_TYPE* type) {
  const HRESULT result = Z_CPinCore::AdoptType(type);
  if (FAILED(result)) return result;
  return m_renderer->AdoptType(type);
}

HRESULT Z_CRenderPin::OnUnlink() {
  const HRESULT result = m_renderer->OnUnlink();
  if (FAILED(result)) return result;
  return ReleaseAllocator();
}

HRESULT Z_CRenderPin::OnLinked(IPin* peer) {
  const HRESULT result = m_renderer->OnLinked(peer);
  return FAILED(result) ? result : S_OK;
}

HRESULT Z_CRenderPin::QueryId(LPWSTR* id) {
  if (!id) return E_POINTER;
  *id = static_cast<LPWSTR>(CoTaskMemAlloc(8));
  if (!*id) return E_OUTOFMEMORY;
  std::memcpy(*id, u"In", 3 * sizeof(WCHAR));
  return S_OK;
}

HRESULT Z_CRenderPin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }

HRESULT Z_CRenderPin::EndOfStream() {
  Z_CScopedLock filterLock(m_lock);
  Z_CScopedLock renderLock(m_renderer->RenderLock());
  const HRESULT state = CheckStreamingState();
  if (state != S_OK) return state;
  const HRESULT result = m_renderer->MarkEndOfStream();
  return FAILED(result) ? result : S_OK;
}

HRESULT Z_CRenderPin::BeginFlush() {
  Z_CScopedLock filterLock(m_lock);
  {
    Z_CScopedLock renderLock(m_renderer->RenderLock());
    StartFlush();
    m_renderer->OnFlushBegin();
  }
  return m_renderer->ClearEndOfStream();
}

HRESULT Z_CRenderPin::EndFlush() {
  Z_CScopedLock filterLock(m_lock);
  Z_CScopedLock renderLock(m_renderer->RenderLock());
  HRESULT result = m_renderer->OnFlushEnd();
  if (!FAILED(result)) result = StopFlush();
  return result;
}

HRESULT Z_CRenderPin::Receive(IMediaSample* sample) {
  const HRESULT result = m_renderer->ProcessSample(sample);
  if (SUCCEEDED(result)) return result;
  Z_CScopedLock filterLock(m_lock);
  if (!m_renderer->IsStopped() && !IsFlushing() && !HasRuntimeError()) {
    m_renderer->NotifyGraphEvent(EC_ERRORABORT, result, 0);
    {
      Z_CScopedLock renderLock(m_renderer->RenderLock());
      if (m_renderer->IsStreaming() && !m_renderer->IsEndOfStreamDelivered()) m_renderer->DeliverEndOfStream();
    }
    m_runtimeError = true;
  }
  return result;
}
