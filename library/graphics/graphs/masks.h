// Masks: drawing held back wherever a screen-sized byte map (the mask buffer) is not 0. While
// masking is active every draw goes into a private copy of the draw target, the mask screen, and
// each draw call is bracketed: `BeginMaskedDrawing` copies the target's rectangle into the mask
// screen, `EndMaskedDrawing` copies it back only where the mask buffer lets it through. The mask
// screen is a MEMIMG on the software path; on the device path it is a render-target texture,
// composed back through a dynamic texture whose alpha follows the mask buffer.
// Get/SetUseMaskFlag and the calls of graphics start-up, shut-down and device restarts
// (EndMaskSystem, DeleteAllMaskRecords, FreeMaskScreen, RebuildMaskScreen) are in
// screen_services.h.
#pragma once

#include <cstdint>

#include "graphics/screen_services.h"
#include "platform/d3d9.h"
#include "runtime/runtime_services.h"
#include "zyvel/memimg.h"

struct MaskScreenState {
  uint8_t* MaskBuffer = nullptr;  // One byte per screen pixel: 0 lets drawing through.
  int MaskPitch = 0;              // The buffer's width rounded up to a multiple of 4.
  int MaskWidth = 0;              // The screen size the buffer was made for.
  int MaskHeight = 0;
  int MaskScreenFlag = 0;  // The mask screen is wanted.
  int UseMaskFlag = 0;     // As last given to SetUseMaskFlag.
  int MaskActive = 0;      // Both flags set: every draw call brackets itself.
  int Nesting = 0;         // Depth of BeginMaskedDrawing calls; only the outermost acts.
  int Reverse = 0;         // 1 would let drawing through where the mask is not 0.
  // Software path.
  MEMIMG MaskImage = {};
  int MaskImageMade = 0;
  // Device path.
  IDirect3DTexture9* ImageTexture = nullptr;   // The mask in its alpha; dynamic.
  IDirect3DTexture9* ScreenTexture = nullptr;  // Receives the masked drawing.
  IDirect3DSurface9* ScreenSurface = nullptr;  // Its level 0.
  D3DFORMAT ImageFormat = D3DFMT_UNKNOWN;
  int TextureWidth = 0;  // Powers of two covering the screen.
  int TextureHeight = 0;
  IDirect3DSurface9* SavedTarget = nullptr;  // Remembered by the outermost begin for its end.
  IDirect3DSurface9* SavedMaskSurface = nullptr;
};
extern MaskScreenState g_maskScreen;

// Builds the mask buffer (when missing) and the mask screen of the current path; flag 0 does
// nothing. -1 when the buffer cannot be allocated; a mask screen that cannot be made ends the
// program.
int MakeMaskScreen(int flag);
// Releases only the device path's textures, keeping the buffer, before the device is made again.
int ReleaseMaskTextures();
// The in-use flag becomes 1 and masking inactive (graphics start-up's draw-state reset).
int ResetMaskUseFlag();
int IsMaskActive();
// The mask screen's surface while masking is active on the device path, else null.
IDirect3DSurface9* GetActiveMaskSurface();
int BeginMaskedDrawing(int left, int top, int right, int bottom);
int EndMaskedDrawing(int left, int top, int right, int bottom);

// Nothing in the system makes a mask screen or writes the mask buffer; these are what an
// application (or a test) would use: the mask screen wanted and made, and the buffer's rectangle
// (null: all of it) brought into the device path's mask texture after it was written.
int CreateMaskScreen();
int UpdateMaskImageTexture(const RECT* area);

// ---- Mask records (handle kind 5) ----
constexpr int kMaskTableSize = 512;
struct MaskRecord {
  int CheckValue;
  uint8_t* Data;  // Tracked heap, owned by the record, or null.
  int32_t Unread[3];
  int Used;
  int32_t Spare;
};
extern MaskRecord g_maskTable[kMaskTableSize];

// The creator an application would use: a record with a zero-filled data block of `dataBytes`
// (none for 0); its handle, or -1 when the table is full or the block cannot be allocated.
int AddMaskRecord(int dataBytes);
// -1 for a handle that is not a live mask record.
int DeleteMaskRecord(int handle);
