// GDI32-shaped part of the platform stand-in.
#pragma once

#include "platform/types.h"

// ---- Device contexts and GDI objects ----
// A device context either belongs to a window (GetDC) or is a memory context (CreateCompatibleDC)
// into which one bitmap can be selected. GDI objects (bitmaps, brushes, fonts, regions) are
// platform::GdiObject records (platform/gdi_object.h); SelectObject keeps one of each kind.
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);
HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
BOOL DeleteObject(HGDIOBJ object);
int GetObjectA(HGDIOBJ object, int size, LPVOID out);
HGDIOBJ GetCurrentObject(HDC dc, UINT kind);
#define OBJ_PEN 1
#define OBJ_BRUSH 2
#define OBJ_FONT 6
#define OBJ_BITMAP 7
#define OBJ_REGION 8

// ---- Painting and picture output ----
// The screen's device context (GetDC(null)) describes the display: BITSPIXEL is bytes per pixel
// times 8, so a desktop of 4-byte pixels reports 32 even when its colour depth is 24.
#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define PLANES 14
#define VREFRESH 116
int GetDeviceCaps(HDC dc, int index);
typedef DWORD COLORREF;
#define RGB(r, g, b) ((COLORREF)(((BYTE)(r)) | ((WORD)((BYTE)(g)) << 8) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(c) ((BYTE)(c))
#define GetGValue(c) ((BYTE)(((WORD)(c)) >> 8))
#define GetBValue(c) ((BYTE)((c) >> 16))
HBRUSH CreateSolidBrush(COLORREF color);
#define WHITE_BRUSH 0
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
HGDIOBJ GetStockObject(int index);
// Both draw a DIB (any of the formats below) onto a context: onto a memory context they write
// into its selected DIB section, onto a window context they show the picture in the window.
// They return the number of scan lines drawn, 0 on failure.
int SetDIBitsToDevice(HDC dc, int destinationX, int destinationY, DWORD width, DWORD height, int sourceX, int sourceY,
                      UINT startScan, UINT scanLines, const void* bits, const struct BITMAPINFO* info, UINT usage);
int StretchDIBits(HDC dc, int destinationX, int destinationY, int destinationWidth, int destinationHeight, int sourceX,
                  int sourceY, int sourceWidth, int sourceHeight, const void* bits, const struct BITMAPINFO* info,
                  UINT usage, DWORD rasterOperation);
#define DIB_RGB_COLORS 0
#define SRCCOPY 0x00CC0020u

// ---- Bitmaps and DIB sections ----
#pragma pack(push, 1)
struct BITMAPFILEHEADER {
  WORD bfType;
  DWORD bfSize;
  WORD bfReserved1;
  WORD bfReserved2;
  DWORD bfOffBits;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPFILEHEADER) == 14, "BITMAPFILEHEADER is 14 bytes");

struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;  // Positive: rows bottom up; negative: top down.
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER is 40 bytes");

struct RGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};

// The header is followed by the colour table (or, for BI_BITFIELDS, three DWORD masks).
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};

struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;  // Row bytes, a multiple of 2 as on the platform.
  WORD bmPlanes;
  WORD bmBitsPixel;
  LPVOID bmBits;
};

#define BI_RGB 0
#define BI_RLE8 1
#define BI_RLE4 2
#define BI_BITFIELDS 3

// A DIB section: a bitmap whose pixels live in memory the caller can write (*bitsOut), zero-filled.
// 1, 4, 8, 16, 24 and 32 bits; BI_RGB or BI_BITFIELDS.
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bitsOut, HANDLE section, DWORD offset);
// A bitmap in the context's format (32-bit here), zero-filled.
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);

// ---- Fonts and glyphs ----
// A font is a request (LOGFONTA) resolved to font files when it is made: fontconfig picks the
// face for the face name, the character set's language (lang=ja for the Japanese sets and for
// DEFAULT_CHARSET, the ANSI code page being 932), the weight and slant; a character the face
// lacks is drawn from the next face fontconfig offers for the same request. A weight of 600 or
// more on a face lighter than that is emboldened, italic on an upright face is slanted, as GDI
// simulates them. Face names are CP932.
#define LF_FACESIZE 32
#define FW_DONTCARE 0
#define FW_NORMAL 400
#define FW_BOLD 700
#define ANSI_CHARSET 0
#define DEFAULT_CHARSET 1
#define SHIFTJIS_CHARSET 128
#define HANGEUL_CHARSET 129
#define GB2312_CHARSET 134
#define CHINESEBIG5_CHARSET 136
#define OUT_DEFAULT_PRECIS 0
#define CLIP_DEFAULT_PRECIS 0
#define DEFAULT_QUALITY 0
#define NONANTIALIASED_QUALITY 3
#define ANTIALIASED_QUALITY 4
#define DEFAULT_PITCH 0
#define FIXED_PITCH 1
#define VARIABLE_PITCH 2

struct LOGFONTA {
  LONG lfHeight;  // Positive: the cell height (ascent + descent); negative: the em height.
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  CHAR lfFaceName[LF_FACESIZE];
};

struct TEXTMETRICA {
  LONG tmHeight;
  LONG tmAscent;
  LONG tmDescent;
  LONG tmInternalLeading;
  LONG tmExternalLeading;
  LONG tmAveCharWidth;
  LONG tmMaxCharWidth;
  LONG tmWeight;
  LONG tmOverhang;
  LONG tmDigitizedAspectX;
  LONG tmDigitizedAspectY;
  BYTE tmFirstChar;
  BYTE tmLastChar;
  BYTE tmDefaultChar;
  BYTE tmBreakChar;
  BYTE tmItalic;
  BYTE tmUnderlined;
  BYTE tmStruckOut;
  BYTE tmPitchAndFamily;
  BYTE tmCharSet;
};
// tmPitchAndFamily bits; TMPF_FIXED_PITCH set means a variable-pitch font, as on the platform.
#define TMPF_FIXED_PITCH 0x01
#define TMPF_VECTOR 0x02
#define TMPF_TRUETYPE 0x04

struct FIXED {
  WORD fract;
  SHORT value;
};
struct MAT2 {
  FIXED eM11;
  FIXED eM12;
  FIXED eM21;
  FIXED eM22;
};
struct GLYPHMETRICS {
  UINT gmBlackBoxX;
  UINT gmBlackBoxY;
  POINT gmptGlyphOrigin;  // Pen position to the black box's top-left; y grows upwards.
  SHORT gmCellIncX;
  SHORT gmCellIncY;
};

#define GGO_METRICS 0
#define GGO_BITMAP 1
#define GGO_GRAY4_BITMAP 5
#define GDI_ERROR 0xFFFFFFFFu

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic, DWORD underline,
                  DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                  DWORD pitchAndFamily, LPCSTR faceName);
// Metrics of the font selected into the context; FALSE when none is selected.
BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics);
// One character of the selected font: a one-byte code, or lead byte x 256 + trail byte in the
// code page of the font's character set. GGO_BITMAP rows are 1 bit per pixel, most significant
// bit first; GGO_GRAY4_BITMAP rows are one byte per pixel of level 0-16; both rows are padded to
// 4 bytes. With no buffer (or a size of 0) it returns the bytes needed; GDI_ERROR for a buffer too
// small, another format, or a matrix other than the identity (nothing here turns glyphs). A
// character without ink (a space) has a 1 x 1 black box and 0 bytes.
DWORD GetGlyphOutlineA(HDC dc, UINT character, UINT format, GLYPHMETRICS* metrics, DWORD bufferSize, LPVOID buffer,
                       const MAT2* matrix);
