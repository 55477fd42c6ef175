// Movie services that start-up, the window procedure and the pump call. Until movies are built
// they are answered by movie_stand_in.cpp.
#pragma once

void InitTheoraColorTables();
int ResumeAllMovies();
int PauseAllMovies();
int DrawScreenMovies();

// The framework's pieces the sound system decodes through: the memory stream and memory reader
// it serves a sound file from, and the sample grabber that catches the decoded PCM.
#include "media/async_source.h"
#include "media/memory_stream.h"
#include "media/sample_grabber.h"
