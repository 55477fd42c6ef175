// The stand-in's own keyboard state, fed by the window's key events (and the test door), read by
// GetKeyboardState (by virtual key) and the DirectInput keyboard (by DirectInput key code).
#pragma once

#include "platform/types.h"

namespace platform {

// Copies the 256 key bytes by DirectInput code (bit 7 set while held).
void ReadDirectInputKeys(BYTE keys[256]);
// Copies the 256 key bytes by virtual key; VK_SHIFT, VK_CONTROL and VK_MENU are held while either
// side is, and VK_RETURN while either Enter key is.
void ReadVirtualKeys(BYTE keys[256]);
// A key by DirectInput code goes down or up.
void SetDirectInputKey(int directInputKey, bool down);
// Events signalled whenever a key changes (the DirectInput keyboards' notification events).
void AddKeyboardListener(HANDLE event);
void RemoveKeyboardListener(HANDLE event);

}  // namespace platform
