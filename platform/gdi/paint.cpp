// Device capabilities, brushes and rectangle fills.
#include <SDL.h>

#include "platform/gdi_object.h"
#include "user/user_state.h"

namespace platform {
namespace {

class BrushObject : public GdiObject {
 public:
  explicit BrushObject(COLORREF color, bool hollow) : GdiObject(OBJ_BRUSH), color_(color), hollow_(hollow) {}
  COLORREF color() const { return color_; }
  bool hollow() const { return hollow_; }
  // LOGBRUSH: style, colour, hatch.
  int Describe(int size, void* out) const override {
    struct LogBrush {
      UINT style;
      COLORREF color;
      ULONG_PTR hatch;
    };
    if (!out) return sizeof(LogBrush);
    if (size < static_cast<int>(sizeof(LogBrush))) return 0;
    *static_cast<LogBrush*>(out) = LogBrush{hollow_ ? 1u : 0u, color_, 0};
    return sizeof(LogBrush);
  }

 private:
  COLORREF color_;
  bool hollow_;
};

}  // namespace
}  // namespace platform

using namespace platform;

int GetDeviceCaps(HDC dc, int index) {
  DeviceContext* context = LookUpDeviceContext(dc);
  if (!context) return 0;
  std::lock_guard<std::recursive_mutex> lock(User().mutex);
  EnsureDisplay();
  const DisplayMode& mode = User().currentDesktop;
  switch (index) {
    case PLANES:
      return 1;
    case BITSPIXEL:
      return mode.bits;
    case HORZRES:
      return mode.width;
    case VERTRES:
      return mode.height;
    case VREFRESH:
      return mode.refresh;
    default:
      return 0;
  }
}

HBRUSH CreateSolidBrush(COLORREF color) {
  return static_cast<HBRUSH>(RegisterGdiObject(new BrushObject(color & 0xFFFFFF, false)));
}

HGDIOBJ GetStockObject(int index) {
  static HGDIOBJ white = RegisterGdiObject(new BrushObject(RGB(255, 255, 255), false));
  static HGDIOBJ black = RegisterGdiObject(new BrushObject(RGB(0, 0, 0), false));
  static HGDIOBJ hollow = RegisterGdiObject(new BrushObject(0, true));
  switch (index) {
    case WHITE_BRUSH:
      return white;
    case BLACK_BRUSH:
      return black;
    case NULL_BRUSH:
      return hollow;
    default:
      return nullptr;
  }
}

// A fill of a window's device context shows in its SDL window at once.
int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
  DeviceContext* context = LookUpDeviceContext(dc);
  auto* object = dynamic_cast<BrushObject*>(LookUpGdiObject(brush));
  if (!context || !rect || !object) return 0;
  if (object->hollow() || !context->window) return 1;
  SDL_Window* window = SdlWindowOf(context->window);
  if (!window) return 1;
  SDL_Surface* surface = SDL_GetWindowSurface(window);
  if (!surface) return 1;
  SDL_Rect area{rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top};
  COLORREF color = object->color();
  SDL_FillRect(surface, &area, SDL_MapRGB(surface->format, GetRValue(color), GetGValue(color), GetBValue(color)));
  SDL_UpdateWindowSurface(window);
  return 1;
}
