// Ogg Vorbis through libvorbisfile, reading the converter's own stream through its functions.
//
// Converters set up while a movie's sound track loads keep the movie flag; libvorbisfile holds
// no state outside each OggVorbis_File, so both kinds of converter use the one library.
//
// A chained file plays as one sound in its first link's format for as long as the following
// links keep that rate and channel count; the sound ends where the format changes.
#include <climits>
#include <cstring>

#include "sound/pcm_converter.h"
#include "sound/sound_records.h"

namespace {

size_t OggReadCallback(void* buffer, size_t size, size_t count, void* datasource) {
  auto* source = static_cast<SoundStreamSource*>(datasource);
  if (!source) return static_cast<size_t>(-1);
  if (size > INT_MAX || count > INT_MAX) return 0;
  const int read = source->functions.Read(buffer, static_cast<int>(size), static_cast<int>(count), source->stream);
  return read < 0 ? 0 : static_cast<size_t>(read);
}

int OggSeekCallback(void* datasource, ogg_int64_t offset, int origin) {
  auto* source = static_cast<SoundStreamSource*>(datasource);
  if (!source) return -1;
  return source->functions.Seek(source->stream, static_cast<int>(static_cast<uint32_t>(offset)), origin);
}

int OggCloseCallback(void*) { return 0; }

long OggTellCallback(void* datasource) {
  auto* source = static_cast<SoundStreamSource*>(datasource);
  if (!source) return -1;
  return source->functions.Tell(source->stream);
}

const ov_callbacks kOggCallbacks = {OggReadCallback, OggSeekCallback, OggCloseCallback, OggTellCallback};

bool SameFormat(const vorbis_info* a, const vorbis_info* b) {
  return a && b && a->rate == b->rate && a->channels == b->channels;
}

// Samples of the links from the first on that share its format; -1 when a length cannot be told.
int64_t SamplesInFirstFormat(OggVorbis_File* file) {
  const vorbis_info* first = ov_info(file, 0);
  int64_t samples = 0;
  const long links = ov_streams(file);
  for (long link = 0; link < links && SameFormat(first, ov_info(file, static_cast<int>(link))); ++link) {
    const ogg_int64_t linkSamples = ov_pcm_total(file, static_cast<int>(link));
    if (linkSamples < 0) return -1;
    samples += linkSamples;
  }
  return samples;
}

}  // namespace

int SetupOggDecoder(PcmConverter* converter) {
  PcmOggState& ogg = converter->ogg;
  ogg.open = 0;
  if (ov_open_callbacks(&converter->source, &ogg.file, nullptr, 0, kOggCallbacks) != 0) return -1;
  ogg.open = 1;
  const vorbis_info* info = ov_info(&ogg.file, -1);
  // libvorbisfile writes 8-bit or 16-bit samples only.
  ogg.bytesPerSample = g_soundOptions.oggSampleWidth == 1 ? 1 : 2;
  WAVEFORMATEX& format = converter->outputFormat;
  std::memset(&format, 0, sizeof(format));
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = info ? static_cast<WORD>(info->channels) : 0;
  format.nSamplesPerSec = info ? static_cast<DWORD>(info->rate) : 0;
  format.nBlockAlign = static_cast<WORD>(format.nChannels * ogg.bytesPerSample);
  format.wBitsPerSample = static_cast<WORD>(ogg.bytesPerSample * 8);
  format.nAvgBytesPerSec = format.nBlockAlign * format.nSamplesPerSec;
  converter->bufferSize = 4096;
  converter->method = PCM_CONVERT_OGG_VORBIS;
  // A stream whose length cannot be told, or whose PCM would not fit a block, is refused.
  ogg.formatSamples = SamplesInFirstFormat(&ogg.file);
  // Opening a chained file leaves libvorbisfile at the start of its second link.
  if (ov_streams(&ogg.file) > 1) ov_pcm_seek(&ogg.file, 0);
  const int64_t samples = ogg.formatSamples;
  const int64_t size = samples * format.nBlockAlign;
  if (!info || format.nChannels == 0 || format.nSamplesPerSec == 0 || samples < 0 || size > INT_MAX) {
    EndOggDecoder(converter);
    return -1;
  }
  converter->dataSize = static_cast<int>(size);
  return 0;
}

int DecodeOggBlock(PcmConverter* converter) {
  PcmOggState& ogg = converter->ogg;
  const int blockAlign = converter->outputFormat.nBlockAlign;
  for (;;) {
    const ogg_int64_t at = ov_pcm_tell(&ogg.file);
    if (at < 0 || at >= ogg.formatSamples) return -1;
    int section = 0;
    const long result = ov_read(&ogg.file, reinterpret_cast<char*>(converter->buffer), converter->bufferSize, 0,
                                ogg.bytesPerSample, ogg.bytesPerSample != 1, &section);
    // A hole in the data is skipped; any other error ends the sound.
    if (result == OV_HOLE) continue;
    if (result <= 0) return -1;
    if (!SameFormat(ov_info(&ogg.file, 0), ov_info(&ogg.file, section))) return -1;
    const int64_t left = (ogg.formatSamples - at) * blockAlign;
    converter->validBytes = static_cast<int>(result < left ? result : left);
    return 0;
  }
}

int SeekOgg(PcmConverter* converter, int sample) {
  ov_pcm_seek(&converter->ogg.file, sample);
  converter->validBytes = 0;
  converter->readOffset = 0;
  converter->outputPosition = static_cast<int>(static_cast<int64_t>(sample) * converter->outputFormat.nBlockAlign);
  return 0;
}

int GetOggPcmSize(PcmConverter* converter) {
  const int64_t size = converter->ogg.formatSamples * converter->outputFormat.nBlockAlign;
  return size < 0 ? 0 : size > INT_MAX ? INT_MAX : static_cast<int>(size);
}

int EndOggDecoder(PcmConverter* converter) {
  if (converter->ogg.open == 1) {
    ov_clear(&converter->ogg.file);
    converter->ogg.open = 0;
  }
  return 0;
}
