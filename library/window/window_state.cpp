#include "window/window_services.h"

WindowSystemRecord g_windowSystem;

int IsLibraryInitialised() { return g_windowSystem.initialised; }
int IsLibraryInitialising() { return g_windowSystem.initialising; }
int GetOsCode() { return g_windowSystem.osCode; }
int IsMainWindowDestroyed() { return g_windowSystem.windowDestroyed; }
int IsFloatingPointPreserved() { return g_windowSystem.preserveFloatingPoint; }
int IsLayeredMainWindow() { return g_windowSystem.layeredWindow; }
int HasCompositionSwitch() { return g_windowSystem.dwmEnableComposition != nullptr; }
const StartupOptions& GetStartupOptions() { return g_windowSystem.options; }

void GetWindowBackgroundColor(int* red, int* green, int* blue) {
  *red = g_windowSystem.backgroundRed;
  *green = g_windowSystem.backgroundGreen;
  *blue = g_windowSystem.backgroundBlue;
}
