// The concrete sample pool: every buffer is a slice of one block of virtual memory, each slot a
// multiple of the alignment with the prefix ahead of the buffer. Samples are made once per
// allocation and reused; the block stays from one commit to the next until the properties change
// or the pool goes. It is the platform's memory allocator (CLSID_MemoryAllocator).
//
// Refused: an alignment that is not positive or does not divide the allocation granularity; a
// negative size or prefix, or a slot too large to count in 32 bits; a block too large to address.
#pragma once

#include "media/framework/sample_pool.h"

class Z_CHeapSamplePool : public Z_CSamplePool {
 public:
  Z_CHeapSamplePool(const char* name, IUnknown* outer, HRESULT* result);
  ~Z_CHeapSamplePool() override;

  // The class's creation by class id: a new pool handing out the asked interface.
  static HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out);

  HRESULT SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
  void FreeBuffers() override {}
  HRESULT AllocBuffers() override;
  // Deletes every sample and releases the block; only when every sample is back.
  void FreeBlock();

 protected:
  // For derived pools that answer without the notify interface.
  Z_CHeapSamplePool(const char* name, IUnknown* outer, HRESULT* result, bool notifyEnabled);

 private:
  BYTE* m_block = nullptr;
};
