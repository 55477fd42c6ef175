// A first program on Zyvel: a window with a picture and a line of text, a chime at the start, and
// Escape (or closing the window) to quit. It reads hello_zyvel.png and hello_zyvel.wav from the
// current directory and writes the library's Log.txt there; the build copies both files beside
// the program, so run it from its own folder.
//
// The library's text is CP932: this file is UTF-8 and its CMakeLists.txt compiles the literals to
// CP932 (-fexec-charset=CP932), so the Japanese line below reaches the library as it expects.
#include "platform/dinput.h"  // Key codes: DIK_ESCAPE
#include "platform/kernel.h"  // Sleep
#include "zyvel/zyvel.h"

namespace {

constexpr int kFrameMilliseconds = 16;

}  // namespace

int main() {
  // Settings made before start-up are recorded and applied by it.
  ChangeWindowTitle("Hello Zyvel");
  SetScreenMode(400, 240, 32, 60);
  ChangeWindowMode(1);
  if (InitializeLibrary() == -1) return 1;

  SelectDrawTarget(SCREEN_BACK);
  const int picture = LoadGraphFile("hello_zyvel.png", 0);
  const int chime = LoadSoundFile("hello_zyvel.wav", 1, -1);
  // Every -1 takes the font's default: the Japanese gothic face, its thickness and edge.
  const int font = CreateFontToHandle(nullptr, 16, -1, FONT_TYPE_ANTIALIAS, -1, -1, 0, -1, -1);
  if (picture == -1 || chime == -1 || font == -1) {
    // Log.txt names what failed.
    FinishLibrary();
    return 1;
  }
  PlaySoundHandle(chime, SOUND_PLAY_BACKGROUND, 1);

  const unsigned white = static_cast<unsigned>(MakeColorCode(255, 255, 255));
  while (ProcessWindowMessages() == 0 && IsKeyDown(DIK_ESCAPE) == 0) {
    ClearDrawScreenAll();
    DrawGraphAt(152, 40, picture, 0);
    DrawTextWithFont(24, 176, "こんにちは、Zyvel  (Escape で終わります)", white, font, 0, 0);
    FlipScreen();
    Sleep(kFrameMilliseconds);
  }

  // Shut-down frees every graph, sound and font that is still alive.
  FinishLibrary();
  return 0;
}
