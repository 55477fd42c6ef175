// The library's public start-up and shut-down. This folder sits above every subsystem and only
// wires them together: it hands the window (and graphics) the calls they make upward, then runs
// the window's start-up body, which keeps the order of the steps. The library's end disconnects
// them again, so that the window calls nothing above it once everything has ended.
#include "graphics/screen_services.h"
#include "input/input_services.h"
#include "movies/movie_services.h"
#include "network/network_services.h"
#include "sound/sound_services.h"
#include "window/window_services.h"

namespace {

void ConnectSubsystems() {
  ConnectGraphicsToWindow();
  ConnectInputToWindow();
  ConnectSoundToWindow();
  ConnectNetworkToWindow();
  ConnectMoviesToWindow();
  ConnectMoviesToGraphics();
}

void DisconnectSubsystems() {
  ClearWindowHooks();
  SetGraphMovieHooks(nullptr);
}

}  // namespace

int InitializeLibrary() {
  ConnectSubsystems();
  return StartLibrary();
}

int FinishLibrary() {
  int result = EndLibrary();
  DisconnectSubsystems();
  return result;
}
