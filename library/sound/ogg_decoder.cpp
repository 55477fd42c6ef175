// Ogg Vorbis through libvorbisfile, reading the converter's own stream through its functions.
//
// Converters set up while a movie's sound track loads keep the movie flag; libvorbisfile holds
// no state outside each OggVorbis_File, so both kinds of converter use the one library.
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
  const ogg_int64_t samples = ov_pcm_total(&ogg.file, -1);
  const int64_t size = static_cast<int64_t>(samples) * format.nBlockAlign;
  if (!info || format.nChannels == 0 || format.nSamplesPerSec == 0 || samples < 0 || size > INT_MAX) {
    EndOggDecoder(converter);
    return -1;
  }
  converter->dataSize = static_cast<int>(size);
  return 0;
}

int DecodeOggBlock(PcmConverter* converter) {
  PcmOggState& ogg = converter->ogg;
  for (;;) {
    int section = 0;
    const long result = ov_read(&ogg.file, reinterpret_cast<char*>(converter->buffer), converter->bufferSize, 0,
                                ogg.bytesPerSample, ogg.bytesPerSample != 1, &section);
    // A hole in the data is skipped; any other error ends the sound.
    if (result == OV_HOLE) continue;
    if (result <= 0) return -1;
    converter->validBytes = static_cast<int>(result);
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
  const int64_t size = static_cast<int64_t>(ov_pcm_total(&converter->ogg.file, -1)) * converter->outputFormat.nBlockAlign;
  return size < 0 ? 0 : size > INT_MAX ? INT_MAX : static_cast<int>(size);
}

int EndOggDecoder(PcmConverter* converter) {
  if (converter->ogg.open == 1) {
    ov_clear(&converter->ogg.file);
    converter->ogg.open = 0;
  }
  return 0;
}
