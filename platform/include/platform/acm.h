// MSACM32-shaped part of the platform stand-in: the audio compression manager's format suggestion
// and conversion streams.
//
// The codecs behind it are our own: PCM to PCM (bits 8/16/24/32, one or two channels either way,
// any rate), IMA ADPCM, Microsoft ADPCM, mu-law and A-law, and MPEG audio (Layers I to III) over
// libmpg123. Every conversion ends in PCM. With ACM_STREAMCONVERTF_BLOCKALIGN only whole source
// blocks are converted; a codec never keeps decoded sound back: what a call consumes comes out in
// the same call, so cbSrcLengthUsed always tells where the next call must start.
#pragma once

#include "platform/types.h"
#include "platform/winmm.h"

// ---- Wave formats ----
// WAVEFORMATEX and WAVE_FORMAT_PCM come from winmm.h.

#define WAVE_FORMAT_ADPCM 0x0002
#define WAVE_FORMAT_ALAW 0x0006
#define WAVE_FORMAT_MULAW 0x0007
#define WAVE_FORMAT_IMA_ADPCM 0x0011
#define WAVE_FORMAT_MPEG 0x0050
#define WAVE_FORMAT_MPEGLAYER3 0x0055

#pragma pack(push, 1)
struct MPEGLAYER3WAVEFORMAT {
  WAVEFORMATEX wfx;
  WORD wID;
  DWORD fdwFlags;
  WORD nBlockSize;
  WORD nFramesPerBlock;
  WORD nCodecDelay;
};
struct IMAADPCMWAVEFORMAT {
  WAVEFORMATEX wfx;
  WORD wSamplesPerBlock;
};
struct ADPCMCOEFSET {
  SHORT iCoef1;
  SHORT iCoef2;
};
// Followed by wNumCoef ADPCMCOEFSET entries (cbSize = 4 + 4 x wNumCoef).
struct ADPCMWAVEFORMAT {
  WAVEFORMATEX wfx;
  WORD wSamplesPerBlock;
  WORD wNumCoef;
};
#pragma pack(pop)
static_assert(sizeof(MPEGLAYER3WAVEFORMAT) == 30, "MPEGLAYER3WAVEFORMAT is 30 packed bytes");
static_assert(sizeof(IMAADPCMWAVEFORMAT) == 20 && sizeof(ADPCMWAVEFORMAT) == 22, "ADPCM formats");

#define MPEGLAYER3_WFX_EXTRA_BYTES 12
#define MPEGLAYER3_ID_UNKNOWN 0
#define MPEGLAYER3_ID_MPEG 1
#define MPEGLAYER3_ID_CONSTANTFRAMESIZE 2
#define MPEGLAYER3_FLAG_PADDING_ISO 0x00000000
#define MPEGLAYER3_FLAG_PADDING_ON 0x00000001
#define MPEGLAYER3_FLAG_PADDING_OFF 0x00000002

// ---- Results ----
#define MMSYSERR_NOERROR 0
#define MMSYSERR_ERROR 1
#define MMSYSERR_INVALHANDLE 5
#define MMSYSERR_NOMEM 7
#define MMSYSERR_NOTSUPPORTED 8
#define MMSYSERR_INVALFLAG 10
#define MMSYSERR_INVALPARAM 11
#define ACMERR_BASE 512
#define ACMERR_NOTPOSSIBLE (ACMERR_BASE + 0)
#define ACMERR_BUSY (ACMERR_BASE + 1)
#define ACMERR_UNPREPARED (ACMERR_BASE + 2)
#define ACMERR_CANCELED (ACMERR_BASE + 3)

// ---- Objects ----
ZV_DECLARE_HANDLE(HACMDRIVERID);
ZV_DECLARE_HANDLE(HACMDRIVER);
ZV_DECLARE_HANDLE(HACMSTREAM);
ZV_DECLARE_HANDLE(HACMOBJ);
typedef HACMSTREAM* LPHACMSTREAM;
struct WAVEFILTER;
typedef WAVEFILTER* LPWAVEFILTER;

#define ACM_METRIC_MAX_SIZE_FORMAT 50
// Every format is given with no driver (NULL object); the answer is the largest format block any
// codec of the stand-in uses (Microsoft ADPCM with its seven coefficient pairs).
MMRESULT acmMetrics(HACMOBJ object, UINT metric, LPVOID out);

#define ACM_FORMATSUGGESTF_WFORMATTAG 0x00010000u
#define ACM_FORMATSUGGESTF_NCHANNELS 0x00020000u
#define ACM_FORMATSUGGESTF_NSAMPLESPERSEC 0x00040000u
#define ACM_FORMATSUGGESTF_WBITSPERSAMPLE 0x00080000u
#define ACM_FORMATSUGGESTF_TYPEMASK 0x00FF0000u
// Fills `destination` (cbDestination bytes) with the format a conversion of `source` gives; the
// fields named by the flags are taken from `destination` as given. Only PCM results are offered.
MMRESULT acmFormatSuggest(HACMDRIVER driver, LPWAVEFORMATEX source, LPWAVEFORMATEX destination, DWORD cbDestination,
                          DWORD flags);

#define ACM_STREAMOPENF_QUERY 0x00000001u
#define ACM_STREAMOPENF_ASYNC 0x00000002u
#define ACM_STREAMOPENF_NONREALTIME 0x00000004u
// Opens a conversion from `source` to `destination` (PCM). With ACM_STREAMOPENF_QUERY nothing is
// opened and the result only says whether the conversion is possible. No filters, no callbacks.
MMRESULT acmStreamOpen(LPHACMSTREAM stream, HACMDRIVER driver, LPWAVEFORMATEX source, LPWAVEFORMATEX destination,
                       LPWAVEFILTER filter, DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
MMRESULT acmStreamClose(HACMSTREAM stream, DWORD flags);

#define ACM_STREAMSIZEF_SOURCE 0x00000000u
#define ACM_STREAMSIZEF_DESTINATION 0x00000001u
#define ACM_STREAMSIZEF_QUERYMASK 0x0000000Fu
// SOURCE: the destination bytes `input` source bytes may need (never too few for whole blocks).
// DESTINATION: the source bytes whose conversion fits in `input` destination bytes.
MMRESULT acmStreamSize(HACMSTREAM stream, DWORD input, LPDWORD output, DWORD flags);

#define ACMSTREAMHEADER_STATUSF_DONE 0x00010000u
#define ACMSTREAMHEADER_STATUSF_PREPARED 0x00020000u
#define ACMSTREAMHEADER_STATUSF_INQUEUE 0x00100000u

struct ACMSTREAMHEADER {
  DWORD cbStruct;
  DWORD fdwStatus;
  DWORD_PTR dwUser;
  LPBYTE pbSrc;
  DWORD cbSrcLength;
  DWORD cbSrcLengthUsed;
  DWORD_PTR dwSrcUser;
  LPBYTE pbDst;
  DWORD cbDstLength;
  DWORD cbDstLengthUsed;
  DWORD_PTR dwDstUser;
  DWORD dwReservedDriver[10];
};
typedef ACMSTREAMHEADER* LPACMSTREAMHEADER;

MMRESULT acmStreamPrepareHeader(HACMSTREAM stream, LPACMSTREAMHEADER header, DWORD flags);
MMRESULT acmStreamUnprepareHeader(HACMSTREAM stream, LPACMSTREAMHEADER header, DWORD flags);

#define ACM_STREAMCONVERTF_BLOCKALIGN 0x00000004u
#define ACM_STREAMCONVERTF_START 0x00000010u
#define ACM_STREAMCONVERTF_END 0x00000020u
// Converts synchronously. BLOCKALIGN: whole source blocks only. START: the stream forgets what
// it held (decoder state, the resampler's last frame). END: a trailing part block is converted as
// far as its bytes go, and the resampler gives out its last frame.
MMRESULT acmStreamConvert(HACMSTREAM stream, LPACMSTREAMHEADER header, DWORD flags);
