// The converter whose samples pass through without a second buffer: where upstream and downstream
// share one allocator, each received sample (changed in place or not) goes downstream as the very
// object received; only where the pins end up with different allocators is a sample copied into
// a buffer of the output allocator. A subclass supplies the type test and the per-sample work.
#pragma once

#include "media/filters/convert_filter.h"

class Z_CInPlaceInputPin;
class Z_CInPlaceOutputPin;

class Z_CInPlaceFilter : public Z_CConvertFilter {
 public:
  // `modifiesData`: the subclass writes into the samples, so a read-only upstream allocator makes
  // the output side take one of its own.
  Z_CInPlaceFilter(const char* name, IUnknown* outer, REFCLSID classId, HRESULT* result, bool modifiesData);

  Z_CPinCore* PinAt(int index) override;
  HRESULT ConvertSample(IMediaSample*, IMediaSample*) override { return E_UNEXPECTED; }
  HRESULT TestConversion(const AM_MEDIA_TYPE*, const AM_MEDIA_TYPE*) override { return S_OK; }
  HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) override;
  HRESULT ListTypeAt(int, Z_CMediaTypeHolder*) override { return E_UNEXPECTED; }
  // Side 0 is the input pin, 1 the output pin.
  HRESULT OnLinked(int side, IPin* peer) override;
  HRESULT ReceiveSample(IMediaSample* sample) override;
  // The subclass's work on one sample: 0 delivers it, anything else goes back upstream.
  virtual HRESULT TransformSample(IMediaSample* sample) = 0;

  bool ModifiesData() const { return m_modifiesData; }
  Z_CInPlaceInputPin* InPlaceInput();
  Z_CInPlaceOutputPin* InPlaceOutput();

 protected:
  // A buffer of the output allocator holding a copy of the sample, or null.
  IMediaSample* CopySample(IMediaSample* source);

 private:
  bool m_modifiesData;
};

class Z_CInPlaceInputPin : public Z_CConvertInputPin {
 public:
  Z_CInPlaceInputPin(const char* name, Z_CInPlaceFilter* filter, HRESULT* result, LPCWSTR pinName);

  HRESULT TestType(const AM_MEDIA_TYPE* type) override;
  HRESULT OnLinked(IPin* peer) override;
  HRESULT EnumMediaTypes(IEnumMediaTypes** types) override;
  HRESULT GetAllocator(IMemAllocator** allocator) override;
  HRESULT NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
  HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;

 protected:
  Z_CInPlaceFilter* m_inPlace;
};

class Z_CInPlaceOutputPin : public Z_CConvertOutputPin {
 public:
  Z_CInPlaceOutputPin(const char* name, Z_CInPlaceFilter* filter, HRESULT* result, LPCWSTR pinName);

  HRESULT TestType(const AM_MEDIA_TYPE* type) override;
  HRESULT OnLinked(IPin* peer) override;
  HRESULT EnumMediaTypes(IEnumMediaTypes** types) override;
  // References the new allocator before releasing the one held.
  void AdoptAllocator(IMemAllocator* allocator);

 private:
  Z_CInPlaceFilter* m_inPlace;
};
