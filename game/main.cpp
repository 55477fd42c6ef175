// Pylon Rush: the process entry hands over to WinMain (no instance, command line or show command
// is used). The game's files are opened from the current directory; `make run` starts it in
// build/game/, which it fills from assets/, so the save file and Log.txt are written there.
#include "game.h"

int main() {
  char commandLine[] = "";
  return WinMain(nullptr, nullptr, commandLine, 1);
}
