// The MPEG-audio decoder filter: examining the stream at connection, and the streaming thread
// that reads, converts and delivers.
#include "media/filters/mpeg_audio_decoder.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/mpeg_audio.h"

namespace {

constexpr LONG kExamineBytes = 65536;
constexpr LONG kReadStep = 8192;
constexpr size_t kMostPending = 1 << 20;
constexpr int kTrailerSize = 128;

}  // namespace

// ---- Pins ----

Z_CMpegAudioInputPin::Z_CMpegAudioInputPin(Z_CMpegAudioDecoder* filter, Z_CLockSection* lock)
    : Z_CReaderInputPin("MPEG audio input pin", filter, filter, lock) {}

HRESULT Z_CMpegAudioInputPin::TestType(const AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  if (type->majortype != MEDIATYPE_Stream) return S_FALSE;
  return type->subtype == MEDIASUBTYPE_MPEG1Audio || type->subtype == GUID_NULL ? S_OK : S_FALSE;
}

Z_CMpegAudioOutputPin::Z_CMpegAudioOutputPin(Z_CMpegAudioDecoder* filter, Z_CLockSection* lock)
    : Z_CDeliveringPin("MPEG audio output pin", filter, lock, nullptr, u"Output"), m_decoder(filter) {}

HRESULT Z_CMpegAudioOutputPin::TestType(const AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  if (!m_decoder->HasFormat()) return S_FALSE;
  return m_decoder->OutputType().Equals(*type) ? S_OK : S_FALSE;
}

HRESULT Z_CMpegAudioOutputPin::ListTypeAt(int index, Z_CMediaTypeHolder* type) {
  if (index != 0 || !m_decoder->HasFormat()) return VFW_S_NO_MORE_ITEMS;
  return type->Assign(m_decoder->OutputType());
}

HRESULT Z_CMpegAudioOutputPin::SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  const auto* format = reinterpret_cast<const WAVEFORMATEX*>(m_decoder->OutputType().pbFormat);
  // A quarter of a second per buffer, in whole sample frames.
  LONG size = static_cast<LONG>(format->nAvgBytesPerSec / 4);
  size -= size % std::max<LONG>(format->nBlockAlign, 1);
  ALLOCATOR_PROPERTIES wanted{std::max<LONG>(request->cBuffers, 4), std::max<LONG>(request->cbBuffer, size),
                              std::max<LONG>(request->cbAlign, 1), request->cbPrefix};
  ALLOCATOR_PROPERTIES actual{};
  const HRESULT result = allocator->SetProperties(&wanted, &actual);
  if (FAILED(result)) return result;
  return actual.cbBuffer < format->nBlockAlign ? E_FAIL : S_OK;
}

// ---- The filter ----

Z_CMpegAudioDecoder::Z_CMpegAudioDecoder()
    : Z_CFilterCore("MPEG audio decoder", nullptr, &m_filterLock, CLSID_MpegAudioDecoder),
      m_input(this, &m_filterLock),
      m_output(this, &m_filterLock) {}

Z_CMpegAudioDecoder::~Z_CMpegAudioDecoder() { StopStreaming(); }

HRESULT Z_CMpegAudioDecoder::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  auto* decoder = new (std::nothrow) Z_CMpegAudioDecoder;
  if (!decoder) return E_OUTOFMEMORY;
  const HRESULT result = decoder->InnerQueryInterface(iid, out);
  if (FAILED(result)) delete decoder;
  return result;
}

Z_CPinCore* Z_CMpegAudioDecoder::PinAt(int index) {
  if (index == 0) return &m_input;
  return index == 1 ? &m_output : nullptr;
}

HRESULT Z_CMpegAudioDecoder::Examine(IAsyncReader* reader) {
  LONGLONG total = 0, available = 0;
  HRESULT result = reader->Length(&total, &available);
  if (FAILED(result)) return result;

  // Where the sound starts: after an ID3v2 head (ten bytes more with a footer).
  BYTE head[10] = {};
  LONGLONG start = 0;
  if (total >= 10 && reader->SyncRead(0, 10, head) == S_OK && std::memcmp(head, "ID3", 3) == 0) {
    start = (((static_cast<LONGLONG>(head[6] & 0x7F) * 128 + (head[7] & 0x7F)) * 128 + (head[8] & 0x7F)) * 128 +
             (head[9] & 0x7F)) +
            10;
    if (head[3] == 4 && (head[5] & 0x10)) start += 10;
  }
  LONGLONG end = total;
  BYTE tag[3] = {};
  if (total - start > kTrailerSize && reader->SyncRead(total - kTrailerSize, 3, tag) == S_OK &&
      std::memcmp(tag, "TAG", 3) == 0)
    end -= kTrailerSize;
  if (start >= end) return VFW_E_TYPE_NOT_ACCEPTED;

  const LONG window = static_cast<LONG>(std::min<LONGLONG>(end - start, kExamineBytes));
  std::vector<BYTE> bytes(static_cast<size_t>(window));
  if (FAILED(reader->SyncRead(start, window, bytes.data()))) return VFW_E_TYPE_NOT_ACCEPTED;

  // The first frame is one whose successor is a frame too (or which ends the sound).
  platform::MpegAudioFrameHeader frame{};
  LONGLONG first = -1;
  for (LONG at = 0; at + 4 <= window && first < 0; ++at) {
    if (!platform::ReadSizedMpegAudioFrameHeader(&bytes[static_cast<size_t>(at)], &frame)) continue;
    const LONGLONG next = at + static_cast<LONGLONG>(frame.frameLength);
    platform::MpegAudioFrameHeader following{};
    if (start + next == end ||
        (next + 4 <= window && platform::ReadSizedMpegAudioFrameHeader(&bytes[static_cast<size_t>(next)], &following)))
      first = start + at;
  }
  if (first < 0) return VFW_E_TYPE_NOT_ACCEPTED;

  MPEGLAYER3WAVEFORMAT source{};
  source.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
  source.wfx.nChannels = frame.channels;
  source.wfx.nSamplesPerSec = frame.sampleRate;
  source.wfx.nAvgBytesPerSec = frame.bitRate * 1000 / 8;
  source.wfx.nBlockAlign = 1;
  source.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
  source.wID = MPEGLAYER3_ID_MPEG;
  source.fdwFlags = frame.padding ? MPEGLAYER3_FLAG_PADDING_ON : MPEGLAYER3_FLAG_PADDING_ISO;
  source.nBlockSize = static_cast<WORD>(frame.frameLength);
  source.nFramesPerBlock = 1;
  source.nCodecDelay = 700;
  WAVEFORMATEX pcm{};
  pcm.wFormatTag = WAVE_FORMAT_PCM;
  if (acmFormatSuggest(nullptr, &source.wfx, &pcm, sizeof(pcm), ACM_FORMATSUGGESTF_WFORMATTAG) != MMSYSERR_NOERROR)
    return VFW_E_TYPE_NOT_ACCEPTED;
  pcm.cbSize = 0;

  Z_CMediaTypeHolder type;
  type.majortype = MEDIATYPE_Audio;
  type.subtype = MEDIASUBTYPE_PCM;
  type.formattype = FORMAT_WaveFormatEx;
  type.bFixedSizeSamples = TRUE;
  type.lSampleSize = pcm.nBlockAlign;
  type.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(sizeof(pcm)));
  if (!type.pbFormat) return E_OUTOFMEMORY;
  std::memcpy(type.pbFormat, &pcm, sizeof(pcm));
  type.cbFormat = sizeof(pcm);

  m_sourceFormat = source;
  m_pcmFormat = pcm;
  m_outputType = type;
  m_firstFrame = first;
  m_dataEnd = end;
  m_hasFormat = true;
  return S_OK;
}

void Z_CMpegAudioDecoder::Forget() {
  m_hasFormat = false;
  m_outputType.InitEmpty();
}

HRESULT Z_CMpegAudioDecoder::Pause() {
  const bool starting = IsStopped();
  const HRESULT result = Z_CFilterCore::Pause();
  if (FAILED(result) || !starting) return result;
  Z_CScopedLock lock(m_lock);
  if (m_input.Reader() && m_output.IsConnected() && !m_thread) {
    m_stopping = false;
    m_bytesDelivered = 0;
    DWORD threadId = 0;
    m_thread = CreateThread(nullptr, 0, StreamEntry, this, 0, &threadId);
    // Without the thread nothing would ever be delivered: the pause fails, as a refused worker
    // fails the asynchronous reader.
    if (!m_thread) return ResultOfLastError();
  }
  return result;
}

DWORD Z_CMpegAudioDecoder::StreamEntry(LPVOID decoder) {
  static_cast<Z_CMpegAudioDecoder*>(decoder)->Stream();
  return 0;
}

HRESULT Z_CMpegAudioDecoder::Stop() {
  m_stopping = true;
  // Downstream lets go of a sample it holds, so the thread sees the stop.
  const bool flushing = m_thread && m_output.IsConnected();
  if (flushing) m_output.PassBeginFlush();
  const HRESULT result = Z_CFilterCore::Stop();
  StopStreaming();
  if (flushing) m_output.PassEndFlush();
  return result;
}

void Z_CMpegAudioDecoder::StopStreaming() {
  m_stopping = true;
  if (!m_thread) return;
  WaitForSingleObject(m_thread, INFINITE);
  CloseHandle(m_thread);
  m_thread = nullptr;
}

bool Z_CMpegAudioDecoder::Deliver(const BYTE* pcm, DWORD bytes) {
  const DWORD blockAlign = std::max<DWORD>(m_pcmFormat.nBlockAlign, 1);
  while (bytes > 0 && !m_stopping) {
    IMediaSample* sample = nullptr;
    if (FAILED(m_output.TakeDeliveryBuffer(&sample, nullptr, nullptr, 0)) || !sample) return false;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    DWORD count = std::min<DWORD>(bytes, static_cast<DWORD>(sample->GetSize()));
    count -= count % blockAlign;
    if (count == 0) count = std::min<DWORD>(bytes, static_cast<DWORD>(sample->GetSize()));
    std::memcpy(data, pcm, count);
    sample->SetActualDataLength(static_cast<LONG>(count));
    const LONGLONG rate = std::max<LONGLONG>(m_pcmFormat.nAvgBytesPerSec, 1);
    REFERENCE_TIME start = m_bytesDelivered * 10000000 / rate;
    REFERENCE_TIME end = (m_bytesDelivered + count) * 10000000 / rate;
    sample->SetTime(&start, &end);
    sample->SetSyncPoint(TRUE);
    if (m_bytesDelivered == 0) sample->SetDiscontinuity(TRUE);
    const HRESULT result = m_output.SendSample(sample);
    sample->Release();
    if (result != S_OK) return false;
    m_bytesDelivered += count;
    pcm += count;
    bytes -= count;
  }
  return !m_stopping;
}

void Z_CMpegAudioDecoder::Stream() {
  IAsyncReader* reader = m_input.Reader();
  HACMSTREAM stream = nullptr;
  MPEGLAYER3WAVEFORMAT source = m_sourceFormat;
  WAVEFORMATEX pcm = m_pcmFormat;
  if (acmStreamOpen(&stream, nullptr, &source.wfx, &pcm, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME) !=
      MMSYSERR_NOERROR) {
    NotifyGraphEvent(EC_ERRORABORT, E_FAIL, 0);
    return;
  }
  std::vector<BYTE> pending;
  std::vector<BYTE> output;
  LONGLONG position = m_firstFrame;
  bool ended = true;
  while (!m_stopping) {
    // More source bytes, unless all are in.
    if (position < m_dataEnd) {
      const LONG step = static_cast<LONG>(std::min<LONGLONG>(kReadStep, m_dataEnd - position));
      const size_t had = pending.size();
      pending.resize(had + static_cast<size_t>(step));
      const HRESULT read = reader->SyncRead(position, step, pending.data() + had);
      if (read != S_OK) {
        NotifyGraphEvent(EC_ERRORABORT, FAILED(read) ? read : E_FAIL, 0);
        ended = false;
        break;
      }
      position += step;
    }
    const bool last = position >= m_dataEnd;
    if (pending.empty()) break;

    DWORD outputSize = 0;
    if (acmStreamSize(stream, static_cast<DWORD>(pending.size()), &outputSize, ACM_STREAMSIZEF_SOURCE) !=
        MMSYSERR_NOERROR)
      outputSize = static_cast<DWORD>(pending.size()) * 64;
    output.resize(std::max<DWORD>(outputSize, 1));
    ACMSTREAMHEADER header{};
    header.cbStruct = sizeof(header);
    header.pbSrc = pending.data();
    header.cbSrcLength = static_cast<DWORD>(pending.size());
    header.pbDst = output.data();
    header.cbDstLength = static_cast<DWORD>(output.size());
    if (acmStreamPrepareHeader(stream, &header, 0) != MMSYSERR_NOERROR) {
      NotifyGraphEvent(EC_ERRORABORT, E_FAIL, 0);
      ended = false;
      break;
    }
    acmStreamConvert(stream, &header, ACM_STREAMCONVERTF_BLOCKALIGN | (last ? ACM_STREAMCONVERTF_END : 0));
    acmStreamUnprepareHeader(stream, &header, 0);
    const DWORD used = std::min<DWORD>(header.cbSrcLengthUsed, static_cast<DWORD>(pending.size()));
    pending.erase(pending.begin(), pending.begin() + used);
    if (header.cbDstLengthUsed > 0 && !Deliver(output.data(), std::min(header.cbDstLengthUsed, header.cbDstLength))) {
      ended = false;
      break;
    }
    if (last && used == 0) break;  // What is left is no frame.
    if (pending.size() > kMostPending) {
      NotifyGraphEvent(EC_ERRORABORT, E_FAIL, 0);
      ended = false;
      break;
    }
  }
  acmStreamClose(stream, 0);
  if (ended && !m_stopping) m_output.PassEndOfStream();
}
