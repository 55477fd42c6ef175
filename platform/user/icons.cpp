// Icons. An id found in the program's resources becomes an icon with a picture, read once from
// its icon file and kept for the life of the process (as shared icons are); any other id is a
// stock icon, a stable token with no picture. Only 32-bit images without compression are read:
// the picture of any other icon file, or of a damaged one, is left out and the id stays a token.
#include <cstring>

#include "platform/kernel.h"
#include "user/user_state.h"

namespace platform {
namespace {

constexpr size_t kDirectoryBytes = 6;
constexpr size_t kEntryBytes = 16;
constexpr size_t kBitmapHeaderBytes = 40;
constexpr int kLargestSide = 256;

uint32_t ReadLittle(const BYTE* bytes, size_t size) {
  uint32_t value = 0;
  for (size_t i = size; i-- > 0;) value = value << 8 | bytes[i];
  return value;
}

// One directory entry's image, when it is a 32-bit bitmap whose rows lie inside the file.
bool ReadIconImage(const BYTE* file, size_t fileSize, size_t offset, size_t imageSize, IconRecord* out) {
  if (offset > fileSize || imageSize > fileSize - offset || imageSize < kBitmapHeaderBytes) return false;
  const BYTE* image = file + offset;
  const uint32_t headerSize = ReadLittle(image, 4);
  const int32_t width = static_cast<int32_t>(ReadLittle(image + 4, 4));
  const int32_t doubledHeight = static_cast<int32_t>(ReadLittle(image + 8, 4));  // Colour rows and mask rows.
  const uint32_t planes = ReadLittle(image + 12, 2);
  const uint32_t bitCount = ReadLittle(image + 14, 2);
  const uint32_t compression = ReadLittle(image + 16, 4);
  if (headerSize < kBitmapHeaderBytes || headerSize > imageSize || planes != 1 || bitCount != 32 || compression != 0)
    return false;
  const int32_t height = doubledHeight / 2;
  if (width < 1 || width > kLargestSide || height < 1 || height > kLargestSide) return false;
  const size_t colourBytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
  if (colourBytes > imageSize - headerSize) return false;
  const BYTE* rows = image + headerSize;
  out->width = width;
  out->height = height;
  out->pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
  bool anyAlpha = false;
  for (int32_t y = 0; y < height; ++y) {
    const BYTE* row = rows + static_cast<size_t>(height - 1 - y) * static_cast<size_t>(width) * 4;  // Bottom-up.
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t pixel = ReadLittle(row + 4 * x, 4);
      anyAlpha = anyAlpha || (pixel >> 24) != 0;
      out->pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] = pixel;
    }
  }
  // An image whose alpha is all zero was made before icons had alpha: it is opaque.
  if (!anyAlpha)
    for (uint32_t& pixel : out->pixels) pixel |= 0xFF000000u;
  return true;
}

bool ReadIconFile(const BYTE* file, size_t size, IconRecord* out) {
  if (!file || size < kDirectoryBytes || ReadLittle(file, 2) != 0 || ReadLittle(file + 2, 2) != 1) return false;
  const size_t count = ReadLittle(file + 4, 2);
  for (size_t i = 0; i < count; ++i) {
    const size_t entry = kDirectoryBytes + i * kEntryBytes;
    if (entry + kEntryBytes > size) return false;
    if (ReadIconImage(file, size, ReadLittle(file + entry + 12, 4), ReadLittle(file + entry + 8, 4), out)) return true;
  }
  return false;
}

const ProgramResource* FindProgramResource(WORD type, WORD id) {
  if (!ProgramResourceTable) return nullptr;
  for (const ProgramResource* resource = ProgramResourceTable; resource->bytes; ++resource)
    if (resource->type == type && resource->id == id) return resource;
  return nullptr;
}

}  // namespace

const IconRecord* IconOf(HICON icon) {
  for (const auto& entry : User().icons)
    if (reinterpret_cast<HICON>(entry.second.get()) == icon) return entry.second.get();
  return nullptr;
}

}  // namespace platform

using namespace platform;

HICON LoadIconA(HINSTANCE, LPCSTR name) {
  uintptr_t id = reinterpret_cast<uintptr_t>(name);
  if (id == 0) return nullptr;
  if (id > 0xFFFF) return nullptr;  // Icons by name are not in any resource here.
  std::lock_guard<std::recursive_mutex> lock(User().mutex);
  auto& icons = User().icons;
  auto known = icons.find(static_cast<WORD>(id));
  if (known != icons.end()) return reinterpret_cast<HICON>(known->second.get());
  if (const ProgramResource* resource = FindProgramResource(RT_GROUP_ICON, static_cast<WORD>(id))) {
    auto icon = std::make_unique<IconRecord>();
    icon->id = static_cast<WORD>(id);
    if (ReadIconFile(resource->bytes, resource->size, icon.get())) {
      HICON handle = reinterpret_cast<HICON>(icon.get());
      icons[icon->id] = std::move(icon);
      return handle;
    }
  }
  return reinterpret_cast<HICON>(0x10000 + id);
}
