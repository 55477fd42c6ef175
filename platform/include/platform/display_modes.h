// The one display the stand-in's libraries share: the desktop's mode and the full-screen modes.
// USER's display settings own it (read from SDL, or as the test door set it, and changed by
// ChangeDisplaySettingsA); Direct3D 9 and DirectDraw answer their mode queries and pace their
// vertical blank from it.
#pragma once

#include <vector>

namespace platform {

struct DisplayModeRecord {
  int width = 0;
  int height = 0;
  int bits = 32;  // Bytes per pixel times 8.
  int refresh = 60;
};

// The modes a full-screen display can take, in the order EnumDisplaySettingsA lists them.
std::vector<DisplayModeRecord> ListDisplayModes();
// The desktop's mode as it stands (after any ChangeDisplaySettingsA).
DisplayModeRecord CurrentDisplayMode();

}  // namespace platform
