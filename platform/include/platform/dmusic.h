// DirectMusic-shaped part of the platform stand-in: the methods of the performance, segment and
// loader that sound calls. No class is registered, so nothing here is ever created by the system;
// tests may supply their own objects.
#pragma once

#include "platform/com.h"

typedef LONGLONG DMUS_REFERENCE_TIME;  // 100-ns units
typedef long MUSIC_TIME;

struct IDirectMusicSegmentState;

struct IDirectMusicSegment8 : IUnknown {
  // Frees the instruments the segment downloaded to the path or performance.
  virtual HRESULT Unload(IUnknown* audioPathOrPerformance) = 0;
};

struct IDirectMusicPerformance8 : IUnknown {
  // S_OK while the segment (or the segment state) plays, S_FALSE when not.
  virtual HRESULT IsPlaying(IDirectMusicSegment8* segment, IDirectMusicSegmentState* segmentState) = 0;
  virtual HRESULT StopEx(IUnknown* segmentOrState, DMUS_REFERENCE_TIME stopTime, DWORD flags) = 0;
};

struct IDirectMusicLoader8 : IUnknown {
  // The loader forgets an object it cached.
  virtual HRESULT ReleaseObjectByUnknown(IUnknown* object) = 0;
};
