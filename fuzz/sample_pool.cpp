// Fuzz target: a script of sample-pool and media-sample calls with hostile properties, times,
// lengths, property records and media types. Checks that a sample never claims more data than it
// holds, that its whole buffer can be written, that GetProperties never writes past what it was
// asked, and that every framework object is gone once the samples and the pool are released.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_script.h"
#include "media/framework/heap_sample_pool.h"
#include "media/framework/media_type.h"

namespace {

constexpr LONG kAlignments[] = {0, 1, 2, 3, 8, 16, 64, 4096, 65536, 131072, -8, -1};
constexpr GUID kFuzzMajor = {0xF0220001, 0x0001, 0x0001, {1, 2, 3, 4, 5, 6, 7, 8}};

// A 32-bit size: mostly small, sometimes negative or close to the limit.
LONG SizeFrom(FuzzScript& script) {
  const uint32_t word = script.Word();
  switch (word & 3) {
    case 0:
    case 1:
      return static_cast<LONG>((word >> 2) & 0xFFF);
    case 2:
      return -static_cast<LONG>((word >> 2) & 0xFF) - 1;
    default:
      return INT32_MAX - static_cast<LONG>((word >> 2) & 0xFF);
  }
}

REFERENCE_TIME TimeFrom(FuzzScript& script) {
  const uint64_t low = script.Word();
  const uint64_t high = script.Word();
  return static_cast<REFERENCE_TIME>(high << 32 | low);
}

// Writes the first and last bytes of the buffer (the whole of a small one).
void TouchBuffer(IMediaSample* sample, uint8_t value) {
  BYTE* buffer = nullptr;
  if (sample->GetPointer(&buffer) != S_OK) abort();
  const LONG size = sample->GetSize();
  if (size < 0) abort();
  const LONG head = size < 4096 ? size : 4096;
  std::memset(buffer, value, static_cast<size_t>(head));
  std::memset(buffer + size - head, value, static_cast<size_t>(head));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzScript script{data, size};
  IMemAllocatorCallbackTemp* pool = nullptr;
  if (Z_CHeapSamplePool::CreateInstance(nullptr, IID_IMemAllocatorCallbackTemp, reinterpret_cast<void**>(&pool)) !=
      S_OK)
    abort();
  std::vector<IMediaSample*> held;
  Z_CMediaTypeHolder ownType;
  ownType.majortype = kFuzzMajor;

  while (!script.Done()) {
    const uint8_t operation = script.Byte();
    IMediaSample* sample = held.empty() ? nullptr : held[script.Byte() % held.size()];
    IMediaSample2* sample2 = sample ? static_cast<IMediaSample2*>(sample) : nullptr;
    switch (operation % 14) {
      case 0: {
        ALLOCATOR_PROPERTIES request{static_cast<LONG>(script.Byte() % 9) - 1, SizeFrom(script),
                                     kAlignments[script.Byte() % std::size(kAlignments)], SizeFrom(script)};
        ALLOCATOR_PROPERTIES actual{};
        const HRESULT result = pool->SetProperties(&request, &actual);
        if (SUCCEEDED(result) && (actual.cbBuffer < 0 || actual.cbPrefix < 0 || actual.cbAlign <= 0)) abort();
        break;
      }
      case 1:
        pool->Commit();
        break;
      case 2:
        pool->Decommit();
        break;
      case 3: {
        IMediaSample* taken = nullptr;
        if (pool->GetBuffer(&taken, nullptr, nullptr, AM_GBF_NOWAIT) == S_OK) {
          if (held.size() >= 32) {
            taken->Release();
            break;
          }
          held.push_back(taken);
        }
        break;
      }
      case 4:
        if (sample) {
          for (size_t i = 0; i < held.size(); ++i)
            if (held[i] == sample) {
              held.erase(held.begin() + static_cast<long>(i));
              break;
            }
          sample->Release();
        }
        break;
      case 5:
        if (sample && held.size() < 32) {
          sample->AddRef();
          held.push_back(sample);
        }
        break;
      case 6:
        if (sample) {
          REFERENCE_TIME start = TimeFrom(script), end = TimeFrom(script);
          const uint8_t which = script.Byte();
          sample->SetTime(which & 1 ? &start : nullptr, which & 2 ? &end : nullptr);
          REFERENCE_TIME gotStart = 0, gotEnd = 0;
          sample->GetTime(&gotStart, &gotEnd);
        }
        break;
      case 7:
        if (sample) {
          LONGLONG start = TimeFrom(script), end = TimeFrom(script);
          const uint8_t which = script.Byte();
          sample->SetMediaTime(which & 1 ? &start : nullptr, which & 2 ? &end : nullptr);
          LONGLONG gotStart = 0, gotEnd = 0;
          sample->GetMediaTime(&gotStart, &gotEnd);
        }
        break;
      case 8:
        if (sample) {
          sample->SetActualDataLength(SizeFrom(script));
          if (sample->GetActualDataLength() > sample->GetSize()) abort();
          TouchBuffer(sample, script.Byte());
        }
        break;
      case 9:
        if (sample2) {  // A record of fuzzed words whose pointers are ones the caller may give.
          AM_SAMPLE2_PROPERTIES record{};
          record.cbData = script.Byte();
          record.dwTypeSpecificFlags = script.Word();
          record.dwSampleFlags = script.Word() & 0x3FF;
          record.lActual = SizeFrom(script);
          record.tStart = TimeFrom(script);
          record.tStop = TimeFrom(script);
          record.dwStreamId = script.Word();
          record.pMediaType = script.Byte() & 1 ? &ownType : nullptr;
          BYTE* buffer = nullptr;
          sample2->GetPointer(&buffer);
          const uint8_t pointer = script.Byte() % 3;
          record.pbBuffer = pointer == 0 ? nullptr : pointer == 1 ? buffer : buffer + 1;
          record.cbBuffer = script.Byte() & 1 ? sample2->GetSize() : SizeFrom(script);
          sample2->SetProperties(script.Byte(), reinterpret_cast<const BYTE*>(&record));
          if (sample2->GetActualDataLength() > sample2->GetSize()) abort();
        }
        break;
      case 10:
        if (sample2) {
          BYTE bytes[sizeof(AM_SAMPLE2_PROPERTIES) + 16];
          std::memset(bytes, 0xC3, sizeof(bytes));
          const DWORD asked = script.Byte();
          if (sample2->GetProperties(asked, bytes) != S_OK) abort();
          const size_t written = asked < sizeof(AM_SAMPLE2_PROPERTIES) ? asked : sizeof(AM_SAMPLE2_PROPERTIES);
          for (size_t i = written; i < sizeof(bytes); ++i)
            if (bytes[i] != 0xC3) abort();
        }
        break;
      case 11:
        if (sample) {
          const uint8_t length = script.Byte() % 8;
          ownType.InitEmpty();
          ownType.majortype = kFuzzMajor;
          if (length) {
            ownType.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(length));
            for (uint8_t i = 0; i < length; ++i) ownType.pbFormat[i] = script.Byte();
            ownType.cbFormat = length;
          }
          const bool given = script.Byte() & 1;
          const HRESULT set = sample->SetMediaType(given ? &ownType : nullptr);
          AM_MEDIA_TYPE* type = nullptr;
          const HRESULT got = sample->GetMediaType(&type);
          if (set == S_OK && given && (got != S_OK || !ownType.Equals(*type))) abort();
          if (set == S_OK && !given && (got != S_FALSE || type)) abort();
          DeleteMediaTypeBlock(type);
        }
        break;
      case 12: {
        LONG free = -1;
        ALLOCATOR_PROPERTIES properties{};
        pool->GetFreeCount(&free);
        pool->GetProperties(&properties);
        if (free < 0 && properties.cBuffers >= 0) abort();
        break;
      }
      default:
        if (sample) TouchBuffer(sample, script.Byte());
        break;
    }
  }
  for (IMediaSample* sample : held) sample->Release();
  pool->Decommit();
  pool->Release();
  if (Z_CNamedObject::LiveObjectCount.load() != 0) abort();
  return 0;
}
