// The framework's allocator: a fixed number of equal buffers, each wrapped in a Z_CSampleBuffer,
// handed out one at a time (last in, first out) and taken back when their last reference goes.
// Z_CSamplePool holds properties, commit and decommit, the free list, the wait for a free sample,
// the notify callback and the free count; a derived pool supplies SetProperties and the buffers.
//
// Any thread may call any operation. One lock guards every field; GetBuffer waits on the
// semaphore only after leaving it, and NotifyRelease and the release of the pool's reference on
// itself happen after it is left. The semaphore counts wake-ups, not buffers: a woken caller
// looks again under the lock.
#pragma once

#include "media/framework/inner_unknown.h"
#include "media/framework/locks.h"
#include "media/framework/sample_buffer.h"
#include "platform/dshow.h"

// Last in, first out, linked through the samples themselves.
class Z_CSampleFreeList {
 public:
  void Push(Z_CSampleBuffer* sample) {
    sample->m_next = m_head;
    m_head = sample;
    ++m_count;
  }
  Z_CSampleBuffer* Pop() {
    Z_CSampleBuffer* sample = m_head;
    if (!sample) return nullptr;
    m_head = sample->m_next;
    --m_count;
    return sample;
  }
  LONG Count() const { return m_count; }

 private:
  Z_CSampleBuffer* m_head = nullptr;
  LONG m_count = 0;
};

class Z_CSamplePool : public Z_CInnerUnknown, public IMemAllocatorCallbackTemp {
 public:
  // A semaphore that cannot be made stores E_OUTOFMEMORY in the result.
  Z_CSamplePool(const char* name, IUnknown* outer, HRESULT* result, bool makeSemaphore, bool notifyEnabled);
  ~Z_CSamplePool() override;

  Z_FORWARD_IUNKNOWN_TO_OUTER
  // IMemAllocatorCallbackTemp is answered only with notification enabled.
  HRESULT InnerQueryInterface(REFIID iid, void** out) override;
  virtual void FreeBuffers() = 0;
  virtual HRESULT AllocBuffers() = 0;

  // IMemAllocator (SetProperties belongs to the derived pool) and IMemAllocatorCallbackTemp.
  HRESULT GetProperties(ALLOCATOR_PROPERTIES* properties) override;
  HRESULT Commit() override;
  HRESULT Decommit() override;
  // The times are not used. Without a free sample the caller waits, unless AM_GBF_NOWAIT is given.
  HRESULT GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end, DWORD flags) override;
  // Called by a sample's last Release.
  HRESULT ReleaseBuffer(IMediaSample* sample) override;
  HRESULT SetNotify(IMemAllocatorNotifyCallbackTemp* callback) override;
  HRESULT GetFreeCount(LONG* free) override;

  // GetBuffer callers waiting for a sample now.
  LONG WaitingCount();

 protected:
  // Wakes every waiting GetBuffer; the lock is held.
  void ReleaseWaiters();
  // VFW_E_SIZENOTSET while count, size or alignment is not positive; S_FALSE when nothing changed
  // since the last allocation, S_OK when something did.
  HRESULT CheckProperties() const;
  IMemAllocator* Allocator() { return this; }

  Z_CLockSection m_lock;
  Z_CSampleFreeList m_freeList;
  HANDLE m_semaphore = nullptr;
  LONG m_waitingCount = 0;
  LONG m_bufferCount = 0;
  LONG m_samplesMade = 0;
  LONG m_bufferSize = 0;
  LONG m_alignment = 0;
  LONG m_prefix = 0;
  bool m_changed = false;
  bool m_committed = false;
  bool m_decommitPending = false;
  IMemAllocatorNotifyCallbackTemp* m_notify = nullptr;  // One reference held.
  bool m_notifyEnabled;
};
