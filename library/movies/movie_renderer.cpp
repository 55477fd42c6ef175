// The movie renderer: the type test, the frame buffer set up from the format, and the frame copy.
//
// Refused by AdoptType (E_INVALIDARG, the old buffer kept): a format block shorter than a
// VIDEOINFOHEADER, a width of 0 or less, a height of 0 or INT_MIN, and a frame whose pitch or
// size does not fit an int. RenderSample drops (S_OK, no new frame) a sample that holds less
// than a whole frame.
#include "movies/movie_renderer.h"

#include <climits>
#include <cstring>
#include <new>

#include "zyvel/runtime.h"

// {71771540-2017-11CF-AE26-0020AFD79767}
const CLSID CLSID_MovieRenderer = {0x71771540, 0x2017, 0x11CF, {0xAE, 0x26, 0x00, 0x20, 0xAF, 0xD7, 0x97, 0x67}};

Z_CMovieRenderer::Z_CMovieRenderer(IUnknown* outer, HRESULT* result)
    : Z_CVideoRenderFilter(CLSID_MovieRenderer, nullptr, outer, result) {
  if (result) *result = S_OK;
}

Z_CMovieRenderer::~Z_CMovieRenderer() {
  if (m_frame) ZV_FREE(m_frame);
  m_frame = nullptr;
}

Z_CMovieRenderer* CreateMovieRenderer(IUnknown* outer, HRESULT* result) {
  auto* renderer = new (std::nothrow) Z_CMovieRenderer(outer, result);
  if (!renderer && result) *result = E_OUTOFMEMORY;
  return renderer;
}

HRESULT Z_CMovieRenderer::TestType(const AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  if (type->formattype != FORMAT_VideoInfo) return E_INVALIDARG;
  if (type->majortype != MEDIATYPE_Video) return E_FAIL;
  if (type->subtype != MEDIASUBTYPE_RGB24) return E_FAIL;
  return S_OK;
}

HRESULT Z_CMovieRenderer::AdoptType(const AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  if (!type->pbFormat || type->cbFormat < sizeof(VIDEOINFOHEADER)) return E_INVALIDARG;
  VIDEOINFOHEADER format;
  std::memcpy(&format, type->pbFormat, sizeof(format));
  const LONG width = format.bmiHeader.biWidth;
  const LONG signedHeight = format.bmiHeader.biHeight;
  if (width <= 0 || signedHeight == 0 || signedHeight == INT_MIN) return E_INVALIDARG;
  const int64_t height = signedHeight < 0 ? -static_cast<int64_t>(signedHeight) : signedHeight;
  const int64_t pitch = (static_cast<int64_t>(width) * 3 + 3) & ~int64_t{3};
  if (pitch > INT_MAX || pitch * height > INT_MAX) return E_INVALIDARG;

  auto* frame = static_cast<uint8_t*>(ZV_ALLOC(static_cast<int>(pitch * height)));
  if (!frame) return E_OUTOFMEMORY;
  if (m_frame) ZV_FREE(m_frame);
  m_frame = frame;
  m_flip = signedHeight > 0 ? 1 : 0;
  m_width = width;
  m_height = static_cast<int>(height);
  m_pitch = static_cast<int>(pitch);
  m_newFrame.store(0, std::memory_order_release);
  return S_OK;
}

HRESULT Z_CMovieRenderer::RenderSample(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  if (!m_frame) return S_OK;
  const int frameBytes = m_pitch * m_height;
  BYTE* data = nullptr;
  if (FAILED(sample->GetPointer(&data)) || !data || sample->GetActualDataLength() < frameBytes) return S_OK;
  if (m_flip) {
    for (int row = 0; row < m_height; ++row)
      std::memcpy(m_frame + static_cast<size_t>(m_height - 1 - row) * m_pitch,
                  data + static_cast<size_t>(row) * m_pitch, static_cast<size_t>(m_pitch));
  } else {
    std::memcpy(m_frame, data, static_cast<size_t>(frameBytes));
  }
  m_newFrame.store(1, std::memory_order_release);
  return S_OK;
}

bool Z_CMovieRenderer::TakeNewFrame() { return m_newFrame.exchange(0, std::memory_order_acquire) != 0; }
