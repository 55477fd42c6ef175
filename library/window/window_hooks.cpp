// The connected subsystems' records, each completed with the answers of a subsystem that does
// nothing, so that a call site never checks for an empty field.
#include "window/window_services.h"

namespace {

int Nothing() { return 0; }
void NothingAtAll() {}
int NothingWith(int) { return 0; }

// The graphics defaults, where a program sets no screen mode.
int DefaultScreenSize(int* width, int* height) {
  if (width) *width = 640;
  if (height) *height = 480;
  return 0;
}
DisplayModeEntry* NoDisplayMode(DisplayModeEntry* out, int) {
  *out = DisplayModeEntry{-1, -1, -1, -1};
  return out;
}
int NoScreenMode(int* width, int* height, int* colorBits) {
  if (width) *width = 0;
  if (height) *height = 0;
  if (colorBits) *colorBits = 0;
  return 0;
}
int NoPaint(const RECT*) { return 0; }
LRESULT NoImeMessage(HWND, UINT, WPARAM, LPARAM) { return 0; }
int NoSocketMessage(LPARAM, SOCKET) { return 0; }

const WindowGraphicsHooks kNoGraphics{
    .start = Nothing,
    .end = Nothing,
    .startModels = Nothing,
    .endModels = Nothing,
    .deleteAllSoftImages = Nothing,
    .forgetRestoreCallback = Nothing,
    .selectStartDrawTargets = Nothing,
    .screenSize = DefaultScreenSize,
    .screenColorBits = Nothing,
    .hardwareAccelWanted = Nothing,
    .displayModeCount = Nothing,
    .displayModeEntry = NoDisplayMode,
    .setEmulating320x240 = NothingWith,
    .queryScreenMode = NoScreenMode,
    .applyWindowMode = Nothing,
    .revive = Nothing,
    .hasRestoreCallback = Nothing,
    .fullScreenDisplayOpen = Nothing,
    .paintClientArea = NoPaint,
    .windowMoved = Nothing,
    .switchDialogBoxMode = NothingWith,
    .startOnScreenLog = Nothing,
    .endOnScreenLog = Nothing,
};

const WindowInputHooks kNoInput{
    .startDevices = Nothing,
    .releaseDevices = Nothing,
    .startTextInput = Nothing,
    .imeInUse = Nothing,
    .deleteAllTextInputHandles = Nothing,
    .resetIme = NothingAtAll,
    .reacquireDevices = Nothing,
    .refreshEffectPlayState = Nothing,
    .stockChar = NothingWith,
    .stockControlKey = NothingWith,
    .imeMessage = NoImeMessage,
    .setKeyFlag1 = Nothing,
    .clearKeyFlag1 = Nothing,
    .setKeyFlag2 = Nothing,
    .clearKeyFlag2 = Nothing,
    .refreshKeyboard = Nothing,
    .processJoypadEffects = Nothing,
    .processTextInput = Nothing,
};

const WindowSoundHooks kNoSound{
    .start = Nothing,
    .end = Nothing,
    .endCurrentMusic = Nothing,
    .threadRunning = Nothing,
    .updateStreams = Nothing,
    .updateSoftPlayers = Nothing,
    .updateMidiPlayState = Nothing,
    .midiNotify = Nothing,
};

const WindowNetworkHooks kNoNetwork{
    .end = Nothing,
    .pump = NothingWith,
    .socketMessage = NoSocketMessage,
};

const WindowMovieHooks kNoMovies{
    .buildColorTables = NothingAtAll,
    .pauseAll = Nothing,
    .resumeAll = Nothing,
    .drawScreenMovies = Nothing,
};

struct ConnectedHooks {
  WindowGraphicsHooks graphics = kNoGraphics;
  WindowInputHooks input = kNoInput;
  WindowSoundHooks sound = kNoSound;
  WindowNetworkHooks network = kNoNetwork;
  WindowMovieHooks movies = kNoMovies;
};
ConnectedHooks g_hooks;

}  // namespace

void SetWindowGraphicsHooks(const WindowGraphicsHooks* hooks) {
  WindowGraphicsHooks& to = g_hooks.graphics;
  const WindowGraphicsHooks& none = kNoGraphics;
  to = hooks ? *hooks : none;
  CompleteHook(&to.start, none.start);
  CompleteHook(&to.end, none.end);
  CompleteHook(&to.startModels, none.startModels);
  CompleteHook(&to.endModels, none.endModels);
  CompleteHook(&to.deleteAllSoftImages, none.deleteAllSoftImages);
  CompleteHook(&to.forgetRestoreCallback, none.forgetRestoreCallback);
  CompleteHook(&to.selectStartDrawTargets, none.selectStartDrawTargets);
  CompleteHook(&to.screenSize, none.screenSize);
  CompleteHook(&to.screenColorBits, none.screenColorBits);
  CompleteHook(&to.hardwareAccelWanted, none.hardwareAccelWanted);
  CompleteHook(&to.displayModeCount, none.displayModeCount);
  CompleteHook(&to.displayModeEntry, none.displayModeEntry);
  CompleteHook(&to.setEmulating320x240, none.setEmulating320x240);
  CompleteHook(&to.queryScreenMode, none.queryScreenMode);
  CompleteHook(&to.applyWindowMode, none.applyWindowMode);
  CompleteHook(&to.revive, none.revive);
  CompleteHook(&to.startOnScreenLog, none.startOnScreenLog);
  CompleteHook(&to.endOnScreenLog, none.endOnScreenLog);
  CompleteHook(&to.hasRestoreCallback, none.hasRestoreCallback);
  CompleteHook(&to.fullScreenDisplayOpen, none.fullScreenDisplayOpen);
  CompleteHook(&to.paintClientArea, none.paintClientArea);
  CompleteHook(&to.windowMoved, none.windowMoved);
  CompleteHook(&to.switchDialogBoxMode, none.switchDialogBoxMode);
}

void SetWindowInputHooks(const WindowInputHooks* hooks) {
  WindowInputHooks& to = g_hooks.input;
  const WindowInputHooks& none = kNoInput;
  to = hooks ? *hooks : none;
  CompleteHook(&to.startDevices, none.startDevices);
  CompleteHook(&to.releaseDevices, none.releaseDevices);
  CompleteHook(&to.startTextInput, none.startTextInput);
  CompleteHook(&to.imeInUse, none.imeInUse);
  CompleteHook(&to.deleteAllTextInputHandles, none.deleteAllTextInputHandles);
  CompleteHook(&to.resetIme, none.resetIme);
  CompleteHook(&to.reacquireDevices, none.reacquireDevices);
  CompleteHook(&to.refreshEffectPlayState, none.refreshEffectPlayState);
  CompleteHook(&to.stockChar, none.stockChar);
  CompleteHook(&to.stockControlKey, none.stockControlKey);
  CompleteHook(&to.imeMessage, none.imeMessage);
  CompleteHook(&to.setKeyFlag1, none.setKeyFlag1);
  CompleteHook(&to.clearKeyFlag1, none.clearKeyFlag1);
  CompleteHook(&to.setKeyFlag2, none.setKeyFlag2);
  CompleteHook(&to.clearKeyFlag2, none.clearKeyFlag2);
  CompleteHook(&to.refreshKeyboard, none.refreshKeyboard);
  CompleteHook(&to.processJoypadEffects, none.processJoypadEffects);
  CompleteHook(&to.processTextInput, none.processTextInput);
}

void SetWindowSoundHooks(const WindowSoundHooks* hooks) {
  WindowSoundHooks& to = g_hooks.sound;
  const WindowSoundHooks& none = kNoSound;
  to = hooks ? *hooks : none;
  CompleteHook(&to.start, none.start);
  CompleteHook(&to.end, none.end);
  CompleteHook(&to.endCurrentMusic, none.endCurrentMusic);
  CompleteHook(&to.threadRunning, none.threadRunning);
  CompleteHook(&to.updateStreams, none.updateStreams);
  CompleteHook(&to.updateSoftPlayers, none.updateSoftPlayers);
  CompleteHook(&to.updateMidiPlayState, none.updateMidiPlayState);
  CompleteHook(&to.midiNotify, none.midiNotify);
}

void SetWindowNetworkHooks(const WindowNetworkHooks* hooks) {
  WindowNetworkHooks& to = g_hooks.network;
  const WindowNetworkHooks& none = kNoNetwork;
  to = hooks ? *hooks : none;
  CompleteHook(&to.end, none.end);
  CompleteHook(&to.pump, none.pump);
  CompleteHook(&to.socketMessage, none.socketMessage);
}

void SetWindowMovieHooks(const WindowMovieHooks* hooks) {
  WindowMovieHooks& to = g_hooks.movies;
  const WindowMovieHooks& none = kNoMovies;
  to = hooks ? *hooks : none;
  CompleteHook(&to.buildColorTables, none.buildColorTables);
  CompleteHook(&to.pauseAll, none.pauseAll);
  CompleteHook(&to.resumeAll, none.resumeAll);
  CompleteHook(&to.drawScreenMovies, none.drawScreenMovies);
}

void ClearWindowHooks() { g_hooks = ConnectedHooks{}; }

const WindowGraphicsHooks& GraphicsHooks() { return g_hooks.graphics; }
const WindowInputHooks& InputHooks() { return g_hooks.input; }
const WindowSoundHooks& SoundHooks() { return g_hooks.sound; }
const WindowNetworkHooks& NetworkHooks() { return g_hooks.network; }
const WindowMovieHooks& MovieHooks() { return g_hooks.movies; }
