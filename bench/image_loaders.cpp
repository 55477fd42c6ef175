// PNG and JPEG loading through the loader glue (memory stream, BaseImage) beside the raw library
// decode of the same bytes from memory. Reported as Mpixel/s; the picture is a noisy gradient.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#include "ratio_report.h"
#include "zyvel/graphics.h"

namespace {

constexpr int Width = 512;
constexpr int Height = 384;

std::vector<uint8_t> MakeRgbPicture() {
  std::vector<uint8_t> rgb(static_cast<size_t>(Width) * Height * 3);
  std::mt19937 random(3);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) {
      uint8_t* p = &rgb[(static_cast<size_t>(y) * Width + x) * 3];
      p[0] = static_cast<uint8_t>(x / 2 + random() % 16);
      p[1] = static_cast<uint8_t>(y / 2 + random() % 16);
      p[2] = static_cast<uint8_t>((x + y) / 4 + random() % 16);
    }
  return rgb;
}

std::vector<uint8_t> EncodePng(const std::vector<uint8_t>& rgb) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = Width;
  image.height = Height;
  image.format = PNG_FORMAT_RGB;
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), 0, nullptr);
  std::vector<uint8_t> out(size);
  png_image_write_to_memory(&image, out.data(), &size, 0, rgb.data(), 0, nullptr);
  out.resize(size);
  return out;
}

std::vector<uint8_t> EncodeJpeg(const std::vector<uint8_t>& rgb) {
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = Width;
  info.image_height = Height;
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 90, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(&rgb[static_cast<size_t>(info.next_scanline) * Width * 3]);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  std::vector<uint8_t> out(buffer, buffer + size);
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return out;
}

// One load through the glue; false when the loader refused the file.
bool LoadOnce(const std::vector<uint8_t>& file, int (*loader)(ImageLoadSource*, BaseImage*), BaseImage* image) {
  const StreamFunctionSet* f = GetMemoryStreamFuncs();
  ImageLoadSource source = {f->Tell, f->Seek, f->Read, f->Eof, f->IdleWait, f->Close, 0};
  source.stream = reinterpret_cast<StreamHandle>(OpenMemoryStream(file.data(), static_cast<int>(file.size())));
  const bool loaded = loader(&source, image) == 0;
  source.Close(source.stream);
  return loaded;
}

void DecodePngRaw(const std::vector<uint8_t>& file, uint8_t* pixels) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  png_image_begin_read_from_memory(&image, file.data(), file.size());
  image.format = PNG_FORMAT_BGR;
  png_image_finish_read(&image, nullptr, pixels, 0, nullptr);
}

void DecodeJpegRaw(const std::vector<uint8_t>& file, uint8_t* pixels) {
  jpeg_decompress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, file.data(), file.size());
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&info);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = &pixels[static_cast<size_t>(info.output_scanline) * Width * 3];
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
}

// Stops the run unless the glue's picture is the raw decode's (blue, green, red rows, top to
// bottom), every channel within `tolerance` levels. Once a run for each `what`.
void RequireSamePicture(const std::vector<uint8_t>& file, int (*loader)(ImageLoadSource*, BaseImage*),
                        void (*decodeRaw)(const std::vector<uint8_t>&, uint8_t*), int tolerance, const char* what) {
  if (!FirstTime(what)) return;
  std::vector<uint8_t> raw(static_cast<size_t>(Width) * Height * 3);
  decodeRaw(file, raw.data());
  BaseImage image{};
  bool same = LoadOnce(file, loader, &image) && image.width == Width && image.height == Height &&
              image.color.bytesPerPixel == 3 && image.pitch >= Width * 3;
  for (int y = 0; same && y < Height; ++y)
    for (int x = 0; x < Width * 3; ++x)
      same = same && std::abs(image.pixels[static_cast<size_t>(y) * image.pitch + x] -
                              raw[(static_cast<size_t>(y) * Width) * 3 + x]) <= tolerance;
  ReleaseBaseImage(&image);
  RequireSameOutput(same, what);
}

// Both ways run the same libpng and libjpeg (the same inverse DCT and colour conversion): the
// pictures are equal byte for byte.
constexpr int kPngTolerance = 0;
constexpr int kJpegTolerance = 0;

void LoadThroughGlue(benchmark::State& state, const std::vector<uint8_t>& file,
                     int (*loader)(ImageLoadSource*, BaseImage*)) {
  for (auto _ : state) {
    BaseImage image;
    if (!LoadOnce(file, loader, &image)) state.SkipWithError("load failed");
    ReleaseBaseImage(&image);
  }
  state.SetItemsProcessed(state.iterations() * Width * Height);
}

void PngGlue(benchmark::State& state) {
  static const auto file = EncodePng(MakeRgbPicture());
  RequireSamePicture(file, LoadPngImage, DecodePngRaw, kPngTolerance, "PNG through the glue and libpng alone");
  LoadThroughGlue(state, file, LoadPngImage);
}

void PngRawDecode(benchmark::State& state) {
  static const auto file = EncodePng(MakeRgbPicture());
  std::vector<uint8_t> pixels(static_cast<size_t>(Width) * Height * 3);
  for (auto _ : state) {
    DecodePngRaw(file, pixels.data());
    benchmark::DoNotOptimize(pixels.data());
  }
  state.SetItemsProcessed(state.iterations() * Width * Height);
}

void JpegGlue(benchmark::State& state) {
  static const auto file = EncodeJpeg(MakeRgbPicture());
  RequireSamePicture(file, LoadJpegImage, DecodeJpegRaw, kJpegTolerance, "JPEG through the glue and libjpeg alone");
  LoadThroughGlue(state, file, LoadJpegImage);
}

void JpegRawDecode(benchmark::State& state) {
  static const auto file = EncodeJpeg(MakeRgbPicture());
  std::vector<uint8_t> pixels(static_cast<size_t>(Width) * Height * 3);
  for (auto _ : state) {
    DecodeJpegRaw(file, pixels.data());
    benchmark::DoNotOptimize(pixels.data());
  }
  state.SetItemsProcessed(state.iterations() * Width * Height);
}

}  // namespace

BENCHMARK(PngRawDecode);
BENCHMARK(PngGlue);
BENCHMARK(JpegRawDecode);
BENCHMARK(JpegGlue);

int main(int argc, char** argv) {
  return RunBenchmarksWithRatios(argc, argv, "items_per_second",
                                 {{"PngGlue", "PngRawDecode"}, {"JpegGlue", "JpegRawDecode"}});
}
