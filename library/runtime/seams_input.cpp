// Stand-ins for keyboard, mouse and joypad input, until input lands.
#include "runtime/window_system.h"

int StartInputDevices() { return 0; }
int ReleaseInputDevices() { return 0; }
int ReacquireInputDevices() { return 0; }
int RefreshEffectPlayState() { return 0; }
int RefreshKeyboardState() { return 0; }
int ProcessJoypadEffects() { return 0; }
int SetKeyFlag1() { return 0; }
int ClearKeyFlag1() { return 0; }
int SetKeyFlag2() { return 0; }
int ClearKeyFlag2() { return 0; }
