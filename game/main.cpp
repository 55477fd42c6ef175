// Pylon Rush: the program entry. It sets up the game's window (408 x 504, 32-bit, windowed) and
// runs the frame loop until the window is closed or Escape is pressed.
#include <thread>

#include "zyvel/zyvel.h"

namespace {

constexpr int kFrameMilliseconds = 16;
constexpr int kEscapeKey = 0x01;  // The key code of Escape.

}  // namespace

int main() {
  ChangeWindowTitle("Pylon Rush");
  ApplyWindowIcon(101);
  SetScreenMode(408, 504, 32, 60);
  ChangeWindowMode(1);
  if (InitializeLibrary() == -1) return -1;

  while (ProcessWindowMessages() == 0 && IsKeyDown(kEscapeKey) == 0) {
    const int frameStart = GetMillisecondCount();
    const int spent = GetMillisecondCount() - frameStart;
    if (spent >= 0 && spent < kFrameMilliseconds) std::this_thread::sleep_for(std::chrono::milliseconds(kFrameMilliseconds - spent));
  }

  FinishLibrary();
  return 0;
}
