// Stand-ins for character input and the IME, until text input lands.
#include "input/input_services.h"

int InitializeTextInput() { return 0; }
int ProcessTextInput() { return 0; }
int StockInputChar(int) { return 0; }
LRESULT HandleImeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}
int DeleteAllTextInputHandles() { return 0; }
int IsImeInUse() { return 0; }
