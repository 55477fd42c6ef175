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

template <typename Field>
void Complete(Field* field, Field absent) {
  if (!*field) *field = absent;
}

}  // namespace

void SetWindowGraphicsHooks(const WindowGraphicsHooks* hooks) {
  WindowGraphicsHooks& to = g_hooks.graphics;
  const WindowGraphicsHooks& none = kNoGraphics;
  to = hooks ? *hooks : none;
  Complete(&to.start, none.start);
  Complete(&to.end, none.end);
  Complete(&to.startModels, none.startModels);
  Complete(&to.endModels, none.endModels);
  Complete(&to.deleteAllSoftImages, none.deleteAllSoftImages);
  Complete(&to.forgetRestoreCallback, none.forgetRestoreCallback);
  Complete(&to.selectStartDrawTargets, none.selectStartDrawTargets);
  Complete(&to.screenSize, none.screenSize);
  Complete(&to.screenColorBits, none.screenColorBits);
  Complete(&to.hardwareAccelWanted, none.hardwareAccelWanted);
  Complete(&to.displayModeCount, none.displayModeCount);
  Complete(&to.displayModeEntry, none.displayModeEntry);
  Complete(&to.setEmulating320x240, none.setEmulating320x240);
  Complete(&to.queryScreenMode, none.queryScreenMode);
  Complete(&to.applyWindowMode, none.applyWindowMode);
  Complete(&to.revive, none.revive);
  Complete(&to.startOnScreenLog, none.startOnScreenLog);
  Complete(&to.endOnScreenLog, none.endOnScreenLog);
  Complete(&to.hasRestoreCallback, none.hasRestoreCallback);
  Complete(&to.fullScreenDisplayOpen, none.fullScreenDisplayOpen);
  Complete(&to.paintClientArea, none.paintClientArea);
  Complete(&to.windowMoved, none.windowMoved);
  Complete(&to.switchDialogBoxMode, none.switchDialogBoxMode);
}

void SetWindowInputHooks(const WindowInputHooks* hooks) {
  WindowInputHooks& to = g_hooks.input;
  const WindowInputHooks& none = kNoInput;
  to = hooks ? *hooks : none;
  Complete(&to.startDevices, none.startDevices);
  Complete(&to.releaseDevices, none.releaseDevices);
  Complete(&to.startTextInput, none.startTextInput);
  Complete(&to.imeInUse, none.imeInUse);
  Complete(&to.deleteAllTextInputHandles, none.deleteAllTextInputHandles);
  Complete(&to.resetIme, none.resetIme);
  Complete(&to.reacquireDevices, none.reacquireDevices);
  Complete(&to.refreshEffectPlayState, none.refreshEffectPlayState);
  Complete(&to.stockChar, none.stockChar);
  Complete(&to.stockControlKey, none.stockControlKey);
  Complete(&to.imeMessage, none.imeMessage);
  Complete(&to.setKeyFlag1, none.setKeyFlag1);
  Complete(&to.clearKeyFlag1, none.clearKeyFlag1);
  Complete(&to.setKeyFlag2, none.setKeyFlag2);
  Complete(&to.clearKeyFlag2, none.clearKeyFlag2);
  Complete(&to.refreshKeyboard, none.refreshKeyboard);
  Complete(&to.processJoypadEffects, none.processJoypadEffects);
  Complete(&to.processTextInput, none.processTextInput);
}

void SetWindowSoundHooks(const WindowSoundHooks* hooks) {
  WindowSoundHooks& to = g_hooks.sound;
  const WindowSoundHooks& none = kNoSound;
  to = hooks ? *hooks : none;
  Complete(&to.start, none.start);
  Complete(&to.end, none.end);
  Complete(&to.endCurrentMusic, none.endCurrentMusic);
  Complete(&to.threadRunning, none.threadRunning);
  Complete(&to.updateStreams, none.updateStreams);
  Complete(&to.updateSoftPlayers, none.updateSoftPlayers);
  Complete(&to.updateMidiPlayState, none.updateMidiPlayState);
  Complete(&to.midiNotify, none.midiNotify);
}

void SetWindowNetworkHooks(const WindowNetworkHooks* hooks) {
  WindowNetworkHooks& to = g_hooks.network;
  const WindowNetworkHooks& none = kNoNetwork;
  to = hooks ? *hooks : none;
  Complete(&to.end, none.end);
  Complete(&to.pump, none.pump);
  Complete(&to.socketMessage, none.socketMessage);
}

void SetWindowMovieHooks(const WindowMovieHooks* hooks) {
  WindowMovieHooks& to = g_hooks.movies;
  const WindowMovieHooks& none = kNoMovies;
  to = hooks ? *hooks : none;
  Complete(&to.buildColorTables, none.buildColorTables);
  Complete(&to.pauseAll, none.pauseAll);
  Complete(&to.resumeAll, none.resumeAll);
  Complete(&to.drawScreenMovies, none.drawScreenMovies);
}

void ClearWindowHooks() { g_hooks = ConnectedHooks{}; }

const WindowGraphicsHooks& GraphicsHooks() { return g_hooks.graphics; }
const WindowInputHooks& InputHooks() { return g_hooks.input; }
const WindowSoundHooks& SoundHooks() { return g_hooks.sound; }
const WindowNetworkHooks& NetworkHooks() { return g_hooks.network; }
const WindowMovieHooks& MovieHooks() { return g_hooks.movies; }
