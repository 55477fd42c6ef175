// Keyboard, mouse device and joypad input through DirectInput 7 (else 8), or without DirectInput
// through the Windows keyboard state and the WinMM joystick calls.
#include "input/input.h"

#include <cstring>

#include "input/input_services.h"
#include "platform/kernel.h"
#include "platform/user.h"
#include "platform/winmm.h"
#include "window/window_services.h"
#include "zyvel/runtime.h"

InputDeviceState g_input;

namespace {

constexpr DWORD kCooperativeBackground = DISCL_NONEXCLUSIVE | DISCL_BACKGROUND;  // 10
constexpr DWORD kCooperativeForeground = DISCL_EXCLUSIVE | DISCL_FOREGROUND;     // 5

struct VirtualKeyRow {
  WORD virtualKey;
  WORD directInputKey;
  WORD unused;
};

// Virtual key to DirectInput code; the rows after F12 follow the Japanese keyboard layout.
const VirtualKeyRow kVirtualKeyTable[] = {
    {'A', DIK_A, 0},
    {'B', DIK_B, 0},
    {'C', DIK_C, 0},
    {'D', DIK_D, 0},
    {'E', DIK_E, 0},
    {'F', DIK_F, 0},
    {'G', DIK_G, 0},
    {'H', DIK_H, 0},
    {'I', DIK_I, 0},
    {'J', DIK_J, 0},
    {'K', DIK_K, 0},
    {'L', DIK_L, 0},
    {'M', DIK_M, 0},
    {'N', DIK_N, 0},
    {'O', DIK_O, 0},
    {'P', DIK_P, 0},
    {'Q', DIK_Q, 0},
    {'R', DIK_R, 0},
    {'S', DIK_S, 0},
    {'T', DIK_T, 0},
    {'U', DIK_U, 0},
    {'V', DIK_V, 0},
    {'W', DIK_W, 0},
    {'X', DIK_X, 0},
    {'Y', DIK_Y, 0},
    {'Z', DIK_Z, 0},
    {'0', DIK_0, 0},
    {'1', DIK_1, 0},
    {'2', DIK_2, 0},
    {'3', DIK_3, 0},
    {'4', DIK_4, 0},
    {'5', DIK_5, 0},
    {'6', DIK_6, 0},
    {'7', DIK_7, 0},
    {'8', DIK_8, 0},
    {'9', DIK_9, 0},
    {VK_LEFT, DIK_LEFT, 1},
    {VK_RIGHT, DIK_RIGHT, 1},
    {VK_UP, DIK_UP, 1},
    {VK_DOWN, DIK_DOWN, 1},
    {VK_DELETE, DIK_DELETE, 1},
    {VK_ESCAPE, DIK_ESCAPE, 0},
    {VK_SPACE, DIK_SPACE, 0},
    {VK_BACK, DIK_BACK, 0},
    {VK_TAB, DIK_TAB, 0},
    {VK_RETURN, DIK_RETURN, 0},
    {VK_NUMPAD0, DIK_NUMPAD0, 0},
    {VK_NUMPAD1, DIK_NUMPAD1, 0},
    {VK_NUMPAD2, DIK_NUMPAD2, 0},
    {VK_NUMPAD3, DIK_NUMPAD3, 0},
    {VK_NUMPAD4, DIK_NUMPAD4, 0},
    {VK_NUMPAD5, DIK_NUMPAD5, 0},
    {VK_NUMPAD6, DIK_NUMPAD6, 0},
    {VK_NUMPAD7, DIK_NUMPAD7, 0},
    {VK_NUMPAD8, DIK_NUMPAD8, 0},
    {VK_NUMPAD9, DIK_NUMPAD9, 0},
    {VK_MULTIPLY, DIK_MULTIPLY, 0},
    {VK_ADD, DIK_ADD, 0},
    {VK_SUBTRACT, DIK_SUBTRACT, 0},
    {VK_DECIMAL, DIK_DECIMAL, 0},
    {VK_DIVIDE, DIK_DIVIDE, 1},
    {VK_LSHIFT, DIK_LSHIFT, 0},
    {VK_RSHIFT, DIK_RSHIFT, 0},
    {VK_LCONTROL, DIK_LCONTROL, 0},
    {VK_RCONTROL, DIK_RCONTROL, 1},
    {VK_PRIOR, DIK_PRIOR, 1},
    {VK_NEXT, DIK_NEXT, 1},
    {VK_END, DIK_END, 1},
    {VK_HOME, DIK_HOME, 1},
    {VK_INSERT, DIK_INSERT, 1},
    {VK_LMENU, DIK_LMENU, 0},
    {VK_RMENU, DIK_RMENU, 1},
    {VK_SCROLL, DIK_SCROLL, 0},
    {VK_CAPITAL, DIK_CAPITAL, 0},
    {VK_PAUSE, DIK_PAUSE, 0},
    {VK_F1, DIK_F1, 0},
    {VK_F2, DIK_F2, 0},
    {VK_F3, DIK_F3, 0},
    {VK_F4, DIK_F4, 0},
    {VK_F5, DIK_F5, 0},
    {VK_F6, DIK_F6, 0},
    {VK_F7, DIK_F7, 0},
    {VK_F8, DIK_F8, 0},
    {VK_F9, DIK_F9, 0},
    {VK_F10, DIK_F10, 0},
    {VK_F11, DIK_F11, 0},
    {VK_F12, DIK_F12, 0},
    {VK_OEM_PLUS, DIK_SEMICOLON, 0},
    {VK_OEM_1, DIK_COLON, 0},
    {VK_OEM_4, DIK_LBRACKET, 0},
    {VK_OEM_6, DIK_RBRACKET, 0},
    {VK_OEM_3, DIK_AT, 0},
    {VK_OEM_102, DIK_BACKSLASH, 0},
    {VK_OEM_COMMA, DIK_COMMA, 0},
    {VK_OEM_MINUS, DIK_MINUS, 0},
    {VK_OEM_5, DIK_YEN, 0},
    {VK_OEM_PERIOD, DIK_PERIOD, 0},
    {VK_OEM_2, DIK_SLASH, 0},
    {VK_RETURN, DIK_NUMPADENTER, 1},
    {0xFFFF, 0, 0},
};
static_assert(sizeof(kVirtualKeyTable) / sizeof(kVirtualKeyTable[0]) == 100, "99 rows and the end row");

// The default keys of pad 1, by result bit.
struct DefaultKeys {
  int bit;
  int keys[2];
};
const DefaultKeys kPadOneDefaults[] = {
    {0, {DIK_NUMPAD2, DIK_DOWN}},
    {1, {DIK_NUMPAD4, DIK_LEFT}},
    {2, {DIK_NUMPAD6, DIK_RIGHT}},
    {3, {DIK_NUMPAD8, DIK_UP}},
    {4, {DIK_Z, -1}},
    {5, {DIK_X, -1}},
    {6, {DIK_C, -1}},
    {7, {DIK_A, -1}},
    {8, {DIK_S, -1}},
    {9, {DIK_D, -1}},
    {10, {DIK_Q, -1}},
    {11, {DIK_W, -1}},
    {12, {DIK_ESCAPE, -1}},
    {13, {DIK_SPACE, -1}},
};

bool IsStarted() { return g_input.directInput != nullptr; }
bool UsesDirectInput() { return IsStarted() && g_input.directInput != kWinmmInterface; }

bool IsSignalled(HANDLE event) { return event && WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

template <typename Interface>
void ReleaseInterface(Interface*& object) {
  if (object) object->Release();
  object = nullptr;
}

// Creates a device with the interface of the DirectInput version in use.
HRESULT CreateInputDevice(REFGUID device, IDirectInputDevice7A** out) {
  *out = nullptr;
  if (g_input.directInput8) {
    IDirectInputDevice8A* created = nullptr;
    HRESULT result = static_cast<IDirectInput8A*>(g_input.directInput)->CreateDevice(device, &created, nullptr);
    *out = created;
    return result;
  }
  return static_cast<IDirectInput7A*>(g_input.directInput)
      ->CreateDeviceEx(device, IID_IDirectInputDevice7A, reinterpret_cast<void**>(out), nullptr);
}

void ReleaseKeyboardDevice() {
  if (g_input.keyboardDevice) {
    g_input.keyboardDevice->Unacquire();
    g_input.keyboardDevice->SetEventNotification(nullptr);
    ReleaseInterface(g_input.keyboardDevice);
  }
  if (g_input.keyboardEvent) CloseHandle(g_input.keyboardEvent);
  g_input.keyboardEvent = nullptr;
}

void ReleaseMouseDevice() {
  if (g_input.mouseDevice) g_input.mouseDevice->Unacquire();
  ReleaseInterface(g_input.mouseDevice);
}

// Releases every device and the interface, then ends the program with the message.
[[noreturn]] void AbortInputStart(const char* message) {
  ReleaseJoypads();
  ReleaseKeyboardDevice();
  ReleaseMouseDevice();
  ReleaseInterface(g_input.directInput);
  AbortWithLog(message);
}

void ClearRecordForStart() {
  InputDeviceState kept = g_input;
  std::memset(&g_input, 0, sizeof(g_input));
  g_input.winmmMode = kept.winmmMode;
  g_input.noForceFeedback = kept.noForceFeedback;
  g_input.keepDirectInputKeyboard = kept.keepDirectInputKeyboard;
  g_input.windowsKeyboardOnly = kept.windowsKeyboardOnly;
  g_input.keyPadMapReady = kept.keyPadMapReady;
  std::memcpy(g_input.keyPadMap, kept.keyPadMap, sizeof(g_input.keyPadMap));
}

void CreateDirectInputObject() {
  AddLogText("DirectInput関係初期化処理\n");
  AddLogText("DirectInput7 の取得中... ");
  IDirectInput7A* input7 = nullptr;
  HRESULT result = CoCreateInstance(CLSID_DirectInput, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectInput7A,
                                    reinterpret_cast<void**>(&input7));
  if (FAILED(result)) {
    AddLogText("取得に失敗。\n");
    WriteLogFormat("エラーコード 0x%x", static_cast<unsigned>(result));
  } else if (FAILED(input7->Initialize(GetModuleHandleA(nullptr), 0x0700))) {
    AddLogText("初期化に失敗。");
    ReleaseInterface(input7);
  }
  if (input7) {
    g_input.directInput = input7;
    AddLogText("初期化成功\n");
    return;
  }
  AddLogText("DirectInput8 の取得を試みます...");
  IDirectInput8A* input8 = nullptr;
  result = CoCreateInstance(CLSID_DirectInput8, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectInput8A,
                            reinterpret_cast<void**>(&input8));
  if (FAILED(result)) {
    AddLogText("取得に失敗。\n");
    return;
  }
  if (FAILED(input8->Initialize(GetModuleHandleA(nullptr), 0x0800))) {
    AddLogText("初期化に失敗。");
    ReleaseInterface(input8);
    return;
  }
  g_input.directInput = input8;
  g_input.directInput8 = 1;
  AddLogText("初期化成功\n");
}

// Returns -1 when the keyboard's notification cannot be set up (the Windows path then reads keys).
int SetUpKeyboardDevice() {
  AddLogText("キーボードデバイスの初期化... ");
  if (FAILED(CreateInputDevice(GUID_SysKeyboard, &g_input.keyboardDevice)))
    AbortInputStart("キーボードデバイスの取得に失敗しました");
  if (FAILED(g_input.keyboardDevice->SetDataFormat(&c_dfDIKeyboard)))
    AbortInputStart("キーボードデバイスのデータ形式の設定に失敗しました");
  if (FAILED(g_input.keyboardDevice->SetCooperativeLevel(GetMainWindow(), kCooperativeBackground)))
    AbortInputStart("キーボードデバイスの協調レベルの設定に失敗しました");
  DIPROPDWORD buffer = {{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), 0, DIPH_DEVICE}, 100};
  if (FAILED(g_input.keyboardDevice->SetProperty(DIPROP_BUFFERSIZE, &buffer.diph)))
    AddLogText("キーボードのプロパティ設定に失敗しました\n");
  g_input.keyboardEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HRESULT result = g_input.keyboardDevice->SetEventNotification(g_input.keyboardEvent);
  if (result != DI_OK && result != DI_POLLEDDEVICE) {
    AddLogText("キーボードイベントのセットアップが失敗しました\n");
    ReleaseKeyboardDevice();
    return -1;
  }
  if (FAILED(g_input.keyboardDevice->Acquire()) && FAILED(g_input.keyboardDevice->Acquire()))
    AbortInputStart("キーボードデバイスの取得に失敗しました");
  AddLogText("DirectInput 関連の初期化は正常に終了しました\n");
  return 0;
}

void StartWinmmMode() {
  AddLogText("DirectInput を使用しません。\n");
  g_input.winmmMode = 1;
  int count = 0;
  for (; count < kMaxJoypads; ++count) {
    JOYCAPSA caps;
    if (joyGetDevCapsA(static_cast<UINT_PTR>(count), &caps, sizeof(caps)) != JOYERR_NOERROR) break;
    g_input.pads[count].hasZR = (caps.wCaps & JOYCAPS_HASZ) && (caps.wCaps & JOYCAPS_HASR);
  }
  WriteLogFormat("パッドの数は %d 個です", count);
  g_input.directInput = kWinmmInterface;
  AddLogText("入力関連の初期化をしました\n");
  // Absent joysticks read as zero, so every pad number answers.
  g_input.padCount = kMaxJoypads;
}

void FillDefaultKeyPadMap() {
  for (auto& pad : g_input.keyPadMap)
    for (auto& bit : pad)
      for (int& key : bit) key = -1;
  for (const DefaultKeys& entry : kPadOneDefaults)
    for (int i = 0; i < 2; ++i) g_input.keyPadMap[0][entry.bit][i] = entry.keys[i];
  g_input.keyPadMapReady = 1;
}

BOOL AddJoypad(LPCDIDEVICEINSTANCEA instance, LPVOID) {
  AddLogText("入力装置を見つけました\n");
  JoypadRecord& pad = g_input.pads[g_input.padCount];
  std::memset(&pad, 0, sizeof(pad));
  if (FAILED(CreateInputDevice(instance->guidInstance, &pad.device))) {
    AddLogText("入力装置の取得に失敗しました\n");
    return DIENUM_CONTINUE;
  }
  DIDEVICEINSTANCEA info = {};
  info.dwSize = sizeof(info);
  pad.device->GetDeviceInfo(&info);
  CopyStringN(pad.instanceName, info.tszInstanceName, MAX_PATH - 1);
  CopyStringN(pad.productName, info.tszProductName, MAX_PATH - 1);
  PushLogIndent();
  WriteLogFormat("デバイスの登録名:%s", pad.instanceName);
  WriteLogFormat("デバイスの製品登録名:%s", pad.productName);
  PopLogIndent();

  auto giveUp = [&pad](const char* message) {
    ReleaseInterface(pad.device);
    AddLogText(message);
    return DIENUM_CONTINUE;
  };
  if (FAILED(pad.device->SetDataFormat(&c_dfDIJoystick)))
    return giveUp("ジョイパッドデバイスではありませんでした、又は設定に失敗しました\n");
  if (FAILED(pad.device->SetCooperativeLevel(GetMainWindow(), kCooperativeForeground)))
    AddLogText("ジョイパッドデバイスの協調レベルの設定に失敗しました\n");

  const DWORD axes[4] = {DIJOFS_X, DIJOFS_Y, DIJOFS_Z, DIJOFS_RZ};
  for (int i = 0; i < 4; ++i) {
    DIPROPRANGE range = {{sizeof(DIPROPRANGE), sizeof(DIPROPHEADER), axes[i], DIPH_BYOFFSET}, -1000, 1000};
    if (FAILED(pad.device->SetProperty(DIPROP_RANGE, &range.diph)) && i < 2)
      return giveUp(i == 0 ? "ジョイパッドデバイスのＸ軸関係の設定に失敗しました\n"
                           : "ジョイパッドデバイスのＹ軸関係の設定に失敗しました\n");
  }
  for (int i = 0; i < 4; ++i) {
    DIPROPDWORD zone = {{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), axes[i], DIPH_BYOFFSET}, 5000};
    if (FAILED(pad.device->SetProperty(DIPROP_DEADZONE, &zone.diph)) && i < 2)
      return giveUp(i == 0 ? "ジョイパッドデバイスのＸ軸の無効ゾーンの設定に失敗しました\n"
                           : "ジョイパッドデバイスのＹ軸の無効ゾーンの設定に失敗しました\n");
  }

  if (!g_input.noForceFeedback) {
    DWORD effectAxes[2] = {DIJOFS_X, DIJOFS_Y};
    LONG directions[2] = {0, 0};
    DIENVELOPE envelope = {sizeof(DIENVELOPE), 0, 500000, 0, 1000000};
    DIPERIODIC periodic = {10000, 0, 0, 1500000};
    DIEFFECT effect = {};
    effect.dwSize = sizeof(DIEFFECT);
    effect.dwFlags = DIEFF_POLAR | DIEFF_OBJECTOFFSETS;
    effect.dwDuration = INFINITE;
    effect.dwGain = 10000;
    effect.dwTriggerButton = DIEB_NOTRIGGER;
    effect.cAxes = 2;
    effect.rgdwAxes = effectAxes;
    effect.rglDirection = directions;
    effect.lpEnvelope = &envelope;
    effect.cbTypeSpecificParams = sizeof(DIPERIODIC);
    effect.lpvTypeSpecificParams = &periodic;
    if (FAILED(pad.device->CreateEffect(GUID_Sine, &effect, &pad.periodicEffect, nullptr)))
      pad.periodicEffect = nullptr;

    DICONSTANTFORCE constant = {10000};
    effect.dwFlags = DIEFF_CARTESIAN | DIEFF_OBJECTOFFSETS;
    effect.lpEnvelope = nullptr;
    effect.cbTypeSpecificParams = sizeof(DICONSTANTFORCE);
    effect.lpvTypeSpecificParams = &constant;
    if (FAILED(pad.device->CreateEffect(GUID_ConstantForce, &effect, &pad.constantEffect, nullptr))) {
      AddLogText("周期的エフェクトの作成に失敗しました。\n");
      pad.constantEffect = nullptr;
    }
  }

  pad.vibrating = 0;
  pad.vibrationPower = 10000;
  pad.constantPlaying = pad.periodicPlaying = 0;
  pad.notifyEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HRESULT result = pad.device->SetEventNotification(pad.notifyEvent);
  if (result != DI_OK && result != DI_POLLEDDEVICE) {
    AddLogText("ジョイパッドイベントのセットアップが失敗しました\n");
    ReleaseInterface(pad.constantEffect);
    ReleaseInterface(pad.periodicEffect);
    ReleaseInterface(pad.device);
    CloseHandle(pad.notifyEvent);
    pad.notifyEvent = nullptr;
    return DIENUM_CONTINUE;
  }
  pad.device->Acquire();
  std::memset(&pad.state, 0, sizeof(pad.state));
  ++g_input.padCount;
  AddLogText("ジョイパッドの追加は正常に終了しました\n");
  return g_input.padCount >= kMaxJoypads ? DIENUM_STOP : DIENUM_CONTINUE;
}

// WinMM positions 0..65535 to -1000..1000 with a dead band across the middle half.
LONG WinmmAxis(DWORD value) {
  const int v = static_cast<int>(value);
  if (v < 0x4000) return (v - 0x4000) * 1000 / 16384;
  if (v <= 0xC000) return 0;
  return (v - 0xC000) * 1000 / 16384;
}

bool UsesWindowsKeyboard() {
  return g_input.winmmMode || g_input.windowsKeyboardOnly || !g_input.keyboardDevice ||
         (GetOsCode() >= OS_CODE_VISTA && !g_input.keepDirectInputKeyboard);
}

int RefreshFromWindowsKeyboard() {
  if (!IsApiLockHeldByCurrentThread()) return 0;
  const DWORD now = timeGetTime();
  if (now == g_input.lastKeyboardPoll) return 0;
  if (PumpWindowMessages() != 0) return 0;
  BYTE virtualKeys[256];
  GetKeyboardState(virtualKeys);
  std::memset(g_input.keyState, 0, sizeof(g_input.keyState));
  for (const VirtualKeyRow* row = kVirtualKeyTable; row->virtualKey != 0xFFFF; ++row)
    g_input.keyState[row->directInputKey] = virtualKeys[row->virtualKey];
  g_input.lastKeyboardPoll = now;
  return 1;
}

int RefreshFromKeyboardDevice() {
  const DWORD now = timeGetTime();
  const bool signalled = IsSignalled(g_input.keyboardEvent);
  if (now == g_input.lastKeyboardPoll && !signalled) return 0;
  if (PumpWindowMessages() != 0) return 0;
  IDirectInputDevice7A* keyboard = g_input.keyboardDevice;
  if (!keyboard) return 0;  // Released while messages were processed.
  if (FAILED(keyboard->GetDeviceState(sizeof(g_input.keyState), g_input.keyState))) {
    if (FAILED(keyboard->Acquire())) return 0;
    if (FAILED(keyboard->GetDeviceState(sizeof(g_input.keyState), g_input.keyState))) return 0;
  }
  g_input.lastKeyboardPoll = now;
  if (signalled) ResetEvent(g_input.keyboardEvent);
  BYTE virtualKeys[256];
  GetKeyboardState(virtualKeys);
  g_input.keyState[DIK_RSHIFT] = virtualKeys[VK_RSHIFT];
  return 1;
}

}  // namespace

int StartInputDevices() {
  if (IsStarted() || g_input.starting) return 0;
  ConnectInputToWindow();
  ClearRecordForStart();
  g_input.starting = true;
  int result = 0;
  if (!g_input.winmmMode) CreateDirectInputObject();
  if (g_input.directInput) {
    PumpWindowMessages();
    SetupJoypads();
    if (FAILED(CreateInputDevice(GUID_SysMouse, &g_input.mouseDevice)))
      AbortInputStart("マウスデバイスの取得に失敗しました");
    if (FAILED(g_input.mouseDevice->SetDataFormat(&c_dfDIMouse)))
      AbortInputStart("マウスデバイスのデータ形式の設定に失敗しました");
    if (FAILED(g_input.mouseDevice->SetCooperativeLevel(GetMainWindow(), kCooperativeBackground)))
      AbortInputStart("マウスデバイスの協調レベルの設定に失敗しました");
    if (!g_input.windowsKeyboardOnly) result = SetUpKeyboardDevice();
  } else {
    StartWinmmMode();
  }
  if (!g_input.keyPadMapReady) FillDefaultKeyPadMap();
  g_input.starting = false;
  return result;
}

int SetupJoypads() {
  if (!UsesDirectInput()) return -1;
  ReleaseJoypads();
  AddLogText("ジョイパッドの初期化... \n");
  g_input.padCount = 0;
  const DWORD type = g_input.directInput8 ? DI8DEVCLASS_GAMECTRL : DIDEVTYPE_JOYSTICK;
  if (g_input.directInput8)
    static_cast<IDirectInput8A*>(g_input.directInput)->EnumDevices(type, AddJoypad, nullptr, DIEDFL_ATTACHEDONLY);
  else
    static_cast<IDirectInput7A*>(g_input.directInput)->EnumDevices(type, AddJoypad, nullptr, DIEDFL_ATTACHEDONLY);
  AddLogText("ジョイパッドの初期化は正常に終了しました\n");
  return 0;
}

int ReleaseJoypads() {
  if (!UsesDirectInput()) return -1;
  for (int i = 0; i < g_input.padCount; ++i) {
    JoypadRecord& pad = g_input.pads[i];
    if (pad.device) {
      pad.device->Unacquire();
      pad.device->SetEventNotification(nullptr);
    }
    if (pad.constantEffect) pad.constantEffect->Stop();
    if (pad.periodicEffect) pad.periodicEffect->Stop();
    ReleaseInterface(pad.constantEffect);
    ReleaseInterface(pad.periodicEffect);
    ReleaseInterface(pad.device);
    if (pad.notifyEvent) CloseHandle(pad.notifyEvent);
    std::memset(&pad, 0, sizeof(pad));
  }
  g_input.padCount = 0;
  return 0;
}

int ReleaseInputDevices() {
  if (!IsStarted()) return 0;
  if (g_input.directInput == kWinmmInterface) {
    AddLogText("入力関連の終了処理... 完了\n");
  } else {
    AddLogText("DirectInput 関連の終了処理... 完了\n");
    ReleaseJoypads();
    ReleaseKeyboardDevice();
    ReleaseMouseDevice();
    ReleaseInterface(g_input.directInput);
  }
  g_input.directInput = nullptr;
  return 0;
}

int RefreshKeyboardState() {
  if (g_input.refreshingKeyboard || !IsStarted()) return 0;
  g_input.refreshingKeyboard = true;
  int result = UsesWindowsKeyboard() ? RefreshFromWindowsKeyboard() : RefreshFromKeyboardDevice();
  g_input.refreshingKeyboard = false;
  return result;
}

int RefreshJoypadState(int padIndex) {
  if (padIndex < 0 || padIndex >= kMaxJoypads) return -1;
  JoypadRecord& pad = g_input.pads[padIndex];
  const DWORD now = timeGetTime();
  if (g_input.directInput == kWinmmInterface) {
    if (now == pad.lastPoll) return 0;
    pad.lastPoll = now;
    JOYINFOEX info = {};
    info.dwSize = sizeof(info);
    info.dwFlags = JOY_RETURNALL;
    std::memset(&pad.state, 0, sizeof(pad.state));
    if (joyGetPosEx(static_cast<UINT>(padIndex), &info) != JOYERR_NOERROR) return 0;
    pad.state.lX = WinmmAxis(info.dwXpos);
    pad.state.lY = WinmmAxis(info.dwYpos);
    pad.state.lZ = pad.hasZR ? WinmmAxis(info.dwZpos) : 0;
    pad.state.lRz = pad.hasZR ? WinmmAxis(info.dwRpos) : 0;
    for (int b = 0; b < 24; ++b) pad.state.rgbButtons[b] = (info.dwButtons >> b) & 1 ? 0x80 : 0;
    return 0;
  }
  if (!pad.device) return -1;
  const bool signalled = IsSignalled(pad.notifyEvent);
  if (now == pad.lastPoll && !signalled) return 0;
  pad.lastPoll = now;
  pad.device->Poll();
  DIJOYSTATE state;
  if (FAILED(pad.device->GetDeviceState(sizeof(state), &state))) {
    if (PumpWindowMessages() != 0) return -1;
    pad.device->Acquire();
    if (SUCCEEDED(pad.device->GetDeviceState(sizeof(state), &state))) pad.state = state;
  } else {
    pad.state = state;
  }
  if (signalled) ResetEvent(pad.notifyEvent);
  return 0;
}

int IsKeyDown(int key) {
  WaitWhileInactive();
  // A start made here reads no key yet, and a failed one must not read as a held key.
  if (!IsStarted()) {
    if (!IsWindowClosing()) StartInputDevices();
    return 0;
  }
  if (key < 0 || key > 255) return 0;
  RefreshKeyboardState();
  return (g_input.keyState[key] & 0x80) ? 1 : 0;
}

int GetPadInputBits(int kind) {
  WaitWhileInactive();
  if (!IsStarted() && !IsWindowClosing()) {
    StartInputDevices();
    return 0;
  }
  const int padIndex = (kind & ~PAD_WITH_KEYBOARD) - 1;
  const bool withKeys = (kind & PAD_WITH_KEYBOARD) != 0;
  // Pad numbers beyond the map are refused outright.
  if (padIndex < -1 || padIndex >= kMaxJoypads) return 0;
  if (g_input.padCount > 0 && padIndex >= g_input.padCount && !withKeys) return 0;

  int bits = 0;
  if (padIndex >= 0 && padIndex < g_input.padCount) {
    RefreshJoypadState(padIndex);
    const DIJOYSTATE& state = g_input.pads[padIndex].state;
    if (state.lX < 0) bits |= PAD_BIT_LEFT;
    if (state.lX > 0) bits |= PAD_BIT_RIGHT;
    if (state.lY < 0) bits |= PAD_BIT_UP;
    if (state.lY > 0) bits |= PAD_BIT_DOWN;
    for (int button = 0; button < 24; ++button)
      if (state.rgbButtons[button] & 0x80) bits |= PAD_BIT_FIRST_BUTTON << button;
  }
  if (withKeys) {
    RefreshKeyboardState();
    const int map = padIndex < 0 ? 0 : padIndex;
    for (int bit = 0; bit < kKeyPadMapBits; ++bit) {
      for (int key : g_input.keyPadMap[map][bit]) {
        if (key >= 0 && key < 256 && (g_input.keyState[key] & 0x80)) {
          bits |= static_cast<int>(1u << bit);
          break;
        }
      }
    }
  }
  return bits;
}

int StopJoypadVibration(int pad) {
  const int index = pad - 1;
  if (index < 0 || index >= kMaxJoypads) return 0;
  g_input.pads[index].vibrating = 0;
  g_input.pads[index].vibrationPower = 10000;
  RefreshEffectPlayState();
  return 0;
}

int ProcessJoypadEffects() {
  if (!UsesDirectInput()) return 0;
  const int now = GetMillisecondCount();
  for (int i = 0; i < g_input.padCount; ++i) {
    JoypadRecord& pad = g_input.pads[i];
    if (!pad.device || !pad.vibrating || pad.vibrationDuration < 0) continue;
    const int elapsed = now - pad.vibrationLastTime;
    pad.vibrationElapsed += elapsed < 0 ? 0 : elapsed;
    pad.vibrationLastTime = now;
    if (pad.vibrationElapsed >= pad.vibrationDuration) StopJoypadVibration(i + 1);
  }
  RefreshEffectPlayState();
  return 0;
}

int RefreshEffectPlayState() {
  if (!UsesDirectInput()) return 0;
  const bool active = IsWindowActive() != 0;
  for (int i = 0; i < g_input.padCount; ++i) {
    JoypadRecord& pad = g_input.pads[i];
    const int wantConstant = active && pad.vibrating ? 1 : 0;
    const int wantPeriodic = active && pad.vibrating && pad.vibrationPower > 5000 ? 1 : 0;
    if (pad.constantEffect && wantConstant != pad.constantPlaying) {
      if (wantConstant)
        pad.constantEffect->Start(1, 0);
      else
        pad.constantEffect->Stop();
    }
    pad.constantPlaying = wantConstant;
    if (pad.periodicEffect && wantPeriodic != pad.periodicPlaying) {
      if (wantPeriodic)
        pad.periodicEffect->Start(1, 0);
      else
        pad.periodicEffect->Stop();
    }
    pad.periodicPlaying = wantPeriodic;
  }
  return 0;
}

int ReacquireInputDevices() {
  if (!UsesDirectInput()) return 0;
  const DWORD level = IsWindowActive() ? kCooperativeForeground : kCooperativeBackground;
  for (int i = 0; i < g_input.padCount; ++i) {
    IDirectInputDevice7A* device = g_input.pads[i].device;
    if (!device) continue;
    device->Unacquire();
    device->SetCooperativeLevel(GetMainWindow(), level);
    device->Acquire();
  }
  if (g_input.keyboardDevice) {
    g_input.keyboardDevice->Unacquire();
    g_input.keyboardDevice->Acquire();
  }
  return 0;
}

int SetKeyFlag1() {
  g_input.keyFlag1 = 1;
  return 0;
}
int ClearKeyFlag1() {
  g_input.keyFlag1 = 0;
  return 0;
}
int SetKeyFlag2() {
  g_input.keyFlag2 = 1;
  return 0;
}
int ClearKeyFlag2() {
  g_input.keyFlag2 = 0;
  return 0;
}
