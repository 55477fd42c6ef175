// Device contexts and the registry of GDI objects.
#include <mutex>
#include <unordered_set>

#include "platform/gdi_object.h"

namespace platform {
namespace {

struct Registry {
  std::mutex mutex;
  std::unordered_set<GdiObject*> objects;
  std::unordered_set<DeviceContext*> contexts;
};

Registry& TheRegistry() {
  static Registry* registry = new Registry;
  return *registry;
}

GdiObject** SlotFor(DeviceContext* context, UINT kind) {
  switch (kind) {
    case OBJ_BITMAP:
      return &context->selectedBitmap;
    case OBJ_BRUSH:
      return &context->selectedBrush;
    case OBJ_FONT:
      return &context->selectedFont;
    case OBJ_REGION:
      return &context->selectedRegion;
    case OBJ_PEN:
      return &context->selectedPen;
    default:
      return nullptr;
  }
}

}  // namespace

HGDIOBJ RegisterGdiObject(GdiObject* object) {
  std::lock_guard<std::mutex> lock(TheRegistry().mutex);
  TheRegistry().objects.insert(object);
  return static_cast<HGDIOBJ>(object);
}

GdiObject* LookUpGdiObject(HGDIOBJ handle) {
  std::lock_guard<std::mutex> lock(TheRegistry().mutex);
  auto* object = static_cast<GdiObject*>(handle);
  return TheRegistry().objects.count(object) ? object : nullptr;
}

DeviceContext* LookUpDeviceContext(HDC dc) {
  std::lock_guard<std::mutex> lock(TheRegistry().mutex);
  auto* context = reinterpret_cast<DeviceContext*>(dc);
  return TheRegistry().contexts.count(context) ? context : nullptr;
}

}  // namespace platform

using namespace platform;

static HDC NewContext(HWND window, bool memory) {
  auto* context = new DeviceContext;
  context->window = window;
  context->memory = memory;
  std::lock_guard<std::mutex> lock(TheRegistry().mutex);
  TheRegistry().contexts.insert(context);
  return reinterpret_cast<HDC>(context);
}

static BOOL FreeContext(HDC dc) {
  std::lock_guard<std::mutex> lock(TheRegistry().mutex);
  auto* context = reinterpret_cast<DeviceContext*>(dc);
  if (!TheRegistry().contexts.erase(context)) return FALSE;
  delete context;
  return TRUE;
}

// A null window names the whole screen, as on the platform.
HDC GetDC(HWND window) { return NewContext(window, false); }

int ReleaseDC(HWND, HDC dc) {
  DeviceContext* context = LookUpDeviceContext(dc);
  if (!context || context->memory) return 0;
  return FreeContext(dc);
}

HDC CreateCompatibleDC(HDC) { return NewContext(nullptr, true); }

BOOL DeleteDC(HDC dc) {
  DeviceContext* context = LookUpDeviceContext(dc);
  if (!context) return FALSE;
  return FreeContext(dc);
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ handle) {
  DeviceContext* context = LookUpDeviceContext(dc);
  GdiObject* object = LookUpGdiObject(handle);
  if (!context || !object) return nullptr;
  GdiObject** slot = SlotFor(context, object->kind());
  if (!slot) return nullptr;
  GdiObject* previous = *slot;
  *slot = object;
  // A memory context starts with a 1 x 1 monochrome bitmap on the platform; here it starts empty,
  // and selecting back "nothing" is done by selecting the previous object.
  return previous ? static_cast<HGDIOBJ>(previous) : handle;
}

BOOL DeleteObject(HGDIOBJ handle) {
  std::lock_guard<std::mutex> lock(TheRegistry().mutex);
  auto* object = static_cast<GdiObject*>(handle);
  if (!TheRegistry().objects.count(object)) return FALSE;
  // An object still selected into a context is not deleted, as on the platform.
  for (DeviceContext* context : TheRegistry().contexts) {
    if (context->selectedBitmap == object || context->selectedBrush == object || context->selectedFont == object ||
        context->selectedRegion == object || context->selectedPen == object)
      return FALSE;
  }
  TheRegistry().objects.erase(object);
  delete object;
  return TRUE;
}

int GetObjectA(HGDIOBJ handle, int size, LPVOID out) {
  GdiObject* object = LookUpGdiObject(handle);
  if (!object) return 0;
  return object->Describe(size, out);
}

HGDIOBJ GetCurrentObject(HDC dc, UINT kind) {
  DeviceContext* context = LookUpDeviceContext(dc);
  if (!context) return nullptr;
  GdiObject** slot = SlotFor(context, kind);
  return slot ? static_cast<HGDIOBJ>(*slot) : nullptr;
}
