// PCM conversion: a PcmConverter turns a readable stream into PCM through the first decoder
// that accepts it (WAVE PCM, WAVE through the audio compression manager, Ogg Vorbis, MP3 through
// the audio compression manager, the media framework), in pieces of any size, and moves to any
// sample. It owns its buffer and its decoder's blocks and handles, never the stream.
#pragma once

#include <vorbis/vorbisfile.h>

#include "platform/acm.h"
#include "platform/dshow.h"
#include "zyvel/runtime.h"
#include "zyvel/sound.h"

// The six stream functions and the stream they are called with, copied by value.
struct SoundStreamSource {
  StreamFunctionSet functions;
  StreamHandle stream;
};

enum PcmConvertMethod : int {
  PCM_CONVERT_WAVE_PCM = 0,
  PCM_CONVERT_ACM = 1,
  PCM_CONVERT_OGG_VORBIS = 2,
  PCM_CONVERT_MEMORY_PCM = 3,
};

struct PcmAcmState {
  BYTE* sourceFormat;  // The format chunk, or the MPEG Layer-3 format built from the first frame.
  HACMSTREAM mainStream;
  HACMSTREAM spareStream;  // Opened alike; takes over when a seek goes backwards.
  BYTE* compressedData;    // The whole data chunk (or all MP3 frames).
  int compressedSize;
  int sourceReadPosition;
  int totalSamples;  // Counted from the frames of MPEG audio; else -1 (the size comes from acmStreamSize).
  int spareSourcePosition;
  int spareOutputPosition;
  BYTE* spareOutput;
  int pieceRoom;  // Room for the sound of one source block: what a conversion needs to move on.
};

struct PcmOggState {
  int open;
  OggVorbis_File file;
  int bytesPerSample;
  int64_t formatSamples;  // Samples of the leading links that share the first link's format.
};

struct PcmMemoryState {
  BYTE* pcm;
  int capacity;
  int size;
  int readPosition;
};

struct PcmConverter {
  int ready;
  int end;
  int method;  // PcmConvertMethod
  SoundStreamSource source;
  int formatChunkPosition;
  int formatChunkSize;
  int dataPosition;
  int dataSize;               // Source bytes of data; for Ogg Vorbis the total PCM bytes.
  WAVEFORMATEX outputFormat;  // Always PCM with no extra bytes.
  // One of these is in use, by method.
  PcmAcmState acm;
  PcmOggState ogg;
  PcmMemoryState memory;
  BYTE* buffer;
  int bufferSize;
  int validBytes;
  int readOffset;
  int outputPosition;  // PCM bytes delivered since the start of the data.
  int movieSoundFlag;
};

// ---- Front end ----
// The caller clears the converter before the first set-up.
int SetupPcmConverter(SoundStreamSource* source, PcmConverter* converter);
int ConvertPcm(PcmConverter* converter, void* destination, int bytes);
int SetPcmConverterSampleTime(PcmConverter* converter, int sample);
int GetPcmConverterFormat(PcmConverter* converter, WAVEFORMATEX* out);
int GetPcmConvertedSize(PcmConverter* converter);
int EndPcmConverter(PcmConverter* converter);
int ConvertWholeToPcm(PcmConverter* converter, WAVEFORMATEX* formatOut, void** pcmOut, int* sizeOut);

// ---- Small routines of the sound data path ----
int BuildWaveImage(void** imageOut, int* sizeOut, const void* format, int formatSize, const void* pcm, int pcmSize);
int LoadFileToMemory(const char* path, void** dataOut, int* sizeOut);
int ReadStreamToMemory(SoundStreamSource* source, void** dataOut, int* sizeOut);
int SamplesToMilliseconds(int samples, int rate);

// ---- Decoders ----
// Each set-up starts with the stream at offset 0 and returns 0 (method, output format and buffer
// size set) or -1 with nothing held. Steps refill the buffer from its start and set the valid
// count, or return -1 at the end of the data.
int SetupWavePcmDecoder(PcmConverter* converter);
int ReadWavePcmBlock(PcmConverter* converter);
int SeekWavePcm(PcmConverter* converter, int sample);

int SetupWaveAcmDecoder(PcmConverter* converter);
int ConvertAcmBlock(PcmConverter* converter);
// Converts the next steps straight into `destination` (`room` bytes) instead of the buffer, as
// far as the room takes whole pieces: the bytes made, or 0 when nothing came (the room holds not
// even the next piece's sound, or the data ended), which leaves ConvertAcmBlock to decide.
int ConvertAcmInto(PcmConverter* converter, BYTE* destination, int room);
int SeekAcm(PcmConverter* converter, int sample);
int EndAcmDecoder(PcmConverter* converter);
// Opens the main and the spare conversion stream and the spare output block over the source
// format and output format already set; shared by the WAVE and the MP3 set-ups.
int OpenAcmStreams(PcmConverter* converter, int bufferSize);
// Closes the conversion streams and frees the blocks of the ACM state.
void ReleaseAcmState(PcmConverter* converter);

int SetupMp3AcmDecoder(PcmConverter* converter);

int SetupOggDecoder(PcmConverter* converter);
int DecodeOggBlock(PcmConverter* converter);
int SeekOgg(PcmConverter* converter, int sample);
int GetOggPcmSize(PcmConverter* converter);
int EndOggDecoder(PcmConverter* converter);

int SetupMediaFrameworkDecoder(PcmConverter* converter);
int CopyMemoryPcmBlock(PcmConverter* converter);
// The grabber's callback of the media-framework decoder: appends the sample's bytes to the
// converter's PCM block (the value), growing it in 1 MiB steps.
HRESULT AppendGrabbedPcm(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* end, BOOL typeChanged,
                         DWORD_PTR value);
// The filter's first pin of the direction, with a reference, or null.
IPin* FindPinByDirection(IBaseFilter* filter, PIN_DIRECTION direction);

// ---- Stream helpers of the decoders ----
int SourceTell(const SoundStreamSource& source);
int SourceSeek(const SoundStreamSource& source, int offset, int origin);
// Bytes read (item size 1).
int SourceRead(const SoundStreamSource& source, void* buffer, int bytes);
// The stream's size, found by seeking to its end; the position is put back to 0.
int SourceSizeFromStart(const SoundStreamSource& source);
