// DirectShow-shaped seeking and quality interfaces: IMediaSeeking, IMediaPosition (a dual
// interface), IQualProp, and the seeking pass-through class that the media framework offers under
// CLSID_SeekingPassThru.
#pragma once

#include "platform/dshow.h"
#include "platform/oleauto.h"

typedef double REFTIME;  // Seconds.

// Published ids.
// {36B73880-C2C8-11CF-8B46-00805F6CEF60}
inline constexpr IID IID_IMediaSeeking = {0x36B73880, 0xC2C8, 0x11CF, {0x8B, 0x46, 0x00, 0x80, 0x5F, 0x6C, 0xEF, 0x60}};
// {56A868B2-0AD4-11CE-B03A-0020AF0BA770}
inline constexpr IID IID_IMediaPosition = {
    0x56A868B2, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
// {56A868B0-0AD4-11CE-B03A-0020AF0BA770}: the type library that describes IMediaPosition.
inline constexpr GUID LIBID_MediaControl = {
    0x56A868B0, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
// {1BD0ECB0-F8E2-11CE-AAC6-0020AF0B99A3}
inline constexpr IID IID_IQualProp = {0x1BD0ECB0, 0xF8E2, 0x11CE, {0xAA, 0xC6, 0x00, 0x20, 0xAF, 0x0B, 0x99, 0xA3}};
// {7B785574-8C82-11CF-BC0C-00AA00AC74F6}
inline constexpr GUID TIME_FORMAT_MEDIA_TIME = {
    0x7B785574, 0x8C82, 0x11CF, {0xBC, 0x0C, 0x00, 0xAA, 0x00, 0xAC, 0x74, 0xF6}};
// Our own.
// {B4C50E2A-6B0D-4F57-8C0E-3D2F4A1B9E61}
inline constexpr CLSID CLSID_SeekingPassThru = {
    0xB4C50E2A, 0x6B0D, 0x4F57, {0x8C, 0x0E, 0x3D, 0x2F, 0x4A, 0x1B, 0x9E, 0x61}};
// {0C7E5B9D-2A41-4E86-9F13-6D8A27C4B350}
inline constexpr IID IID_ISeekingPassThru = {
    0x0C7E5B9D, 0x2A41, 0x4E86, {0x9F, 0x13, 0x6D, 0x8A, 0x27, 0xC4, 0xB3, 0x50}};
// {00020400-0000-0000-C000-000000000046}
inline constexpr IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

#define AM_SEEKING_NoPositioning 0x0u
#define AM_SEEKING_AbsolutePositioning 0x1u
#define AM_SEEKING_RelativePositioning 0x2u
#define AM_SEEKING_PositioningBitsMask 0x3u

struct IMediaSeeking : IUnknown {
  virtual HRESULT GetCapabilities(DWORD* capabilities) = 0;
  virtual HRESULT CheckCapabilities(DWORD* capabilities) = 0;
  virtual HRESULT IsFormatSupported(const GUID* format) = 0;
  virtual HRESULT QueryPreferredFormat(GUID* format) = 0;
  virtual HRESULT GetTimeFormat(GUID* format) = 0;
  virtual HRESULT IsUsingTimeFormat(const GUID* format) = 0;
  virtual HRESULT SetTimeFormat(const GUID* format) = 0;
  virtual HRESULT GetDuration(LONGLONG* duration) = 0;
  virtual HRESULT GetStopPosition(LONGLONG* stop) = 0;
  virtual HRESULT GetCurrentPosition(LONGLONG* current) = 0;
  // A null format is the one in use.
  virtual HRESULT ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                    const GUID* sourceFormat) = 0;
  virtual HRESULT SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) = 0;
  virtual HRESULT GetPositions(LONGLONG* current, LONGLONG* stop) = 0;
  virtual HRESULT GetAvailable(LONGLONG* earliest, LONGLONG* latest) = 0;
  virtual HRESULT SetRate(double rate) = 0;
  virtual HRESULT GetRate(double* rate) = 0;
  virtual HRESULT GetPreroll(LONGLONG* preroll) = 0;
};

struct IMediaPosition : IDispatch {
  virtual HRESULT get_Duration(REFTIME* length) = 0;
  virtual HRESULT put_CurrentPosition(REFTIME time) = 0;
  virtual HRESULT get_CurrentPosition(REFTIME* time) = 0;
  virtual HRESULT get_StopTime(REFTIME* time) = 0;
  virtual HRESULT put_StopTime(REFTIME time) = 0;
  virtual HRESULT get_PrerollTime(REFTIME* time) = 0;
  virtual HRESULT put_PrerollTime(REFTIME time) = 0;
  virtual HRESULT put_Rate(double rate) = 0;
  virtual HRESULT get_Rate(double* rate) = 0;
  virtual HRESULT CanSeekForward(LONG* canSeek) = 0;
  virtual HRESULT CanSeekBackward(LONG* canSeek) = 0;
};

struct IQualProp : IUnknown {
  virtual HRESULT get_FramesDroppedInRenderer(int* frames) = 0;
  virtual HRESULT get_FramesDrawn(int* frames) = 0;
  virtual HRESULT get_AvgFrameRate(int* rate) = 0;  // Frames per second × 100.
  virtual HRESULT get_Jitter(int* jitter) = 0;
  virtual HRESULT get_AvgSyncOffset(int* offset) = 0;
  virtual HRESULT get_DevSyncOffset(int* deviation) = 0;
};

// Made aggregated under CLSID_SeekingPassThru; Init names the input pin whose upstream answers.
struct ISeekingPassThru : IUnknown {
  virtual HRESULT Init(BOOL supportRendering, IPin* pin) = 0;
};
