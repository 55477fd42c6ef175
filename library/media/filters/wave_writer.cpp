// The WAVE writer: byte-position stamps on the way through, the RIFF header at the end.
#include "media/filters/wave_writer.h"

#include <cstring>
#include <new>
#include <vector>

#include "platform/com_stream.h"

namespace {

// RIFF header bytes around the format block: "RIFF", size, "WAVE", "fmt ", size; "data", size.
constexpr DWORD kHeaderBytesBesideFormat = 28;

void PutTag(std::vector<BYTE>& bytes, size_t at, const char* tag) { std::memcpy(&bytes[at], tag, 4); }

void PutDword(std::vector<BYTE>& bytes, size_t at, DWORD value) {
  for (int i = 0; i < 4; ++i) bytes[at + static_cast<size_t>(i)] = static_cast<BYTE>(value >> (8 * i));
}

const AMOVIESETUP_FILTER kWaveWriterSetup = {&CLSID_Z_WaveWriter, u"WAV Dest", MERIT_DO_NOT_USE, 0, nullptr};

}  // namespace

const Z_CFactoryTemplate kWaveWriterTemplates[] = {
    {u"WAV Dest", &CLSID_Z_WaveWriter, &Z_CWaveWriterFilter::Create, nullptr, &kWaveWriterSetup},
};
const int kWaveWriterTemplateCount = 1;

Z_CWaveWriterFilter* Z_CWaveWriterFilter::Create(IUnknown* outer, HRESULT* result) {
  return new (std::nothrow) Z_CWaveWriterFilter(outer, result);
}

Z_CWaveWriterFilter::Z_CWaveWriterFilter(IUnknown* outer, HRESULT* result)
    : Z_CConvertFilter(nullptr, outer, CLSID_Z_WaveWriter) {
  if (result && FAILED(*result)) return;
  // A pin that could not be made, or whose construction reported a failure, is not kept, and the
  // failure goes to the caller, who discards the filter.
  HRESULT pinResult = S_OK;
  m_output = new (std::nothrow) Z_CWaveWriterPin(this, &pinResult);
  if (m_output && FAILED(pinResult)) {
    delete m_output;
    m_output = nullptr;
  }
  if (m_output) {
    m_input = new (std::nothrow) Z_CConvertInputPin("Transform input pin", this, &pinResult, u"In");
    if (m_input && FAILED(pinResult)) {
      delete m_input;
      m_input = nullptr;
    }
  }
  if ((!m_output || !m_input) && result) *result = FAILED(pinResult) ? pinResult : E_OUTOFMEMORY;
}

HRESULT Z_CWaveWriterFilter::TestInputType(const AM_MEDIA_TYPE* type) {
  return type && type->formattype == FORMAT_WaveFormatEx ? S_OK : S_FALSE;
}

HRESULT Z_CWaveWriterFilter::TestConversion(const AM_MEDIA_TYPE* input, const AM_MEDIA_TYPE*) {
  const HRESULT result = TestInputType(input);
  return FAILED(result) ? result : S_OK;
}

HRESULT Z_CWaveWriterFilter::ListTypeAt(int index, Z_CMediaTypeHolder* type) {
  if (index != 0) return VFW_S_NO_MORE_ITEMS;
  if (!type) return E_POINTER;
  type->SetMajorType(MEDIATYPE_Stream);
  type->SetSubtype(MEDIASUBTYPE_WAVE);
  return S_OK;
}

HRESULT Z_CWaveWriterFilter::SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) {
  if (!m_input || !m_input->IsConnected()) return E_UNEXPECTED;
  if (!allocator || !properties) return E_POINTER;
  IMemAllocator* inputAllocator = nullptr;
  HRESULT result = m_input->GetAllocator(&inputAllocator);
  if (FAILED(result)) return result;
  ALLOCATOR_PROPERTIES input{};
  result = inputAllocator->GetProperties(&input);
  inputAllocator->Release();
  if (FAILED(result)) return result;
  properties->cBuffers = 1;
  properties->cbAlign = 1;
  properties->cbBuffer = input.cbBuffer;
  ALLOCATOR_PROPERTIES actual{};
  result = allocator->SetProperties(properties, &actual);
  if (FAILED(result)) return result;
  if (actual.cBuffers < properties->cBuffers || actual.cbBuffer < properties->cbBuffer) return E_FAIL;
  return S_OK;
}

HRESULT Z_CWaveWriterFilter::BeginStreaming() {
  m_dataBytesWritten = 0;
  m_headerSize = m_input->CurrentMediaType().cbFormat + kHeaderBytesBesideFormat;
  return S_OK;
}

HRESULT Z_CWaveWriterFilter::ReceiveSample(IMediaSample* sample) {
  const DWORD written = m_dataBytesWritten;
  const HRESULT result = Z_CConvertFilter::ReceiveSample(sample);
  if (result != S_OK) m_dataBytesWritten = written;
  return result;
}

HRESULT Z_CWaveWriterFilter::ConvertSample(IMediaSample* input, IMediaSample* output) {
  if (!input || !output) return E_POINTER;
  const LONG length = input->GetActualDataLength();
  // A destination too small for the data is refused rather than overrun.
  if (length < 0 || length > output->GetSize()) return E_FAIL;
  BYTE* from = nullptr;
  BYTE* to = nullptr;
  if (length > 0) {
    if (FAILED(input->GetPointer(&from)) || FAILED(output->GetPointer(&to))) return E_POINTER;
    std::memcpy(to, from, static_cast<size_t>(length));
  }
  REFERENCE_TIME start = 0;
  REFERENCE_TIME end = 0;
  if (input->GetTime(&start, &end) == S_OK) output->SetTime(&start, &end);
  LONGLONG mediaStart = 0;
  LONGLONG mediaEnd = 0;
  if (input->GetMediaTime(&mediaStart, &mediaEnd) == S_OK) output->SetMediaTime(&mediaStart, &mediaEnd);
  AM_MEDIA_TYPE* type = nullptr;
  input->GetMediaType(&type);
  output->SetMediaType(type);
  DeleteMediaTypeBlock(type);
  output->SetActualDataLength(length);

  const uint64_t position = uint64_t{m_headerSize} + m_dataBytesWritten;
  if (position + static_cast<uint64_t>(length) > 0xFFFFFFFFull) return E_FAIL;
  REFERENCE_TIME byteStart = static_cast<REFERENCE_TIME>(position);
  REFERENCE_TIME byteEnd = byteStart + length;
  output->SetTime(&byteStart, &byteEnd);
  m_dataBytesWritten += static_cast<DWORD>(length);
  return S_OK;
}

HRESULT Z_CWaveWriterFilter::EndStreaming() {
  IPin* connected = m_output ? m_output->ConnectedPin() : nullptr;
  if (!connected) return E_FAIL;
  IStream* stream = nullptr;
  HRESULT result = connected->QueryInterface(IID_IStream, reinterpret_cast<void**>(&stream));
  if (FAILED(result)) return result;

  const Z_CMediaTypeHolder& format = m_input->CurrentMediaType();
  const DWORD formatSize = format.cbFormat;
  // A header sized before the format was known would be written past its end.
  if (m_headerSize < formatSize + kHeaderBytesBesideFormat) m_headerSize = formatSize + kHeaderBytesBesideFormat;
  std::vector<BYTE> header(m_headerSize);
  PutTag(header, 0, "RIFF");
  PutDword(header, 4, m_dataBytesWritten + m_headerSize - 8);
  PutTag(header, 8, "WAVE");
  PutTag(header, 12, "fmt ");
  PutDword(header, 16, formatSize);
  if (formatSize) std::memcpy(&header[20], format.pbFormat, formatSize);
  PutTag(header, 20 + formatSize, "data");
  PutDword(header, 24 + formatSize, m_dataBytesWritten);

  LARGE_INTEGER start{};
  result = stream->Seek(start, STREAM_SEEK_SET, nullptr);
  if (SUCCEEDED(result)) result = stream->Write(header.data(), m_headerSize, nullptr);
  stream->Release();
  return result;
}

// ---- Z_CWaveWriterPin ----

Z_CWaveWriterPin::Z_CWaveWriterPin(Z_CConvertFilter* filter, HRESULT* result)
    : Z_CConvertOutputPin("WAVE writer output pin", filter, result, u"Out") {}

HRESULT Z_CWaveWriterPin::TestType(const AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  return type->majortype == MEDIATYPE_Stream && type->subtype == MEDIASUBTYPE_WAVE ? S_OK : S_FALSE;
}
