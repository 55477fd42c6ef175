// The on-screen log: up to 80 lines drawn over the picture at every flip while its show switch is
// on, in a 16-pixel edge font of its own that is made again whenever the font system loses it.
// The lines and the switch are the runtime's, kept with the log; the drawing is done here.
#include "graphics/screen_services.h"
#include "runtime/runtime_services.h"
#include "zyvel/graphics.h"
#include "zyvel/window.h"

namespace {
OnScreenLogState& OnScreen() { return RuntimeLogState().onScreen; }
}  // namespace

int GetScreenLogFlag() { return OnScreen().show; }

int InitOnScreenLog() {
  if (!GetDirectDrawObject() || !GetMainWindow()) return -1;
  OnScreenLogState& log = OnScreen();
  if (log.started) return 0;
  log.started = 1;
  log.lineHeight = 16;
  log.font = -1;
  log.fontLost = 1;
  MakeOnScreenLogFont();
  log.show = 0;
  for (char* line : log.lines) line[0] = 0;
  return 0;
}

int MakeOnScreenLogFont() {
  OnScreenLogState& log = OnScreen();
  if (!log.started && InitOnScreenLog() != 0) return 0;
  if (log.fontLost) {
    // A font that cannot be made now is tried again at the next draw.
    log.font = CreateFontToHandle(nullptr, log.lineHeight, 4, FONT_TYPE_EDGE, -1, -1, 0, -1, -1);
    if (log.font != -1) SetFontLostFlag(log.font, &log.fontLost);
  }
  return 0;
}

int DrawOnScreenLog() {
  OnScreenLogState& log = OnScreen();
  if (!log.started && InitOnScreenLog() != 0) return 0;
  if (log.fontLost) MakeOnScreenLogFont();
  int width = 0, height = 0;
  GetScreenSizeSetting(&width, &height);
  int count = height / log.lineHeight;
  if (count > OnScreenLogState::kLineCount) count = OnScreenLogState::kLineCount;
  const unsigned white = static_cast<unsigned>(MakeColorCode(255, 255, 255));
  const unsigned black = static_cast<unsigned>(MakeColorCode(0, 0, 0));
  for (int i = 0; i < count; ++i) {
    log.lines[i][sizeof log.lines[i] - 1] = 0;
    DrawTextWithFont(0, i * 16, log.lines[i], white, log.font, black, 0);
  }
  return 0;
}

int EndOnScreenLog() {
  OnScreenLogState& log = OnScreen();
  if (!log.started) return 0;
  if (!log.fontLost) DeleteFontHandle(log.font);
  log.fontLost = 1;
  log.font = -1;
  log.started = 0;
  return 0;
}
