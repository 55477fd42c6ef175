// What the window calls in the subsystems above it: one record of functions per subsystem, which
// that subsystem hands to the window (as an event watcher is registered), so that nothing in the
// window includes a higher subsystem. Start-up, shut-down, the window procedure and the pump call
// through these records in the same places and order as they would call the functions themselves.
//
// The library's start-up (library/startup/) connects every subsystem before the window's start-up
// body runs, since the window asks graphics for the screen size before graphics starts; a
// subsystem that a program starts on its own (sound, input devices) connects itself. The library's
// end clears them all. A field left empty, or a subsystem not connected, answers as a subsystem
// that does nothing: the call is skipped and reads 0 (the screen size reads 640 x 480).
#pragma once

#include "platform/user.h"
#include "platform/winsock.h"

// One display mode as the library lists it (the window enumerates them, graphics keeps the list).
struct DisplayModeEntry {
  int width;
  int height;
  int bits;
  int refresh;
};

// Fills an empty field of a hook record with the answer of a subsystem that is not there, so that
// a call site never checks for one.
template <typename Field>
void CompleteHook(Field* field, Field absent) {
  if (!*field) *field = absent;
}

struct WindowGraphicsHooks {
  // Start-up and shut-down steps.
  int (*start)();
  int (*end)();
  int (*startModels)();
  int (*endModels)();
  int (*deleteAllSoftImages)();
  int (*forgetRestoreCallback)();
  // Selects the back screen and then the front screen, as start-up leaves them.
  int (*selectStartDrawTargets)();
  // The screen settings the window sizes itself by.
  int (*screenSize)(int* width, int* height);
  int (*screenColorBits)();
  int (*hardwareAccelWanted)();
  int (*displayModeCount)();
  DisplayModeEntry* (*displayModeEntry)(DisplayModeEntry* out, int index);
  int (*setEmulating320x240)(int on);
  int (*queryScreenMode)(int* width, int* height, int* colorBits);
  // Brings the screen to the window mode just stored; 0 when the display changes.
  int (*applyWindowMode)();
  // Window events.
  int (*revive)();
  int (*hasRestoreCallback)();
  // 1 while a full-screen display object is open.
  int (*fullScreenDisplayOpen)();
  // WM_PAINT: shows the back screen in `area` when it is the draw target.
  int (*paintClientArea)(const RECT* area);
  // The client area moved: the front screen's mask and the clip area follow it.
  int (*windowMoved)();
  int (*switchDialogBoxMode)(int on);
  // The on-screen log's drawing: started once the library is up, ended first at shut-down.
  int (*startOnScreenLog)();
  int (*endOnScreenLog)();
};

struct WindowInputHooks {
  int (*startDevices)();
  int (*releaseDevices)();
  int (*startTextInput)();
  int (*imeInUse)();
  int (*deleteAllTextInputHandles)();
  // Activation.
  void (*resetIme)();
  int (*reacquireDevices)();
  int (*refreshEffectPlayState)();
  // Window messages.
  int (*stockChar)(int code);
  // WM_KEYDOWN: queues the editing code of a control key.
  int (*stockControlKey)(int virtualKey);
  LRESULT (*imeMessage)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  int (*setKeyFlag1)();
  int (*clearKeyFlag1)();
  int (*setKeyFlag2)();
  int (*clearKeyFlag2)();
  // The pump's tick.
  int (*refreshKeyboard)();
  int (*processJoypadEffects)();
  int (*processTextInput)();
};

struct WindowSoundHooks {
  int (*start)();
  int (*end)();
  int (*endCurrentMusic)();
  // The pump refills the streams itself while no sound thread does.
  int (*threadRunning)();
  int (*updateStreams)();
  int (*updateSoftPlayers)();
  int (*updateMidiPlayState)();
  // MM_MCINOTIFY.
  int (*midiNotify)();
};

struct WindowNetworkHooks {
  int (*end)();
  int (*pump)(int closeFinished);
  int (*socketMessage)(LPARAM eventWord, SOCKET socket);
};

struct WindowMovieHooks {
  void (*buildColorTables)();
  int (*pauseAll)();
  int (*resumeAll)();
  int (*drawScreenMovies)();
};

// Each copies the record (nullptr disconnects the subsystem).
void SetWindowGraphicsHooks(const WindowGraphicsHooks* hooks);
void SetWindowInputHooks(const WindowInputHooks* hooks);
void SetWindowSoundHooks(const WindowSoundHooks* hooks);
void SetWindowNetworkHooks(const WindowNetworkHooks* hooks);
void SetWindowMovieHooks(const WindowMovieHooks* hooks);
void ClearWindowHooks();

// The records as the window calls them: every field is set.
const WindowGraphicsHooks& GraphicsHooks();
const WindowInputHooks& InputHooks();
const WindowSoundHooks& SoundHooks();
const WindowNetworkHooks& NetworkHooks();
const WindowMovieHooks& MovieHooks();
