// Commit and decommit, handing out and taking back samples, and the free count of a sample pool.
#include "media/framework/sample_pool.h"

Z_CSamplePool::Z_CSamplePool(const char* name, IUnknown* outer, HRESULT* result, bool makeSemaphore, bool notifyEnabled)
    : Z_CInnerUnknown(name, outer), m_notifyEnabled(notifyEnabled) {
  if (makeSemaphore) {
    m_semaphore = CreateSemaphoreA(nullptr, 0, 0x7FFFFFFF, nullptr);
    if (!m_semaphore && result) *result = E_OUTOFMEMORY;
  }
}

Z_CSamplePool::~Z_CSamplePool() {
  if (m_semaphore) CloseHandle(m_semaphore);
  if (m_notify) m_notify->Release();
}

HRESULT Z_CSamplePool::InnerQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IMemAllocator || (iid == IID_IMemAllocatorCallbackTemp && m_notifyEnabled))
    return HandOutInterface(static_cast<IMemAllocatorCallbackTemp*>(this), out);
  return Z_CInnerUnknown::InnerQueryInterface(iid, out);
}

HRESULT Z_CSamplePool::GetProperties(ALLOCATOR_PROPERTIES* properties) {
  if (!properties) return E_POINTER;
  Z_CScopedLock lock(&m_lock);
  properties->cBuffers = m_bufferCount;
  properties->cbBuffer = m_bufferSize;
  properties->cbAlign = m_alignment;
  properties->cbPrefix = m_prefix;
  return S_OK;
}

HRESULT Z_CSamplePool::Commit() {
  Z_CScopedLock lock(&m_lock);
  if (m_committed) return S_OK;
  m_committed = true;
  if (m_decommitPending) {
    // The samples still out and the block in place serve again.
    m_decommitPending = false;
    return S_OK;
  }
  const HRESULT result = AllocBuffers();
  if (FAILED(result)) {
    m_committed = false;
    return result;
  }
  // Held until the buffers are freed, so samples still out never outlive their pool.
  Allocator()->AddRef();
  return S_OK;
}

HRESULT Z_CSamplePool::Decommit() {
  bool dropSelfReference = false;
  {
    Z_CScopedLock lock(&m_lock);
    if (!m_committed && !m_decommitPending) return S_OK;
    m_committed = false;
    if (m_freeList.Count() < m_samplesMade) {
      m_decommitPending = true;
    } else {
      m_decommitPending = false;
      FreeBuffers();
      dropSelfReference = true;
    }
    ReleaseWaiters();
  }
  if (dropSelfReference) Allocator()->Release();
  return S_OK;
}

HRESULT Z_CSamplePool::GetBuffer(IMediaSample** sample, REFERENCE_TIME*, REFERENCE_TIME*, DWORD flags) {
  if (!sample) return E_POINTER;
  *sample = nullptr;
  for (;;) {
    Z_CSampleBuffer* buffer = nullptr;
    {
      Z_CScopedLock lock(&m_lock);
      if (!m_committed) return VFW_E_NOT_COMMITTED;
      buffer = m_freeList.Pop();
      if (!buffer) ++m_waitingCount;
    }
    if (buffer) {
      buffer->SetReferenceCount(1);
      *sample = buffer;
      return S_OK;
    }
    if (flags & AM_GBF_NOWAIT) return VFW_E_TIMEOUT;
    WaitForSingleObject(m_semaphore, INFINITE);
  }
}

HRESULT Z_CSamplePool::ReleaseBuffer(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  bool dropSelfReference = false;
  IMemAllocatorNotifyCallbackTemp* notify = nullptr;
  {
    Z_CScopedLock lock(&m_lock);
    m_freeList.Push(static_cast<Z_CSampleBuffer*>(sample));
    if (m_waitingCount != 0) ReleaseWaiters();
    if (m_decommitPending && m_freeList.Count() == m_samplesMade) {
      FreeBuffers();
      m_decommitPending = false;
      dropSelfReference = true;
    }
    notify = m_notify;
    if (notify) notify->AddRef();
  }
  if (notify) {
    notify->NotifyRelease();
    notify->Release();
  }
  if (dropSelfReference) Allocator()->Release();
  return S_OK;
}

HRESULT Z_CSamplePool::SetNotify(IMemAllocatorNotifyCallbackTemp* callback) {
  Z_CScopedLock lock(&m_lock);
  if (callback) callback->AddRef();
  if (m_notify) m_notify->Release();
  m_notify = callback;
  return S_OK;
}

HRESULT Z_CSamplePool::GetFreeCount(LONG* free) {
  if (!free) return E_POINTER;
  Z_CScopedLock lock(&m_lock);
  *free = m_bufferCount - m_samplesMade + m_freeList.Count();
  return S_OK;
}

LONG Z_CSamplePool::WaitingCount() {
  Z_CScopedLock lock(&m_lock);
  return m_waitingCount;
}

void Z_CSamplePool::ReleaseWaiters() {
  if (m_waitingCount == 0) return;
  ReleaseSemaphore(m_semaphore, m_waitingCount, nullptr);
  m_waitingCount = 0;
}

HRESULT Z_CSamplePool::CheckProperties() const {
  if (m_bufferCount <= 0 || m_bufferSize <= 0 || m_alignment <= 0) return VFW_E_SIZENOTSET;
  return m_changed ? S_OK : S_FALSE;
}
