// Movies: up to 100 open movies behind movie handles, each played either by the built-in Theora
// decoder (its Vorbis track loaded as a library sound) or by a filter graph that ends in the movie
// renderer; moving them on in time and handing their frames to the graph code's frame callback.
//
// Everything here runs on the main thread. A Theora movie's frames come from its decode thread;
// a graph movie's arrive in the renderer on the graph's streaming thread, which raises a flag that
// UpdateMovieFrame polls. Nothing draws a movie straight to the screen: DrawScreenMovies does
// nothing.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "movies/movie_renderer.h"
#include "movies/movie_services.h"
#include "movies/theora_decoder.h"
#include "platform/com.h"
#include "platform/kernel.h"
#include "sound/sound_services.h"
#include "zyvel/files.h"
#include "zyvel/sound.h"

namespace {

constexpr int kMovieSlotCount = 100;
constexpr int kMovieHandleKind = 0x1800;  // Handle kind 3 in bits 27-30, once shifted.
constexpr int kSerialLimit = 2047;
constexpr int kTheoraStock = 10;
constexpr int kPlayBackground = 1;
constexpr int kLoopBit = 2;
constexpr int kCopyChunk = 1048576;
constexpr LONGLONG kShortestDuration = 166666;                 // One sixtieth of a second.
constexpr int kOnlyOggVorbis = static_cast<int>(0xFFFFFFFBu);  // Every sound decoder off but Ogg Vorbis.
constexpr unsigned kReadWhilePlaying = 3;

struct MovieSlotTable {
  int nextSerial;
  MovieSlot* slots[kMovieSlotCount];
  int openCount;
};
MovieSlotTable g_movies;

int MovieHandleOf(int index, int serial) { return index | (serial | kMovieHandleKind) << 16; }

template <typename Interface>
void ReleaseHeld(Interface*& held) {
  if (held) held->Release();
  held = nullptr;
}

// Every interface the slot holds, the renderer's own reference last: releasing the graph stops it
// and lets go of its filters.
void ReleaseGraphInterfaces(MovieSlot* slot) {
  ReleaseHeld(slot->audio);
  ReleaseHeld(slot->seeking);
  ReleaseHeld(slot->control);
  ReleaseHeld(slot->graph);
  ReleaseHeld(slot->renderer);
}

// The sound track of a Theora file, loaded to be read from the file while it plays with every
// decoder but Ogg Vorbis switched off; -1 when the file has none.
int LoadMovieSoundTrack(const char* path) {
  const int savedMode = GetSoundLoadMode();
  const int savedMask = GetSoundDecoderMask();
  SetMovieSoundFlag(1);
  SetSoundLoadMode(kReadWhilePlaying);
  SetSoundDecoderMask(kOnlyOggVorbis);
  const int sound = LoadSoundFile(path, 1, -1);
  SetSoundDecoderMask(savedMask);
  SetMovieSoundFlag(0);
  SetSoundLoadMode(static_cast<unsigned>(savedMode));
  return sound;
}

// Copies a file read through the library's file functions (an archive member included) into a
// new temporary file whose name the slot takes. 0, or -1 with nothing left behind.
int CopyToTemporaryFile(MovieSlot* slot, const char* path) {
  const StreamHandle stream = StreamFileOpen(path, 0, 1, 0);
  if (!stream) return -1;
  StreamFileSeek(stream, 0, SEEK_END);
  const int size = StreamFileTell(stream);
  StreamFileSeek(stream, 0, SEEK_SET);
  uint8_t* buffer = static_cast<uint8_t*>(ZV_ALLOC(kCopyChunk));
  if (!buffer || size < 0) {
    StreamFileClose(stream);
    if (buffer) ZV_FREE(buffer);
    return -1;
  }
  char tempPath[260] = {};
  HANDLE file = MakeTempFile(tempPath);
  if (!file) {
    StreamFileClose(stream);
    ZV_FREE(buffer);
    return -1;
  }
  int copied = 0;
  bool whole = true;
  while (copied < size) {
    const int chunk = std::min(kCopyChunk, size - copied);
    DWORD written = 0;
    if (StreamFileRead(buffer, 1, chunk, stream) != chunk ||
        !WriteFile(file, buffer, static_cast<DWORD>(chunk), &written, nullptr) ||
        written != static_cast<DWORD>(chunk)) {
      whole = false;
      break;
    }
    copied += chunk;
  }
  StreamFileClose(stream);
  CloseHandle(file);
  ZV_FREE(buffer);
  if (!whole) {
    DeleteFileA(tempPath);
    return -1;
  }
  MultiByteToWideChar(932, 0, tempPath, -1, slot->fileName, 260);
  slot->temporaryCopy = 1;
  return 0;
}

// Builds the slot's filter graph for a file the Theora decoder does not take: the movie renderer
// added first, then RenderFile of the file, or of a temporary copy when the graph cannot open it
// by name (a file inside an archive). 0, or -1 with every interface released and the reason logged.
int OpenGraphMovie(MovieSlot* slot, const char* path, int* width, int* height, int) {
  slot->frameImage.pixels = nullptr;
  slot->callbackRan = 0;
  char message[600];
  message[0] = 0;
  do {
    void* graph = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                IID_IGraphBuilder, &graph))) {
      snprintf(message, sizeof message, "%s", "CLSID_FilterGraph の作成に失敗しました");
      break;
    }
    slot->graph = static_cast<IGraphBuilder*>(graph);
    HRESULT created = S_OK;
    slot->renderer = CreateMovieRenderer(nullptr, &created);
    if (slot->renderer) slot->renderer->AddRef();
    if (!slot->renderer || FAILED(slot->graph->AddFilter(slot->renderer, u"MovieRenderer"))) {
      snprintf(message, sizeof message, "%s", "Could not add renderer filter to graph!");
      break;
    }
    void* found = nullptr;
    if (FAILED(slot->graph->QueryInterface(IID_IBasicAudio, &found))) {
      snprintf(message, sizeof message, "%s", "BasicAudio インターフェースの取得に失敗しました");
      break;
    }
    slot->audio = static_cast<IBasicAudio*>(found);
    if (FAILED(slot->graph->QueryInterface(IID_IMediaControl, &found))) {
      snprintf(message, sizeof message, "%s", "IID_IMediaControlインターフェイスの取得に失敗しました");
      break;
    }
    slot->control = static_cast<IMediaControl*>(found);
    if (FAILED(slot->graph->QueryInterface(IID_IMediaSeeking, &found))) {
      snprintf(message, sizeof message, "%s", "IID_IMediaSeekingインターフェイスの取得に失敗しました");
      break;
    }
    slot->seeking = static_cast<IMediaSeeking*>(found);

    snprintf(message, sizeof message, "ファイル:%s が開けませんでした", path);
    bool rendered = MultiByteToWideChar(CP_ACP, 0, path, -1, slot->fileName, 260) > 0 &&
                    SUCCEEDED(slot->graph->RenderFile(slot->fileName, nullptr));
    if (!rendered) {
      if (slot->temporaryCopy || CopyToTemporaryFile(slot, path) != 0) break;
      if (FAILED(slot->graph->RenderFile(slot->fileName, nullptr))) {
        DeleteFileW(slot->fileName);
        slot->temporaryCopy = 0;
        break;
      }
    }
    slot->seeking->GetDuration(&slot->duration);
    if (slot->duration == 0) slot->duration = kShortestDuration;
    slot->seeking->GetStopPosition(&slot->stopPosition);
    slot->width = slot->renderer->FrameWidth();
    slot->height = slot->renderer->FrameHeight();
    if (width) *width = slot->width;
    if (height) *height = slot->height;
    return 0;
  } while (false);

  ReleaseGraphInterfaces(slot);
  AddLogText(message);
  return -1;
}

void UpdateTheoraMovie(MovieSlot* slot) {
  TheoraInfo info{};
  GetTheoraInfo(slot->decoder, &info);
  const int64_t frames = info.frameCount;
  if (slot->paused || frames <= 0) return;
  int64_t elapsed = 0;  // Microseconds.
  int64_t due = 0;
  if (slot->sound == -1) {
    elapsed = static_cast<int64_t>(GetMicrosecondCount(0) - slot->startTime);
    due = static_cast<int64_t>(elapsed * info.framesPerSecond / 1000000.0);
    if (due >= frames) due = (slot->playType & kLoopBit) ? due % frames : frames - 1;
  } else {
    // The sound decides where the movie is, and when it ends.
    elapsed = static_cast<int64_t>(GetSoundHandlePosition(slot->sound)) * 1000;
    due = static_cast<int64_t>(elapsed * info.framesPerSecond / 1000000.0);
    if (due >= frames) due = frames - 1;
  }
  if (due < 0) due = 0;
  const int64_t current = GetTheoraCurrentFrame(slot->decoder);
  if (due != current) {
    // Behind the current frame means the next pass: the decoder only moves forward.
    AdvanceTheoraFrame(slot->decoder, due > current ? due - current : frames - current + due);
    slot->currentTime = static_cast<int>(elapsed / 1000);
  } else if (due == frames - 1 && !(slot->playType & kLoopBit) && slot->sound == -1) {
    slot->playing = 0;
    slot->paused = 1;
  }
}

void UpdateGraphMovie(MovieSlot* slot) {
  if (slot->renderer && slot->renderer->TakeNewFrame() && slot->callback) {
    BaseImage& image = slot->frameImage;
    SetupRGB24ColorData(&image.color);
    image.width = slot->renderer->FrameWidth();
    image.height = slot->renderer->FrameHeight();
    image.pitch = slot->renderer->FramePitch();
    image.pixels = slot->renderer->FrameBuffer();
    slot->currentImage = &image;
    slot->callback(slot, slot->callbackValue);
  }
  // A paused movie stays where it is, also at its end.
  if (!slot->seeking || !slot->control || slot->paused) return;
  LONGLONG position = 0;
  if (FAILED(slot->seeking->GetCurrentPosition(&position)) || position < slot->stopPosition) return;
  if (slot->playType & kLoopBit) {
    LONGLONG start = 0;
    slot->seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
    slot->control->Run();
  } else {
    slot->playing = 0;
    slot->paused = 1;
  }
}

}  // namespace

MovieSlot* GetMovieSlot(int movie) {
  if (movie < 0 || ((movie >> 27) & 0xF) != 3) return nullptr;
  const int index = movie & 0xFFFF;
  if (index >= kMovieSlotCount) return nullptr;
  MovieSlot* slot = g_movies.slots[index];
  if (!slot || slot->serial << 16 != (movie & 0x7FF0000)) return nullptr;
  return slot;
}

int OpenMovie(const char* path, int* width, int* height, int option) {
  int index = 0;
  while (index < kMovieSlotCount && g_movies.slots[index]) ++index;
  if (index == kMovieSlotCount || !path) return -1;
  MovieSlot* slot = static_cast<MovieSlot*>(ZV_ALLOC_ZEROED(sizeof(MovieSlot)));
  if (!slot) {
    AddLogText("メモリの確保に失敗しました in OpenMovie");
    return -1;
  }
  slot->sound = -1;
  StreamHandle stream = StreamFileOpen(path, 0, 1, 0);
  TheoraMovieDecoder* decoder = stream ? OpenTheoraDecoder(GetFileFunctions(), stream, kTheoraStock) : nullptr;
  if (!decoder && stream) {
    StreamFileClose(stream);
    stream = 0;
  }
  if (decoder) {
    slot->decoder = decoder;
    slot->stream = stream;
    slot->sound = LoadMovieSoundTrack(path);
    TheoraInfo info{};
    GetTheoraInfo(decoder, &info);
    slot->width = info.width;
    slot->height = info.height;
    if (width) *width = info.width;
    if (height) *height = info.height;
    slot->theora = 1;
    slot->currentImage = GetTheoraImage(decoder);
    slot->drawMode = 0;
  } else {
    slot->temporaryCopy = 0;
    if (OpenGraphMovie(slot, path, width, height, option) != 0) {
      ZV_FREE(slot);
      AddLogText("ムービーファイルオープン処理時にエラーが発生しました");
      return -1;
    }
    slot->currentImage = &slot->frameImage;
  }
  slot->paused = 1;
  slot->playing = 0;
  slot->playType = kPlayBackground;
  slot->serial = g_movies.nextSerial;
  g_movies.nextSerial = g_movies.nextSerial + 1 > kSerialLimit ? 0 : g_movies.nextSerial + 1;
  g_movies.slots[index] = slot;
  ++g_movies.openCount;
  return MovieHandleOf(index, slot->serial);
}

int ReleaseMovie(int movie) {
  MovieSlot* slot = GetMovieSlot(movie);
  if (!slot) return -1;
  if (slot->theora) {
    // The decode thread reads the stream: it ends before the stream is closed.
    CloseTheoraDecoder(slot->decoder);
    if (slot->stream) StreamFileClose(slot->stream);
    if (slot->sound != -1) DeleteSoundHandle(slot->sound);
  }
  // The graph keeps the temporary copy open: it goes before the copy does. The frame buffer is
  // the renderer's and goes with it.
  if (slot->control) slot->control->Stop();
  ReleaseGraphInterfaces(slot);
  if (slot->temporaryCopy) DeleteFileW(slot->fileName);
  g_movies.slots[movie & 0xFFFF] = nullptr;
  --g_movies.openCount;
  ZV_FREE(slot);
  return 0;
}

int UpdateMovieFrame(int movie, int) {
  MovieSlot* slot = GetMovieSlot(movie);
  if (!slot) return 0;
  if (slot->theora) {
    UpdateTheoraMovie(slot);
    if (slot->callback) {
      slot->callback(slot, slot->callbackValue);
      slot->callbackRan = 1;
    }
  } else {
    UpdateGraphMovie(slot);
  }
  return 0;
}

int SetMovieFrameCallback(int movie, MovieFrameCallback callback, int value) {
  MovieSlot* slot = GetMovieSlot(movie);
  if (!slot) return -1;
  slot->callback = callback;
  slot->callbackValue = value;
  return 0;
}

int PauseMovie(int movie, int keepPlaying) {
  MovieSlot* slot = GetMovieSlot(movie);
  if (!slot) return -1;
  if (slot->paused) return 0;
  if (slot->theora) {
    if (slot->sound != -1) StopSoundHandle(slot->sound);
    // The frame shown is the one of the moment of pausing.
    UpdateMovieFrame(movie, 0);
  } else {
    if (!slot->control) return 0;
    slot->control->Pause();
  }
  slot->paused = 1;
  if (!keepPlaying) slot->playing = 0;
  return 0;
}

int PauseAllMovies() {
  for (int i = 0; i < kMovieSlotCount; ++i)
    if (MovieSlot* slot = g_movies.slots[i]) PauseMovie(MovieHandleOf(i, slot->serial), 1);
  return 0;
}

int ResumeAllMovies() {
  for (int i = 0; i < kMovieSlotCount; ++i) {
    MovieSlot* slot = g_movies.slots[i];
    if (!slot || !GetMovieSlot(MovieHandleOf(i, slot->serial))) continue;
    const int playType = slot->playType == 0 ? kPlayBackground : slot->playType;
    if (!slot->paused || !slot->playing) continue;
    if (slot->theora) {
      // The clock is set back so that the current frame is due now.
      TheoraInfo info{};
      GetTheoraInfo(slot->decoder, &info);
      const int64_t frame = GetTheoraCurrentFrame(slot->decoder);
      const auto shown = static_cast<uint64_t>(1000000.0 / info.framesPerSecond * static_cast<double>(frame));
      slot->startTime = GetMicrosecondCount(0) - shown;
      if (slot->sound != -1) PlaySoundHandle(slot->sound, playType, 0);
    } else if (slot->control) {
      slot->control->Run();
    }
    slot->paused = 0;
    slot->playType = playType;
    slot->playing = 1;
  }
  return 0;
}

int DrawScreenMovies() { return 0; }
