// Movie services that start-up, the window procedure and the pump call. Until movies are built
// they are answered by movie_stand_in.cpp.
#pragma once

void InitTheoraColorTables();
int ResumeAllMovies();
int PauseAllMovies();
int DrawScreenMovies();
