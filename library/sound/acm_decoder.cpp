// WAVE through the audio compression manager, and the conversion method (method 1) it shares
// with the MP3 decoder: the whole compressed data is held in memory and converted in steps of
// 2048 source bytes (or one source block, when a block is larger) into the conversion buffer.
#include <climits>
#include <cstring>

#include "sound/mp3_frame_header.h"
#include "sound/pcm_converter.h"
#include "sound/wave_chunks.h"

namespace {

constexpr int kSourceBytesPerStep = 2048;

MMRESULT OpenConversionStream(PcmConverter* converter, HACMSTREAM* handle) {
  return acmStreamOpen(handle, nullptr, reinterpret_cast<WAVEFORMATEX*>(converter->acm.sourceFormat),
                       &converter->outputFormat, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME);
}

// One conversion call over the next source step into `destination` (`room` bytes): the bytes
// made, or -1 when no output came and no source was used.
int ConvertOneStep(PcmConverter* converter, BYTE* destination, int room) {
  PcmAcmState& acm = converter->acm;
  const auto* source = reinterpret_cast<const WAVEFORMATEX*>(acm.sourceFormat);
  int step = source->nBlockAlign > kSourceBytesPerStep ? source->nBlockAlign : kSourceBytesPerStep;
  if (step > acm.compressedSize - acm.sourceReadPosition) step = acm.compressedSize - acm.sourceReadPosition;
  ACMSTREAMHEADER header;
  std::memset(&header, 0, sizeof(header));
  header.cbStruct = sizeof(header);
  header.pbSrc = acm.compressedData + acm.sourceReadPosition;
  header.cbSrcLength = static_cast<DWORD>(step);
  header.pbDst = destination;
  header.cbDstLength = static_cast<DWORD>(room);
  if (acmStreamPrepareHeader(acm.mainStream, &header, 0) != MMSYSERR_NOERROR) return -1;
  // The step that reaches the end of the data says so, so that a part block at the end is
  // decoded too.
  const bool last = acm.sourceReadPosition + step == acm.compressedSize;
  acmStreamConvert(acm.mainStream, &header, ACM_STREAMCONVERTF_BLOCKALIGN | (last ? ACM_STREAMCONVERTF_END : 0));
  acm.sourceReadPosition += static_cast<int>(header.cbSrcLengthUsed);
  acmStreamUnprepareHeader(acm.mainStream, &header, 0);
  if (header.cbDstLengthUsed == 0 && header.cbSrcLengthUsed == 0) return -1;
  return static_cast<int>(header.cbDstLengthUsed);
}

}  // namespace

void ReleaseAcmState(PcmConverter* converter) {
  PcmAcmState& acm = converter->acm;
  if (acm.mainStream) acmStreamClose(acm.mainStream, 0);
  if (acm.spareStream) acmStreamClose(acm.spareStream, 0);
  ZV_FREE(acm.sourceFormat);
  ZV_FREE(acm.compressedData);
  ZV_FREE(acm.spareOutput);
  acm.mainStream = nullptr;
  acm.spareStream = nullptr;
  acm.sourceFormat = nullptr;
  acm.compressedData = nullptr;
  acm.spareOutput = nullptr;
}

int OpenAcmStreams(PcmConverter* converter, int bufferSize) {
  PcmAcmState& acm = converter->acm;
  if (OpenConversionStream(converter, &acm.mainStream) != MMSYSERR_NOERROR) return -1;
  if (OpenConversionStream(converter, &acm.spareStream) != MMSYSERR_NOERROR) return -1;
  // A sound shorter than the buffer needs no more room than its whole output: any buffer that
  // holds one block's sound converts it all, a larger one only costs memory and page faults.
  const int64_t wholeOutput = static_cast<int64_t>(acm.totalSamples) * converter->outputFormat.nBlockAlign;
  if (acm.totalSamples >= 0 && wholeOutput < bufferSize)
    bufferSize = wholeOutput > 0 ? static_cast<int>(wholeOutput) : 1;
  // The buffer must hold the sound of one whole source block, or no step could ever convert.
  DWORD blockOutput = 0;
  const auto* source = reinterpret_cast<const WAVEFORMATEX*>(acm.sourceFormat);
  const bool sized = acmStreamSize(acm.mainStream, source->nBlockAlign, &blockOutput, ACM_STREAMSIZEF_SOURCE) ==
                     MMSYSERR_NOERROR;
  if (sized && blockOutput > static_cast<DWORD>(bufferSize)) {
    if (blockOutput > kLargestStepBuffer) return -1;
    bufferSize = static_cast<int>(blockOutput);
  }
  converter->bufferSize = bufferSize;
  acm.pieceRoom = sized ? static_cast<int>(blockOutput) : bufferSize;
  acm.spareOutput = static_cast<BYTE*>(ZV_ALLOC(bufferSize));
  if (!acm.spareOutput) return -1;
  converter->method = PCM_CONVERT_ACM;
  return 0;
}

int SetupWaveAcmDecoder(PcmConverter* converter) {
  PcmAcmState& acm = converter->acm;
  std::memset(&acm, 0, sizeof(acm));
  acm.totalSamples = -1;
  BYTE* format = nullptr;
  if (WalkWaveChunks(converter, &format) != 0) return -1;
  acm.sourceFormat = format;
  auto* source = reinterpret_cast<WAVEFORMATEX*>(format);
  const int formatBlockSize = converter->formatChunkSize < 18 ? 18 : converter->formatChunkSize;
  if (source->wFormatTag == WAVE_FORMAT_PCM && converter->formatChunkSize == 16 && source->nChannels != 0) {
    source->wBitsPerSample = static_cast<WORD>(source->nBlockAlign / source->nChannels * 8);
    source->cbSize = 0;
  }
  // The codec reads cbSize extra bytes: they must lie inside the chunk.
  const bool extraFits = source->wFormatTag == WAVE_FORMAT_PCM || 18 + source->cbSize <= formatBlockSize;
  std::memset(&converter->outputFormat, 0, sizeof(WAVEFORMATEX));
  converter->outputFormat.wFormatTag = WAVE_FORMAT_PCM;
  if (!extraFits || CheckWaveFormatFields(source) != 0 ||
      acmFormatSuggest(nullptr, source, &converter->outputFormat, sizeof(WAVEFORMATEX),
                       ACM_FORMATSUGGESTF_WFORMATTAG) != MMSYSERR_NOERROR) {
    ReleaseAcmState(converter);
    return -1;
  }
  acm.compressedSize = converter->dataSize;
  acm.compressedData = static_cast<BYTE*>(ZV_ALLOC(acm.compressedSize > 0 ? acm.compressedSize : 1));
  if (!acm.compressedData) {
    ReleaseAcmState(converter);
    return -1;
  }
  acm.sourceReadPosition = 0;
  acm.compressedSize = SourceRead(converter->source, acm.compressedData, acm.compressedSize);
  SourceSeek(converter->source, converter->dataPosition, STREAM_SEEK_START);
  // The size estimate of MPEG audio allows for any bit rate; its frames tell the real length.
  if (source->wFormatTag == WAVE_FORMAT_MPEGLAYER3 || source->wFormatTag == WAVE_FORMAT_MPEG) {
    const int64_t samples = CountMpegAudioSamples(acm.compressedData, static_cast<uint32_t>(acm.compressedSize));
    acm.totalSamples = samples > INT32_MAX ? INT32_MAX : static_cast<int>(samples);
  }
  const DWORD average = converter->outputFormat.nAvgBytesPerSec;
  if (average == 0 || average > kLargestStepBuffer || OpenAcmStreams(converter, static_cast<int>(average)) != 0) {
    ReleaseAcmState(converter);
    return -1;
  }
  return 0;
}

int ConvertAcmBlock(PcmConverter* converter) {
  PcmAcmState& acm = converter->acm;
  // A step may use source (bytes between frames, an information frame) and give no sound yet;
  // the data ends only when a step makes no progress at all.
  while (acm.sourceReadPosition < acm.compressedSize) {
    const int made = ConvertOneStep(converter, converter->buffer, converter->bufferSize);
    if (made < 0) break;
    converter->validBytes = made;
    if (made > 0) return 0;
  }
  acm.sourceReadPosition = acm.compressedSize;
  converter->validBytes = 0;
  return -1;
}

int ConvertAcmInto(PcmConverter* converter, BYTE* destination, int room) {
  PcmAcmState& acm = converter->acm;
  while (acm.sourceReadPosition < acm.compressedSize) {
    const int made = ConvertOneStep(converter, destination, room);
    if (made != 0) return made > 0 ? made : 0;
  }
  return 0;
}

int SeekAcm(PcmConverter* converter, int sample) {
  PcmAcmState& acm = converter->acm;
  const int64_t wide = static_cast<int64_t>(sample) * converter->outputFormat.nBlockAlign;
  const int target = wide > INT_MAX ? INT_MAX : wide < 0 ? 0 : static_cast<int>(wide);
  auto skipIntoBuffer = [&]() {
    const int skip = target - converter->outputPosition;
    converter->readOffset += skip;
    converter->validBytes -= skip;
    converter->outputPosition = target;
  };
  if (target >= converter->outputPosition && target <= converter->outputPosition + converter->validBytes) {
    skipIntoBuffer();
    return 0;
  }
  if (target < converter->outputPosition) {
    // The spare stream has never converted anything: it takes over, and the old main one is
    // opened afresh as the next spare.
    HACMSTREAM used = acm.mainStream;
    acm.mainStream = acm.spareStream;
    acm.spareStream = nullptr;
    acmStreamClose(used, 0);
    OpenConversionStream(converter, &acm.spareStream);
    acm.sourceReadPosition = 0;
    converter->outputPosition = 0;
    converter->readOffset = 0;
    converter->validBytes = 0;
  }
  while (converter->outputPosition + converter->validBytes < target) {
    converter->outputPosition += converter->validBytes;
    converter->validBytes = 0;
    converter->readOffset = 0;
    if (ConvertAcmBlock(converter) == -1) {
      converter->validBytes = 0;
      converter->end = 1;
      return 0;
    }
  }
  skipIntoBuffer();
  return 0;
}

int EndAcmDecoder(PcmConverter* converter) {
  ReleaseAcmState(converter);
  return 0;
}
