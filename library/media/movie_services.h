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

// The framework's pieces the sound system decodes through: the memory stream and memory reader
// it serves a sound file from, and the sample grabber that catches the decoded PCM.
#include "media/async_source.h"
#include "media/memory_stream.h"
#include "media/sample_grabber.h"
