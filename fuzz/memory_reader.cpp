// Fuzz target: a script of reader calls on a memory reader over the input's own bytes: queued and
// synchronous sample reads with hostile times (backwards, past the end, larger than the sample,
// negative), plain synchronous reads, waits and flushes. Checks that a sample never claims more
// data than it holds, that the bytes read are the stream's, that every queued sample comes back,
// and that no framework object is left alive.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_script.h"
#include "media/framework/async_source.h"
#include "media/framework/heap_sample_pool.h"

namespace {

constexpr LONGLONG kUnitsPerByte = 10000000;
constexpr LONG kSampleSize = 256;

REFERENCE_TIME TimeFrom(FuzzScript& script) {
  const uint32_t word = script.Word();
  switch (word & 3) {
    case 0:
    case 1:
      return static_cast<REFERENCE_TIME>((word >> 2) & 0x7FF) * kUnitsPerByte;
    case 2:
      return static_cast<REFERENCE_TIME>(static_cast<int32_t>(word));
    default:
      return static_cast<REFERENCE_TIME>(static_cast<uint64_t>(script.Word()) << 32 | word);
  }
}

// The sample's data must be the stream's bytes from its start time on.
void CheckSample(IMediaSample* sample, const std::vector<BYTE>& bytes) {
  const LONG length = sample->GetActualDataLength();
  if (length < 0 || length > sample->GetSize()) abort();
  REFERENCE_TIME start = 0, end = 0;
  if (FAILED(sample->GetTime(&start, &end))) return;
  const LONGLONG position = start / kUnitsPerByte;
  if (position < 0 || position + length > static_cast<LONGLONG>(bytes.size())) return;
  BYTE* data = nullptr;
  sample->GetPointer(&data);
  if (length > 0 && std::memcmp(data, bytes.data() + position, static_cast<size_t>(length)) != 0) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzScript script{data, size};
  // The stream is the input itself; the script reads it too.
  const std::vector<BYTE> bytes(data, data + size);
  Z_CMemStream* stream = Z_CMemStream::Create(bytes.data(), static_cast<DWORD>(bytes.size()), 0, 0xFFFFFFFF);
  if (!stream) abort();
  AM_MEDIA_TYPE type{};
  type.majortype = MEDIATYPE_Stream;
  HRESULT created = S_OK;
  Z_CMemReader* reader = Z_CMemReader::Create(stream, &type, &created);
  reader->AddRef();
  IAsyncReader* pin = reader->OutputPin();

  IMemAllocator* allocator = nullptr;
  if (Z_CHeapSamplePool::CreateInstance(nullptr, IID_IMemAllocator, reinterpret_cast<void**>(&allocator)) != S_OK)
    abort();
  ALLOCATOR_PROPERTIES asked{4, kSampleSize, 1, 0}, actual{};
  if (allocator->SetProperties(&asked, &actual) != S_OK || allocator->Commit() != S_OK) abort();

  std::vector<IMediaSample*> free;
  for (int i = 0; i < 4; ++i) {
    IMediaSample* sample = nullptr;
    if (allocator->GetBuffer(&sample, nullptr, nullptr, 0) != S_OK) abort();
    free.push_back(sample);
  }
  int queued = 0;
  bool flushing = false;
  BYTE plain[512];

  auto collect = [&](DWORD timeout) {
    IMediaSample* sample = nullptr;
    DWORD_PTR user = 0;
    const HRESULT result = pin->WaitForNext(timeout, &sample, &user);
    if (sample) {
      if (reinterpret_cast<IMediaSample*>(user) != sample) abort();
      if (result == S_OK) CheckSample(sample, bytes);
      free.push_back(sample);
      --queued;
    }
    return result;
  };

  while (!script.Done()) {
    switch (script.Byte() % 7) {
      case 0:
      case 1: {
        if (free.empty()) break;
        IMediaSample* sample = free.back();
        REFERENCE_TIME start = TimeFrom(script), end = TimeFrom(script);
        sample->SetTime(&start, &end);
        if (SUCCEEDED(pin->Request(sample, reinterpret_cast<DWORD_PTR>(sample)))) {
          free.pop_back();
          ++queued;
        }
        break;
      }
      case 2:
        if (queued > 0)
          collect(flushing ? 0 : INFINITE);
        else
          collect(0);
        break;
      case 3: {
        if (free.empty()) break;
        IMediaSample* sample = free.back();
        REFERENCE_TIME start = TimeFrom(script), end = TimeFrom(script);
        sample->SetTime(&start, &end);
        if (SUCCEEDED(pin->SyncReadAligned(sample))) CheckSample(sample, bytes);
        break;
      }
      case 4: {
        const LONGLONG position = static_cast<int32_t>(script.Word()) % 2048;
        const LONG length = static_cast<LONG>(script.Word() % sizeof(plain));
        pin->SyncRead(position, length, plain);
        break;
      }
      case 5:
        if (flushing)
          pin->EndFlush();
        else
          pin->BeginFlush();
        flushing = !flushing;
        break;
      default: {
        LONGLONG total = 0, available = 0;
        if (pin->Length(&total, &available) != S_OK || total != static_cast<LONGLONG>(bytes.size())) abort();
        break;
      }
    }
  }

  // Every queued sample comes back: during a flush the swept ones, then the wrong state.
  pin->BeginFlush();
  while (queued > 0) {
    if (collect(INFINITE) == VFW_E_WRONG_STATE && queued > 0) abort();
  }
  pin->EndFlush();
  for (IMediaSample* sample : free) sample->Release();
  allocator->Decommit();
  allocator->Release();
  reader->Release();
  Z_CMemStream::Destroy(stream);
  if (Z_CNamedObject::LiveObjectCount.load() != 0) abort();
  return 0;
}
