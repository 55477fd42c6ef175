// The raw-video test source: the file maker, the filter with its two pins and its streaming
// thread, and its registration as a class the graph manager tries.
#include "rgb24_test_source.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

#include "media/framework/delivering_pin.h"
#include "media/framework/filter_core.h"
#include "media/framework/media_classes.h"
#include "media/framework/reader_input_pin.h"
#include "platform/dshow_position.h"
#include "platform/testing.h"

namespace movie_test {
namespace {

constexpr char kMagic[8] = {'Z', 'V', 'R', 'A', 'W', 'V', 'I', 'D'};
constexpr int kHeaderBytes = 28;
constexpr int kFlagBottomUp = 1;
constexpr int kFlagYuvOnly = 2;
constexpr int kLargestSide = 4096;
constexpr LONGLONG kUnitsPerSecond = 10000000;

int RowBytes(int width) { return (width * 3 + 3) & ~3; }

void PutLittle32(std::vector<uint8_t>* out, int value) {
  for (int shift = 0; shift < 32; shift += 8)
    out->push_back(static_cast<uint8_t>(static_cast<uint32_t>(value) >> shift));
}

int ReadLittle32(const BYTE* p) {
  return static_cast<int>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                          static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}

std::vector<uint8_t> MakeRawVideo(int width, int height, int frames, int fps, int flags) {
  std::vector<uint8_t> file(kMagic, kMagic + sizeof(kMagic));
  for (int value : {width, height, frames, fps, flags}) PutLittle32(&file, value);
  const int pitch = RowBytes(width);
  for (int frame = 0; frame < frames; ++frame) {
    const int level = TestFrameLevel(frame);
    for (int stored = 0; stored < height; ++stored) {
      const int row = (flags & kFlagBottomUp) ? height - 1 - stored : stored;
      const size_t rowStart = file.size();
      file.resize(rowStart + static_cast<size_t>(pitch), 0);
      for (int x = 0; x < width; ++x) {
        uint8_t* pixel = &file[rowStart + static_cast<size_t>(x) * 3];
        // Bytes B, G, R.
        pixel[0] = static_cast<uint8_t>(row == 0 ? 0 : 255 - level);
        pixel[1] = static_cast<uint8_t>(row == 0 ? 255 : level / 2);
        pixel[2] = static_cast<uint8_t>(row == 0 ? 0 : level);
      }
    }
  }
  return file;
}

struct RawVideo {
  int width = 0;
  int height = 0;
  int frames = 0;
  int fps = 0;
  int flags = 0;
  int FrameBytes() const { return RowBytes(width) * height; }
  REFERENCE_TIME FrameTime(LONGLONG frame) const { return frame * kUnitsPerSecond / fps; }
  REFERENCE_TIME Duration() const { return FrameTime(frames); }
};

class Rgb24TestSource;

class SourceInputPin final : public Z_CReaderInputPin {
 public:
  SourceInputPin(Rgb24TestSource* filter, Z_CLockSection* lock);

  HRESULT TestType(const AM_MEDIA_TYPE* type) override {
    if (!type) return E_POINTER;
    return type->majortype == MEDIATYPE_Stream ? S_OK : S_FALSE;
  }
};

// Seeking is the source's: the output pin answers IMediaSeeking for it.
class SourceOutputPin final : public Z_CDeliveringPin, public IMediaSeeking {
 public:
  SourceOutputPin(Rgb24TestSource* filter, Z_CLockSection* lock);

  Z_FORWARD_IUNKNOWN_TO_OUTER
  HRESULT InnerQueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IMediaSeeking) return HandOutInterface(static_cast<IMediaSeeking*>(this), out);
    return Z_CDeliveringPin::InnerQueryInterface(iid, out);
  }
  HRESULT TestType(const AM_MEDIA_TYPE* type) override;
  HRESULT ListTypeAt(int index, Z_CMediaTypeHolder* type) override;
  HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

  // IMediaSeeking, in media time only.
  HRESULT GetCapabilities(DWORD*) override { return E_NOTIMPL; }
  HRESULT CheckCapabilities(DWORD*) override { return E_NOTIMPL; }
  HRESULT IsFormatSupported(const GUID* format) override {
    if (!format) return E_POINTER;
    return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
  }
  HRESULT QueryPreferredFormat(GUID* format) override { return GetTimeFormat(format); }
  HRESULT GetTimeFormat(GUID* format) override {
    if (!format) return E_POINTER;
    *format = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
  }
  HRESULT IsUsingTimeFormat(const GUID* format) override { return IsFormatSupported(format); }
  HRESULT SetTimeFormat(const GUID* format) override { return IsFormatSupported(format) == S_OK ? S_OK : E_INVALIDARG; }
  HRESULT GetDuration(LONGLONG* duration) override;
  HRESULT GetStopPosition(LONGLONG* stop) override;
  HRESULT GetCurrentPosition(LONGLONG* current) override;
  HRESULT ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                            const GUID* sourceFormat) override {
    if (!target) return E_POINTER;
    const bool media = (!targetFormat || *targetFormat == TIME_FORMAT_MEDIA_TIME) &&
                       (!sourceFormat || *sourceFormat == TIME_FORMAT_MEDIA_TIME);
    if (!media) return E_INVALIDARG;
    *target = source;
    return S_OK;
  }
  HRESULT SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) override;
  HRESULT GetPositions(LONGLONG* current, LONGLONG* stop) override {
    if (current) GetCurrentPosition(current);
    if (stop) GetStopPosition(stop);
    return S_OK;
  }
  HRESULT GetAvailable(LONGLONG* earliest, LONGLONG* latest) override {
    if (earliest) *earliest = 0;
    return latest ? GetDuration(latest) : S_OK;
  }
  HRESULT SetRate(double rate) override { return rate == 1.0 ? S_OK : E_NOTIMPL; }
  HRESULT GetRate(double* rate) override {
    if (!rate) return E_POINTER;
    *rate = 1.0;
    return S_OK;
  }
  HRESULT GetPreroll(LONGLONG* preroll) override {
    if (!preroll) return E_POINTER;
    *preroll = 0;
    return S_OK;
  }

 private:
  Rgb24TestSource* m_source;
};

// The streaming thread runs from Pause to Stop, and again from the new position after a seek.
// Control (Pause, Stop, seeks) takes the filter lock, which the streaming thread never takes; the
// positions have a lock of their own, since the renderer asks for the stop position on the
// streaming thread.
class Rgb24TestSource final : public Z_CFilterCore, public Z_CReaderInputPin::Owner {
 public:
  Rgb24TestSource()
      : Z_CFilterCore("RGB24 test source", nullptr, &m_filterLock, kRgb24TestSourceClass),
        m_input(this, &m_filterLock),
        m_output(this, &m_filterLock) {}
  ~Rgb24TestSource() override { Join(); }

  static HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* source = new (std::nothrow) Rgb24TestSource;
    if (!source) return E_OUTOFMEMORY;
    const HRESULT result = source->InnerQueryInterface(iid, out);
    if (FAILED(result)) delete source;
    return result;
  }

  int CountPins() override { return 2; }
  Z_CPinCore* PinAt(int index) override {
    if (index == 0) return &m_input;
    return index == 1 ? static_cast<Z_CPinCore*>(&m_output) : nullptr;
  }

  HRESULT Pause() override {
    Z_CScopedLock lock(&m_filterLock);
    const bool starting = IsStopped();
    const HRESULT result = Z_CFilterCore::Pause();
    if (SUCCEEDED(result) && starting) StartStreaming();
    return result;
  }

  HRESULT Stop() override {
    Z_CScopedLock lock(&m_filterLock);
    m_stopping = true;
    // Downstream lets go of the sample it holds, so the thread sees the stop.
    const bool flushing = m_thread.joinable() && m_output.IsConnected();
    if (flushing) m_output.PassBeginFlush();
    const HRESULT result = Z_CFilterCore::Stop();
    Join();
    if (flushing) m_output.PassEndFlush();
    return result;
  }

  // Reads and checks the header through the reader; VFW_E_TYPE_NOT_ACCEPTED for anything else.
  HRESULT Examine(IAsyncReader* reader) override {
    LONGLONG total = 0, available = 0;
    BYTE header[kHeaderBytes] = {};
    if (FAILED(reader->Length(&total, &available)) || total < kHeaderBytes ||
        reader->SyncRead(0, kHeaderBytes, header) != S_OK || std::memcmp(header, kMagic, sizeof(kMagic)) != 0)
      return VFW_E_TYPE_NOT_ACCEPTED;
    RawVideo video;
    video.width = ReadLittle32(header + 8);
    video.height = ReadLittle32(header + 12);
    video.frames = ReadLittle32(header + 16);
    video.fps = ReadLittle32(header + 20);
    video.flags = ReadLittle32(header + 24);
    if (video.width <= 0 || video.width > kLargestSide || video.height <= 0 || video.height > kLargestSide ||
        video.frames <= 0 || video.fps <= 0 ||
        total < kHeaderBytes + static_cast<LONGLONG>(video.frames) * video.FrameBytes())
      return VFW_E_TYPE_NOT_ACCEPTED;

    const bool yuv = (video.flags & kFlagYuvOnly) != 0;
    VIDEOINFOHEADER format{};
    format.AvgTimePerFrame = kUnitsPerSecond / video.fps;
    format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    format.bmiHeader.biWidth = video.width;
    format.bmiHeader.biHeight = (video.flags & kFlagBottomUp) ? video.height : -video.height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = yuv ? 16 : 24;
    format.bmiHeader.biCompression = yuv ? kSubtypeYuy2.Data1 : 0;
    format.bmiHeader.biSizeImage = static_cast<DWORD>(video.FrameBytes());
    Z_CMediaTypeHolder type;
    type.majortype = MEDIATYPE_Video;
    type.subtype = yuv ? kSubtypeYuy2 : MEDIASUBTYPE_RGB24;
    type.formattype = FORMAT_VideoInfo;
    type.bFixedSizeSamples = TRUE;
    type.lSampleSize = static_cast<ULONG>(video.FrameBytes());
    type.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(sizeof(format)));
    if (!type.pbFormat) return E_OUTOFMEMORY;
    std::memcpy(type.pbFormat, &format, sizeof(format));
    type.cbFormat = sizeof(format);

    m_outputType = type;
    {
      std::lock_guard<std::mutex> positions(m_positionMutex);
      m_video = video;
      m_start = 0;
      m_stop = video.Duration();
    }
    m_hasFormat = true;
    return S_OK;
  }
  void Forget() override {
    m_hasFormat = false;
    m_outputType.InitEmpty();
  }
  bool HasFormat() const { return m_hasFormat; }
  const Z_CMediaTypeHolder& OutputType() const { return m_outputType; }
  const RawVideo& Video() const { return m_video; }

  HRESULT Positions(LONGLONG* current, LONGLONG* stop, LONGLONG* duration) {
    std::lock_guard<std::mutex> positions(m_positionMutex);
    if (!m_hasFormat) return E_UNEXPECTED;
    if (current) *current = m_start;
    if (stop) *stop = m_stop;
    if (duration) *duration = m_video.Duration();
    return S_OK;
  }

  HRESULT Seek(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) {
    const DWORD currentHow = currentFlags & AM_SEEKING_PositioningBitsMask;
    const DWORD stopHow = stopFlags & AM_SEEKING_PositioningBitsMask;
    if ((currentHow != AM_SEEKING_NoPositioning && !current) || (stopHow != AM_SEEKING_NoPositioning && !stop))
      return E_POINTER;
    Z_CScopedLock lock(&m_filterLock);
    {
      std::lock_guard<std::mutex> positions(m_positionMutex);
      if (!m_hasFormat) return E_UNEXPECTED;
      const LONGLONG duration = m_video.Duration();
      if (currentHow == AM_SEEKING_AbsolutePositioning) m_start = *current;
      if (currentHow == AM_SEEKING_RelativePositioning) m_start += *current;
      if (stopHow == AM_SEEKING_AbsolutePositioning) m_stop = *stop;
      if (stopHow == AM_SEEKING_RelativePositioning) m_stop += *stop;
      m_start = std::clamp<LONGLONG>(m_start, 0, duration);
      m_stop = std::clamp<LONGLONG>(m_stop, m_start, duration);
    }
    if (currentHow == AM_SEEKING_NoPositioning || IsStopped() || !m_output.IsConnected()) return S_OK;
    // Playing on from the new position: what was sent downstream goes, and a new segment starts.
    m_stopping = true;
    m_output.PassBeginFlush();
    Join();
    m_output.PassEndFlush();
    LONGLONG start = 0, end = 0;
    Positions(&start, &end, nullptr);
    m_output.PassNewSegment(start, end, 1.0);
    StartStreaming();
    return S_OK;
  }

 private:
  void StartStreaming() {
    if (m_thread.joinable() || !m_input.Reader() || !m_output.IsConnected()) return;
    m_stopping = false;
    m_thread = std::thread([this] { Stream(); });
  }
  void Join() {
    m_stopping = true;
    if (m_thread.joinable()) m_thread.join();
  }

  void Stream() {
    IAsyncReader* reader = m_input.Reader();
    const RawVideo& video = m_video;
    const LONG frameBytes = video.FrameBytes();
    LONGLONG segmentStart = 0;
    Positions(&segmentStart, nullptr, nullptr);
    LONGLONG frame = segmentStart * video.fps / kUnitsPerSecond;
    bool first = true;
    while (!m_stopping) {
      LONGLONG stop = 0;
      Positions(nullptr, &stop, nullptr);
      if (frame >= video.frames || video.FrameTime(frame) >= stop) break;
      IMediaSample* sample = nullptr;
      if (FAILED(m_output.TakeDeliveryBuffer(&sample, nullptr, nullptr, 0)) || !sample) return;
      if (m_stopping) {
        sample->Release();
        return;
      }
      BYTE* data = nullptr;
      sample->GetPointer(&data);
      if (!data || sample->GetSize() < frameBytes ||
          reader->SyncRead(kHeaderBytes + frame * frameBytes, frameBytes, data) != S_OK) {
        sample->Release();
        NotifyGraphEvent(EC_ERRORABORT, E_FAIL, 0);
        return;
      }
      sample->SetActualDataLength(frameBytes);
      REFERENCE_TIME start = std::max<REFERENCE_TIME>(video.FrameTime(frame) - segmentStart, 0);
      REFERENCE_TIME end = video.FrameTime(frame + 1) - segmentStart;
      sample->SetTime(&start, &end);
      sample->SetSyncPoint(TRUE);
      sample->SetDiscontinuity(first ? TRUE : FALSE);
      const HRESULT result = m_output.SendSample(sample);
      sample->Release();
      if (result != S_OK) return;
      first = false;
      ++frame;
    }
    if (!m_stopping) m_output.PassEndOfStream();
  }

  Z_CLockSection m_filterLock;
  SourceInputPin m_input;
  SourceOutputPin m_output;
  // Set at connection, before any streaming thread starts.
  std::atomic<bool> m_hasFormat{false};
  RawVideo m_video;
  Z_CMediaTypeHolder m_outputType;
  std::mutex m_positionMutex;
  LONGLONG m_start = 0;  // The position last sought.
  LONGLONG m_stop = 0;
  std::thread m_thread;
  std::atomic<bool> m_stopping{false};
};

SourceInputPin::SourceInputPin(Rgb24TestSource* filter, Z_CLockSection* lock)
    : Z_CReaderInputPin("RGB24 test source input pin", filter, filter, lock) {}

SourceOutputPin::SourceOutputPin(Rgb24TestSource* filter, Z_CLockSection* lock)
    : Z_CDeliveringPin("RGB24 test source output pin", filter, lock, nullptr, u"Output"), m_source(filter) {}

HRESULT SourceOutputPin::TestType(const AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  return m_source->HasFormat() && m_source->OutputType().Equals(*type) ? S_OK : S_FALSE;
}

HRESULT SourceOutputPin::ListTypeAt(int index, Z_CMediaTypeHolder* type) {
  if (index != 0 || !m_source->HasFormat()) return VFW_S_NO_MORE_ITEMS;
  return type->Assign(m_source->OutputType());
}

HRESULT SourceOutputPin::SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  const LONG frameBytes = m_source->Video().FrameBytes();
  ALLOCATOR_PROPERTIES wanted{std::max<LONG>(request->cBuffers, 2), std::max<LONG>(request->cbBuffer, frameBytes),
                              std::max<LONG>(request->cbAlign, 1), request->cbPrefix};
  ALLOCATOR_PROPERTIES actual{};
  const HRESULT result = allocator->SetProperties(&wanted, &actual);
  if (FAILED(result)) return result;
  return actual.cbBuffer < frameBytes ? E_FAIL : S_OK;
}

HRESULT SourceOutputPin::GetDuration(LONGLONG* duration) {
  if (!duration) return E_POINTER;
  return m_source->Positions(nullptr, nullptr, duration);
}

HRESULT SourceOutputPin::GetStopPosition(LONGLONG* stop) {
  if (!stop) return E_POINTER;
  return m_source->Positions(nullptr, stop, nullptr);
}

HRESULT SourceOutputPin::GetCurrentPosition(LONGLONG* current) {
  if (!current) return E_POINTER;
  return m_source->Positions(current, nullptr, nullptr);
}

HRESULT SourceOutputPin::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) {
  return m_source->Seek(current, currentFlags, stop, stopFlags);
}

DWORD g_classCookie = 0;

}  // namespace

std::vector<uint8_t> MakeRgb24TestVideo(int width, int height, int frames, int fps, bool bottomUp) {
  return MakeRawVideo(width, height, frames, fps, bottomUp ? kFlagBottomUp : 0);
}

std::vector<uint8_t> MakeYuvOnlyTestVideo(int width, int height, int frames, int fps) {
  return MakeRawVideo(width, height, frames, fps, kFlagYuvOnly);
}

bool RegisterRgb24TestSource() {
  static FrameworkClass<Rgb24TestSource::CreateInstance> factory;
  // The file source and the memory allocator the graph needs.
  RegisterMediaFrameworkClasses();
  if (g_classCookie) return true;
  if (FAILED(CoRegisterClassObject(kRgb24TestSourceClass, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                   &g_classCookie)))
    return false;
  platform::testing::AddGraphFilterClass(kRgb24TestSourceClass, u"RGB24 test source");
  return true;
}

void UnregisterRgb24TestSource() {
  if (g_classCookie) CoRevokeClassObject(g_classCookie);
  g_classCookie = 0;
  platform::testing::ClearGraphFilterClasses();
}

}  // namespace movie_test
