// The DirectInput 7 and 8 objects, their devices (keyboard, mouse, joysticks) and force-feedback
// effects. Keyboards read the stand-in's key-state table, joysticks the pad list; the mouse
// device takes its settings and reads as still.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "dinput/pads.h"
#include "platform/dinput.h"
#include "platform/kernel.h"
#include "platform/testing.h"
#include "user/keyboard_state.h"

const DIDATAFORMAT c_dfDIKeyboard = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), 0x2, 256, 0, nullptr};
const DIDATAFORMAT c_dfDIMouse = {
    sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), 0x2, sizeof(DIMOUSESTATE), 0, nullptr};
const DIDATAFORMAT c_dfDIJoystick = {
    sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), 0x1, sizeof(DIJOYSTATE), 0, nullptr};

namespace platform {
namespace {

std::atomic<int> g_lostGeneration{0};

// Instance GUIDs of pads: GUID_Joystick with the pad number in the last byte.
GUID PadInstanceGuid(int pad) {
  GUID guid = GUID_Joystick;
  guid.Data4[7] = static_cast<BYTE>(pad + 1);
  return guid;
}

int PadOfGuid(REFGUID guid) {
  GUID base = guid;
  int pad = base.Data4[7] - 1;
  base.Data4[7] = GUID_Joystick.Data4[7];
  return base == GUID_Joystick && pad >= 0 ? pad : -1;
}

class Effect;

enum class DeviceKind { Keyboard, Mouse, Joystick };

class InputDevice final : public ComObject<InputDevice, IDirectInputDevice8A> {
 public:
  static constexpr const IID* kInterfaceIds[] = {&IID_IDirectInputDevice7A, &IID_IDirectInputDevice8A};
  InputDevice(DeviceKind kind, int pad) : kind_(kind), pad_(pad) {
    for (Axis& axis : axes_) axis = Axis{};
  }
  void OnFinalRelease() {
    StopVibration();
    if (notify_ && kind_ == DeviceKind::Keyboard) RemoveKeyboardListener(notify_);
  }

  HRESULT GetProperty(DIPROPERTYID property, DIPROPHEADER* header) override {
    if (!header) return DIERR_INVALIDPARAM;
    if (property == DIPROP_BUFFERSIZE && header->dwSize >= sizeof(DIPROPDWORD)) {
      reinterpret_cast<DIPROPDWORD*>(header)->dwData = bufferSize_;
      return DI_OK;
    }
    Axis* axis = AxisOf(header);
    if (!axis) return DIERR_NOTFOUND;
    if (property == DIPROP_RANGE && header->dwSize >= sizeof(DIPROPRANGE)) {
      reinterpret_cast<DIPROPRANGE*>(header)->lMin = axis->minimum;
      reinterpret_cast<DIPROPRANGE*>(header)->lMax = axis->maximum;
      return DI_OK;
    }
    if (property == DIPROP_DEADZONE && header->dwSize >= sizeof(DIPROPDWORD)) {
      reinterpret_cast<DIPROPDWORD*>(header)->dwData = axis->deadZone;
      return DI_OK;
    }
    return DIERR_UNSUPPORTED;
  }

  HRESULT SetProperty(DIPROPERTYID property, LPCDIPROPHEADER header) override {
    if (!header || header->dwHeaderSize != sizeof(DIPROPHEADER)) return DIERR_INVALIDPARAM;
    if (property == DIPROP_BUFFERSIZE) {
      if (header->dwSize < sizeof(DIPROPDWORD) || header->dwHow != DIPH_DEVICE) return DIERR_INVALIDPARAM;
      if (acquired_) return DIERR_ACQUIRED;
      bufferSize_ = reinterpret_cast<const DIPROPDWORD*>(header)->dwData;
      return DI_OK;
    }
    if (kind_ != DeviceKind::Joystick) return DIERR_UNSUPPORTED;
    if (property == DIPROP_RANGE) {
      if (header->dwSize < sizeof(DIPROPRANGE)) return DIERR_INVALIDPARAM;
      const auto* range = reinterpret_cast<const DIPROPRANGE*>(header);
      if (range->lMin >= range->lMax) return DIERR_INVALIDPARAM;
      return ForEachAxis(header, [range](Axis& axis) {
        axis.minimum = range->lMin;
        axis.maximum = range->lMax;
      });
    }
    if (property == DIPROP_DEADZONE) {
      if (header->dwSize < sizeof(DIPROPDWORD)) return DIERR_INVALIDPARAM;
      DWORD zone = reinterpret_cast<const DIPROPDWORD*>(header)->dwData;
      if (zone > 10000) return DIERR_INVALIDPARAM;
      return ForEachAxis(header, [zone](Axis& axis) { axis.deadZone = zone; });
    }
    return DIERR_UNSUPPORTED;
  }

  HRESULT Acquire() override {
    if (!format_) return DIERR_INVALIDPARAM;
    if (acquired_) return DI_NOEFFECT;
    if (kind_ == DeviceKind::Joystick) {
      PadSnapshot pad;
      if (!ReadPad(pad_, &pad)) return DIERR_INPUTLOST;
    }
    acquired_ = true;
    generation_ = g_lostGeneration.load();
    return DI_OK;
  }

  HRESULT Unacquire() override {
    if (!acquired_) return DI_NOEFFECT;
    acquired_ = false;
    StopVibration();
    return DI_OK;
  }

  HRESULT GetDeviceState(DWORD size, LPVOID data) override {
    if (!data || !format_ || size != format_->dwDataSize) return DIERR_INVALIDPARAM;
    if (acquired_ && generation_ != g_lostGeneration.load()) {
      acquired_ = false;
      return DIERR_INPUTLOST;
    }
    if (!acquired_) return DIERR_NOTACQUIRED;
    switch (kind_) {
      case DeviceKind::Keyboard:
        ReadDirectInputKeys(static_cast<BYTE*>(data));
        return DI_OK;
      case DeviceKind::Mouse:
        std::memset(data, 0, size);
        return DI_OK;
      case DeviceKind::Joystick:
        return ReadJoystick(static_cast<DIJOYSTATE*>(data));
    }
    return DIERR_GENERIC;
  }

  HRESULT SetDataFormat(LPCDIDATAFORMAT format) override {
    if (!format) return DIERR_INVALIDPARAM;
    if (acquired_) return DIERR_ACQUIRED;
    const DIDATAFORMAT* wanted = kind_ == DeviceKind::Keyboard ? &c_dfDIKeyboard
                                 : kind_ == DeviceKind::Mouse  ? &c_dfDIMouse
                                                               : &c_dfDIJoystick;
    // A device takes only the format of its own kind, as a keyboard refuses the joystick layout.
    if (format->dwDataSize != wanted->dwDataSize) return DIERR_INVALIDPARAM;
    format_ = wanted;
    return DI_OK;
  }

  HRESULT SetEventNotification(HANDLE event) override {
    if (acquired_) return DIERR_ACQUIRED;
    if (kind_ == DeviceKind::Keyboard) {
      if (notify_) RemoveKeyboardListener(notify_);
      if (event) AddKeyboardListener(event);
    }
    notify_ = event;
    // Pads are read by polling; the keyboard signals its event on every change.
    return kind_ == DeviceKind::Joystick ? DI_POLLEDDEVICE : DI_OK;
  }

  HRESULT SetCooperativeLevel(HWND, DWORD flags) override {
    const bool exclusive = flags & DISCL_EXCLUSIVE, nonExclusive = flags & DISCL_NONEXCLUSIVE;
    const bool foreground = flags & DISCL_FOREGROUND, background = flags & DISCL_BACKGROUND;
    if (exclusive == nonExclusive || foreground == background) return DIERR_INVALIDPARAM;
    if (kind_ == DeviceKind::Keyboard && exclusive && background) return DIERR_UNSUPPORTED;
    cooperativeLevel_ = flags;
    return DI_OK;
  }

  HRESULT GetDeviceInfo(DIDEVICEINSTANCEA* instance) override {
    if (!instance || instance->dwSize != sizeof(DIDEVICEINSTANCEA)) return DIERR_INVALIDPARAM;
    FillInstance(kind_, pad_, instance);
    return DI_OK;
  }

  HRESULT Initialize(HINSTANCE, DWORD, REFGUID) override { return DI_OK; }

  HRESULT CreateEffect(REFGUID effect, LPCDIEFFECT parameters, LPDIRECTINPUTEFFECT* out, LPUNKNOWN outer) override;

  HRESULT Poll() override {
    if (!acquired_) return DIERR_NOTACQUIRED;
    return kind_ == DeviceKind::Joystick ? DI_OK : DI_NOEFFECT;
  }

  static void FillInstance(DeviceKind kind, int pad, DIDEVICEINSTANCEA* instance) {
    std::memset(instance, 0, sizeof(*instance));
    instance->dwSize = sizeof(*instance);
    if (kind == DeviceKind::Joystick) {
      PadSnapshot snapshot;
      ReadPad(pad, &snapshot);
      instance->guidInstance = PadInstanceGuid(pad);
      instance->guidProduct = PadInstanceGuid(pad);
      instance->dwDevType = DIDEVTYPE_JOYSTICK;
      std::snprintf(instance->tszInstanceName, MAX_PATH, "%s", snapshot.name.c_str());
      std::snprintf(instance->tszProductName, MAX_PATH, "%s", snapshot.name.c_str());
      return;
    }
    instance->guidInstance = kind == DeviceKind::Keyboard ? GUID_SysKeyboard : GUID_SysMouse;
    instance->guidProduct = instance->guidInstance;
    instance->dwDevType = kind == DeviceKind::Keyboard ? 3 : 2;
    std::snprintf(instance->tszInstanceName, MAX_PATH, "%s", kind == DeviceKind::Keyboard ? "Keyboard" : "Mouse");
    std::snprintf(instance->tszProductName, MAX_PATH, "%s", instance->tszInstanceName);
  }

  void EffectChanged();
  bool acquired() const { return acquired_; }
  int pad() const { return pad_; }
  std::vector<Effect*> effects;

 private:
  struct Axis {
    LONG minimum = 0;
    LONG maximum = 65535;
    DWORD deadZone = 0;
  };

  friend class ComObject<InputDevice, IDirectInputDevice8A>;  // Deletes it at the last Release.
  ~InputDevice() = default;

  Axis* AxisOf(const DIPROPHEADER* header) {
    if (kind_ != DeviceKind::Joystick || header->dwHow != DIPH_BYOFFSET) return nullptr;
    if (header->dwObj % 4 != 0 || header->dwObj / 4 >= 6) return nullptr;
    return &axes_[header->dwObj / 4];
  }

  template <typename Change>
  HRESULT ForEachAxis(LPCDIPROPHEADER header, Change change) {
    if (acquired_) return DIERR_ACQUIRED;
    if (header->dwHow == DIPH_DEVICE) {
      for (Axis& axis : axes_) change(axis);
      return DI_OK;
    }
    Axis* axis = AxisOf(header);
    if (!axis) return DIERR_NOTFOUND;
    change(*axis);
    return DI_OK;
  }

  // An axis position: the dead zone (a share of the half-range, in 1/10000) reads as the centre,
  // the rest is stretched over the range.
  static LONG Scale(const Axis& axis, int raw) {
    double value = raw < 0 ? raw / 32768.0 : raw / 32767.0;
    const double zone = axis.deadZone / 10000.0;
    double magnitude = std::fabs(value);
    magnitude = magnitude <= zone ? 0.0 : (magnitude - zone) / (1.0 - zone);
    value = value < 0 ? -magnitude : magnitude;
    const double centre = (static_cast<double>(axis.minimum) + axis.maximum) / 2.0;
    const double half = (static_cast<double>(axis.maximum) - axis.minimum) / 2.0;
    return static_cast<LONG>(std::lround(centre + value * half));
  }

  HRESULT ReadJoystick(DIJOYSTATE* state) {
    PadSnapshot pad;
    if (!ReadPad(pad_, &pad)) {
      acquired_ = false;
      return DIERR_INPUTLOST;
    }
    std::memset(state, 0, sizeof(*state));
    LONG* axes[6] = {&state->lX, &state->lY, &state->lZ, &state->lRx, &state->lRy, &state->lRz};
    for (int a = 0; a < 6; ++a) *axes[a] = a < pad.axisCount ? Scale(axes_[a], pad.axes[a]) : Scale(axes_[a], 0);
    state->rgdwPOV[0] = pad.hat < 0 ? 0xFFFFFFFFu : static_cast<DWORD>(pad.hat);
    state->rgdwPOV[1] = state->rgdwPOV[2] = state->rgdwPOV[3] = 0xFFFFFFFFu;
    std::memcpy(state->rgbButtons, pad.buttons, sizeof(state->rgbButtons));
    return DI_OK;
  }

  void StopVibration() {
    if (kind_ == DeviceKind::Joystick) SetPadVibration(pad_, 0);
  }

  DeviceKind kind_;
  int pad_;
  const DIDATAFORMAT* format_ = nullptr;
  bool acquired_ = false;
  int generation_ = 0;
  HANDLE notify_ = nullptr;
  DWORD cooperativeLevel_ = 0;
  DWORD bufferSize_ = 0;
  Axis axes_[6];
};

class Effect final : public ComObject<Effect, IDirectInputEffect> {
 public:
  static constexpr const IID* kInterfaceIds[] = {&IID_IDirectInputEffect};
  Effect(InputDevice* device, LONG strength) : device_(device), strength_(strength) {
    device_->AddRef();
    device_->effects.push_back(this);
  }
  void OnFinalRelease() {
    playing_ = false;
    std::erase(device_->effects, this);
    device_->EffectChanged();
    device_->Release();
  }

  HRESULT Start(DWORD iterations, DWORD) override {
    if (!device_->acquired()) return DIERR_NOTACQUIRED;
    if (iterations == 0) return DIERR_INVALIDPARAM;
    playing_ = true;
    device_->EffectChanged();
    return DI_OK;
  }
  HRESULT Stop() override {
    playing_ = false;
    device_->EffectChanged();
    return DI_OK;
  }
  HRESULT SetParameters(LPCDIEFFECT, DWORD) override { return DI_OK; }
  HRESULT Download() override { return device_->acquired() ? DI_OK : DIERR_NOTACQUIRED; }
  HRESULT Unload() override { return Stop(); }

  bool playing() const { return playing_; }
  LONG strength() const { return strength_; }

 private:
  friend class ComObject<Effect, IDirectInputEffect>;  // Deletes it at the last Release.
  ~Effect() = default;
  InputDevice* device_;
  LONG strength_;
  bool playing_ = false;
};

HRESULT InputDevice::CreateEffect(REFGUID effect, LPCDIEFFECT parameters, LPDIRECTINPUTEFFECT* out, LPUNKNOWN) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (kind_ != DeviceKind::Joystick) return DIERR_UNSUPPORTED;
  PadSnapshot pad;
  if (!ReadPad(pad_, &pad) || !pad.forceFeedback) return DIERR_UNSUPPORTED;
  if (!(effect == GUID_ConstantForce || effect == GUID_Sine)) return DIERR_UNSUPPORTED;
  if (!parameters || parameters->dwSize != sizeof(DIEFFECT) || !parameters->lpvTypeSpecificParams)
    return DIERR_INVALIDPARAM;
  LONG strength;
  if (effect == GUID_ConstantForce) {
    if (parameters->cbTypeSpecificParams != sizeof(DICONSTANTFORCE)) return DIERR_INVALIDPARAM;
    strength = std::abs(static_cast<const DICONSTANTFORCE*>(parameters->lpvTypeSpecificParams)->lMagnitude);
  } else {
    if (parameters->cbTypeSpecificParams != sizeof(DIPERIODIC)) return DIERR_INVALIDPARAM;
    strength = static_cast<LONG>(static_cast<const DIPERIODIC*>(parameters->lpvTypeSpecificParams)->dwMagnitude);
  }
  strength = static_cast<LONG>(static_cast<int64_t>(strength) * std::min<DWORD>(parameters->dwGain, 10000) / 10000);
  *out = new Effect(this, strength);
  return DI_OK;
}

void InputDevice::EffectChanged() {
  LONG strongest = 0;
  for (Effect* effect : effects)
    if (effect->playing()) strongest = std::max(strongest, effect->strength());
  SetPadVibration(pad_, strongest);
}

class DirectInputObject final : public ComObject<DirectInputObject, IDirectInput7A, IDirectInput8A> {
 public:
  explicit DirectInputObject(int version) : version_(version) {}

  // One object answers as the version it was made for.
  void* InterfaceFor(REFIID iid) {
    if (iid == IID_IUnknown || (version_ == 7 && iid == IID_IDirectInput7A)) return static_cast<IDirectInput7A*>(this);
    if (version_ == 8 && iid == IID_IDirectInput8A) return static_cast<IDirectInput8A*>(this);
    return nullptr;
  }

  HRESULT Initialize(HINSTANCE, DWORD version) override {
    const DWORD wanted = version_ == 7 ? 0x0700 : 0x0800;
    if (version < (version_ == 7 ? 0x0300u : 0x0800u)) return DIERR_OLDDIRECTINPUTVERSION;
    if (version > wanted) return DIERR_BETADIRECTINPUTVERSION;
    initialised_ = true;
    return DI_OK;
  }

  HRESULT CreateDevice(REFGUID device, LPDIRECTINPUTDEVICE7A* out, LPUNKNOWN outer) override {
    InputDevice* created = nullptr;
    HRESULT result = MakeDevice(device, outer, &created);
    if (out) *out = created;
    return result;
  }

  HRESULT CreateDevice(REFGUID device, LPDIRECTINPUTDEVICE8A* out, LPUNKNOWN outer) override {
    InputDevice* created = nullptr;
    HRESULT result = MakeDevice(device, outer, &created);
    if (out) *out = created;
    return result;
  }

  HRESULT CreateDeviceEx(REFGUID device, REFIID iid, LPVOID* out, LPUNKNOWN outer) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    InputDevice* created = nullptr;
    HRESULT result = MakeDevice(device, outer, &created);
    if (FAILED(result)) return result;
    result = created->QueryInterface(iid, out);
    created->Release();
    return result;
  }

  HRESULT EnumDevices(DWORD deviceType, LPDIENUMDEVICESCALLBACKA callback, LPVOID context, DWORD) override {
    if (!initialised_) return DIERR_NOTINITIALIZED;
    if (!callback) return DIERR_INVALIDPARAM;
    const int count = EnumeratePads();
    if (deviceType != 0 && deviceType != DIDEVTYPE_JOYSTICK) return DI_OK;
    for (int pad = 0; pad < count; ++pad) {
      DIDEVICEINSTANCEA instance;
      InputDevice::FillInstance(DeviceKind::Joystick, pad, &instance);
      if (callback(&instance, context) == DIENUM_STOP) break;
    }
    return DI_OK;
  }

  HRESULT GetDeviceStatus(REFGUID device) override {
    if (!initialised_) return DIERR_NOTINITIALIZED;
    if (device == GUID_SysKeyboard || device == GUID_SysMouse) return DI_OK;
    PadSnapshot pad;
    int index = PadOfGuid(device);
    return index >= 0 && ReadPad(index, &pad) ? DI_OK : DIERR_NOTFOUND;
  }

 private:
  friend class ComObject<DirectInputObject, IDirectInput7A, IDirectInput8A>;  // Deletes it at the last Release.
  ~DirectInputObject() = default;

  HRESULT MakeDevice(REFGUID device, LPUNKNOWN outer, InputDevice** out) {
    if (!initialised_) return DIERR_NOTINITIALIZED;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (device == GUID_SysKeyboard) {
      *out = new InputDevice(DeviceKind::Keyboard, -1);
    } else if (device == GUID_SysMouse) {
      *out = new InputDevice(DeviceKind::Mouse, -1);
    } else {
      int pad = PadOfGuid(device);
      PadSnapshot snapshot;
      if (pad < 0 || !ReadPad(pad, &snapshot)) return DIERR_DEVICENOTREG;
      *out = new InputDevice(DeviceKind::Joystick, pad);
    }
    return DI_OK;
  }

  int version_;
  bool initialised_ = false;
};

}  // namespace

HRESULT CreateDirectInputObject(LPUNKNOWN outer, REFIID iid, void** object) {
  if (outer) return CLASS_E_NOAGGREGATION;
  auto* created = new DirectInputObject(7);
  HRESULT result = static_cast<IDirectInput7A*>(created)->QueryInterface(iid, object);
  static_cast<IDirectInput7A*>(created)->Release();
  return result;
}

HRESULT CreateDirectInput8Object(LPUNKNOWN outer, REFIID iid, void** object) {
  if (outer) return CLASS_E_NOAGGREGATION;
  auto* created = new DirectInputObject(8);
  HRESULT result = static_cast<IDirectInput8A*>(created)->QueryInterface(iid, object);
  static_cast<IDirectInput8A*>(created)->Release();
  return result;
}

}  // namespace platform

namespace platform::testing {

void LoseInputDevices() { ++g_lostGeneration; }

}  // namespace platform::testing
