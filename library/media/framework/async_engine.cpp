// The asynchronous read engine: requests, the worker thread, the done list and the flush sweep.
#include "media/framework/async_engine.h"

#include <new>

// A stream's success code for a break in its data; the sample that receives it is marked.
static constexpr HRESULT kStreamDiscontinuity = 0x00040000;

void Z_CReadRequest::Fill(Z_CAsyncEngine* owner, Z_CByteStream* source, LONGLONG at, LONG bytes, BOOL isAligned,
                          BYTE* destination, IMediaSample* mediaSample, DWORD_PTR value) {
  engine = owner;
  stream = source;
  position = at;
  aligned = isAligned;
  length = bytes;
  buffer = destination;
  sample = mediaSample;
  userValue = value;
  result = VFW_E_TIMEOUT;
}

HRESULT Z_CReadRequest::Perform() {
  stream->LockStream();
  result = stream->SetPosition(position);
  if (result != S_OK) {
    stream->UnlockStream();
    return result;
  }
  LONG actual = 0;
  result = stream->ReadBytes(buffer, length, aligned, &actual);
  if (result == kStreamDiscontinuity && sample) {
    sample->SetDiscontinuity(TRUE);
    result = S_OK;
  }
  if (SUCCEEDED(result)) {
    if (actual != length) {
      length = actual;
      result = S_FALSE;
    } else {
      result = S_OK;
    }
  }
  stream->UnlockStream();
  return result;
}

Z_CAsyncEngine::Z_CAsyncEngine(Z_CByteStream* stream) : m_stream(stream) {}

Z_CAsyncEngine::~Z_CAsyncEngine() {
  BeginFlush();
  StopThread();
  Z_CScopedLock lock(&m_listLock);
  while (Z_CReadRequest* request = static_cast<Z_CReadRequest*>(m_doneList.RemoveHead())) delete request;
  while (Z_CReadRequest* request = static_cast<Z_CReadRequest*>(m_workList.RemoveHead())) delete request;
}

bool Z_CAsyncEngine::IsAligned(LONGLONG position, LONG length, const BYTE* buffer) {
  const DWORD mask = static_cast<DWORD>(m_stream->QueryAlignment()) - 1;
  return (static_cast<DWORD>(position) & mask) == 0 && (static_cast<DWORD>(length) & mask) == 0 &&
         (reinterpret_cast<uintptr_t>(buffer) & mask) == 0;
}

HRESULT Z_CAsyncEngine::Request(LONGLONG position, LONG length, BOOL aligned, BYTE* buffer, IMediaSample* sample,
                                DWORD_PTR userValue) {
  if (length < 0) return E_INVALIDARG;
  if (!buffer && length > 0) return E_POINTER;
  if (aligned && !IsAligned(position, length, buffer)) return VFW_E_BADALIGN;
  auto* request = new (std::nothrow) Z_CReadRequest;
  if (!request) return E_OUTOFMEMORY;
  request->Fill(this, m_stream, position, length, aligned, buffer, sample, userValue);
  const HRESULT result = PutWork(request);
  if (FAILED(result)) delete request;
  return result;
}

HRESULT Z_CAsyncEngine::PutWork(Z_CReadRequest* request) {
  Z_CScopedLock lock(&m_listLock);
  if (m_flushing) return VFW_E_WRONG_STATE;
  Z_CListNode* node = m_workList.AddTail(request);
  if (!node) return E_OUTOFMEMORY;
  SetEvent(m_workEvent.Handle());
  const HRESULT result = StartThread();
  // A request that no worker will ever perform must not stay queued.
  if (FAILED(result)) {
    m_workList.Remove(node);
    if (m_workList.Count() == 0) ResetEvent(m_workEvent.Handle());
  }
  return result;
}

Z_CReadRequest* Z_CAsyncEngine::TakeWork() {
  auto* request = static_cast<Z_CReadRequest*>(m_workList.RemoveHead());
  if (m_workList.Count() == 0) ResetEvent(m_workEvent.Handle());
  return request;
}

HRESULT Z_CAsyncEngine::PutDone(Z_CReadRequest* request) {
  if (!m_doneList.AddTail(request)) return E_OUTOFMEMORY;
  SetEvent(m_doneEvent.Handle());
  return S_OK;
}

Z_CReadRequest* Z_CAsyncEngine::TakeDone() {
  auto* request = static_cast<Z_CReadRequest*>(m_doneList.RemoveHead());
  // During a flush the event stays set, so every waiter wakes and learns of the flush.
  if (m_doneList.Count() == 0 && !(m_flushing && !m_waitingForAll)) ResetEvent(m_doneEvent.Handle());
  return request;
}

HRESULT Z_CAsyncEngine::StartThread() {
  if (m_thread) return S_OK;
  if (!m_stopEvent.Handle() || !m_workEvent.Handle() || !m_doneEvent.Handle() || !m_allDoneEvent.Handle())
    return E_OUTOFMEMORY;
  ResetEvent(m_stopEvent.Handle());
  DWORD threadId = 0;
  m_thread = CreateThread(nullptr, 0, ThreadEntry, this, 0, &threadId);
  if (m_thread) return S_OK;
  // Without a worker no queued read would ever finish: a failure even when no code is given.
  return ResultOfLastError();
}

void Z_CAsyncEngine::StopThread() {
  SetEvent(m_stopEvent.Handle());
  HANDLE thread;
  {
    Z_CScopedLock lock(&m_listLock);
    thread = m_thread;
  }
  if (!thread) return;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  Z_CScopedLock lock(&m_listLock);
  m_thread = nullptr;
}

DWORD Z_CAsyncEngine::ThreadEntry(LPVOID engine) { return static_cast<Z_CAsyncEngine*>(engine)->ThreadLoop(); }

DWORD Z_CAsyncEngine::ThreadLoop() {
  const HANDLE events[2] = {m_stopEvent.Handle(), m_workEvent.Handle()};
  while (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) ProcessRequests();
  return 0;
}

void Z_CAsyncEngine::ProcessRequests() {
  EnterCriticalSection(m_listLock.Section());
  while (Z_CReadRequest* request = TakeWork()) {
    ++m_inProgress;
    LeaveCriticalSection(m_listLock.Section());
    request->Perform();
    EnterCriticalSection(m_listLock.Section());
    // A request that cannot go to the done list can never be collected; it is dropped.
    if (FAILED(PutDone(request))) delete request;
    if (--m_inProgress == 0 && m_waitingForAll) SetEvent(m_allDoneEvent.Handle());
    LeaveCriticalSection(m_listLock.Section());
    EnterCriticalSection(m_listLock.Section());
  }
  LeaveCriticalSection(m_listLock.Section());
}

HRESULT Z_CAsyncEngine::WaitForNext(DWORD timeoutMilliseconds, IMediaSample** sample, DWORD_PTR* userValue,
                                    LONG* actual) {
  if (!sample || !userValue || !actual) return E_POINTER;
  *sample = nullptr;
  for (;;) {
    if (WaitForSingleObject(m_doneEvent.Handle(), timeoutMilliseconds) != WAIT_OBJECT_0) return VFW_E_TIMEOUT;
    Z_CReadRequest* request;
    {
      Z_CScopedLock lock(&m_listLock);
      request = TakeDone();
      if (!request && m_flushing && !m_waitingForAll) return VFW_E_WRONG_STATE;
    }
    if (!request) continue;
    HRESULT result = request->result;
    if (result == S_FALSE) {
      // A short read is whole when it ends where the stream does.
      const LONGLONG total = m_stream->QuerySize(nullptr);
      result = request->position + request->length == total ? S_OK : E_FAIL;
    }
    *actual = request->length;
    *sample = request->sample;
    *userValue = request->userValue;
    delete request;
    return result;
  }
}

HRESULT Z_CAsyncEngine::SyncReadAligned(LONGLONG position, LONG length, BYTE* buffer, LONG* actual,
                                        IMediaSample* sample) {
  if (!actual) return E_POINTER;
  if (length < 0) return E_INVALIDARG;
  if (!buffer && length > 0) return E_POINTER;
  if (!IsAligned(position, length, buffer)) return VFW_E_BADALIGN;
  Z_CReadRequest request;
  request.Fill(this, m_stream, position, length, TRUE, buffer, sample, 0);
  const HRESULT result = request.Perform();
  *actual = request.length;
  return result;
}

HRESULT Z_CAsyncEngine::SyncRead(LONGLONG position, LONG length, BYTE* buffer) {
  if (length < 0) return E_INVALIDARG;
  if (!buffer && length > 0) return E_POINTER;
  if (IsAligned(position, length, buffer)) {
    LONG actual = 0;
    return SyncReadAligned(position, length, buffer, &actual, nullptr);
  }
  Z_CReadRequest request;
  request.Fill(this, m_stream, position, length, FALSE, buffer, nullptr, 0);
  return request.Perform();
}

HRESULT Z_CAsyncEngine::Length(LONGLONG* total, LONGLONG* available) {
  if (!total) return E_POINTER;
  *total = m_stream->QuerySize(available);
  return S_OK;
}

HRESULT Z_CAsyncEngine::Alignment(LONG* alignment) {
  if (!alignment) return E_POINTER;
  *alignment = m_stream->QueryAlignment();
  return S_OK;
}

HRESULT Z_CAsyncEngine::BeginFlush() {
  EnterCriticalSection(m_listLock.Section());
  m_flushing = true;
  while (Z_CReadRequest* request = TakeWork()) {
    if (FAILED(PutDone(request))) delete request;
  }
  if (m_inProgress > 0) {
    m_waitingForAll = true;
    LeaveCriticalSection(m_listLock.Section());
    for (;;) {
      WaitForSingleObject(m_allDoneEvent.Handle(), INFINITE);
      Z_CScopedLock lock(&m_listLock);
      if (m_inProgress == 0) break;
    }
    EnterCriticalSection(m_listLock.Section());
    m_waitingForAll = false;
  }
  SetEvent(m_doneEvent.Handle());
  LeaveCriticalSection(m_listLock.Section());
  return S_OK;
}

HRESULT Z_CAsyncEngine::EndFlush() {
  Z_CScopedLock lock(&m_listLock);
  m_flushing = false;
  if (m_doneList.Count() > 0)
    SetEvent(m_doneEvent.Handle());
  else
    ResetEvent(m_doneEvent.Handle());
  return S_OK;
}

int Z_CAsyncEngine::QueuedCount() {
  Z_CScopedLock lock(&m_listLock);
  return m_workList.Count();
}

int Z_CAsyncEngine::DoneCount() {
  Z_CScopedLock lock(&m_listLock);
  return m_doneList.Count();
}
