// DirectInput-shaped part of the platform stand-in: the DirectInput 7 and 8 objects, keyboard,
// mouse and joystick devices and force-feedback effects, over SDL2 and the stand-in's own
// key-state table.
#pragma once

#include "platform/com.h"
#include "platform/types.h"

// ---- Results ----
#define DI_OK S_OK
#define DI_NOEFFECT S_FALSE
#define DI_POLLEDDEVICE ((HRESULT)0x00000002)
#define DIERR_OLDDIRECTINPUTVERSION ((HRESULT)0x8007047E)
#define DIERR_BETADIRECTINPUTVERSION ((HRESULT)0x80070481)
#define DIERR_DEVICENOTREG REGDB_E_CLASSNOTREG
#define DIERR_NOTFOUND ((HRESULT)0x80070002)
#define DIERR_INVALIDPARAM E_INVALIDARG
#define DIERR_NOINTERFACE E_NOINTERFACE
#define DIERR_GENERIC E_FAIL
#define DIERR_OUTOFMEMORY E_OUTOFMEMORY
#define DIERR_UNSUPPORTED E_NOTIMPL
#define DIERR_NOTINITIALIZED ((HRESULT)0x80070015)
#define DIERR_ALREADYINITIALIZED ((HRESULT)0x800704DF)
#define DIERR_INPUTLOST ((HRESULT)0x8007001E)
#define DIERR_ACQUIRED ((HRESULT)0x800700AA)
#define DIERR_NOTACQUIRED ((HRESULT)0x8007000C)
#define DIERR_OTHERAPPHASPRIO ((HRESULT)0x80070005)

// ---- Class, interface and object ids ----
inline constexpr CLSID CLSID_DirectInput = {
    0x25E609E0, 0xB259, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline constexpr CLSID CLSID_DirectInput8 = {
    0x25E609E4, 0xB259, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline constexpr IID IID_IDirectInput7A = {
    0x9A4CB684, 0x236D, 0x11D3, {0x8E, 0x9D, 0x00, 0xC0, 0x4F, 0x68, 0x44, 0xAE}};
inline constexpr IID IID_IDirectInput8A = {
    0xBF798030, 0x483A, 0x4DA2, {0xAA, 0x99, 0x5D, 0x64, 0xED, 0x36, 0x97, 0x00}};
inline constexpr IID IID_IDirectInputDevice7A = {
    0x57D7C6BC, 0x2356, 0x11D3, {0x8E, 0x9D, 0x00, 0xC0, 0x4F, 0x68, 0x44, 0xAE}};
inline constexpr IID IID_IDirectInputDevice8A = {
    0x54D41080, 0xDC15, 0x4833, {0xA4, 0x1B, 0x74, 0x8F, 0x73, 0xA3, 0x81, 0x79}};
inline constexpr IID IID_IDirectInputEffect = {
    0xE7E1F7C0, 0x88D2, 0x11D0, {0x9A, 0xD0, 0x00, 0xA0, 0xC9, 0xA0, 0x6E, 0x35}};
inline constexpr GUID GUID_SysMouse = {0x6F1D2B60, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline constexpr GUID GUID_SysKeyboard = {0x6F1D2B61, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline constexpr GUID GUID_Joystick = {0x6F1D2B70, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline constexpr GUID GUID_XAxis = {0xA36D02E0, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline constexpr GUID GUID_YAxis = {0xA36D02E1, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline constexpr GUID GUID_ZAxis = {0xA36D02E2, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline constexpr GUID GUID_RzAxis = {0xA36D02E3, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline constexpr GUID GUID_ConstantForce = {
    0x13541C20, 0x8E33, 0x11D0, {0x9A, 0xD0, 0x00, 0xA0, 0xC9, 0xA0, 0x6E, 0x35}};
inline constexpr GUID GUID_Sine = {0x13541C23, 0x8E33, 0x11D0, {0x9A, 0xD0, 0x00, 0xA0, 0xC9, 0xA0, 0x6E, 0x35}};

// ---- Key codes (one per key position) ----
#define DIK_ESCAPE 0x01
#define DIK_1 0x02
#define DIK_2 0x03
#define DIK_3 0x04
#define DIK_4 0x05
#define DIK_5 0x06
#define DIK_6 0x07
#define DIK_7 0x08
#define DIK_8 0x09
#define DIK_9 0x0A
#define DIK_0 0x0B
#define DIK_MINUS 0x0C
#define DIK_EQUALS 0x0D
#define DIK_BACK 0x0E
#define DIK_TAB 0x0F
#define DIK_Q 0x10
#define DIK_W 0x11
#define DIK_E 0x12
#define DIK_R 0x13
#define DIK_T 0x14
#define DIK_Y 0x15
#define DIK_U 0x16
#define DIK_I 0x17
#define DIK_O 0x18
#define DIK_P 0x19
#define DIK_LBRACKET 0x1A
#define DIK_RBRACKET 0x1B
#define DIK_RETURN 0x1C
#define DIK_LCONTROL 0x1D
#define DIK_A 0x1E
#define DIK_S 0x1F
#define DIK_D 0x20
#define DIK_F 0x21
#define DIK_G 0x22
#define DIK_H 0x23
#define DIK_J 0x24
#define DIK_K 0x25
#define DIK_L 0x26
#define DIK_SEMICOLON 0x27
#define DIK_APOSTROPHE 0x28
#define DIK_GRAVE 0x29
#define DIK_LSHIFT 0x2A
#define DIK_BACKSLASH 0x2B
#define DIK_Z 0x2C
#define DIK_X 0x2D
#define DIK_C 0x2E
#define DIK_V 0x2F
#define DIK_B 0x30
#define DIK_N 0x31
#define DIK_M 0x32
#define DIK_COMMA 0x33
#define DIK_PERIOD 0x34
#define DIK_SLASH 0x35
#define DIK_RSHIFT 0x36
#define DIK_MULTIPLY 0x37
#define DIK_LMENU 0x38
#define DIK_SPACE 0x39
#define DIK_CAPITAL 0x3A
#define DIK_F1 0x3B
#define DIK_F2 0x3C
#define DIK_F3 0x3D
#define DIK_F4 0x3E
#define DIK_F5 0x3F
#define DIK_F6 0x40
#define DIK_F7 0x41
#define DIK_F8 0x42
#define DIK_F9 0x43
#define DIK_F10 0x44
#define DIK_NUMLOCK 0x45
#define DIK_SCROLL 0x46
#define DIK_NUMPAD7 0x47
#define DIK_NUMPAD8 0x48
#define DIK_NUMPAD9 0x49
#define DIK_SUBTRACT 0x4A
#define DIK_NUMPAD4 0x4B
#define DIK_NUMPAD5 0x4C
#define DIK_NUMPAD6 0x4D
#define DIK_ADD 0x4E
#define DIK_NUMPAD1 0x4F
#define DIK_NUMPAD2 0x50
#define DIK_NUMPAD3 0x51
#define DIK_NUMPAD0 0x52
#define DIK_DECIMAL 0x53
#define DIK_OEM_102 0x56
#define DIK_F11 0x57
#define DIK_F12 0x58
#define DIK_KANA 0x70
#define DIK_ABNT_C1 0x73
#define DIK_CONVERT 0x79
#define DIK_NOCONVERT 0x7B
#define DIK_YEN 0x7D
#define DIK_CIRCUMFLEX 0x90
#define DIK_AT 0x91
#define DIK_COLON 0x92
#define DIK_UNDERLINE 0x93
#define DIK_KANJI 0x94
#define DIK_NUMPADENTER 0x9C
#define DIK_RCONTROL 0x9D
#define DIK_DIVIDE 0xB5
#define DIK_SYSRQ 0xB7
#define DIK_RMENU 0xB8
#define DIK_PAUSE 0xC5
#define DIK_HOME 0xC7
#define DIK_UP 0xC8
#define DIK_PRIOR 0xC9
#define DIK_LEFT 0xCB
#define DIK_RIGHT 0xCD
#define DIK_END 0xCF
#define DIK_DOWN 0xD0
#define DIK_NEXT 0xD1
#define DIK_INSERT 0xD2
#define DIK_DELETE 0xD3
#define DIK_LWIN 0xDB
#define DIK_RWIN 0xDC
#define DIK_APPS 0xDD

// ---- Data formats, states and properties ----
struct DIOBJECTDATAFORMAT {
  const GUID* pguid;
  DWORD dwOfs;
  DWORD dwType;
  DWORD dwFlags;
};

struct DIDATAFORMAT {
  DWORD dwSize;
  DWORD dwObjSize;
  DWORD dwFlags;
  DWORD dwDataSize;
  DWORD dwNumObjs;
  const DIOBJECTDATAFORMAT* rgodf;
};
typedef const DIDATAFORMAT* LPCDIDATAFORMAT;

// The three formats the devices understand: 256 key bytes, the mouse state, DIJOYSTATE.
extern const DIDATAFORMAT c_dfDIKeyboard;
extern const DIDATAFORMAT c_dfDIMouse;
extern const DIDATAFORMAT c_dfDIJoystick;

#pragma pack(push, 1)
struct DIJOYSTATE {
  LONG lX;
  LONG lY;
  LONG lZ;
  LONG lRx;
  LONG lRy;
  LONG lRz;
  LONG rglSlider[2];
  DWORD rgdwPOV[4];
  BYTE rgbButtons[32];
};
struct DIMOUSESTATE {
  LONG lX;
  LONG lY;
  LONG lZ;
  BYTE rgbButtons[4];
};
#pragma pack(pop)
static_assert(sizeof(DIJOYSTATE) == 80, "DIJOYSTATE is 80 bytes");
static_assert(sizeof(DIMOUSESTATE) == 16, "DIMOUSESTATE is 16 bytes");

#define DIJOFS_X 0
#define DIJOFS_Y 4
#define DIJOFS_Z 8
#define DIJOFS_RX 12
#define DIJOFS_RY 16
#define DIJOFS_RZ 20

struct DIPROPHEADER {
  DWORD dwSize;
  DWORD dwHeaderSize;
  DWORD dwObj;
  DWORD dwHow;
};
typedef const DIPROPHEADER* LPCDIPROPHEADER;
struct DIPROPDWORD {
  DIPROPHEADER diph;
  DWORD dwData;
};
struct DIPROPRANGE {
  DIPROPHEADER diph;
  LONG lMin;
  LONG lMax;
};
#define DIPH_DEVICE 0
#define DIPH_BYOFFSET 1

// Property ids are small integers disguised as GUID pointers; they are compared, never read.
typedef const GUID* DIPROPERTYID;
#define DIPROP_BUFFERSIZE (reinterpret_cast<DIPROPERTYID>(static_cast<uintptr_t>(1)))
#define DIPROP_RANGE (reinterpret_cast<DIPROPERTYID>(static_cast<uintptr_t>(4)))
#define DIPROP_DEADZONE (reinterpret_cast<DIPROPERTYID>(static_cast<uintptr_t>(5)))

// ---- Cooperative levels, enumeration ----
#define DISCL_EXCLUSIVE 0x00000001u
#define DISCL_NONEXCLUSIVE 0x00000002u
#define DISCL_FOREGROUND 0x00000004u
#define DISCL_BACKGROUND 0x00000008u
#define DISCL_NOWINKEY 0x00000010u

#define DIDEVTYPE_JOYSTICK 4
#define DI8DEVCLASS_GAMECTRL 4
#define DIEDFL_ATTACHEDONLY 0x00000001u
#define DIEDFL_FORCEFEEDBACK 0x00000100u
#define DIENUM_STOP 0
#define DIENUM_CONTINUE 1

struct DIDEVICEINSTANCEA {
  DWORD dwSize;
  GUID guidInstance;
  GUID guidProduct;
  DWORD dwDevType;
  CHAR tszInstanceName[MAX_PATH];
  CHAR tszProductName[MAX_PATH];
  GUID guidFFDriver;
  WORD wUsagePage;
  WORD wUsage;
};
typedef const DIDEVICEINSTANCEA* LPCDIDEVICEINSTANCEA;
typedef BOOL (*LPDIENUMDEVICESCALLBACKA)(LPCDIDEVICEINSTANCEA instance, LPVOID context);

// ---- Force feedback ----
#define DIEFF_OBJECTIDS 0x00000001u
#define DIEFF_OBJECTOFFSETS 0x00000002u
#define DIEFF_CARTESIAN 0x00000010u
#define DIEFF_POLAR 0x00000020u
#define DIEFF_SPHERICAL 0x00000040u
#define DIEB_NOTRIGGER 0xFFFFFFFFu
#define DI_FFNOMINALMAX 10000
#define DI_SECONDS 1000000

struct DIENVELOPE {
  DWORD dwSize;
  DWORD dwAttackLevel;
  DWORD dwAttackTime;
  DWORD dwFadeLevel;
  DWORD dwFadeTime;
};
struct DICONSTANTFORCE {
  LONG lMagnitude;
};
struct DIPERIODIC {
  DWORD dwMagnitude;
  LONG lOffset;
  DWORD dwPhase;
  DWORD dwPeriod;
};
struct DIEFFECT {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwDuration;
  DWORD dwSamplePeriod;
  DWORD dwGain;
  DWORD dwTriggerButton;
  DWORD dwTriggerRepeatInterval;
  DWORD cAxes;
  DWORD* rgdwAxes;
  LONG* rglDirection;
  DIENVELOPE* lpEnvelope;
  DWORD cbTypeSpecificParams;
  LPVOID lpvTypeSpecificParams;
  DWORD dwStartDelay;
};
typedef const DIEFFECT* LPCDIEFFECT;

struct IDirectInputEffect : IUnknown {
  virtual HRESULT Start(DWORD iterations, DWORD flags) = 0;
  virtual HRESULT Stop() = 0;
  virtual HRESULT SetParameters(LPCDIEFFECT effect, DWORD flags) = 0;
  virtual HRESULT Download() = 0;
  virtual HRESULT Unload() = 0;
};
typedef IDirectInputEffect* LPDIRECTINPUTEFFECT;

// ---- Devices ----
struct IDirectInputDevice7A : IUnknown {
  virtual HRESULT GetProperty(DIPROPERTYID property, DIPROPHEADER* header) = 0;
  virtual HRESULT SetProperty(DIPROPERTYID property, LPCDIPROPHEADER header) = 0;
  virtual HRESULT Acquire() = 0;
  virtual HRESULT Unacquire() = 0;
  virtual HRESULT GetDeviceState(DWORD size, LPVOID data) = 0;
  virtual HRESULT SetDataFormat(LPCDIDATAFORMAT format) = 0;
  virtual HRESULT SetEventNotification(HANDLE event) = 0;
  virtual HRESULT SetCooperativeLevel(HWND window, DWORD flags) = 0;
  virtual HRESULT GetDeviceInfo(DIDEVICEINSTANCEA* instance) = 0;
  virtual HRESULT Initialize(HINSTANCE instance, DWORD version, REFGUID device) = 0;
  virtual HRESULT CreateEffect(REFGUID effect, LPCDIEFFECT parameters, LPDIRECTINPUTEFFECT* out, LPUNKNOWN outer) = 0;
  virtual HRESULT Poll() = 0;
};
// Version 8 devices answer the same calls.
struct IDirectInputDevice8A : IDirectInputDevice7A {};
typedef IDirectInputDevice7A* LPDIRECTINPUTDEVICE7A;
typedef IDirectInputDevice8A* LPDIRECTINPUTDEVICE8A;

// ---- The DirectInput objects ----
struct IDirectInput7A : IUnknown {
  virtual HRESULT CreateDevice(REFGUID device, LPDIRECTINPUTDEVICE7A* out, LPUNKNOWN outer) = 0;
  virtual HRESULT EnumDevices(DWORD deviceType, LPDIENUMDEVICESCALLBACKA callback, LPVOID context, DWORD flags) = 0;
  virtual HRESULT GetDeviceStatus(REFGUID device) = 0;
  virtual HRESULT Initialize(HINSTANCE instance, DWORD version) = 0;
  virtual HRESULT CreateDeviceEx(REFGUID device, REFIID iid, LPVOID* out, LPUNKNOWN outer) = 0;
};
struct IDirectInput8A : IUnknown {
  virtual HRESULT CreateDevice(REFGUID device, LPDIRECTINPUTDEVICE8A* out, LPUNKNOWN outer) = 0;
  virtual HRESULT EnumDevices(DWORD deviceType, LPDIENUMDEVICESCALLBACKA callback, LPVOID context, DWORD flags) = 0;
  virtual HRESULT GetDeviceStatus(REFGUID device) = 0;
  virtual HRESULT Initialize(HINSTANCE instance, DWORD version) = 0;
};
typedef IDirectInput7A* LPDIRECTINPUT7A;
typedef IDirectInput8A* LPDIRECTINPUT8A;

namespace platform {
// Fed by the window's event loop: a key went down or up (SDL scancode).
void OnKeyboardEvent(int sdlScancode, bool down);
// Forgets every held key (the window lost the keyboard focus).
void ReleaseAllKeys();
}  // namespace platform
