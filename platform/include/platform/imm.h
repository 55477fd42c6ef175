// IMM-shaped part of the platform stand-in: one input context, fed by SDL's text editing (the
// composition string and its cursor) and text input (the result string), converted to CP932.
// There is no candidate list and no clause split beyond one clause for the whole composition.
#pragma once

#include "platform/types.h"

#define GCS_COMPREADSTR 0x0001u
#define GCS_COMPSTR 0x0008u
#define GCS_COMPCLAUSE 0x0020u
#define GCS_CURSORPOS 0x0080u
#define GCS_RESULTSTR 0x0800u

#define IMN_CLOSESTATUSWINDOW 0x0001u
#define IMN_OPENSTATUSWINDOW 0x0002u
#define IMN_CHANGECANDIDATE 0x0003u
#define IMN_CLOSECANDIDATE 0x0004u
#define IMN_OPENCANDIDATE 0x0005u
#define IMN_SETCONVERSIONMODE 0x0006u
#define IMN_SETOPENSTATUS 0x0008u
#define IMN_SETCANDIDATEPOS 0x0009u

#define NI_COMPOSITIONSTR 0x0015u
#define CPS_COMPLETE 0x0001u
#define CPS_CANCEL 0x0004u
#define SCS_SETSTR (GCS_COMPREADSTR | GCS_COMPSTR)

#define IMM_ERROR_NODATA (-1)
#define IMM_ERROR_GENERAL (-2)

struct CANDIDATELIST {
  DWORD dwSize;
  DWORD dwStyle;
  DWORD dwCount;
  DWORD dwSelection;
  DWORD dwPageStart;
  DWORD dwPageSize;
  DWORD dwOffset[1];
};
typedef CANDIDATELIST* LPCANDIDATELIST;

// Null for a handle that names no window.
HIMC ImmGetContext(HWND window);
BOOL ImmReleaseContext(HWND window, HIMC context);
// The previous context of the window.
HIMC ImmAssociateContext(HWND window, HIMC context);
// Byte count of the string (GCS_COMPSTR, GCS_RESULTSTR) or clause table (GCS_COMPCLAUSE), at most
// `bufferLength` copied; a null buffer or length 0 asks the size. GCS_CURSORPOS answers the
// cursor's byte offset in the composition string.
LONG ImmGetCompositionStringA(HIMC context, DWORD index, LPVOID buffer, DWORD bufferLength);
// SCS_SETSTR puts a composition string in place (the reading string is ignored).
BOOL ImmSetCompositionStringA(HIMC context, DWORD index, LPVOID composition, DWORD compositionLength, LPVOID reading,
                              DWORD readingLength);
// Always 0: there are no candidates.
DWORD ImmGetCandidateListA(HIMC context, DWORD index, LPCANDIDATELIST list, DWORD bufferLength);
BOOL ImmGetOpenStatus(HIMC context);
BOOL ImmSetOpenStatus(HIMC context, BOOL open);
// NI_COMPOSITIONSTR with CPS_CANCEL drops the composition; CPS_COMPLETE makes it the result.
BOOL ImmNotifyIME(HIMC context, DWORD action, DWORD index, DWORD value);
