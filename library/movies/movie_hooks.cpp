// What the window and graph code call in the movies, handed to them by the library's start-up.
#include "graphics/screen_services.h"
#include "movies/movie_services.h"
#include "window/window_services.h"

namespace {

int HasAlphaHalf(int movie) {
  const MovieSlot* slot = GetMovieSlot(movie);
  return slot && slot->alphaOption ? 1 : 0;
}

int ShowInGraph(int movie, int graph) { return SetMovieFrameCallback(movie, CopyMovieFrameToGraph, graph); }

const WindowMovieHooks kWindowMovieHooks{
    .buildColorTables = InitTheoraColorTables,
    .pauseAll = PauseAllMovies,
    .resumeAll = ResumeAllMovies,
    .drawScreenMovies = DrawScreenMovies,
};

const GraphMovieHooks kGraphMovieHooks{
    .open = OpenMovie,
    .hasAlphaHalf = HasAlphaHalf,
    .showInGraph = ShowInGraph,
    .updateFrame = UpdateMovieFrame,
    .release = ReleaseMovie,
    .forgetPicture = ForgetMovieGraphPicture,
};

}  // namespace

void ConnectMoviesToWindow() { SetWindowMovieHooks(&kWindowMovieHooks); }
void ConnectMoviesToGraphics() { SetGraphMovieHooks(&kGraphMovieHooks); }
