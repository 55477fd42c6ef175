// The test door's in-memory IStream.
#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "platform/testing.h"

namespace platform::testing {
namespace {

constexpr DWORD kSeekFromEnd = 2;

class MemoryStreamObject final : public MemoryStream {
 public:
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_ISequentialStream || iid == IID_IStream) {
      *object = static_cast<IStream*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return static_cast<ULONG>(++m_references); }
  ULONG Release() override {
    const LONG left = --m_references;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  HRESULT Read(void* buffer, ULONG size, ULONG* read) override {
    if (!buffer) return E_POINTER;
    std::lock_guard<std::mutex> lock(m_mutex);
    ULONG count = 0;
    if (m_position < m_bytes.size()) count = static_cast<ULONG>(std::min<uint64_t>(size, m_bytes.size() - m_position));
    std::copy_n(m_bytes.begin() + static_cast<std::ptrdiff_t>(m_position), count, static_cast<uint8_t*>(buffer));
    m_position += count;
    if (read) *read = count;
    return count == size ? S_OK : S_FALSE;
  }
  HRESULT Write(const void* buffer, ULONG size, ULONG* written) override {
    if (!buffer) return E_POINTER;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (FAILED(m_writeResult)) return m_writeResult;
    if (m_bytes.size() < m_position + size) m_bytes.resize(m_position + size);
    std::copy_n(static_cast<const uint8_t*>(buffer), size, m_bytes.begin() + static_cast<std::ptrdiff_t>(m_position));
    m_position += size;
    if (written) *written = size;
    return S_OK;
  }
  HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (FAILED(m_seekResult)) return m_seekResult;
    int64_t base = 0;
    if (origin == STREAM_SEEK_CUR)
      base = static_cast<int64_t>(m_position);
    else if (origin == kSeekFromEnd)
      base = static_cast<int64_t>(m_bytes.size());
    else if (origin != STREAM_SEEK_SET)
      return STG_E_INVALIDFUNCTION;
    const int64_t target = base + move.QuadPart;
    if (target < 0) return STG_E_INVALIDFUNCTION;
    m_position = static_cast<uint64_t>(target);
    if (newPosition) newPosition->QuadPart = m_position;
    return S_OK;
  }

  std::vector<uint8_t> Bytes() override {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bytes;
  }
  void SetSeekResult(HRESULT result) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_seekResult = result;
  }
  void SetWriteResult(HRESULT result) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_writeResult = result;
  }

 private:
  std::atomic<LONG> m_references{1};
  std::mutex m_mutex;
  std::vector<uint8_t> m_bytes;
  uint64_t m_position = 0;
  HRESULT m_seekResult = S_OK;
  HRESULT m_writeResult = S_OK;
};

}  // namespace

MemoryStream* CreateMemoryStream() { return new MemoryStreamObject; }

}  // namespace platform::testing
