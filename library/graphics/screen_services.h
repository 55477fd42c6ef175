// Graphics services that start-up, the main window, the window procedure and the pump call.
// Public calls (SetScreenMode, GetScreenSizeSetting, GetScreenColorBits) are in zyvel/graphics.h.
// The draw state and the pixel converter's options (memimg's) reach the graphics files through here.
// The models, fonts, soft images and masks answer theirs from their own files.
#pragma once

#include "graphics/graphs/draw_state.h"
#include "graphics/models/math.h"
#include "memimg/memimg_services.h"
#include "platform/user.h"
#include "window/window_services.h"
#include "zyvel/graphics.h"

// A screen-mode change: -1 keeps the current value of a field.
struct ScreenModeRequest {
  int width;
  int height;
  int colorBits;
  int force;
  int refresh;
};

// Graphs that show a movie: the movies subsystem, which lies above graphics, hands graphics these
// calls. Unconnected, no file opens as a movie.
struct GraphMovieHooks {
  // The movie's handle and its size, or a negative result with its own log line.
  int (*open)(const char* path, int* width, int* height, int option);
  // 1 when the right half of each frame is the alpha.
  int (*hasAlphaHalf)(int movie);
  // From now on each new frame of the movie is copied into the graph.
  int (*showInGraph)(int movie, int graph);
  int (*updateFrame)(int movie, int flag);
  int (*release)(int movie);
  // The graph's textures were made again: the next frame is copied even when it is not new.
  void (*forgetPicture)(int movie);
};
// Copies the record (nullptr disconnects the movies).
void SetGraphMovieHooks(const GraphMovieHooks* hooks);

// Hands the window what it calls in graphics (graphs/graphics_window_hooks.cpp).
void ConnectGraphicsToWindow();

int GetDisplayModeCount();
DisplayModeEntry* GetDisplayModeEntry(DisplayModeEntry* out, int index);
int IsHardwareAccelWanted();
int SetEmulating320x240(int on);
int QueryScreenMode(int* width, int* height, int* colorBits);
int IsFullScreenMode();
int ChangeScreenMode(const ScreenModeRequest* request);
int InitGraphicsSystem();
int TerminateGraphicsSystem();
int ReviveGraphicsSystem();
int SetGraphRestoreCallback(void (*callback)());
int HasGraphRestoreCallback();
int GetDrawTarget();
int InitModelSystem();
int TerminateModelSystem();
int DeleteAllSoftImages();
int PresentScreen(const RECT* area);
int EndSceneIfOpen();
void* GetDirectDrawObject();
int SwitchDialogBoxMode(int on);
int GetFlipVSyncWait();
int SetFlipVSyncWait(int on);
int GetUseMaskFlag();
int SetUseMaskFlag(int on);
int SetDrawClipArea(int x1, int y1, int x2, int y2);
int GetDrawClipArea(RECT* out);

// ---- What graphics start-up, shut-down and device restarts call in the masks ----
int EndMaskSystem();
int DeleteAllMaskRecords();
int FreeMaskScreen();
int RebuildMaskScreen();

// ---- The on-screen log (fonts/on_screen_log.cpp) ----
// The on-screen log's show switch, read by the screen flip.
int GetScreenLogFlag();
// Starts the on-screen log (start-up); -1 without DirectDraw or a main window.
int InitOnScreenLog();
// Makes the log's font when it is lost.
int MakeOnScreenLogFont();
// Draws the lines that fit the screen, white with a black edge, from the top-left.
int DrawOnScreenLog();
// Shut-down: deletes the log's font and marks the log not started.
int EndOnScreenLog();

// ---- What the movie decoder asks of graphics ----
// The Direct3D device when graphics run on it, else null: a Theora movie makes its YUV surface on it.
IDirect3DDevice9* GetMovieSurfaceDevice();

// ---- Whole frames into a graph (what a graph that shows a movie asks of graphics) ----
// Whether a graph's pixels can take a device surface now: -1 no such graph, 0 no (its MEMIMG, or
// textures without a device or none made yet), 1 yes (its textures).
int GetGraphFrameTarget(int graph);
// Copies a device surface into the graph's first texture over the area it uses (target 1 only).
int CopySurfaceToGraph(int graph, IDirect3DSurface9* source);
// Copies a frame image (with an optional alpha image) into the whole graph. With `straightCopy`
// a MEMIMG graph of the frame's own pixel layout takes its rows as they are.
int CopyFrameImageToGraph(int graph, BaseImage* color, BaseImage* alpha, int straightCopy);
