// The image loader chain: files and memory images become base images through the first loader
// that accepts their data, with the optional mirror and DIB steps and the "_a" alpha companion.
#include <cstring>

#include "graphics/images/image_loader.h"
#include "memimg/memimg_services.h"
#include "platform/gdi.h"
#include "zyvel/files.h"

namespace {

constexpr int UserImageLoaderSlots = 10;

struct UserImageLoaderTable {
  ImageLoaderFunc loaders[UserImageLoaderSlots];
  int count;
};

// Applications could add loaders here; nothing in the system does.
UserImageLoaderTable g_userImageLoaders = {};

const ImageLoaderFunc BuiltinImageLoaderTable[] = {LoadBmpImage, LoadJpegImage, LoadPngImage, LoadBgraImage,
                                                   LoadTgaImage, LoadDdsImage,  nullptr};

// A refusing loader may have left buffers in the record; they are released before the next try.
void ClearRefusedImage(BaseImage* out) {
  if (out->pixels) ZV_FREE(out->pixels);
  std::memset(out, 0, sizeof(*out));
}

bool TryLoader(ImageLoaderFunc loader, ImageLoadSource* source, BaseImage* out) {
  source->Seek(source->stream, 0, STREAM_SEEK_START);
  std::memset(out, 0, sizeof(*out));
  if (loader(source, out) == 0) return true;
  ClearRefusedImage(out);
  return false;
}

}  // namespace

int LoadBaseImageFromStream(ImageLoadSource* source, BaseImage* out) {
  std::memset(out, 0, sizeof(*out));
  for (int i = 0; i < g_userImageLoaders.count && i < UserImageLoaderSlots; ++i)
    if (TryLoader(g_userImageLoaders.loaders[i], source, out)) return 0;
  for (const ImageLoaderFunc* loader = BuiltinImageLoaderTable; *loader; ++loader)
    if (TryLoader(*loader, source, out)) return 0;
  return -1;
}

int LoadBaseImage(const char* path, const void* memoryImage, int memorySize, int fromMemory, int wantDib, int mirror,
                  BaseImage* out, BITMAPINFO** dibOut, void** bitsOut) {
  ImageLoadSource source;
  const StreamFunctionSet* functions = fromMemory ? GetMemoryStreamFuncs() : GetFileStreamFuncs();
  source.Tell = functions->Tell;
  source.Seek = functions->Seek;
  source.Read = functions->Read;
  source.Eof = functions->Eof;
  source.IdleWait = functions->IdleWait;
  source.Close = functions->Close;
  if (fromMemory) {
    MemoryStream* stream = OpenMemoryStream(memoryImage, memorySize);
    if (!stream) return -1;
    source.stream = reinterpret_cast<StreamHandle>(stream);
  } else {
    source.stream = StreamFileOpen(path, 0, 1, 0);
    if (source.stream == 0) return -1;
  }
  BaseImage image;
  const int loaded = LoadBaseImageFromStream(&source, &image);
  // A memory stream is done with once the chain has run; a file stays open until the end.
  if (fromMemory) {
    source.Close(source.stream);
    source.stream = 0;
  }
  auto fail = [&]() {
    if (source.stream != 0) source.Close(source.stream);
    return -1;
  };
  if (loaded != 0) return fail();

  if (mirror) {
    if (DecodeDxtBaseImage(&image) != 0 || image.height <= 0 || image.pitch <= 0) {
      ReleaseBaseImage(&image);
      return fail();
    }
    const int64_t size = static_cast<int64_t>(image.pitch) * image.height;
    auto* mirrored = static_cast<uint8_t*>(ZV_ALLOC(static_cast<int>(size)));
    if (!mirrored) {
      ReleaseBaseImage(&image);
      return fail();
    }
    const ImageTransferRect whole = {0, 0, image.width, image.height};
    TransferImagePixels(mirrored, image.pitch, &image.color, image.pixels, image.pitch, &image.color, 0, 0, &whole,
                        {.mirror = 1});
    ZV_FREE(image.pixels);
    image.pixels = mirrored;
  }
  if (wantDib) {
    if (DecodeDxtBaseImage(&image) != 0) {
      ReleaseBaseImage(&image);
      return fail();
    }
    // The header and a full colour table (1,068 bytes on the platform).
    auto* dib = static_cast<BITMAPINFO*>(ZV_ALLOC_ZEROED(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD) + 4));
    void* bits = nullptr;
    const int converted = dib ? ConvertBaseImageToDib(&image, dib, &bits, 0, 0) : -1;
    if (converted == -1) {
      if (dib) ZV_FREE(dib);
      ReleaseBaseImage(&image);
      return fail();
    }
    if (converted == 1) {
      ZV_FREE(image.pixels);
      image.pixels = nullptr;
    }
    if (dibOut)
      *dibOut = dib;
    else
      ZV_FREE(dib);
    if (bitsOut) *bitsOut = bits;
  } else {
    *out = image;
  }
  if (source.stream != 0) source.Close(source.stream);
  return 0;
}

int LoadBaseImagePlain(const char* path, const void* memoryImage, int memorySize, int fromMemory, BaseImage* out,
                       int mirror) {
  return LoadBaseImage(path, memoryImage, memorySize, fromMemory, 0, mirror, out, nullptr, nullptr);
}

int MakeAlphaFileName(char* out, const char* path) {
  constexpr int OutputSize = 260;
  // The name splits at the first "." of its last path component, so dots in folder names
  // ("./p.png", "data.v2/p.png") stay where they are.
  int nameStart = 0;
  for (int i = 0; path[i] != '\0';) {
    if (CheckLeadByte(path + i, CHARSET_SHIFTJIS) && path[i + 1] != '\0') {
      i += 2;
      continue;
    }
    if (path[i] == '\\' || path[i] == '/') nameStart = i + 1;
    ++i;
  }
  int split = nameStart;
  while (path[split] != '\0') {
    if (CheckLeadByte(path + split, CHARSET_SHIFTJIS) && path[split + 1] != '\0') {
      split += 2;
      continue;
    }
    if (path[split] == '.') break;
    ++split;
  }
  const size_t total = std::strlen(path) + 2;
  if (total + 1 > static_cast<size_t>(OutputSize)) {
    out[0] = '\0';
    return -1;
  }
  std::memcpy(out, path, static_cast<size_t>(split));
  out[split] = '_';
  out[split + 1] = 'a';
  std::strcpy(out + split + 2, path + split);
  return 0;
}

int LoadBaseImageWithAlpha(const char* path, const void* memoryImage, int memorySize, int fromMemory,
                           const void* alphaMemoryImage, int alphaMemorySize, int alphaSource, BaseImage* colorOut,
                           BaseImage* alphaOut, int mirror) {
  if (LoadBaseImagePlain(path, memoryImage, memorySize, fromMemory, colorOut, mirror) != 0) return -1;
  if (alphaSource == 0) {
    char alphaPath[260];
    if (!path || MakeAlphaFileName(alphaPath, path) != 0) return 1;
    return LoadBaseImagePlain(alphaPath, nullptr, 0, 0, alphaOut, mirror) == 0 ? 0 : 1;
  }
  if (alphaSource == 1)
    return LoadBaseImagePlain(nullptr, alphaMemoryImage, alphaMemorySize, 1, alphaOut, mirror) == 0 ? 0 : 1;
  return 1;
}
