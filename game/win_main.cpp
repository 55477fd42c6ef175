// The program's entry in the shape the game was written for: one game object, run once.
#include "game.h"
#include "library_services.h"

int WinMain(HINSTANCE, HINSTANCE, char*, int) {
  static LibraryServices services;
  CGame* game = new CGame(services);
  game->scores = ScoreRecord{0, 0, 0};
  game->Run();
  delete game;
  return 0;
}
