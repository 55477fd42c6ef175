// GDI objects and device contexts inside the stand-in: the records behind HGDIOBJ and HDC.
#pragma once

#include "platform/gdi.h"

namespace platform {

class GdiObject {
 public:
  explicit GdiObject(UINT kind) : kind_(kind) {}
  virtual ~GdiObject() = default;
  UINT kind() const { return kind_; }
  // GetObjectA: writes the object's description (BITMAP, LOGFONTA, ...) and returns its size;
  // with a null `out` returns the size needed.
  virtual int Describe(int size, void* out) const = 0;

 private:
  UINT kind_;
};

struct DeviceContext {
  HWND window = nullptr;  // Null for a memory context.
  bool memory = false;
  GdiObject* selectedBitmap = nullptr;
  GdiObject* selectedBrush = nullptr;
  GdiObject* selectedFont = nullptr;
  GdiObject* selectedRegion = nullptr;
  GdiObject* selectedPen = nullptr;
};

// Registers a GDI object and returns its handle; objects are deleted through DeleteObject.
HGDIOBJ RegisterGdiObject(GdiObject* object);
// The live object behind a handle, or null.
GdiObject* LookUpGdiObject(HGDIOBJ handle);
// The live device context behind a handle, or null.
DeviceContext* LookUpDeviceContext(HDC dc);

}  // namespace platform
