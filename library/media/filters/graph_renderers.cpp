// The graph's renderers: the shared receiving, timing and end-of-stream logic, and the null
// renderer.
#include "media/filters/graph_renderers.h"

#include <algorithm>
#include <cstring>
#include <new>

// ---- The pin ----

Z_CGraphRendererPin::Z_CGraphRendererPin(Z_CGraphRenderer* filter, Z_CLockSection* lock)
    : Z_CReceivingPin("Graph renderer input pin", filter, lock, nullptr, u"In"), m_renderer(filter) {}

HRESULT Z_CGraphRendererPin::TestType(const AM_MEDIA_TYPE* type) { return m_renderer->TestType(type); }

HRESULT Z_CGraphRendererPin::Receive(IMediaSample* sample) {
  const HRESULT result = Z_CReceivingPin::Receive(sample);
  if (result != S_OK) return result;
  if (!m_renderer->WaitUntilDue(sample)) return S_FALSE;
  return m_renderer->RenderSample(sample);
}

HRESULT Z_CGraphRendererPin::EndOfStream() {
  const HRESULT result = CheckStreamingState();
  if (result != S_OK) return result == S_FALSE ? S_OK : result;
  return m_renderer->ReportEndOfStream();
}

HRESULT Z_CGraphRendererPin::BeginFlush() {
  Z_CScopedLock lock(m_lock);
  StartFlush();
  m_renderer->CancelWaits();
  return S_OK;
}

HRESULT Z_CGraphRendererPin::EndFlush() {
  Z_CScopedLock lock(m_lock);
  m_renderer->AllowWaits();
  return StopFlush();
}

// ---- The filter ----

Z_CGraphRenderer::Z_CGraphRenderer(const char* name, REFCLSID classId)
    : Z_CFilterCore(name, nullptr, &m_filterLock, classId), m_pin(this, &m_filterLock) {}

Z_CGraphRenderer::~Z_CGraphRenderer() = default;

HRESULT Z_CGraphRenderer::Pause() {
  AllowWaits();
  return Z_CFilterCore::Pause();
}

HRESULT Z_CGraphRenderer::Run(REFERENCE_TIME start) {
  AllowWaits();
  const HRESULT result = Z_CFilterCore::Run(start);
  bool report = false;
  {
    Z_CScopedLock lock(&m_waitLock);
    report = m_endPending;
    m_endPending = false;
  }
  SetEvent(m_waitChanged.Handle());
  if (report) ReportEndOfStream();
  return result;
}

HRESULT Z_CGraphRenderer::Stop() {
  // A streaming thread waiting for a sample's time lets go before the state changes.
  CancelWaits();
  const HRESULT result = Z_CFilterCore::Stop();
  Z_CScopedLock lock(&m_waitLock);
  m_endPending = false;
  m_endReported = false;
  return result;
}

void Z_CGraphRenderer::CancelWaits() {
  {
    Z_CScopedLock lock(&m_waitLock);
    m_waitsCancelled = true;
  }
  SetEvent(m_waitChanged.Handle());
}

void Z_CGraphRenderer::AllowWaits() {
  Z_CScopedLock lock(&m_waitLock);
  m_waitsCancelled = false;
}

bool Z_CGraphRenderer::WaitUntilDue(IMediaSample* sample) {
  REFERENCE_TIME start = 0, end = 0;
  const bool timed = SUCCEEDED(sample->GetTime(&start, &end));
  for (;;) {
    // The filter lock is taken with the wait lock free: a flush takes them the other way round.
    REFERENCE_TIME left = 0;
    const bool running = State() == State_Running;
    if (running) {
      IReferenceClock* clock = nullptr;
      REFERENCE_TIME startTime = 0;
      {
        Z_CScopedLock filterLock(m_lock);
        clock = m_clock;
        startTime = m_startTime;
        if (clock) clock->AddRef();
      }
      REFERENCE_TIME now = 0;
      const bool due = !clock || !timed || FAILED(clock->GetTime(&now)) || now >= startTime + start;
      if (clock) clock->Release();
      left = startTime + start - now;
      Z_CScopedLock lock(&m_waitLock);
      if (m_waitsCancelled) return false;
      if (due) return true;
    }
    // Paused, nothing is rendered until the graph runs; running, until the sample's time. A cancel
    // between the check and the wait has set the event, so the wait returns at once.
    {
      Z_CScopedLock lock(&m_waitLock);
      if (m_waitsCancelled) return false;
    }
    const REFERENCE_TIME pause = running ? std::min<REFERENCE_TIME>(left / 10000 + 1, 10) : 10;
    const DWORD milliseconds = static_cast<DWORD>(pause);
    if (m_waitChanged.Handle())
      WaitForSingleObject(m_waitChanged.Handle(), milliseconds);
    else
      Sleep(milliseconds);
  }
}

HRESULT Z_CGraphRenderer::ReportEndOfStream() {
  {
    Z_CScopedLock lock(&m_waitLock);
    if (State() != State_Running) {
      m_endPending = true;
      return S_OK;
    }
    if (m_endReported) return S_OK;
    m_endReported = true;
  }
  OnStreamEnd();
  NotifyGraphEvent(EC_COMPLETE, S_OK, 0);
  return S_OK;
}

// ---- The null renderer ----

Z_CNullRenderer::Z_CNullRenderer() : Z_CGraphRenderer("Null renderer", CLSID_NullRenderer) {}

HRESULT Z_CNullRenderer::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  auto* renderer = new (std::nothrow) Z_CNullRenderer;
  if (!renderer) return E_OUTOFMEMORY;
  const HRESULT result = renderer->InnerQueryInterface(iid, out);
  if (FAILED(result)) delete renderer;
  return result;
}

// ---- The audio renderer ----

Z_CAudioRenderer::Z_CAudioRenderer() : Z_CGraphRenderer("Audio renderer", CLSID_AudioRender) {}

Z_CAudioRenderer::~Z_CAudioRenderer() {
  ReleaseBuffers(false);
  if (m_sound) m_sound->Release();
}

HRESULT Z_CAudioRenderer::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  auto* renderer = new (std::nothrow) Z_CAudioRenderer;
  if (!renderer) return E_OUTOFMEMORY;
  const HRESULT result = renderer->InnerQueryInterface(iid, out);
  if (FAILED(result)) delete renderer;
  return result;
}

HRESULT Z_CAudioRenderer::InnerQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IBasicAudio) return HandOutInterface(static_cast<IBasicAudio*>(this), out);
  return Z_CGraphRenderer::InnerQueryInterface(iid, out);
}

HRESULT Z_CAudioRenderer::TestType(const AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  if (type->majortype != MEDIATYPE_Audio || type->subtype != MEDIASUBTYPE_PCM) return S_FALSE;
  if (type->formattype != FORMAT_WaveFormatEx || type->cbFormat < sizeof(WAVEFORMATEX) - sizeof(WORD) ||
      !type->pbFormat)
    return S_FALSE;
  WAVEFORMATEX format{};
  std::memcpy(&format, type->pbFormat, std::min<size_t>(type->cbFormat, sizeof(format)));
  const bool playable = format.wFormatTag == WAVE_FORMAT_PCM && format.wBitsPerSample == 16 &&
                        (format.nChannels == 1 || format.nChannels == 2) &&
                        format.nBlockAlign == format.nChannels * 2 && format.nSamplesPerSec >= DSBFREQUENCY_MIN &&
                        format.nSamplesPerSec <= DSBFREQUENCY_MAX;
  return playable ? S_OK : S_FALSE;
}

HRESULT Z_CAudioRenderer::RenderSample(IMediaSample* sample) {
  BYTE* data = nullptr;
  const LONG length = sample->GetActualDataLength();
  if (FAILED(sample->GetPointer(&data)) || length <= 0) return S_OK;
  WAVEFORMATEX format{};
  {
    Z_CScopedLock lock(m_lock);
    const Z_CMediaTypeHolder& type = m_pin.CurrentMediaType();
    if (!type.pbFormat) return S_OK;
    std::memcpy(&format, type.pbFormat, std::min<size_t>(type.cbFormat, sizeof(format)));
  }
  format.cbSize = 0;

  Z_CScopedLock lock(&m_soundLock);
  // Without a device the sound is dropped, still at its pace.
  if (!m_sound) return S_OK;
  ReleaseBuffers(true);
  DSBUFFERDESC description{};
  description.dwSize = sizeof(description);
  description.dwFlags = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_GLOBALFOCUS | DSBCAPS_GETCURRENTPOSITION2;
  description.dwBufferBytes = static_cast<DWORD>(length) - static_cast<DWORD>(length) % format.nBlockAlign;
  description.lpwfxFormat = &format;
  if (description.dwBufferBytes < DSBSIZE_MIN) return S_OK;
  IDirectSoundBuffer* buffer = nullptr;
  if (FAILED(m_sound->CreateSoundBuffer(&description, &buffer, nullptr)) || !buffer) return S_OK;
  void* part1 = nullptr;
  void* part2 = nullptr;
  DWORD bytes1 = 0, bytes2 = 0;
  if (SUCCEEDED(buffer->Lock(0, description.dwBufferBytes, &part1, &bytes1, &part2, &bytes2, 0))) {
    std::memcpy(part1, data, bytes1);
    if (part2) std::memcpy(part2, data + bytes1, bytes2);
    buffer->Unlock(part1, bytes1, part2, bytes2);
    buffer->SetVolume(m_volume);
    buffer->SetPan(m_balance);
    buffer->Play(0, 0, 0);
  }
  m_playing.push_back(buffer);
  return S_OK;
}

void Z_CAudioRenderer::ReleaseBuffers(bool finishedOnly) {
  for (auto it = m_playing.begin(); it != m_playing.end();) {
    DWORD status = 0;
    if (finishedOnly && SUCCEEDED((*it)->GetStatus(&status)) && (status & DSBSTATUS_PLAYING)) {
      ++it;
      continue;
    }
    (*it)->Stop();
    (*it)->Release();
    it = m_playing.erase(it);
  }
}

// The device opens on the thread that starts the graph, not on a streaming thread (the audio
// library keeps per-thread records that a short-lived thread would leave behind).
HRESULT Z_CAudioRenderer::Pause() {
  if (m_pin.IsConnected()) {
    Z_CScopedLock lock(&m_soundLock);
    if (!m_soundTried) {
      m_soundTried = true;
      if (SUCCEEDED(DirectSoundCreate(nullptr, &m_sound, nullptr)) && m_sound)
        m_sound->SetCooperativeLevel(nullptr, DSSCL_NORMAL);
    }
  }
  return Z_CGraphRenderer::Pause();
}

HRESULT Z_CAudioRenderer::Stop() {
  const HRESULT result = Z_CGraphRenderer::Stop();
  Z_CScopedLock lock(&m_soundLock);
  ReleaseBuffers(false);
  return result;
}

HRESULT Z_CAudioRenderer::put_Volume(LONG volume) {
  if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) return E_INVALIDARG;
  m_volume = volume;
  return S_OK;
}

HRESULT Z_CAudioRenderer::get_Volume(LONG* volume) {
  if (!volume) return E_POINTER;
  *volume = m_volume;
  return S_OK;
}

HRESULT Z_CAudioRenderer::put_Balance(LONG balance) {
  if (balance < DSBPAN_LEFT || balance > DSBPAN_RIGHT) return E_INVALIDARG;
  m_balance = balance;
  return S_OK;
}

HRESULT Z_CAudioRenderer::get_Balance(LONG* balance) {
  if (!balance) return E_POINTER;
  *balance = m_balance;
  return S_OK;
}
