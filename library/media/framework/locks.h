// The framework's synchronisation wrappers: a critical section, a scoped holder of one, and an
// event handle. A filter owns its section and lends it to its pins; the section is re-entrant, so
// a locked method may call another that takes it again. Beside them, the result a failed kernel
// call (a thread, a file) turns into.
#pragma once

#include "platform/kernel.h"

class Z_CLockSection {
 public:
  Z_CLockSection() { InitializeCriticalSection(&m_section); }
  ~Z_CLockSection() { DeleteCriticalSection(&m_section); }
  Z_CLockSection(const Z_CLockSection&) = delete;
  Z_CLockSection& operator=(const Z_CLockSection&) = delete;

  CRITICAL_SECTION* Section() { return &m_section; }

 private:
  CRITICAL_SECTION m_section;
};

class Z_CScopedLock {
 public:
  explicit Z_CScopedLock(Z_CLockSection* lock) : m_section(lock->Section()) { EnterCriticalSection(m_section); }
  ~Z_CScopedLock() { LeaveCriticalSection(m_section); }
  Z_CScopedLock(const Z_CScopedLock&) = delete;
  Z_CScopedLock& operator=(const Z_CScopedLock&) = delete;

 private:
  CRITICAL_SECTION* m_section;
};

// Users set, reset and wait on the handle directly; it is null when creation failed.
class Z_CWaitEvent {
 public:
  explicit Z_CWaitEvent(bool manualReset)
      : m_event(CreateEventA(nullptr, manualReset ? TRUE : FALSE, FALSE, nullptr)) {}
  ~Z_CWaitEvent() {
    if (m_event) CloseHandle(m_event);
  }
  Z_CWaitEvent(const Z_CWaitEvent&) = delete;
  Z_CWaitEvent& operator=(const Z_CWaitEvent&) = delete;

  HANDLE Handle() const { return m_event; }

 private:
  HANDLE m_event;
};

// The last kernel error as a result code; a failure even when the kernel gave no code.
inline HRESULT ResultOfLastError() {
  const DWORD error = GetLastError();
  return error ? static_cast<HRESULT>(0x80070000u | (error & 0xFFFFu)) : E_FAIL;
}
