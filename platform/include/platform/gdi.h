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

// ---- Bitmaps and DIB sections ----

// ---- Fonts and glyphs ----
