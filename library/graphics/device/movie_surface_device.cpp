// The device a Theora movie makes its YUV surface on: only the hardware path has one. On the
// software path the movie converts its frames to RGB instead.
#include "graphics/device/render_device.h"
#include "graphics/graphs/screen_settings.h"
#include "graphics/screen_services.h"

IDirect3DDevice9* GetMovieSurfaceDevice() { return g_screenSettings.HardwareInUse ? g_renderDevice.Device : nullptr; }
