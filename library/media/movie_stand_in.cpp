// Stand-ins for the movie services that start-up, the window and the pump call, until movies
// land.
#include "media/movie_services.h"

void InitTheoraColorTables() {}
int ResumeAllMovies() { return 0; }
int PauseAllMovies() { return 0; }
int DrawScreenMovies() { return 0; }
