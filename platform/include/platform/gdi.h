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

// ---- Bitmaps and DIB sections ----

// ---- Fonts and glyphs ----
