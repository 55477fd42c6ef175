// Format suggestion and conversion streams of the audio compression manager.
#include <cstring>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "acm/codec.h"

namespace acm {

namespace {

struct ConversionStream {
  std::vector<BYTE> sourceFormat;  // The whole source format block, extra bytes included.
  WAVEFORMATEX destination;
  std::unique_ptr<SourceDecoder> decoder;
  std::unique_ptr<PcmOutput> output;
  FrameBuffer frames;
  bool writesPcm16;  // The decoder writes the destination's PCM itself (DecodesAsPcm16).
};

// The streams that are open, so a stale or made-up handle is refused instead of followed.
struct StreamRegistry {
  std::mutex lock;
  std::unordered_set<ConversionStream*> open;
};

StreamRegistry& Registry() {
  static StreamRegistry registry;
  return registry;
}

ConversionStream* Lookup(HACMSTREAM handle) {
  auto* stream = reinterpret_cast<ConversionStream*>(handle);
  StreamRegistry& registry = Registry();
  std::lock_guard<std::mutex> guard(registry.lock);
  return registry.open.count(stream) ? stream : nullptr;
}

size_t FormatBlockSize(const WAVEFORMATEX* format) {
  return format->wFormatTag == WAVE_FORMAT_PCM ? sizeof(WAVEFORMATEX) : sizeof(WAVEFORMATEX) + format->cbSize;
}

}  // namespace

}  // namespace acm

using namespace acm;

MMRESULT acmMetrics(HACMOBJ object, UINT metric, LPVOID out) {
  if (object || !out) return MMSYSERR_INVALPARAM;
  if (metric != ACM_METRIC_MAX_SIZE_FORMAT) return MMSYSERR_NOTSUPPORTED;
  *static_cast<DWORD*>(out) = sizeof(ADPCMWAVEFORMAT) + 7 * sizeof(ADPCMCOEFSET);
  return MMSYSERR_NOERROR;
}

MMRESULT acmFormatSuggest(HACMDRIVER, LPWAVEFORMATEX source, LPWAVEFORMATEX destination, DWORD cbDestination,
                          DWORD flags) {
  if (!source || !destination || cbDestination < sizeof(WAVEFORMATEX) - sizeof(WORD)) return MMSYSERR_INVALPARAM;
  if (flags & ~ACM_FORMATSUGGESTF_TYPEMASK) return MMSYSERR_INVALFLAG;
  const SourceCodec* codec = FindSourceCodec(source);
  if (!codec) return ACMERR_NOTPOSSIBLE;
  if ((flags & ACM_FORMATSUGGESTF_WFORMATTAG) && destination->wFormatTag != WAVE_FORMAT_PCM) return ACMERR_NOTPOSSIBLE;
  WAVEFORMATEX suggestion;
  suggestion.wFormatTag = WAVE_FORMAT_PCM;
  suggestion.nChannels = (flags & ACM_FORMATSUGGESTF_NCHANNELS) ? destination->nChannels : source->nChannels;
  suggestion.nSamplesPerSec = (flags & ACM_FORMATSUGGESTF_NSAMPLESPERSEC) ? destination->nSamplesPerSec
                                                                          : source->nSamplesPerSec;
  suggestion.wBitsPerSample = (flags & ACM_FORMATSUGGESTF_WBITSPERSAMPLE) ? destination->wBitsPerSample
                                                                          : codec->SuggestedBits(source);
  suggestion.nBlockAlign = static_cast<WORD>(suggestion.nChannels * suggestion.wBitsPerSample / 8);
  suggestion.nAvgBytesPerSec = suggestion.nBlockAlign * suggestion.nSamplesPerSec;
  suggestion.cbSize = 0;
  if (!IsWritablePcm(&suggestion) || !ChannelsConvertible(source->nChannels, suggestion.nChannels))
    return ACMERR_NOTPOSSIBLE;
  std::memcpy(destination, &suggestion, cbDestination < sizeof(WAVEFORMATEX) ? cbDestination : sizeof(WAVEFORMATEX));
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamOpen(LPHACMSTREAM handle, HACMDRIVER driver, LPWAVEFORMATEX source, LPWAVEFORMATEX destination,
                       LPWAVEFILTER filter, DWORD_PTR callback, DWORD_PTR, DWORD flags) {
  const bool query = flags & ACM_STREAMOPENF_QUERY;
  if (handle) *handle = nullptr;
  if ((!handle && !query) || !source || !destination) return MMSYSERR_INVALPARAM;
  if (driver || filter || callback || (flags & ACM_STREAMOPENF_ASYNC)) return MMSYSERR_NOTSUPPORTED;
  const SourceCodec* codec = FindSourceCodec(source);
  if (!codec || !IsWritablePcm(destination) || !ChannelsConvertible(source->nChannels, destination->nChannels))
    return ACMERR_NOTPOSSIBLE;
  if (query) return MMSYSERR_NOERROR;
  auto* stream = new ConversionStream;
  const auto* formatBytes = reinterpret_cast<const BYTE*>(source);
  stream->sourceFormat.assign(formatBytes, formatBytes + FormatBlockSize(source));
  stream->destination = *destination;
  stream->destination.cbSize = 0;
  const auto* ownFormat = reinterpret_cast<const WAVEFORMATEX*>(stream->sourceFormat.data());
  stream->decoder = codec->Create(ownFormat);
  stream->output = std::make_unique<PcmOutput>(source->nChannels, source->nSamplesPerSec, stream->destination);
  stream->writesPcm16 = stream->decoder->DecodesAsPcm16() && stream->output->PassesSixteenBits();
  {
    std::lock_guard<std::mutex> guard(Registry().lock);
    Registry().open.insert(stream);
  }
  *handle = reinterpret_cast<HACMSTREAM>(stream);
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamClose(HACMSTREAM handle, DWORD flags) {
  if (flags) return MMSYSERR_INVALFLAG;
  auto* stream = reinterpret_cast<ConversionStream*>(handle);
  {
    std::lock_guard<std::mutex> guard(Registry().lock);
    if (!Registry().open.erase(stream)) return MMSYSERR_INVALHANDLE;
  }
  delete stream;
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamSize(HACMSTREAM handle, DWORD input, LPDWORD output, DWORD flags) {
  ConversionStream* stream = Lookup(handle);
  if (!stream) return MMSYSERR_INVALHANDLE;
  if (!output) return MMSYSERR_INVALPARAM;
  const auto* source = reinterpret_cast<const WAVEFORMATEX*>(stream->sourceFormat.data());
  const uint64_t destinationRate = stream->destination.nSamplesPerSec;
  const uint64_t sourceRate = source->nSamplesPerSec;
  const DWORD align = stream->destination.nBlockAlign;
  uint64_t result;
  switch (flags & ACM_STREAMSIZEF_QUERYMASK) {
    case ACM_STREAMSIZEF_SOURCE: {
      const uint64_t frames = stream->decoder->MaxFramesFor(input);
      result = (frames * destinationRate + sourceRate - 1) / sourceRate + (sourceRate != destinationRate);
      result *= align;
      break;
    }
    case ACM_STREAMSIZEF_DESTINATION: {
      const uint64_t frames = input / align * sourceRate / destinationRate;
      result = stream->decoder->SourceBytesFor(frames);
      break;
    }
    default:
      return MMSYSERR_INVALFLAG;
  }
  if (result == 0 || result > 0xFFFFFFFFu) return ACMERR_NOTPOSSIBLE;
  *output = static_cast<DWORD>(result);
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamPrepareHeader(HACMSTREAM handle, LPACMSTREAMHEADER header, DWORD flags) {
  if (!Lookup(handle)) return MMSYSERR_INVALHANDLE;
  if (!header || header->cbStruct < sizeof(ACMSTREAMHEADER) || !header->pbSrc || !header->pbDst)
    return MMSYSERR_INVALPARAM;
  if (flags) return MMSYSERR_INVALFLAG;
  header->fdwStatus = ACMSTREAMHEADER_STATUSF_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamUnprepareHeader(HACMSTREAM handle, LPACMSTREAMHEADER header, DWORD flags) {
  if (!Lookup(handle)) return MMSYSERR_INVALHANDLE;
  if (!header || header->cbStruct < sizeof(ACMSTREAMHEADER)) return MMSYSERR_INVALPARAM;
  if (flags) return MMSYSERR_INVALFLAG;
  if (!(header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED)) return ACMERR_UNPREPARED;
  header->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamConvert(HACMSTREAM handle, LPACMSTREAMHEADER header, DWORD flags) {
  ConversionStream* stream = Lookup(handle);
  if (!stream) return MMSYSERR_INVALHANDLE;
  if (!header || header->cbStruct < sizeof(ACMSTREAMHEADER)) return MMSYSERR_INVALPARAM;
  if (flags & ~(ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_END))
    return MMSYSERR_INVALFLAG;
  if (!(header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED)) return ACMERR_UNPREPARED;
  if (flags & ACM_STREAMCONVERTF_START) {
    stream->decoder->Reset();
    stream->output->Reset();
  }
  const bool end = flags & ACM_STREAMCONVERTF_END;
  const BYTE* source = header->pbSrc;
  BYTE* destination = header->pbDst;
  DWORD sourceUsed = 0;
  DWORD destinationUsed = 0;
  for (;;) {
    DWORD unitBytes = 0;
    DWORD maxFrames = 0;
    // Source frames whose output surely fits (the resampler may add one frame either way).
    const uint64_t roomFrames = (header->cbDstLength - destinationUsed) / stream->destination.nBlockAlign;
    const uint64_t sourceRate = reinterpret_cast<const WAVEFORMATEX*>(stream->sourceFormat.data())->nSamplesPerSec;
    uint64_t frameRoom = roomFrames * sourceRate / stream->destination.nSamplesPerSec;
    if (sourceRate != stream->destination.nSamplesPerSec) frameRoom = frameRoom > 2 ? frameRoom - 2 : 1;
    if (frameRoom > 0xFFFFFFFFu) frameRoom = 0xFFFFFFFFu;
    if (!stream->decoder->NextUnit(source + sourceUsed, header->cbSrcLength - sourceUsed, end,
                                   static_cast<DWORD>(frameRoom), &unitBytes, &maxFrames))
      break;
    // A piece is taken only when all it can bring out fits, so nothing is left over for later.
    const uint64_t most = stream->output->MaxOutputFrames(maxFrames) * stream->output->DestinationBlockAlign();
    if (most > header->cbDstLength - destinationUsed) break;
    if (stream->writesPcm16) {
      const DWORD frames = stream->decoder->DecodeUnitAsPcm16(source + sourceUsed, unitBytes,
                                                              destination + destinationUsed);
      destinationUsed += frames * stream->destination.nBlockAlign;
    } else {
      const DWORD frames = stream->decoder->DecodeUnit(source + sourceUsed, unitBytes, &stream->frames);
      destinationUsed += stream->output->Write(stream->frames, frames, destination + destinationUsed);
    }
    sourceUsed += unitBytes;
  }
  // Frames held back for resampling come out once the whole source has been taken.
  if (end && sourceUsed == header->cbSrcLength)
    destinationUsed += stream->output->Flush(destination + destinationUsed, header->cbDstLength - destinationUsed);
  header->cbSrcLengthUsed = sourceUsed;
  header->cbDstLengthUsed = destinationUsed;
  header->fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
  return MMSYSERR_NOERROR;
}
