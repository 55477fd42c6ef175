// Zyvel graphics: base images and loaders, graphs, screens, drawing, fonts, masks. The colour
// data, the pixel converter and the blend modes that both drawing paths share are the software
// renderer's, in zyvel/memimg.h.
#pragma once

#include "zyvel/memimg.h"
#include "zyvel/runtime.h"

// ---- Base images ----
// `BaseImage` (zyvel/memimg.h, with `ColorData`) is an image in memory with one pixel buffer.
int CreateBaseImageLike(int width, int height, const ColorData* color, BaseImage* out);
int CreateXRGB8BaseImage(int width, int height, BaseImage* out);
int CreateARGB8BaseImage(int width, int height, BaseImage* out);
int ReleaseBaseImage(BaseImage* image);
int ClearBaseImageRect(BaseImage* image, int x, int y, int width, int height);
int MirrorBaseImage(BaseImage* image);
int RotateBaseImage180(BaseImage* image);
uint32_t GetBaseImagePixelArgb(const BaseImage* image, int x, int y);
int GetBaseImagePixel(BaseImage* image, unsigned x, unsigned y, uint32_t* red, uint32_t* green, uint32_t* blue,
                      uint32_t* alpha);
int SetBaseImagePixel(BaseImage* image, unsigned x, unsigned y, int red, int green, int blue, int alpha);

// DXT-compressed images turn into ARGB8 pixels in place; 0 at once for plain images.
int DecodeDxtBaseImage(BaseImage* image);

// ---- Image conversion and transfer ----
struct BITMAPINFO;

int CopyBaseImageRect(int srcX, int srcY, int width, int height, int dstX, int dstY, BaseImage* src, BaseImage* dst);
int StretchBaseImageRect(int srcX1, int srcY1, int srcX2, int srcY2, BaseImage* src, int dstX1, int dstY1, int dstX2,
                         int dstY2, BaseImage* dst, int bilinear);
int ShrinkImageByHalf(const ColorData* color, uint8_t* dstPixels, int dstPitch, const uint8_t* srcPixels, int srcPitch,
                      int dstX, int unused, int srcX, int row, int srcWidth, int srcHeight);
// -1 on failure, 0 when the DIB uses the image's pixels, 1 when *bitsOut is a new buffer.
int ConvertBaseImageToDib(BaseImage* image, BITMAPINFO* out, void** bitsOut, int forceCopy, int force24Bit);

// ---- Image loaders ----
// What every loader reads from: the six stream operations and the stream they act on.
struct ImageLoadSource {
  int (*Tell)(StreamHandle stream);
  int (*Seek)(StreamHandle stream, int offset, int origin);
  int (*Read)(void* buffer, int itemSize, int count, StreamHandle stream);
  int (*Eof)(StreamHandle stream);
  int (*IdleWait)(StreamHandle stream);
  int (*Close)(StreamHandle stream);
  StreamHandle stream;
};

// 0 when the loader accepted the data and filled `out`, anything else when it refused.
typedef int (*ImageLoaderFunc)(ImageLoadSource* source, BaseImage* out);

int LoadBaseImageFromStream(ImageLoadSource* source, BaseImage* out);
int LoadBaseImage(const char* path, const void* memoryImage, int memorySize, int fromMemory, int wantDib, int mirror,
                  BaseImage* out, BITMAPINFO** dibOut, void** bitsOut);
int LoadBaseImagePlain(const char* path, const void* memoryImage, int memorySize, int fromMemory, BaseImage* out,
                       int mirror);
// 0 with an alpha image in `alphaOut`, 1 when the colour image stands alone, -1 on failure.
int LoadBaseImageWithAlpha(const char* path, const void* memoryImage, int memorySize, int fromMemory,
                           const void* alphaMemoryImage, int alphaMemorySize, int alphaSource, BaseImage* colorOut,
                           BaseImage* alphaOut, int mirror);
// `out` holds 260 bytes; -1 when the name would not fit.
int MakeAlphaFileName(char* out, const char* path);

int LoadBmpImage(ImageLoadSource* source, BaseImage* out);
int LoadBgraImage(ImageLoadSource* source, BaseImage* out);
int LoadTgaImage(ImageLoadSource* source, BaseImage* out);
int LoadPngImage(ImageLoadSource* source, BaseImage* out);
int LoadJpegImage(ImageLoadSource* source, BaseImage* out);
int LoadDdsImage(ImageLoadSource* source, BaseImage* out);

// ---- Draw state and math ----
// 4 x 4 float matrices in the device's convention (left-handed, row vectors: a point is
// multiplied on the left, the translation sits in the fourth row) and three-float vectors.
#include "platform/types.h"

struct Matrix4 {
  float m[4][4];  // Row by row: m[0][0] is m11, m[3][0] is m41.
};

struct Vector3 {
  float x;
  float y;
  float z;
};

int MakeIdentityMatrix(Matrix4* out);
// out = a x b; out may be a or b.
int MultiplyMatrix(Matrix4* out, const Matrix4* a, const Matrix4* b);
// Vertical field of view in radians; aspect is height / width (negative: the graph mode's).
// -1, leaving out untouched, when near and far or the field of view are too close to 0.
int MakePerspectiveFovMatrix(Matrix4* out, float fieldOfView, float nearPlane, float farPlane, float aspect);
int TransposeMatrix(Matrix4* out, const Matrix4* in);
// -1, leaving out untouched, when the matrix is (nearly) singular.
int InvertMatrix(Matrix4* out, const Matrix4* in);
// Maps the projected range -1..1 onto the rectangle of the given centre and size, y downward.
int MakeViewportMatrix(Matrix4* out, float centerX, float centerY, float width, float height);
int NormalizeVector(Vector3* out, const Vector3* in);
float DotVector(const Vector3* a, const Vector3* b);
// The row vector (x, y, z, 1) times m, first three results, no division by w.
int TransformVector(Vector3* out, const Vector3* in, const Matrix4* m);
Vector3* MakeNormalizedVector(Vector3* out, float x, float y, float z);
int MakeLookAtMatrix(Matrix4* out, const Vector3* eye, const Vector3* at, const Vector3* up);

// The graph-mode settings read here (defined with the display modes).
int GetScreenSizeSetting(int* width, int* height);
int GetScreenColorBits();

// ---- Screens ----
// The draw targets that stand for the screens rather than graphs. Any other target is a graph
// that can be drawn into; -3 and -5 are accepted as well and draw into the back screen.
enum ScreenTarget : int {
  SCREEN_BACK = -2,
  SCREEN_FRONT = -4,
};
int SelectDrawTarget(int target);
// Clears the draw target (a rectangle, or all of it when null) to the background colour.
int ClearDrawScreen(const RECT* area);
int ClearDrawScreenAll();
// Shows the finished back screen in the window.
int FlipScreen();
// Copies the rectangle (x1, y1)-(x2, y2) of the draw target into a graph of exactly its size; -1
// for a rectangle outside the target or a graph of another size.
int CaptureDrawScreenToGraph(int x1, int y1, int x2, int y2, int graph);
// The colour code of (red, green, blue) in the screen's pixel format, and back.
int MakeColorCode(int red, int green, int blue);
int GetColorComponents(int code, int* red, int* green, int* blue);

// ---- Screen mode ----
// Before start-up only records the mode; start-up opens the window at that size.
int SetScreenMode(int width, int height, int colorBits, int refresh);
// Before start-up: 0 asks for the software renderer instead of the Direct3D device (-1 once the
// library is up).
int SetHardwareAccelFlag(int flag);

// ---- Graphs ----
// A graph is the library's image object: a handle naming a rectangle of a shared image, held in
// Direct3D textures on the device path or in a MEMIMG on the software path. Graphs made from a
// file are reloaded from it after the device was lost. Every call gives -1 for a dead handle.

// A blank (cleared) graph made with the current creation settings.
int MakeBlankGraph(int width, int height);
// Loads an image file, with its "_a" companion as the alpha channel when one exists. The flag
// reaches no decision.
int LoadGraphFile(const char* path, int flag);
// The same with the image mirrored left to right when `mirror` is 1; a file no image loader takes
// is opened as a movie with `movieOption`.
int LoadGraphOrMovie(const char* path, int mirror, int movieOption);
// Graphs from images in memory: alpha may be null; both mirror flags 1 mirror the images (which
// are given back as they came).
int CreateGraphFromImages(BaseImage* color, BaseImage* alpha, int mirrorA, int mirrorB);
// A graph of the image's size and kind (alpha, palette, compression), left empty.
int CreateGraphForImage(BaseImage* color, BaseImage* alpha);
// New pixels for a graph of the same size as the images.
int RefillGraphFromImages(BaseImage* color, BaseImage* alpha, int graph, int mirrorA, int mirrorB);
int RefillGraphFromBaseImage(BaseImage* image, int graph);
int ReloadGraphFromMemoryImage(const void* image, int size, int graph, const void* alphaImage, int alphaSize,
                               int mirror);
// Fills a software graph, or a drawable graph on the device path, with one colour (each value
// clamped to 0..255); other device graphs are left as they are.
int FillGraphColor(int graph, int red, int green, int blue, int alpha);
// A graph showing a rectangle of the source, sharing its pixels; the rectangle is cut at the
// source's right and bottom edge.
int CutSubGraph(int x, int y, int width, int height, int source);
// Graphs cut from a deleted graph live on; the pixels go with the last graph that shows them.
int DeleteGraphHandle(int graph);
int DeleteAllGraphs();

// ---- Drawing graphs and boxes ----
// Into the current draw target, clipped to the draw area, in the draw state's blend mode and
// draw-bright colour. The transparent flag honours the graph's alpha channel or transparent
// colour. An empty draw area draws nothing and gives 0.
int DrawGraphAt(int x, int y, int graph, int transparent);
// Stretched into the rectangle; reversed corners mirror the graph, equal ones give -1.
int DrawGraphStretched(int x1, int y1, int x2, int y2, int graph, int transparent);
int DrawGraphStretchedF(float x1, float y1, float x2, float y2, int graph, int transparent);
int DrawGraphMirrored(int x, int y, int graph, int transparent);
// The graph's rectangle (sourceX, sourceY, width, height) at (x, y), mirrored when `mirror` is 1.
int DrawGraphRect(int x, int y, int sourceX, int sourceY, int width, int height, int graph, int transparent,
                  int mirror);
// Corners top-left, top-right, bottom-right, bottom-left.
int DrawGraphQuad(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4, int graph,
                  int transparent);
int DrawGraphPartStretchedF(float x1, float y1, float x2, float y2, int sourceX, int sourceY, int width, int height,
                            int graph, int transparent);
// Boxes of a colour code (MakeColorCode); right and bottom exclusive, corners in any order.
int DrawFilledBox(int x1, int y1, int x2, int y2, unsigned color);
// The one-pixel border of the box.
int DrawOutlineBox(int x1, int y1, int x2, int y2, unsigned color);
void DrawBoxShape(int x1, int y1, int x2, int y2, unsigned color, int fill);

// ---- Draw colours ----
// The blend mode (BLEND_MODE_*) and its parameter (clamped to 0..255).
int SetDrawBlendMode(int mode, int param);
// The colour every draw is scaled by (each value clamped to 0..255; 255, 255, 255 leaves it).
int SetDrawBright(int red, int green, int blue);

struct ColorF {
  float red;
  float green;
  float blue;
  float alpha;
};
ColorF* MakeColorF(ColorF* out, float red, float green, float blue, float alpha);

// ---- Fonts and text ----
// A font handle is a face at a size with a glyph cache of its own; up to 40 live at once. Text is
// CP932 (the font's character set), one line. Every -1 argument takes its default: the default
// face (a Japanese gothic face), size 16, thickness 6 (weight 600), type 0, the current character
// set, edge size 1, upright; slot and check value -1 make a new handle.
enum FontTypeValue : int {
  FONT_TYPE_PLAIN = 0,
  FONT_TYPE_EDGE = 1,  // An outline of the edge colour around every glyph.
  FONT_TYPE_ANTIALIAS = 2,
  FONT_TYPE_ANTIALIAS_EDGE = 3,
};
// An edge size above 1 makes an edge font of any type.
int CreateFontToHandle(const char* faceName, int size, int thickness, int fontType, int charSet, int edgeSize,
                       int italic, int slot, int checkValue);
int DeleteFontHandle(int font);
// The caller's int is set to 0 now and to 1 when the font is deleted.
int SetFontLostFlag(int font, int* flag);
// Extra pixels after every character.
int SetFontCharSpacing(int spacing, int font);
// Any pointer may be null; the face name holds 256 bytes (empty for the default face).
int QueryFontInfo(char* faceName, int* size, int* thickness, int font);
int QueryFontSize(int font);
int CheckFontHandle(int font);
int QueryDefaultFontHandle();
// Makes the default font again at this size and thickness when they changed.
int SetDefaultFontSize(const char* faceName, int size, int thickness);
// Draws the text with its top-left at (x, y) in a colour code (MakeColorCode), with edge fonts'
// edges in the edge colour; vertical 1 turns every glyph a quarter clockwise and writes downwards.
// The draw area, blend mode and draw-bright colour apply to the whole string.
int DrawTextWithFont(int x, int y, const char* text, unsigned color, int font, unsigned edgeColor, int vertical);
// The pen length of the first `length` bytes (-1: all): the sum of the advances and spacings.
int MeasureTextWidth(const char* text, int length, int font, int vertical);
