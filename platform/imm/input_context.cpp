// The one input context: composition and result strings (CP932) from SDL's text events, the
// cursor, and the open status. Guarded by the USER mutex, since the events arrive through the
// USER stand-in's event translation.
#include <algorithm>
#include <cstring>

#include "imm/text_events.h"
#include "kernel/objects.h"
#include "platform/imm.h"
#include "platform/kernel.h"

namespace platform {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

struct InputContext {
  int unused = 0;
  bool composing = false;
  std::string composition;
  int cursor = 0;  // Bytes into `composition`.
  std::string result;
  bool open = true;
};

InputContext& Context() {
  static auto* context = new InputContext;
  return *context;
}

HIMC ContextHandle() { return reinterpret_cast<HIMC>(&Context()); }

void Post(WindowRecord* window, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG msg{HandleOf(window),     message, wParam, lParam, static_cast<DWORD>(NowMicroseconds() / 1000u),
          User().cursorPosition};
  PostToQueue(window->threadId, msg);
}

// The first `characters` code points of UTF-8 text.
std::string Utf8Prefix(const std::string& utf8, int characters) {
  size_t end = 0;
  for (int i = 0; i < characters && end < utf8.size(); ++i) {
    ++end;
    while (end < utf8.size() && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) ++end;
  }
  return utf8.substr(0, end);
}

LONG CopyOut(const void* data, size_t size, LPVOID buffer, DWORD bufferLength) {
  if (!buffer || bufferLength == 0) return static_cast<LONG>(size);
  size_t copied = std::min<size_t>(size, bufferLength);
  std::memcpy(buffer, data, copied);
  return static_cast<LONG>(copied);
}

}  // namespace

void OnTextEditing(WindowRecord* window, const std::string& utf8, int cursorCharacters) {
  InputContext& context = Context();
  if (utf8.empty()) {
    if (!context.composing) return;
    context.composing = false;
    context.composition.clear();
    context.cursor = 0;
    Post(window, WM_IME_COMPOSITION, 0, GCS_COMPSTR | GCS_CURSORPOS);
    Post(window, WM_IME_ENDCOMPOSITION, 0, 0);
    return;
  }
  if (!context.composing) {
    context.composing = true;
    Post(window, WM_IME_STARTCOMPOSITION, 0, 0);
  }
  context.composition = Utf8ToCp932(utf8);
  context.cursor = static_cast<int>(Utf8ToCp932(Utf8Prefix(utf8, std::max(cursorCharacters, 0))).size());
  Post(window, WM_IME_COMPOSITION, 0, GCS_COMPSTR | GCS_CURSORPOS);
}

void OnTextInput(WindowRecord* window, const std::string& utf8) {
  InputContext& context = Context();
  std::string text = Utf8ToCp932(utf8);
  if (context.composing) {
    context.result = text;
    context.composition.clear();
    context.cursor = 0;
    context.composing = false;
    Post(window, WM_IME_COMPOSITION, 0, GCS_RESULTSTR | GCS_COMPSTR | GCS_CURSORPOS);
    Post(window, WM_IME_ENDCOMPOSITION, 0, 0);
    return;
  }
  // Plain ASCII reaches the window as WM_CHAR through TranslateMessage of its key; only what no
  // key translation makes (other scripts, composed letters) comes as characters from here, one
  // WM_CHAR per byte as the ANSI window procedure sees it.
  bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) return;
  for (char c : text) Post(window, WM_CHAR, static_cast<unsigned char>(c), 1);
}

}  // namespace platform

using namespace platform;

HIMC ImmGetContext(HWND window) {
  Lock lock(User().mutex);
  return LookUpWindow(window) ? ContextHandle() : nullptr;
}

BOOL ImmReleaseContext(HWND, HIMC context) { return context == ContextHandle(); }

HIMC ImmAssociateContext(HWND window, HIMC) {
  Lock lock(User().mutex);
  return LookUpWindow(window) ? ContextHandle() : nullptr;
}

LONG ImmGetCompositionStringA(HIMC handle, DWORD index, LPVOID buffer, DWORD bufferLength) {
  Lock lock(User().mutex);
  if (handle != ContextHandle()) return IMM_ERROR_GENERAL;
  InputContext& context = Context();
  switch (index) {
    case GCS_COMPSTR:
      return CopyOut(context.composition.data(), context.composition.size(), buffer, bufferLength);
    case GCS_RESULTSTR:
      return CopyOut(context.result.data(), context.result.size(), buffer, bufferLength);
    case GCS_CURSORPOS:
      return context.cursor;
    case GCS_COMPCLAUSE: {
      if (context.composition.empty()) return 0;
      const DWORD clauses[2] = {0, static_cast<DWORD>(context.composition.size())};
      return CopyOut(clauses, sizeof(clauses), buffer, bufferLength);
    }
    default:
      return IMM_ERROR_GENERAL;
  }
}

BOOL ImmSetCompositionStringA(HIMC handle, DWORD index, LPVOID composition, DWORD compositionLength, LPVOID, DWORD) {
  Lock lock(User().mutex);
  if (handle != ContextHandle() || index != SCS_SETSTR) return FALSE;
  InputContext& context = Context();
  context.composition.assign(composition ? static_cast<const char*>(composition) : "",
                             composition ? compositionLength : 0);
  context.composing = !context.composition.empty();
  context.cursor = std::min(context.cursor, static_cast<int>(context.composition.size()));
  return TRUE;
}

DWORD ImmGetCandidateListA(HIMC, DWORD, LPCANDIDATELIST, DWORD) { return 0; }

BOOL ImmGetOpenStatus(HIMC handle) {
  Lock lock(User().mutex);
  return handle == ContextHandle() && Context().open;
}

BOOL ImmSetOpenStatus(HIMC handle, BOOL open) {
  Lock lock(User().mutex);
  if (handle != ContextHandle()) return FALSE;
  Context().open = open != FALSE;
  return TRUE;
}

BOOL ImmNotifyIME(HIMC handle, DWORD action, DWORD index, DWORD) {
  Lock lock(User().mutex);
  if (handle != ContextHandle() || action != NI_COMPOSITIONSTR) return FALSE;
  InputContext& context = Context();
  if (index == CPS_COMPLETE)
    context.result = context.composition;
  else if (index != CPS_CANCEL)
    return FALSE;
  context.composition.clear();
  context.cursor = 0;
  context.composing = false;
  return TRUE;
}
