// Movie services that start-up, the window procedure and the pump call. Until movies are built
// they are answered by movie_stand_in.cpp.
#pragma once

void InitTheoraColorTables();
int ResumeAllMovies();
int PauseAllMovies();
int DrawScreenMovies();

// The graph code's side of movies: a file no image loader takes is opened as a movie (a negative
// result on failure, with its own log line), a graph showing one brings it up to date before it
// is drawn, and deleting the graph closes it (-1 for a dead handle, quietly).
int OpenMovie(const char* path, int* width, int* height, int option);
int UpdateMovieFrame(int movie, int flag);
int ReleaseMovie(int movie);
