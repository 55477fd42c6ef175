// The heap sample pool: properties with alignment, and the one block its buffers are cut from.
#include "media/framework/heap_sample_pool.h"

#include <cstdint>
#include <new>

Z_CHeapSamplePool::Z_CHeapSamplePool(const char* name, IUnknown* outer, HRESULT* result)
    : Z_CSamplePool(name, outer, result, true, true) {}

Z_CHeapSamplePool::Z_CHeapSamplePool(const char* name, IUnknown* outer, HRESULT* result, bool notifyEnabled)
    : Z_CSamplePool(name, outer, result, true, notifyEnabled) {}

Z_CHeapSamplePool::~Z_CHeapSamplePool() {
  Allocator()->Decommit();
  FreeBlock();
}

HRESULT Z_CHeapSamplePool::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (outer && iid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
  HRESULT result = S_OK;
  auto* pool = new (std::nothrow) Z_CHeapSamplePool("Heap sample pool", outer, &result);
  if (!pool) return E_OUTOFMEMORY;
  if (SUCCEEDED(result)) result = pool->InnerQueryInterface(iid, out);
  if (FAILED(result)) delete pool;
  return result;
}

HRESULT Z_CHeapSamplePool::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) {
  if (!request || !actual) return E_POINTER;
  Z_CScopedLock lock(&m_lock);
  *actual = ALLOCATOR_PROPERTIES{};

  SYSTEM_INFO system;
  GetSystemInfo(&system);
  const LONG alignment = request->cbAlign;
  if (alignment <= 0 || system.dwAllocationGranularity % static_cast<DWORD>(alignment) != 0) return VFW_E_BADALIGN;
  if (m_committed) return VFW_E_ALREADY_COMMITTED;
  if (m_freeList.Count() < m_samplesMade) return VFW_E_BUFFERS_OUTSTANDING;
  if (request->cbBuffer < 0 || request->cbPrefix < 0) return E_INVALIDARG;

  int64_t total = int64_t{request->cbBuffer} + request->cbPrefix;
  if (total % alignment != 0) total += alignment - total % alignment;
  if (total > INT32_MAX) return E_INVALIDARG;

  m_bufferSize = static_cast<LONG>(total - request->cbPrefix);
  m_bufferCount = request->cBuffers;
  m_alignment = alignment;
  m_prefix = request->cbPrefix;
  actual->cBuffers = m_bufferCount;
  actual->cbBuffer = m_bufferSize;
  actual->cbAlign = m_alignment;
  actual->cbPrefix = m_prefix;
  m_changed = true;
  return S_OK;
}

HRESULT Z_CHeapSamplePool::AllocBuffers() {
  Z_CScopedLock lock(&m_lock);
  const HRESULT check = CheckProperties();
  if (FAILED(check)) return check;
  if (check == S_FALSE) return S_OK;
  if (m_block) FreeBlock();

  SIZE_T stride = static_cast<SIZE_T>(m_bufferSize) + static_cast<SIZE_T>(m_prefix);
  if (m_alignment > 1 && stride % static_cast<SIZE_T>(m_alignment) != 0)
    stride += static_cast<SIZE_T>(m_alignment) - stride % static_cast<SIZE_T>(m_alignment);
  SIZE_T blockSize = 0;
  if (__builtin_mul_overflow(static_cast<SIZE_T>(m_bufferCount), stride, &blockSize)) return E_OUTOFMEMORY;
  m_block = static_cast<BYTE*>(VirtualAlloc(nullptr, blockSize, MEM_COMMIT, PAGE_READWRITE));
  if (!m_block) return E_OUTOFMEMORY;

  while (m_samplesMade < m_bufferCount) {
    BYTE* buffer = m_block + static_cast<SIZE_T>(m_samplesMade) * stride + static_cast<SIZE_T>(m_prefix);
    auto* sample = new (std::nothrow) Z_CSampleBuffer("Heap sample", this, nullptr, buffer, m_bufferSize);
    if (!sample) return E_OUTOFMEMORY;
    m_freeList.Push(sample);
    ++m_samplesMade;
  }
  m_changed = false;
  return S_OK;
}

void Z_CHeapSamplePool::FreeBlock() {
  while (Z_CSampleBuffer* sample = m_freeList.Pop()) delete sample;
  m_samplesMade = 0;
  if (m_block) {
    VirtualFree(m_block, 0, MEM_RELEASE);
    m_block = nullptr;
  }
}
