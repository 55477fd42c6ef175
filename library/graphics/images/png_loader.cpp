// PNG loader over libpng: the library reads through the ImageLoadSource, libpng errors long-jump
// back here. No object with a destructor lives in these functions, since a jump would skip it.
//
// Results: palette pictures stay 8-bit palette images; grey pictures become grey 8-bit images;
// anything with an alpha channel or transparency becomes 32-bit with alpha (grey ones included);
// other colour pictures become RGB24. 16-bit samples keep their high byte.
#include <png.h>
#include <csetjmp>
#include <cstring>

#include "graphics/images/image_loader.h"

struct PngReadState {
  ImageLoadSource* source;
  int32_t length;
};

namespace {

// libpng's default handlers print to stderr; a refused picture is reported by the chain instead.
void PngSilentError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngSilentWarning(png_structp, png_const_charp) {}

}  // namespace

void PngReadCallback(png_structp png, png_bytep buffer, png_size_t length) {
  auto* state = static_cast<PngReadState*>(png_get_io_ptr(png));
  const int position = state->source->Tell(state->source->stream);
  if (position < 0 || static_cast<int64_t>(state->length) - position < static_cast<int64_t>(length) ||
      length > 0x7FFFFFFF) {
    png_error(png, "Read Error");
  }
  if (length != 0 && state->source->Read(buffer, static_cast<int>(length), 1, state->source->stream) != 1)
    png_error(png, "Read Error");
}

int SetPngReadSource(png_structp png, PngReadState* state, ImageLoadSource* source) {
  state->source = source;
  const int start = source->Tell(source->stream);
  source->Seek(source->stream, 0, STREAM_SEEK_END);
  const int end = source->Tell(source->stream);
  source->Seek(source->stream, start, STREAM_SEEK_START);
  state->length = end < start ? 0 : end;
  png_set_read_fn(png, state, PngReadCallback);
  return 0;
}

int LoadPngImage(ImageLoadSource* source, BaseImage* out) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngSilentError, PngSilentWarning);
  if (!png) return -1;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return -1;
  }
  PngReadState state;
  // Changed after the jump point and read after a jump: kept in memory.
  uint8_t* volatile pixels = nullptr;
  png_bytep* volatile rows = nullptr;
  if (setjmp(png_jmpbuf(png))) {
    if (rows) ZV_FREE(rows);
    if (pixels) ZV_FREE(pixels);
    png_destroy_read_struct(&png, &info, nullptr);
    return -1;
  }
  png_set_user_limits(png, MaximumImageSide, MaximumImageSide);
  SetPngReadSource(png, &state, source);
  png_set_sig_bytes(png, 0);
  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colorType = 0, interlaceType = 0;
  png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, &interlaceType, nullptr, nullptr);

  png_set_strip_16(png);
  png_set_packing(png);
  png_set_packswap(png);
  const bool hasTransparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  bool expanded = false;
  if ((colorType == PNG_COLOR_TYPE_GRAY && bitDepth <= 8) || hasTransparency) {
    png_set_expand(png);
    expanded = true;
  }
  // Grey with alpha or transparency keeps its alpha as a 32-bit picture.
  if (colorType == PNG_COLOR_TYPE_GRAY_ALPHA || (colorType == PNG_COLOR_TYPE_GRAY && hasTransparency))
    png_set_gray_to_rgb(png);
  png_set_bgr(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);

  const png_size_t rowBytes = png_get_rowbytes(png, info);
  const int channels = png_get_channels(png, info);
  if (!IsImageSizeAcceptable(width, height, static_cast<int64_t>(rowBytes))) png_error(png, "Image too large");
  rows = static_cast<png_bytep*>(ZV_ALLOC(static_cast<int>(sizeof(png_bytep) * height)));
  pixels = static_cast<uint8_t*>(ZV_ALLOC(static_cast<int>(rowBytes * height)));
  if (!rows || !pixels) png_error(png, "Out of memory");
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = pixels + rowBytes * y;
  png_read_image(png, rows);
  ZV_FREE(rows);
  rows = nullptr;
  png_read_end(png, nullptr);

  if (colorType == PNG_COLOR_TYPE_PALETTE && !expanded) {
    SetupPalette8ColorData(&out->color);
    std::memset(out->color.palette, 0, sizeof(out->color.palette));
    png_colorp palette = nullptr;
    int count = 0;
    if (png_get_PLTE(png, info, &palette, &count) != 0) {
      for (int i = 0; i < count && i < 256; ++i)
        out->color.palette[i] = {palette[i].blue, palette[i].green, palette[i].red, 0};
    }
  } else if (channels == 1) {
    SetupGrey8ColorData(&out->color);
  } else if (channels == 4) {
    SetupARGB8ColorData(&out->color);
  } else {
    SetupRGB24ColorData(&out->color);
  }
  out->width = static_cast<int32_t>(width);
  out->height = static_cast<int32_t>(height);
  out->pitch = static_cast<int32_t>(rowBytes);
  out->pixels = pixels;
  png_destroy_read_struct(&png, &info, nullptr);
  return 0;
}
