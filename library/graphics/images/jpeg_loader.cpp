// JPEG loader over libjpeg: the decompressor reads through the ImageLoadSource with a source
// manager of its own; fatal errors long-jump back here. No object with a destructor lives in
// these functions, since a jump would skip it.
//
// Results: grey pictures become grey 8-bit images, colour ones RGB24 with pitch width x 3.
// CMYK and YCCK pictures are refused, and so are pictures whose data end before the first row of
// blocks of their first scan is whole: nothing of them could be shown. A picture cut later loads,
// its missing part grey.
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jerror.h>
#include <jpeglib.h>

#include "graphics/images/image_loader.h"

namespace {

constexpr int JpegInputBufferSize = 4096;

struct JpegErrorManager {
  jpeg_error_mgr manager;
  jmp_buf jump;  // Right after the error manager, where JpegErrorExit finds it.
  void (*defaultEmitMessage)(j_common_ptr, int);
};

// libjpeg's default output prints to stderr; a refused picture is reported by the chain instead.
void JpegSilentOutput(j_common_ptr) {}

}  // namespace

struct JpegReadSource {
  jpeg_source_mgr manager;
  JOCTET* buffer;
  boolean startOfFile;
  ImageLoadSource* source;
  int32_t length;
  boolean firstRowCut;  // The coded data ended inside the first row of blocks of the first scan.
};

namespace {

// True while the decoder is still on the first row of blocks of the first scan.
bool InFirstRowOfFirstScan(j_decompress_ptr info) { return info->input_scan_number <= 1 && info->input_iMCU_row == 0; }

// The Huffman decoder warns when it needs bits past the end of a scan's coded data (the end of
// the file, the end-of-image marker, or any other marker); reading ahead alone does not warn, so
// this tells a whole row from a short one.
void JpegEmitMessage(j_common_ptr common, int level) {
  auto* errors = reinterpret_cast<JpegErrorManager*>(common->err);
  if (level < 0 && common->is_decompressor && common->err->msg_code == JWRN_HIT_MARKER) {
    auto* info = reinterpret_cast<j_decompress_ptr>(common);
    auto* reader = reinterpret_cast<JpegReadSource*>(info->src);
    if (reader && InFirstRowOfFirstScan(info)) reader->firstRowCut = TRUE;
  }
  errors->defaultEmitMessage(common, level);
}

}  // namespace

void JpegErrorExit(j_common_ptr info) {
  (*info->err->output_message)(info);
  auto* errors = reinterpret_cast<JpegErrorManager*>(info->err);
  longjmp(errors->jump, 1);
}

void JpegInitSource(j_decompress_ptr info) { reinterpret_cast<JpegReadSource*>(info->src)->startOfFile = TRUE; }

boolean JpegFillInputBuffer(j_decompress_ptr info) {
  auto* reader = reinterpret_cast<JpegReadSource*>(info->src);
  const int position = reader->source->Tell(reader->source->stream);
  int64_t remaining = position < 0 ? 0 : static_cast<int64_t>(reader->length) - position;
  if (remaining > JpegInputBufferSize) remaining = JpegInputBufferSize;
  if (remaining > 0 &&
      reader->source->Read(reader->buffer, static_cast<int>(remaining), 1, reader->source->stream) == 1) {
    reader->manager.next_input_byte = reader->buffer;
    reader->manager.bytes_in_buffer = static_cast<size_t>(remaining);
    reader->startOfFile = FALSE;
    return TRUE;
  }
  if (reader->startOfFile) ERREXIT(info, JERR_INPUT_EMPTY);
  // The arithmetic decoder gives no warning of its own; it reads about as far as it decodes.
  if (info->arith_code && InFirstRowOfFirstScan(info)) reader->firstRowCut = TRUE;
  WARNMS(info, JWRN_JPEG_EOF);
  // A picture that ends early still decodes: an end-of-image marker closes it.
  reader->buffer[0] = 0xFF;
  reader->buffer[1] = JPEG_EOI;
  reader->manager.next_input_byte = reader->buffer;
  reader->manager.bytes_in_buffer = 2;
  return TRUE;
}

void JpegSkipInputData(j_decompress_ptr info, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* manager = info->src;
  while (count > static_cast<long>(manager->bytes_in_buffer)) {
    count -= static_cast<long>(manager->bytes_in_buffer);
    (*manager->fill_input_buffer)(info);
  }
  manager->next_input_byte += count;
  manager->bytes_in_buffer -= static_cast<size_t>(count);
}

static void JpegTermSource(j_decompress_ptr) {}

void SetJpegReadSource(j_decompress_ptr info, ImageLoadSource* source) {
  if (!info->src) {
    auto* reader = static_cast<JpegReadSource*>(
        (*info->mem->alloc_small)(reinterpret_cast<j_common_ptr>(info), JPOOL_PERMANENT, sizeof(JpegReadSource)));
    reader->buffer = static_cast<JOCTET*>(
        (*info->mem->alloc_small)(reinterpret_cast<j_common_ptr>(info), JPOOL_PERMANENT, JpegInputBufferSize));
    info->src = &reader->manager;
  }
  auto* reader = reinterpret_cast<JpegReadSource*>(info->src);
  reader->manager.init_source = JpegInitSource;
  reader->manager.fill_input_buffer = JpegFillInputBuffer;
  reader->manager.skip_input_data = JpegSkipInputData;
  reader->manager.resync_to_restart = jpeg_resync_to_restart;
  reader->manager.term_source = JpegTermSource;
  reader->source = source;
  const int start = source->Tell(source->stream);
  source->Seek(source->stream, 0, STREAM_SEEK_END);
  const int end = source->Tell(source->stream);
  source->Seek(source->stream, start, STREAM_SEEK_START);
  reader->length = end < start ? 0 : end;
  reader->manager.bytes_in_buffer = 0;
  reader->manager.next_input_byte = nullptr;
  reader->firstRowCut = FALSE;
}

int LoadJpegImage(ImageLoadSource* source, BaseImage* out) {
  jpeg_decompress_struct info;
  JpegErrorManager errors;
  std::memset(&info, 0, sizeof(info));
  info.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = JpegErrorExit;
  errors.manager.output_message = JpegSilentOutput;
  errors.defaultEmitMessage = errors.manager.emit_message;
  errors.manager.emit_message = JpegEmitMessage;
  // Changed after the jump point and read after a jump: kept in memory.
  uint8_t* volatile pixels = nullptr;
  if (setjmp(errors.jump)) {
    if (pixels) ZV_FREE(pixels);
    jpeg_destroy_decompress(&info);
    return -1;
  }
  jpeg_create_decompress(&info);
  SetJpegReadSource(&info, source);
  jpeg_read_header(&info, TRUE);
  if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) ERREXIT(&info, JERR_CONVERSION_NOTIMPL);
  // The installed library writes blue, green, red itself, straight into the image rows.
  info.out_color_space = info.num_components == 1 ? JCS_GRAYSCALE : JCS_EXT_BGR;
  if (!IsImageSizeAcceptable(info.image_width, info.image_height, static_cast<int64_t>(info.image_width) * 3))
    ERREXIT(&info, JERR_IMAGE_TOO_BIG);
  jpeg_start_decompress(&info);
  const int components = info.output_components;
  const int64_t stride = static_cast<int64_t>(components) * info.output_width;
  if (components != 1 && components != 3) ERREXIT(&info, JERR_CONVERSION_NOTIMPL);
  // The first row decodes the first row of blocks (a picture of several scans was read whole by
  // the start): only then is it known whether there is anything to show, and worth the buffer.
  const auto* reader = reinterpret_cast<const JpegReadSource*>(info.src);
  JSAMPARRAY firstRow = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                                  static_cast<JDIMENSION>(stride), 1);
  if (jpeg_read_scanlines(&info, firstRow, 1) != 1 || reader->firstRowCut) ERREXIT(&info, JERR_INPUT_EOF);
  pixels = static_cast<uint8_t*>(ZV_ALLOC(static_cast<int>(stride * info.output_height)));
  if (!pixels) ERREXIT(&info, JERR_OUT_OF_MEMORY);
  std::memcpy(pixels, firstRow[0], static_cast<size_t>(stride));
  while (info.output_scanline < info.output_height) {
    JSAMPROW target = pixels + stride * info.output_scanline;
    if (jpeg_read_scanlines(&info, &target, 1) != 1) ERREXIT(&info, JERR_INPUT_EOF);
  }
  jpeg_finish_decompress(&info);
  if (components == 1)
    SetupGrey8ColorData(&out->color);
  else
    SetupRGB24ColorData(&out->color);
  out->width = static_cast<int32_t>(info.output_width);
  out->height = static_cast<int32_t>(info.output_height);
  out->pitch = static_cast<int32_t>(stride);
  out->pixels = pixels;
  jpeg_destroy_decompress(&info);
  return 0;
}
