// The clipboard: CF_TEXT only. While SDL's video runs the text goes to and comes from SDL's
// clipboard (UTF-8, converted from and to CP932); otherwise it stays in the process.
#include <SDL.h>

#include <cstring>

#include "platform/kernel.h"
#include "user/user_state.h"

namespace platform {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

struct ClipboardState {
  DWORD openThread = 0;  // 0: closed.
  bool emptiedByOpener = false;
  HGLOBAL text = nullptr;  // The CF_TEXT block the clipboard owns.
  std::string localText;   // The text when SDL has no clipboard.
  bool hasLocalText = false;
};

ClipboardState& Clipboard() {
  static auto* state = new ClipboardState;
  return *state;
}

void DropBlock() {
  if (Clipboard().text) GlobalFree(Clipboard().text);
  Clipboard().text = nullptr;
}

HGLOBAL BlockOf(const std::string& text) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  if (!block) return nullptr;
  std::memcpy(block, text.data(), text.size());
  static_cast<char*>(block)[text.size()] = 0;
  return block;
}

bool SdlClipboardUsable() { return User().videoStarted; }

// The text as it stands: SDL's when SDL has a clipboard, else the process's own. The display's
// clipboard is the only one while there is one: when another program took it and has since ended,
// there is no text, and the text this process set before is not brought back.
bool ReadText(std::string* out) {
  if (SdlClipboardUsable()) {
    if (!SDL_HasClipboardText()) return false;
    char* utf8 = SDL_GetClipboardText();
    if (!utf8) return false;
    *out = Utf8ToCp932(utf8);
    SDL_free(utf8);
    return true;
  }
  if (!Clipboard().hasLocalText) return false;
  *out = Clipboard().localText;
  return true;
}

}  // namespace
}  // namespace platform

using namespace platform;

BOOL OpenClipboard(HWND) {
  Lock lock(User().mutex);
  DWORD thread = GetCurrentThreadId();
  if (Clipboard().openThread != 0 && Clipboard().openThread != thread) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  Clipboard().openThread = thread;
  Clipboard().emptiedByOpener = false;
  return TRUE;
}

BOOL CloseClipboard() {
  Lock lock(User().mutex);
  if (Clipboard().openThread != GetCurrentThreadId()) return FALSE;
  Clipboard().openThread = 0;
  Clipboard().emptiedByOpener = false;
  return TRUE;
}

BOOL EmptyClipboard() {
  Lock lock(User().mutex);
  if (Clipboard().openThread != GetCurrentThreadId()) return FALSE;
  DropBlock();
  Clipboard().localText.clear();
  Clipboard().hasLocalText = false;
  if (SdlClipboardUsable()) SDL_SetClipboardText("");
  Clipboard().emptiedByOpener = true;
  return TRUE;
}

BOOL IsClipboardFormatAvailable(UINT format) {
  Lock lock(User().mutex);
  std::string text;
  return format == CF_TEXT && ReadText(&text) && !text.empty();
}

HANDLE GetClipboardData(UINT format) {
  Lock lock(User().mutex);
  if (Clipboard().openThread != GetCurrentThreadId() || format != CF_TEXT) return nullptr;
  std::string text;
  if (!ReadText(&text) || text.empty()) return nullptr;
  DropBlock();
  Clipboard().text = BlockOf(text);
  return Clipboard().text;
}

HANDLE SetClipboardData(UINT format, HANDLE block) {
  Lock lock(User().mutex);
  if (Clipboard().openThread != GetCurrentThreadId() || !Clipboard().emptiedByOpener || format != CF_TEXT || !block) {
    return nullptr;
  }
  SIZE_T size = GlobalSize(block);
  if (size == 0) return nullptr;
  const char* data = static_cast<const char*>(block);
  std::string text(data, strnlen(data, size));
  DropBlock();
  Clipboard().text = block;
  Clipboard().localText = text;
  Clipboard().hasLocalText = true;
  if (SdlClipboardUsable()) SDL_SetClipboardText(Cp932ToUtf8(text).c_str());
  return block;
}
