// The last filter of a movie played through a filter graph: takes uncompressed 24-bit RGB video
// only, keeps a copy of the newest frame top row first in a buffer of its own, and raises a flag
// that the main thread polls (TakeNewFrame) before it reads the buffer.
//
// RenderSample runs on the streaming thread and AdoptType on the thread that connects the pins;
// the main thread reads the buffer without a lock, so a frame can change while it is copied.
#pragma once

#include <atomic>
#include <cstdint>

#include "media/media_services.h"

extern const CLSID CLSID_MovieRenderer;  // {71771540-2017-11CF-AE26-0020AFD79767}

class Z_CMovieRenderer : public Z_CVideoRenderFilter {
 public:
  Z_CMovieRenderer(IUnknown* outer, HRESULT* result);
  // Frees the frame buffer: the movie slot only borrows it.
  ~Z_CMovieRenderer() override;

  HRESULT TestType(const AM_MEDIA_TYPE* type) override;
  HRESULT AdoptType(const AM_MEDIA_TYPE* type) override;
  HRESULT RenderSample(IMediaSample* sample) override;

  // Main thread: true (and the flag cleared) when a frame arrived since the last call.
  bool TakeNewFrame();
  uint8_t* FrameBuffer() const { return m_frame; }
  int FrameWidth() const { return m_width; }
  int FrameHeight() const { return m_height; }
  int FramePitch() const { return m_pitch; }

 private:
  uint8_t* m_frame = nullptr;  // Height rows of pitch bytes, top row first; tracked heap.
  std::atomic<int> m_newFrame{0};
  int m_flip = 0;  // The source sends bottom-up rows.
  int m_width = 0;
  int m_height = 0;
  int m_pitch = 0;
};

// The renderer with no reference of its own (AddFilter takes the first); null when out of memory.
Z_CMovieRenderer* CreateMovieRenderer(IUnknown* outer, HRESULT* result);
