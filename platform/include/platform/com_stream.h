// The COM byte stream (IStream): what a filter writes a file through.
#pragma once

#include "platform/com.h"

// {0000000C-0000-0000-C000-000000000046}
inline constexpr IID IID_IStream = {0x0000000C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {0C733A30-2A1C-11CE-ADE5-00AA0044773D}
inline constexpr IID IID_ISequentialStream = {
    0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};

// Seek origins. The origin "from the end" (2) is not named here: its platform name is the
// library's own public seek origin, and every header of both may meet in one file.
#define STREAM_SEEK_SET 0u
#define STREAM_SEEK_CUR 1u
#define STG_E_INVALIDFUNCTION ((HRESULT)0x80030001)

union ULARGE_INTEGER {
  struct {
    DWORD LowPart;
    DWORD HighPart;
  } u;
  ULONGLONG QuadPart;
};

struct ISequentialStream : IUnknown {
  virtual HRESULT Read(void* buffer, ULONG size, ULONG* read) = 0;
  virtual HRESULT Write(const void* buffer, ULONG size, ULONG* written) = 0;
};

struct IStream : ISequentialStream {
  virtual HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) = 0;
};
