// Graph handles: blank graphs, graphs loaded from image files (with their "_a" alpha companion)
// or made from images in memory, sub-graphs that share their parent's pixels, filling, deleting,
// and refilling every graph from its file after the device was made again.
#include "graphics/graphs/graph_handles.h"

#include <cstring>

#include "graphics/device/device_state_cache.h"
#include "graphics/device/render_device.h"
#include "graphics/fonts/fonts.h"
#include "graphics/graphs/draw_settings.h"
#include "graphics/graphs/screen_settings.h"
#include "graphics/graphs/screens.h"
#include "graphics/graphs/texture_upload.h"
#include "graphics/models/model_buffers.h"
#include "window/window_services.h"
#include "zyvel/files.h"
#include "zyvel/memimg.h"
#include "zyvel/runtime.h"

namespace {

int ClampByte(int value) { return value < 0 ? 0 : (value > 255 ? 255 : value); }

int ScreenBits() {
  const int bits = GetScreenColorBits();
  return bits == 0 ? 16 : bits;
}

void (*g_restoreCallback)() = nullptr;
int g_restoreCallbackSet = 0;

void RestoreFromFilesCallback() { RestoreGraphsFromFiles(); }

// Lets go of the part's pixels and the part itself once no graph shows it.
void DropImagePart(GraphImagePart* part) {
  if (!part || --part->RefCount > 0) return;
  ReleaseDrawableGraphExtras(part);
  if (part->Textured) {
    ReleaseGraphTextures(part);
    ZV_FREE(part->Textures);
  } else {
    ReleaseMemImg(&part->SoftImage);
  }
  ZV_FREE(part);
}

// The raw pixel value of the part's transparent colour in a software image's format.
uint32_t SoftwareKeyColor(int format, uint32_t transparent) {
  const ColorData* layout = GetMemImgColorData(static_cast<unsigned>(format), 0, 0);
  return MakeBaseImageColorCode(layout, transparent >> 16 & 0xFF, transparent >> 8 & 0xFF, transparent & 0xFF, 0);
}

int UploadImages(GraphRecord* record, BaseImage* color, BaseImage* alpha, const RECT& source, int x, int y) {
  return UploadImageToGraph(record->Handle, nullptr, nullptr, nullptr, &source, x, y, 0, color, alpha,
                            record->Part->AlphaFromRed, g_drawState.NoKeyToAlpha ? 0 : 1, 0);
}

void MirrorBoth(BaseImage* color, BaseImage* alpha) {
  MirrorBaseImage(color);
  if (alpha) MirrorBaseImage(alpha);
}

// Without the movies connected no file opens as a movie, and a graph never holds one.
int NoMovieOpens(const char*, int*, int*, int) { return -1; }
int NoMovieWith(int) { return 0; }
int NoMovieToRelease(int) { return -1; }
int NoMovieToShow(int, int) { return 0; }
int NoMovieFrame(int, int) { return 0; }
void NoMoviePicture(int) {}

const GraphMovieHooks kNoMovies{
    .open = NoMovieOpens,
    .hasAlphaHalf = NoMovieWith,
    .showInGraph = NoMovieToShow,
    .updateFrame = NoMovieFrame,
    .release = NoMovieToRelease,
    .forgetPicture = NoMoviePicture,
};
GraphMovieHooks g_graphMovies = kNoMovies;

}  // namespace

int GetTextureFormatIndex(const GraphImagePart* part) {
  if (!part->Textured) {
    const bool sixteen = part->ColorBits == 16;
    if (sixteen) return part->Alpha ? kSoftwareGraphFormat16Alpha : kSoftwareGraphFormat16;
    return part->Alpha ? kSoftwareGraphFormat32Alpha : kSoftwareGraphFormat32;
  }
  const bool is32 = part->ColorBits != 16;
  if (part->RequestOption >= 1 && part->RequestOption <= 5) return kTextureFormatDxt1 + part->RequestOption - 1;
  if (part->Drawable && (part->Alpha || part->RequestTop)) return kTextureFormatDrawableAlpha32;
  if (part->Drawable) return is32 ? kTextureFormatDrawable32 : kTextureFormatDrawable16;
  if (part->Alpha) return is32 ? kTextureFormatAlpha32 : kTextureFormatAlpha16;
  if (part->RequestTop) return is32 ? kTextureFormatAlphaTest32 : kTextureFormatAlphaTest16;
  return is32 ? kTextureFormatColor32 : kTextureFormatColor16;
}

const ColorData* ChooseTextureFormat(const GraphImagePart* part) {
  const int index = GetTextureFormatIndex(part);
  if (index < 0 || index >= kTextureFormatCount) return nullptr;
  return GetFormatColorData(g_renderDevice.TextureFormats[index]);
}

const ColorData* ChooseTextureFormatFor(int alpha, int transparent, int is32Bit, int renderTarget) {
  GraphImagePart request{};
  request.Textured = 1;
  request.Alpha = alpha ? 1 : 0;
  request.RequestTop = transparent ? 1 : 0;
  request.ColorBits = is32Bit ? 32 : 16;
  request.Drawable = renderTarget ? 1 : 0;
  return ChooseTextureFormat(&request);
}

int CreateGraphImagePart(int mipLevels, int graph, int width, int height, int alpha, int palette, int compressed) {
  GraphRecord* record = GetGraphRecord(graph);
  if (!record) return -1;
  const DrawState& state = g_drawState;
  const bool hardware = g_screenSettings.HardwareInUse != 0;
  const int levels = mipLevels == -1 ? 1 : mipLevels;

  auto* part = static_cast<GraphImagePart*>(ZV_ALLOC_ZEROED(static_cast<int>(sizeof(GraphImagePart))));
  if (!part) {
    AddLogText("グラフィックのオリジナル画像データ保存用メモリの確保に失敗しました\n");
    DeleteGraphHandle(graph);
    return -1;
  }
  part->RefCount = 1;
  part->Width = width;
  part->Height = height;
  part->TransparentColor = state.TransparentColor & 0xFFFFFF;
  record->Part = part;
  record->PartX = record->PartY = 0;
  record->Width = width;
  record->Height = height;

  if (hardware) {
    part->Textured = 1;
    if (state.CreateRenderTargetGraph) {
      part->Drawable = 1;
      part->SysMemCopy = 1;
      part->MipLevels = 1;
    } else {
      part->Alpha = alpha ? 1 : 0;
      part->SysMemCopy = state.CreateKeepSysMemCopy ? 1 : 0;
      part->RequestOption = static_cast<uint8_t>(compressed);
      part->RequestMipLevels = static_cast<uint8_t>(levels);
      part->RequestTop = alpha ? 0 : (state.UseTransparentColor ? 1 : 0);
      part->MipLevels = levels;
    }
    part->ColorBits = static_cast<uint8_t>(state.CreateColorBits ? state.CreateColorBits : (alpha ? 32 : ScreenBits()));
    part->FormatCode = GetTextureFormatIndex(part);
    if (LayoutGraphTextures(part, part->Drawable) != 0 || CreateGraphTextures(part) != 0) {
      DeleteGraphHandle(graph);
      return -1;
    }
  } else {
    part->Drawable = 1;
    part->Software = 1;
    part->Alpha = alpha ? 1 : 0;
    part->Palette = palette ? 1 : 0;
    part->ColorBits = static_cast<uint8_t>(state.CreateColorBits ? state.CreateColorBits : ScreenBits());
    part->FormatCode = GetTextureFormatIndex(part);
    const int format = part->ColorBits == 16 ? kMemImgFormat16 : kMemImgFormat32;
    const uint32_t key = palette ? 0xFFFF : SoftwareKeyColor(format, part->TransparentColor);
    if (SetupMemImg(&part->SoftImage, width, height, -1, key, format, part->Palette, part->Alpha, 0, nullptr) != 0) {
      AddLogText("メモリイメージの作成に失敗しました\n");
      DeleteGraphHandle(graph);
      return -1;
    }
    FillMemImgRaw(&part->SoftImage, nullptr, 0);
  }
  if (SetupGraphTileDraws(graph) != 0) {
    DeleteGraphHandle(graph);
    return -1;
  }
  return 0;
}

void SetGraphMovieHooks(const GraphMovieHooks* hooks) {
  GraphMovieHooks& to = g_graphMovies;
  to = hooks ? *hooks : kNoMovies;
  CompleteHook(&to.open, kNoMovies.open);
  CompleteHook(&to.hasAlphaHalf, kNoMovies.hasAlphaHalf);
  CompleteHook(&to.showInGraph, kNoMovies.showInGraph);
  CompleteHook(&to.updateFrame, kNoMovies.updateFrame);
  CompleteHook(&to.release, kNoMovies.release);
  CompleteHook(&to.forgetPicture, kNoMovies.forgetPicture);
}

const GraphMovieHooks& GraphMovies() { return g_graphMovies; }

int MakeBlankGraph(int width, int height) {
  if (!g_screenSettings.Initialised || width <= 0 || height <= 0) return -1;
  const int graph = NewGraphHandle();
  if (CreateGraphImagePart(-1, graph, width, height, g_drawState.CreateAlphaGraph, 0, 0) != 0) return -1;
  return graph;
}

int LoadGraphFile(const char* path, int) { return LoadGraphOrMovie(path, 0, 0); }

int LoadGraphOrMovie(const char* path, int mirror, int movieOption) {
  if (!g_screenSettings.Initialised || !path) return -1;
  if (!IsWindowActive()) WaitWhileInactive();

  BaseImage color{}, alpha{};
  const int loaded = LoadBaseImageWithAlpha(path, nullptr, 0, 0, nullptr, 0, 0, &color, &alpha, mirror);
  if (loaded >= 0) {
    BaseImage* alphaImage = loaded == 0 ? &alpha : nullptr;
    int graph = CreateGraphFromImages(&color, alphaImage, 0, 0);
    if (graph != -1 && SetGraphFileName(graph, path, -1) != 0) {
      DeleteGraphHandle(graph);
      graph = -1;
    }
    if (graph != -1) GetGraphRecord(graph)->Mirror = mirror;
    ReleaseBaseImage(&color);
    if (alphaImage) ReleaseBaseImage(alphaImage);
    return graph;
  }

  const StreamHandle file = StreamFileOpen(path, 0, 1, 0);
  if (!file) {
    WriteLogFormat("グラフィックファイル %s がありません", path);
    return -1;
  }
  StreamFileClose(file);

  int width = 0, height = 0;
  const GraphMovieHooks& movies = GraphMovies();
  const int movie = movies.open(path, &width, &height, movieOption);
  if (movie < 0) {
    WriteLogFormat("右記のグラフィックファイルのロードに失敗しました：%s ", path);
    return -1;
  }
  // The movie's frames are written into a drawable graph of its size, one texture per side
  // (drawable parts are laid out as single textures where the device allows).
  DrawState& state = g_drawState;
  const int savedBits = state.CreateColorBits, savedTarget = state.CreateRenderTargetGraph;
  const int savedTransparent = state.UseTransparentColor, savedCopy = state.CreateKeepSysMemCopy;
  state.CreateColorBits = ScreenBits();
  state.CreateRenderTargetGraph = 1;
  state.UseTransparentColor = 0;
  state.CreateKeepSysMemCopy = 1;
  const int graph = NewGraphHandle();
  const int made = CreateGraphImagePart(-1, graph, width, height, movies.hasAlphaHalf(movie), 0, 0);
  state.CreateColorBits = savedBits;
  state.CreateRenderTargetGraph = savedTarget;
  state.UseTransparentColor = savedTransparent;
  state.CreateKeepSysMemCopy = savedCopy;
  if (made != 0) {
    WriteLogFormat("右記のグラフィックファイルの格納用グラフィック領域の作成に失敗しました：%s", path);
    movies.release(movie);
    return -1;
  }
  GetGraphRecord(graph)->MovieHandle = movie;
  movies.showInGraph(movie, graph);
  return graph;
}

int CreateGraphForImage(BaseImage* color, BaseImage* alpha) {
  if (!color || color->width <= 0 || color->height <= 0) return -1;
  if (alpha && (alpha->width != color->width || alpha->height != color->height)) return -1;
  const int levels = color->mipMapCount > 0 ? color->mipMapCount : -1;
  const int alphaFlag = color->color.alphaWidth != 0 || alpha ? 1 : 0;
  const int palette = color->color.bytesPerPixel == 1 && color->color.alphaWidth == 0 && !alpha ? 1 : 0;
  const int graph = NewGraphHandle();
  if (CreateGraphImagePart(levels, graph, color->width, color->height, alphaFlag, palette,
                           static_cast<int>(color->color.dxtKind)) != 0)
    return -1;
  return graph;
}

int CreateGraphFromImages(BaseImage* color, BaseImage* alpha, int mirrorA, int mirrorB) {
  if (!g_screenSettings.Initialised || !color) return -1;
  RefreshSpareBitMask(&color->color);
  if (alpha) RefreshSpareBitMask(&alpha->color);
  const bool mirror = mirrorA == 1 && mirrorB == 1;
  if (mirror) MirrorBoth(color, alpha);
  int graph = CreateGraphForImage(color, alpha);
  if (graph != -1 && ReloadGraphFromImages(color, alpha, nullptr, 0, 0, graph, 0) != 0) {
    DeleteGraphHandle(graph);
    graph = -1;
  }
  if (mirror) MirrorBoth(color, alpha);
  return graph;
}

int ReloadGraphFromImages(BaseImage* color, BaseImage* alpha, const char* fileName, int fileX, int fileY, int graph,
                          int mirror) {
  if (!g_screenSettings.Initialised || !color) return -1;
  GraphRecord* record = GetGraphRecord(graph);
  if (!record || !record->Part) return -1;
  if (SetGraphFileName(graph, fileName, -1) != 0) return -1;
  record->Mirror = mirror;
  record->FileX = fileX;
  record->FileY = fileY;
  const RECT source = {fileX, fileY, fileX + record->Width, fileY + record->Height};
  return UploadImages(record, color, alpha, source, 0, 0);
}

int TransferImageToGraphAt(BaseImage* color, BaseImage* alpha, const char* fileName, const RECT* source, int x, int y,
                           int graph, int mirror) {
  if (!g_screenSettings.Initialised || !color || !source) return -1;
  GraphRecord* record = GetGraphRecord(graph);
  if (!record || !record->Part) return -1;
  if (SetGraphFileName(graph, fileName, -1) != 0) return -1;
  record->Mirror = mirror;
  record->FileX = source->left - x;
  record->FileY = source->top - y;
  return UploadImages(record, color, alpha, *source, x, y);
}

int RefillGraphFromImages(BaseImage* color, BaseImage* alpha, int graph, int mirrorA, int mirrorB) {
  GraphRecord* record = GetGraphRecord(graph);
  if (!record || !color || record->Width != color->width || record->Height != color->height) return -1;
  if (alpha && (alpha->width != color->width || alpha->height != color->height)) return -1;
  const bool mirror = mirrorA == 1 && mirrorB == 1;
  if (mirror) MirrorBoth(color, alpha);
  const int result = ReloadGraphFromImages(color, alpha, nullptr, 0, 0, graph, 0);
  if (mirror) MirrorBoth(color, alpha);
  return result < 0 ? -1 : 0;
}

int RefillGraphFromBaseImage(BaseImage* image, int graph) { return RefillGraphFromImages(image, nullptr, graph, 0, 0); }

int ReloadGraphFromMemoryImage(const void* image, int size, int graph, const void* alphaImage, int alphaSize,
                               int mirror) {
  if (!image || !IsGraphHandleValid(graph)) return -1;
  BaseImage color{}, alpha{};
  const int loaded = LoadBaseImageWithAlpha(nullptr, image, size, 1, alphaImage, alphaSize, alphaImage ? 1 : 2, &color,
                                            &alpha, mirror);
  if (loaded < 0) return -1;
  const int result = RefillGraphFromImages(&color, loaded == 0 ? &alpha : nullptr, graph, 0, 0);
  ReleaseBaseImage(&color);
  if (loaded == 0) ReleaseBaseImage(&alpha);
  return result;
}

int FillGraphColor(int graph, int red, int green, int blue, int alpha) {
  GraphRecord* record = GetGraphRecord(graph);
  if (!record || !record->Part) return -1;
  red = ClampByte(red), green = ClampByte(green), blue = ClampByte(blue), alpha = ClampByte(alpha);
  GraphImagePart* part = record->Part;
  if (!part->Textured) {
    // The graph's own rectangle, written as it is: neither the draw area nor the blend mode of
    // whatever is being drawn applies to the graph's contents.
    MEMIMG& view = record->SoftView;
    if (!IsMemImgValid(&view)) return -1;
    FillMemImgRaw(&view, nullptr, MakeBaseImageColorCode(view.Core->Layout, red, green, blue, alpha));
    return 0;
  }
  IDirect3DDevice9* device = g_renderDevice.Device;
  if (!device) return -1;
  if (!part->Drawable) return 0;
  FlushVertexBatch();
  const D3DCOLOR argb = static_cast<D3DCOLOR>(alpha << 24 | red << 16 | green << 8 | blue);
  GraphTileDraw* tiles = record->TileDraws();
  for (int i = 0; i < record->TileCount; ++i) {
    const GraphTileDraw& tile = tiles[i];
    if (!tile.Texture->Surface) continue;
    const RECT piece = {tile.SourceX, tile.SourceY, tile.SourceX + tile.Width, tile.SourceY + tile.Height};
    device->ColorFill(tile.Texture->Surface, &piece, argb);
  }
  return 0;
}

int CutSubGraph(int x, int y, int width, int height, int source) {
  const GraphRecord* parent = GetGraphRecord(source);
  if (!parent || x < 0 || y < 0 || x >= parent->Width || y >= parent->Height || width <= 0 || height <= 0) return -1;
  if (width > parent->Width - x) width = parent->Width - x;
  if (height > parent->Height - y) height = parent->Height - y;
  const int graph = NewGraphHandle();
  if (ShareGraphImagePart(source, graph, x, y, width, height) != 0) {
    DeleteGraphHandle(graph);
    return -1;
  }
  return graph;
}

int DrawGraphPartStretchedF(float x1, float y1, float x2, float y2, int sourceX, int sourceY, int width, int height,
                            int graph, int transparent) {
  const int part = CutSubGraph(sourceX, sourceY, width, height, graph);
  if (part == -1) return -1;
  DrawGraphStretchedF(x1, y1, x2, y2, part, transparent);
  DeleteGraphHandle(part);
  return 0;
}

int DeleteGraphHandle(int graph) {
  GraphRecord* record = GetGraphRecord(graph);
  if (!record) return -1;
  DrawState& state = g_drawState;
  // Nothing may go on pointing at what is freed here: the draw target and the blend graph fall
  // back to the screen and to none, and queued vertices are drawn while their texture lives.
  if (state.DrawTarget == graph) SelectDrawTarget(SCREEN_BACK);
  if (state.BlendGraph == graph) SetBlendGraph(-1, 0, 0);
  GraphMovies().release(record->MovieHandle);
  GraphImagePart* part = record->Part;
  if (part && part->Textured && part->RefCount == 1) {
    FlushVertexBatch();
    for (int i = 0; i < part->TextureCount; ++i)
      if (g_deviceStateCache.MainTexture == part->Textures[i].Texture) SelectMainTexture(nullptr);
  }
  if (part && !part->Textured) ReleaseMemImg(&record->SoftView);
  DropImagePart(part);
  record->Part = nullptr;
  for (void*& buffer : record->WorkBuffers) {
    if (buffer) ZV_FREE(buffer);
    buffer = nullptr;
  }
  SetGraphFileName(graph, nullptr, -1);
  return DeleteHandleRecord(&g_graphHandleTable, graph);
}

int DeleteAllGraphs() {
  if (!g_screenSettings.Initialised) return 0;
  for (int slot = g_graphHandleTable.highWaterMark - 1; slot >= 0; --slot) {
    auto* record = static_cast<GraphRecord*>(g_graphHandleTable.slots[slot]);
    if (record) DeleteGraphHandle(record->Handle);
  }
  return 0;
}

int SetGraphRestoreCallback(void (*callback)()) {
  g_restoreCallback = callback ? callback : RestoreFromFilesCallback;
  g_restoreCallbackSet = 1;
  return 0;
}

int HasGraphRestoreCallback() { return g_restoreCallbackSet; }

int RestoreAllGraphs() {
  if (g_restoreCallback)
    g_restoreCallback();
  else
    RestoreGraphsFromFiles();
  return 0;
}

int RestoreGraphsFromFiles() {
  AddLogText("グラフィックを復帰します\n");
  BaseImage color{}, alpha{};
  int loaded = -1;  // What the images hold: -1 nothing, 0 colour and alpha, 1 colour alone.
  const GraphFileName* loadedName = nullptr;
  int loadedMirror = 0;
  auto release = [&] {
    if (loaded >= 0) ReleaseBaseImage(&color);
    if (loaded == 0) ReleaseBaseImage(&alpha);
    loaded = -1;
    loadedName = nullptr;
  };
  for (int slot = 0; slot < g_graphHandleTable.highWaterMark; ++slot) {
    auto* record = static_cast<GraphRecord*>(g_graphHandleTable.slots[slot]);
    if (!record || !record->FileName || !record->Part) continue;
    const bool same = loaded >= 0 && loadedMirror == record->Mirror &&
                      (loadedName == record->FileName || std::strcmp(loadedName->Path, record->FileName->Path) == 0);
    if (!same) {
      release();
      loaded = LoadBaseImageWithAlpha(record->FileName->Path, nullptr, 0, 0, nullptr, 0, 0, &color, &alpha,
                                      record->Mirror);
      if (loaded < 0) {
        WriteLogFormat("ファイル:%s がロードできませんでした", record->FileName->Path);
        continue;
      }
      loadedName = record->FileName;
      loadedMirror = record->Mirror;
    }
    // The name, position and mirror flag stay as they are: only the pixels come back.
    const RECT source = {record->FileX, record->FileY, record->FileX + record->Width, record->FileY + record->Height};
    UploadImages(record, &color, loaded == 0 ? &alpha : nullptr, source, 0, 0);
  }
  release();
  return 0;
}
