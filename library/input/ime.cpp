// The IME side of character input: the composition string, its cursor and clauses, the
// candidate list, the enable switch, the reset that follows re-activation, and the composition
// limits of the active handle. Every read from the IME passes its buffer's length.
#include "input/input_services.h"
#include "input/text_input.h"
#include "platform/imm.h"
#include "window/window_services.h"

namespace {

constexpr uint64_t kOpenStatusWaitMicroseconds = 2000;

void ReadComposition(HIMC context) {
  TextInputState& state = g_textInput;
  LONG length = ImmGetCompositionStringA(context, GCS_COMPSTR, state.composition, sizeof(state.composition) - 1);
  if (length < 0) length = 0;
  state.composition[length] = 0;
}

void FreeCandidateList() {
  if (g_textInput.candidateList) ZV_FREE(g_textInput.candidateList);
  g_textInput.candidateList = nullptr;
  g_textInput.candidateListSize = 0;
}

unsigned HexOf(const void* pointer) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer)); }

void ReadCandidateList(HWND window, HIMC context) {
  DWORD size = ImmGetCandidateListA(context, 0, nullptr, 0);
  if (size == 0) {
    WriteLogFormat("漢字変換候補のデータサイズが０でした  DefHWND:%x IMC:%x\n", HexOf(window), HexOf(context));
    return;
  }
  FreeCandidateList();
  void* list = ZV_ALLOC(static_cast<int>(size));
  if (!list)
    AbortWithLogFormat("漢字変換候補を保存するメモリの確保に失敗しました( 確保しようとしたサイズ %d バイト )",
                       static_cast<int>(size));
  if (ImmGetCandidateListA(context, 0, static_cast<LPCANDIDATELIST>(list), size) == 0) {
    ZV_FREE(list);
    WriteLogFormat("漢字変換候補の取得に失敗しました  BufSize:%d\n", static_cast<int>(size));
    return;
  }
  g_textInput.candidateList = list;
  g_textInput.candidateListSize = static_cast<int>(size);
}

LRESULT OnNotify(HWND window, WPARAM wParam, LPARAM lParam) {
  TextInputState& state = g_textInput;
  switch (wParam) {
    case IMN_CHANGECANDIDATE:
    case IMN_OPENCANDIDATE:
    case IMN_SETCANDIDATEPOS: {
      HIMC context = ImmGetContext(window);
      ReadCandidateList(window, context);
      ImmReleaseContext(window, context);
      return 0;
    }
    case IMN_CLOSECANDIDATE:
      FreeCandidateList();
      return 0;
    case IMN_SETOPENSTATUS: {
      if (state.openStatusWaitRunning) return DefWindowProcA(window, WM_IME_NOTIFY, wParam, lParam);
      state.openStatusWaitRunning = 1;
      LRESULT result = DefWindowProcA(window, WM_IME_NOTIFY, wParam, lParam);
      // The IME settles its open state through messages of its own.
      uint64_t start = GetMicrosecondCount(0);
      while (GetMicrosecondCount(0) - start < kOpenStatusWaitMicroseconds)
        if (PumpWindowMessages() != 0) break;
      HIMC context = ImmGetContext(window);
      state.imeOpen = ImmGetOpenStatus(context) ? 1 : 0;
      ImmReleaseContext(window, context);
      state.openStatusWaitRunning = 0;
      return result;
    }
    default:
      return DefWindowProcA(window, WM_IME_NOTIFY, wParam, lParam);
  }
}

// Cuts the composition to whole characters within `limit` bytes and sets it back into the IME.
void CutComposition(int limit) {
  TextInputState& state = g_textInput;
  int length = 0;
  while (state.composition[length]) ++length;
  if (length <= limit) return;
  int cut = 0;
  while (cut < length) {
    int size = CheckLeadByte(state.composition + cut, GetCharSet()) && state.composition[cut + 1] ? 2 : 1;
    if (cut + size > limit) break;
    cut += size;
  }
  state.composition[cut] = 0;
  HWND window = GetMainWindow();
  HIMC context = ImmGetContext(window);
  if (!context) return;
  ImmNotifyIME(context, NI_COMPOSITIONSTR, CPS_CANCEL, 0);
  ImmSetCompositionStringA(context, SCS_SETSTR, state.composition, static_cast<DWORD>(cut), nullptr, 0);
  ImmReleaseContext(window, context);
}

}  // namespace

int SetImeEnabled(int flag) {
  TextInputState& state = g_textInput;
  if (flag == state.imeEnabled) return 0;
  state.imeEnabled = flag;
  WINNLSEnableIME(GetMainWindow(), flag);
  if (!flag) {
    FreeCandidateList();
    state.composition[0] = 0;
    state.composing = 0;
  }
  return 0;
}

int IsImeInUse() { return g_textInput.imeEnabled; }

void RequestImeReset() {
  if (g_textInput.imeEnabled == 1 && g_textInput.imeOpen == 1) g_textInput.pendingImeReset = 1;
}

int RunPendingImeReset() {
  TextInputState& state = g_textInput;
  if (state.pendingImeReset == 0) return 0;
  HWND window = GetMainWindow();
  HIMC context = ImmGetContext(window);
  for (int step = state.pendingImeReset; step <= 4 && context; ++step) {
    switch (step) {
      case 1:
        CopyStringN(state.savedComposition, state.composition, sizeof(state.savedComposition) - 1);
        ImmNotifyIME(context, NI_COMPOSITIONSTR, CPS_CANCEL, 0);
        break;
      case 2:
        ImmSetOpenStatus(context, FALSE);
        break;
      case 3:
        ImmSetOpenStatus(context, TRUE);
        break;
      default: {
        ImmSetOpenStatus(context, TRUE);
        int length = 0;
        while (state.savedComposition[length]) ++length;
        if (length > 0)
          ImmSetCompositionStringA(context, SCS_SETSTR, state.savedComposition, static_cast<DWORD>(length), nullptr, 0);
        break;
      }
    }
  }
  if (context) ImmReleaseContext(window, context);
  state.pendingImeReset = 0;
  return 0;
}

int LimitComposition(int freeSpace) {
  const TextInputState& state = g_textInput;
  if (state.limitToFreeSpace) CutComposition(freeSpace < 0 ? 0 : freeSpace);
  if (state.fixedLimit > 0) CutComposition(state.fixedLimit);
  return 0;
}

LRESULT HandleImeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  TextInputState& state = g_textInput;
  state.imeUsed = 1;
  RestartCursorBlink();
  switch (message) {
    case WM_IME_STARTCOMPOSITION:
      state.composing = 1;
      state.compositionCursor = 0;
      return 0;
    case WM_IME_ENDCOMPOSITION:
      state.composition[0] = 0;
      state.composing = 0;
      return 0;
    case WM_IME_COMPOSITION: {
      HIMC context = ImmGetContext(window);
      if (lParam & GCS_COMPSTR) ReadComposition(context);
      if (lParam & GCS_RESULTSTR) {
        char result[kCompositionSize];
        LONG length = ImmGetCompositionStringA(context, GCS_RESULTSTR, result, sizeof(result));
        for (LONG i = 0; i < length; ++i) StockInputChar(static_cast<unsigned char>(result[i]));
        ReadComposition(context);
      }
      if (lParam & GCS_CURSORPOS) {
        LONG position = ImmGetCompositionStringA(context, GCS_CURSORPOS, nullptr, 0);
        state.compositionCursor = CountCharacters(state.composition, position < 0 ? 0 : position);
      }
      if (lParam & GCS_COMPCLAUSE) {
        LONG bytes = ImmGetCompositionStringA(context, GCS_COMPCLAUSE, state.clauses, sizeof(state.clauses));
        state.clauseCount = bytes > 0 ? bytes / 4 : 0;
      }
      ImmReleaseContext(window, context);
      return 0;
    }
    case WM_IME_SETCONTEXT:
      // The IME draws none of its own windows: the library shows the composition.
      return DefWindowProcA(window, message, wParam, 0);
    case WM_IME_NOTIFY:
      return OnNotify(window, wParam, lParam);
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}
