// The WAVE writer: a converter that turns a stream of WAVEFORMATEX audio into the bytes of a RIFF
// WAVE file. Each output sample is the input unchanged, stamped with the byte position it belongs
// at after the header (start and end times hold byte positions); at the end of streaming the
// header is written at the start of the downstream IStream. Its output offers MEDIATYPE_Stream /
// MEDIASUBTYPE_WAVE. Only its class-factory record ("WAV Dest") leads to it.
#pragma once

#include "media/filters/convert_filter.h"

// {3C78B8E2-6C4D-11D1-ADE2-0000F8754B99}
inline constexpr CLSID CLSID_Z_WaveWriter = {
    0x3C78B8E2, 0x6C4D, 0x11D1, {0xAD, 0xE2, 0x00, 0x00, 0xF8, 0x75, 0x4B, 0x99}};

class Z_CWaveWriterFilter : public Z_CConvertFilter {
 public:
  // Null when the object cannot be allocated (the result is then untouched).
  static Z_CWaveWriterFilter* Create(IUnknown* outer, HRESULT* result);

  HRESULT ConvertSample(IMediaSample* input, IMediaSample* output) override;
  HRESULT TestInputType(const AM_MEDIA_TYPE* type) override;
  HRESULT TestConversion(const AM_MEDIA_TYPE* input, const AM_MEDIA_TYPE* output) override;
  HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) override;
  HRESULT ListTypeAt(int index, Z_CMediaTypeHolder* type) override;
  HRESULT BeginStreaming() override;
  HRESULT EndStreaming() override;
  HRESULT ReceiveSample(IMediaSample* sample) override;

  DWORD DataBytesWritten() const { return m_dataBytesWritten; }

 private:
  Z_CWaveWriterFilter(IUnknown* outer, HRESULT* result);

  DWORD m_dataBytesWritten = 0;
  DWORD m_headerSize = 0;
};

class Z_CWaveWriterPin : public Z_CConvertOutputPin {
 public:
  Z_CWaveWriterPin(Z_CConvertFilter* filter, HRESULT* result);
  HRESULT TestType(const AM_MEDIA_TYPE* type) override;
};

// The class-factory record by which the writer can be made, and its setup record.
struct Z_CFactoryTemplate {
  LPCWSTR name;
  const CLSID* classId;
  Z_CWaveWriterFilter* (*create)(IUnknown* outer, HRESULT* result);
  void (*initialise)(BOOL loading, const CLSID* classId);
  const AMOVIESETUP_FILTER* setup;
};
extern const Z_CFactoryTemplate kWaveWriterTemplates[];
extern const int kWaveWriterTemplateCount;
