// Movie services. The window (start-up, activation, the pump) and the graph code lie below the
// movies and reach them through the records movie_hooks.cpp hands them.
#pragma once

#include <cstdint>

#include "platform/d3d9.h"
#include "platform/dshow.h"
#include "platform/dshow_position.h"
#include "zyvel/graphics.h"
#include "zyvel/runtime.h"

struct TheoraMovieDecoder;
class Z_CMovieRenderer;
struct MovieSlot;

// The graph code's frame callback: runs whenever the movie has a frame to show; its result is
// not used.
using MovieFrameCallback = int (*)(MovieSlot* slot, int value);

// One open movie. A Theora movie is decoded by the built-in decoder with its sound track loaded
// as a library sound; any other file plays through a filter graph that ends in the movie renderer.
struct MovieSlot {
  int serial;
  int playType;  // 1 background, 3 loop (the bit of value 2 loops at the end).
  int theora;    // 1 when the Theora decoder plays this movie.
  TheoraMovieDecoder* decoder;
  uint64_t startTime;  // Microseconds at which frame 0 was due.
  StreamHandle stream;
  int sound;  // The sound track, -1 when there is none.
  IGraphBuilder* graph;
  IMediaControl* control;
  IMediaSeeking* seeking;
  IBasicAudio* audio;
  Z_CMovieRenderer* renderer;  // Held with a reference of the slot's own.
  LONGLONG duration;           // 100-ns units (graph only).
  int currentTime;             // Milliseconds of the frame shown (Theora only).
  LONGLONG stopPosition;       // 100-ns units; reaching it ends the movie (graph only).
  int width;
  int height;
  int playing;  // 1 while the movie counts as playing.
  int paused;   // 1 while it does not advance.
  // 1 once the frame callback has run; the graph code sets it back to 0 when its graph lost the
  // picture, so that the next callback copies the frame again.
  int callbackRan;
  int alphaOption;          // 1: the right half of each frame is the alpha. Nothing sets it.
  int drawMode;             // 1 would draw straight to the screen. Nothing sets it.
  int temporaryCopy;        // 1 when the graph plays a temporary copy of the file.
  WCHAR fileName[260];      // The file (or its copy) the graph rendered.
  BaseImage frameImage;     // A graph movie's frame, borrowed from the renderer.
  BaseImage* currentImage;  // The frame to show.
  MovieFrameCallback callback;
  int callbackValue;
};

// Hands the window and graphics the movie calls they make (movie_hooks.cpp).
void ConnectMoviesToWindow();
void ConnectMoviesToGraphics();

// The frame callback of a graph that shows a movie (the graph handle is the value): copies the
// movie's current frame into the graph. 0, also when there is nothing new to copy.
int CopyMovieFrameToGraph(MovieSlot* slot, int graph);
// The graph's textures were made again and hold nothing: the movie's next frame callback copies
// the frame it holds even when it is not new.
void ForgetMovieGraphPicture(int movie);

// Builds the YUV-to-RGB tables; start-up calls it once.
void InitTheoraColorTables();
int ResumeAllMovies();
int PauseAllMovies();
int DrawScreenMovies();

// Opens a movie (a negative result on failure, with its own log line) and writes its size.
int OpenMovie(const char* path, int* width, int* height, int option);
// Brings the movie to the frame due now and runs its frame callback; 0 also for a dead handle.
int UpdateMovieFrame(int movie, int flag);
// Stops and closes the movie: 0, or -1 for a dead handle (quietly).
int ReleaseMovie(int movie);
MovieSlot* GetMovieSlot(int movie);
int SetMovieFrameCallback(int movie, MovieFrameCallback callback, int value);
// Pauses a movie; `keepPlaying` 1 lets ResumeAllMovies start it again.
int PauseMovie(int movie, int keepPlaying);

// Theora frames as the graph code fetches them. FetchTheoraFrame brings the wanted outputs up to
// date with the wanted frame: 1 when it made them so, 0 when they already were (no new frame) or
// no frame can be had (the thread ended or the data ran out). GetTheoraYuvSurface: the YUV
// surface, or null when the device offers none (always null on the software device).
int FetchTheoraFrame(TheoraMovieDecoder* decoder, int wantRgb, int wantYuv);
IDirect3DSurface9* GetTheoraYuvSurface(TheoraMovieDecoder* decoder);
