// Stand-ins for the movie services that start-up, the window, the pump and the graphs call, until
// movies land: no file opens as a movie, so no graph shows one.
#include "media/movie_services.h"

int ResumeAllMovies() { return 0; }
int PauseAllMovies() { return 0; }
int DrawScreenMovies() { return 0; }
int OpenMovie(const char*, int*, int*, int) { return -1; }
int UpdateMovieFrame(int, int) { return 0; }
int ReleaseMovie(int) { return -1; }
