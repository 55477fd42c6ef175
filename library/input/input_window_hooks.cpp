// What the window calls in input: the library's start-up hands it over, and so does
// StartInputDevices for a program that starts the devices on their own.
#include "input/input_services.h"
#include "window/window_services.h"
#include "zyvel/input.h"

namespace {

int StockControlKey(int virtualKey) {
  for (int i = 0; kControlKeyTable[i][0] != 0; ++i)
    if (kControlKeyTable[i][0] == virtualKey) return StockInputChar(kControlKeyTable[i][1]);
  return 0;
}

const WindowInputHooks kInputHooks{
    .startDevices = StartInputDevices,
    .releaseDevices = ReleaseInputDevices,
    .startTextInput = InitializeTextInput,
    .imeInUse = IsImeInUse,
    .deleteAllTextInputHandles = DeleteAllTextInputHandles,
    .resetIme = RequestImeReset,
    .reacquireDevices = ReacquireInputDevices,
    .refreshEffectPlayState = RefreshEffectPlayState,
    .stockChar = StockInputChar,
    .stockControlKey = StockControlKey,
    .imeMessage = HandleImeMessage,
    .setKeyFlag1 = SetKeyFlag1,
    .clearKeyFlag1 = ClearKeyFlag1,
    .setKeyFlag2 = SetKeyFlag2,
    .clearKeyFlag2 = ClearKeyFlag2,
    .refreshKeyboard = RefreshKeyboardState,
    .processJoypadEffects = ProcessJoypadEffects,
    .processTextInput = ProcessTextInput,
};

}  // namespace

void ConnectInputToWindow() { SetWindowInputHooks(&kInputHooks); }
