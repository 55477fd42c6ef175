// Decoding through the media framework: the last decoder of the chain. The whole stream is
// copied into memory and served to a filter graph by the framework's memory reader; the graph
// finds the parser and decoder, the framework's sample grabber catches the PCM, the graph's
// audio renderer gives way to a null renderer, and the graph runs without a clock as fast as it
// goes. All the PCM is kept in one block that the converter then copies from.
//
// Refused: anything the graph cannot render, a decoder whose output is not PCM, a block that
// would pass 2 GiB, a run that ends in anything but completion, and a close of the program
// during the run.
#include <climits>
#include <cstring>

#include "media/media_services.h"
#include "sound/pcm_converter.h"
#include "window/window_services.h"

namespace {

// The decoded PCM grows in steps of this much.
constexpr int64_t kGrowthStep = 0x100000;

template <typename Interface>
void ReleaseInterface(Interface*& pointer) {
  if (pointer) pointer->Release();
  pointer = nullptr;
}

// Everything one conversion makes, released whichever way it ends.
struct FrameworkDecoding {
  BYTE* image = nullptr;
  Z_CMemStream* stream = nullptr;
  Z_CMemReader* reader = nullptr;  // One reference held.
  IBaseFilter* nullRenderer = nullptr;
  IGraphBuilder* graph = nullptr;
  IBaseFilter* grabber = nullptr;
  Z_IGrabberControl* grabberControl = nullptr;
  IMediaFilter* mediaFilter = nullptr;
  IMediaControl* control = nullptr;
  IMediaEvent* events = nullptr;

  // The reader goes before the stream it reads from.
  ~FrameworkDecoding() {
    ReleaseInterface(events);
    ReleaseInterface(mediaFilter);
    ReleaseInterface(control);
    ReleaseInterface(grabberControl);
    ReleaseInterface(grabber);
    ReleaseInterface(graph);
    ReleaseInterface(nullRenderer);
    if (reader) reader->Release();
    Z_CMemStream::Destroy(stream);
    ZV_FREE(image);
  }
};

int Fail(const char* message) {
  AddLogText(message);
  return -1;
}

// The first connected filter with an input pin and no output pin gives way to the null renderer.
bool SwapRendererForNull(IGraphBuilder* graph, IBaseFilter* nullRenderer) {
  IEnumFilters* filters = nullptr;
  if (FAILED(graph->EnumFilters(&filters)) || !filters) return false;
  IPin* upstream = nullptr;
  IBaseFilter* filter = nullptr;
  ULONG fetched = 0;
  while (!upstream && filters->Next(1, &filter, &fetched) == S_OK) {
    IPin* input = FindPinByDirection(filter, PINDIR_INPUT);
    IPin* output = FindPinByDirection(filter, PINDIR_OUTPUT);
    if (input && !output && input->ConnectedTo(&upstream) == S_OK && upstream) {
      upstream->Disconnect();
      input->Disconnect();
    }
    if (input) input->Release();
    if (output) output->Release();
    filter->Release();
  }
  filters->Release();
  if (!upstream) return false;
  IPin* nullInput = FindPinByDirection(nullRenderer, PINDIR_INPUT);
  const HRESULT result = nullInput ? graph->Connect(upstream, nullInput) : E_FAIL;
  if (nullInput) nullInput->Release();
  upstream->Release();
  return SUCCEEDED(result);
}

void FreePcmBlock(PcmConverter* converter) {
  ZV_FREE(converter->memory.pcm);
  converter->memory.pcm = nullptr;
}

}  // namespace

IPin* FindPinByDirection(IBaseFilter* filter, PIN_DIRECTION direction) {
  IEnumPins* pins = nullptr;
  if (!filter || FAILED(filter->EnumPins(&pins)) || !pins) return nullptr;
  IPin* found = nullptr;
  IPin* pin = nullptr;
  ULONG fetched = 0;
  while (!found && pins->Next(1, &pin, &fetched) == S_OK && pin) {
    PIN_DIRECTION pinDirection;
    if (SUCCEEDED(pin->QueryDirection(&pinDirection)) && pinDirection == direction)
      found = pin;
    else
      pin->Release();
    pin = nullptr;
  }
  pins->Release();
  return found;
}

HRESULT AppendGrabbedPcm(IMediaSample* sample, REFERENCE_TIME*, REFERENCE_TIME*, BOOL, DWORD_PTR value) {
  auto* converter = reinterpret_cast<PcmConverter*>(value);
  PcmMemoryState& memory = converter->memory;
  if (!memory.pcm) return 0;
  BYTE* data = nullptr;
  if (FAILED(sample->GetPointer(&data))) return 0;
  const LONG length = sample->GetActualDataLength();
  if (length <= 0) return 0;
  int64_t capacity = memory.capacity;
  while (memory.size + static_cast<int64_t>(length) > capacity) capacity += kGrowthStep;
  if (capacity != memory.capacity) {
    // A block past 2 GiB cannot be had: the conversion then fails as a failed growth.
    BYTE* grown = capacity <= INT_MAX ? static_cast<BYTE*>(ZV_ALLOC(static_cast<int>(capacity))) : nullptr;
    if (!grown) {
      FreePcmBlock(converter);
      return 0;
    }
    std::memcpy(grown, memory.pcm, static_cast<size_t>(memory.size));
    ZV_FREE(memory.pcm);
    memory.pcm = grown;
    memory.capacity = static_cast<int>(capacity);
  }
  std::memcpy(memory.pcm + memory.size, data, static_cast<size_t>(length));
  memory.size += length;
  return 0;
}

int SetupMediaFrameworkDecoder(PcmConverter* converter) {
  PcmMemoryState& memory = converter->memory;
  std::memset(&memory, 0, sizeof(memory));
  FrameworkDecoding d;

  const int size = SourceSizeFromStart(converter->source);
  if (size < 0) return -1;
  d.image = static_cast<BYTE*>(ZV_ALLOC(size > 0 ? size : 1));
  if (!d.image) return -1;
  const int read = SourceRead(converter->source, d.image, size);
  const DWORD imageSize = static_cast<DWORD>(read > 0 ? read : 0);

  d.stream = Z_CMemStream::Create(d.image, imageSize, 0, 0xFFFFFFFF);
  if (!d.stream) return Fail("MP3変換用 Z_CMemStream の作成に失敗しました");

  AM_MEDIA_TYPE offered{};
  offered.majortype = MEDIATYPE_Stream;
  offered.subtype = MEDIASUBTYPE_MPEG1Audio;
  HRESULT result = 0;
  d.reader = Z_CMemReader::Create(d.stream, &offered, &result);
  if (!d.reader || FAILED(result)) {
    if (d.reader) Z_CMemReader::Destroy(d.reader);
    d.reader = nullptr;
    return Fail("MP3変換用 Z_CMemReader の作成に失敗しました");
  }
  d.reader->AddRef();

  if (FAILED(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                              reinterpret_cast<void**>(&d.nullRenderer))))
    return Fail("MP3変換用 NullRender の作成に失敗しました");
  if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                              IID_IGraphBuilder, reinterpret_cast<void**>(&d.graph))))
    return Fail("MP3変換用 IGraphBuilder の作成に失敗しました");

  result = 1;
  Z_CSampleGrabber* grabber = Z_CSampleGrabber::Create(nullptr, &result);
  if (!grabber || FAILED(grabber->InnerQueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&d.grabber)))) {
    delete grabber;
    return Fail("MP3変換用 Z_CSampleGrabber の作成に失敗しました");
  }
  if (FAILED(d.grabber->QueryInterface(IID_Z_IGrabberControl, reinterpret_cast<void**>(&d.grabberControl))))
    return Fail("MP3変換用 Z_CSampleGrabber の作成に失敗しました");

  AM_MEDIA_TYPE wanted{};
  wanted.majortype = MEDIATYPE_Audio;
  wanted.subtype = MEDIASUBTYPE_PCM;
  if (d.grabberControl->SetAcceptedType(&wanted) != 0)
    return Fail("サンプルグラバフィルタのメディアタイプの設定に失敗しました");
  if (FAILED(d.graph->AddFilter(d.grabber, u"SampleGrabber")))
    return Fail("サンプルグラバフィルタのグラフへの追加に失敗しました");
  if (FAILED(d.graph->AddFilter(d.reader, u"MemFile")))
    return Fail("メモリファイルフィルタのグラフへの追加に失敗しました");

  // Partial renderings count as failures too.
  if (d.graph->Render(d.reader->OutputPin()) != 0) return Fail("グラフの構築に失敗しました");
  if (FAILED(d.graph->AddFilter(d.nullRenderer, u"File Renderer")))
    return Fail("ヌルレンダラーフィルタのグラフへの追加に失敗しました");
  if (!SwapRendererForNull(d.graph, d.nullRenderer))
    return Fail("既存レンダラーをNullレンダラーと交換する処理が失敗しました");

  Z_CMediaTypeHolder decoded;
  if (FAILED(d.grabberControl->GetAcceptedType(&decoded)))
    return Fail("音声が含まれていないか、オーディオフォーマットの取得に失敗しました。");
  if (decoded.formattype != FORMAT_WaveFormatEx || !decoded.pbFormat ||
      decoded.cbFormat < sizeof(WAVEFORMATEX) - sizeof(WORD))
    return Fail("サポート外のストリームフォーマットです。");
  WAVEFORMATEX format{};
  std::memcpy(&format, decoded.pbFormat, decoded.cbFormat < sizeof(format) ? decoded.cbFormat : sizeof(format));
  if (format.wFormatTag != WAVE_FORMAT_PCM || format.nChannels == 0 || format.nBlockAlign == 0)
    return Fail("サポート外のオーディオフォーマットです。");

  WAVEFORMATEX& output = converter->outputFormat;
  std::memset(&output, 0, sizeof(output));
  output.wFormatTag = format.wFormatTag;
  output.nChannels = format.nChannels;
  output.nSamplesPerSec = format.nSamplesPerSec;
  output.nBlockAlign = format.nBlockAlign;
  output.cbSize = 0;
  output.nAvgBytesPerSec = static_cast<DWORD>(output.nBlockAlign) * output.nSamplesPerSec;
  output.wBitsPerSample = static_cast<WORD>(output.nBlockAlign * 8 / output.nChannels);

  if (FAILED(d.grabberControl->SetSampleCallback(AppendGrabbedPcm, reinterpret_cast<DWORD_PTR>(converter))))
    return Fail("コールバック関数を設定できません");

  // Ten times the compressed size, counted so that it cannot wrap.
  const int64_t capacity = static_cast<int64_t>(imageSize) * 10;
  memory.pcm = capacity <= INT_MAX ? static_cast<BYTE*>(ZV_ALLOC(capacity > 0 ? static_cast<int>(capacity) : 1))
                                   : nullptr;
  if (!memory.pcm) return Fail("PCMデータを格納するメモリ領域の確保に失敗しました");
  memory.capacity = capacity > 0 ? static_cast<int>(capacity) : 1;
  memory.size = 0;

  int outcome = -1;
  if (FAILED(d.graph->QueryInterface(IID_IMediaFilter, reinterpret_cast<void**>(&d.mediaFilter)))) {
    Fail("IMediaFilter の取得に失敗しました");
  } else if ((d.mediaFilter->SetSyncSource(nullptr),
              FAILED(d.graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&d.control))))) {
    Fail("IMediaControl の取得に失敗しました");
  } else if (FAILED(d.graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&d.events)))) {
    Fail("IMediaEvent の取得に失敗しました");
  } else {
    d.control->Run();
    if (PumpWindowMessages() != 0) {
      Fail("MP3変換の途中でソフトが終了しました");
    } else {
      for (;;) {
        LONG code = 0;
        if (d.events->WaitForCompletion(100, &code) == 0) {
          // Only completion is success: any other end (an abort among them) fails the conversion.
          if (code != EC_COMPLETE)
            Fail("MP3変換の途中でエラーが発生しました");
          else if (!memory.pcm)
            Fail("PCMデータを格納するメモリ領域の再確保に失敗しました");
          else
            outcome = 0;
          break;
        }
        if (PumpWindowMessages() != 0) {
          Fail("MP3変換の途中でソフトが終了しました");
          break;
        }
      }
    }
    // The streaming threads end before the block is handed over or freed.
    d.control->Stop();
  }

  if (outcome != 0) {
    FreePcmBlock(converter);
    memory.capacity = 0;
    memory.size = 0;
    return -1;
  }
  converter->method = PCM_CONVERT_MEMORY_PCM;
  converter->bufferSize = static_cast<int>(output.nAvgBytesPerSec);
  memory.readPosition = 0;
  return 0;
}
