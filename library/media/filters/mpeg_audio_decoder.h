// The platform's MPEG-audio parser and decoder (CLSID_MpegAudioDecoder), built on the framework:
// its input pin pulls an MPEG audio stream (Layers I to III, an ID3v2 head and a "TAG" trailer
// left out) through the upstream IAsyncReader, and its output pin delivers 16-bit PCM described
// by a WAVEFORMATEX, decoded by the platform's MPEG audio codec behind the audio compression
// manager, so the PCM is the same as that of the sound system's own MP3 path.
//
// Refused at connection: a stream with no two consecutive frame headers in its first 64 KiB.
// Streaming runs on the filter's own thread from Pause to Stop; Stop flushes downstream first.
#pragma once

#include <atomic>
#include <vector>

#include "media/framework/delivering_pin.h"
#include "media/framework/filter_core.h"
#include "media/framework/reader_input_pin.h"
#include "platform/acm.h"

class Z_CMpegAudioDecoder;

class Z_CMpegAudioInputPin final : public Z_CReaderInputPin {
 public:
  Z_CMpegAudioInputPin(Z_CMpegAudioDecoder* filter, Z_CLockSection* lock);

  HRESULT TestType(const AM_MEDIA_TYPE* type) override;
};

class Z_CMpegAudioOutputPin final : public Z_CDeliveringPin {
 public:
  Z_CMpegAudioOutputPin(Z_CMpegAudioDecoder* filter, Z_CLockSection* lock);

  HRESULT TestType(const AM_MEDIA_TYPE* type) override;
  HRESULT ListTypeAt(int index, Z_CMediaTypeHolder* type) override;
  HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

 private:
  Z_CMpegAudioDecoder* m_decoder;
};

class Z_CMpegAudioDecoder final : public Z_CFilterCore, public Z_CReaderInputPin::Owner {
 public:
  Z_CMpegAudioDecoder();
  ~Z_CMpegAudioDecoder() override;
  static HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out);

  int CountPins() override { return 2; }
  Z_CPinCore* PinAt(int index) override;
  HRESULT Pause() override;
  HRESULT Stop() override;

  // Finds the first frame and the format through the reader; VFW_E_TYPE_NOT_ACCEPTED when the
  // stream is not MPEG audio.
  HRESULT Examine(IAsyncReader* reader) override;
  void Forget() override;
  bool HasFormat() const { return m_hasFormat; }
  const Z_CMediaTypeHolder& OutputType() const { return m_outputType; }

 private:
  static DWORD StreamEntry(LPVOID decoder);
  void Stream();
  // Delivers the PCM in as many samples as it takes; false when downstream wants no more.
  bool Deliver(const BYTE* pcm, DWORD bytes);
  void StopStreaming();

  Z_CLockSection m_filterLock;
  Z_CMpegAudioInputPin m_input;
  Z_CMpegAudioOutputPin m_output;
  bool m_hasFormat = false;
  MPEGLAYER3WAVEFORMAT m_sourceFormat{};
  WAVEFORMATEX m_pcmFormat{};
  Z_CMediaTypeHolder m_outputType;
  LONGLONG m_firstFrame = 0;
  LONGLONG m_dataEnd = 0;
  HANDLE m_thread = nullptr;  // The streaming thread, from Pause until Stop waits for it.
  std::atomic<bool> m_stopping{false};
  LONGLONG m_bytesDelivered = 0;  // Streaming thread only.
};
