// The hardware path's device made the way graphics start-up makes it, on the software Direct3D 9
// stand-in: a fake main window, a standard display, the fake clock (sleeps move it, so blank
// measurement and waits run through at once), and Log.txt written without time stamps into a
// private directory.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "graphics/device/device_state_cache.h"
#include "graphics/device/display_modes.h"
#include "graphics/device/render_device.h"
#include "graphics/graphs/draw_state.h"
#include "graphics/graphs/screen_settings.h"
#include "platform/kernel.h"
#include "platform/testing.h"
#include "runtime/runtime_state.h"
#include "window/window_services.h"
#include "zyvel/runtime.h"

namespace device_test {

inline HWND FakeMainWindow() { return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x4321)); }

// 16- and 32-bit modes at 60 Hz, a 1920 x 1080 32-bit desktop.
inline void UseStandardDisplay(int desktopBits = 32) {
  std::vector<platform::testing::DisplayModeDescription> modes;
  for (int bits : {16, 32})
    for (auto size : {std::pair{320, 240}, {640, 480}, {800, 600}, {1024, 768}})
      modes.push_back({size.first, size.second, bits, 60});
  platform::testing::SetDisplayModes(modes, {1920, 1080, desktopBits, 60});
}

class RenderDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::testing::ResetAll();
    platform::testing::ResetDirect3DSwitches();
    UseStandardDisplay();
    platform::testing::UseFakeClock(true);
    platform::testing::SetFakeClockMilliseconds(1000);
    platform::testing::SleepMovesFakeClock(true);
    platform::testing::CaptureDebugOutput([](const std::string&) {});
    char pattern[] = "/tmp/zyvel-device-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory_ = pattern;
    g_windowSystem = WindowSystemRecord{};
    g_runtime = RuntimeRecord{};
    g_windowSystem.mainWindow = FakeMainWindow();
    g_runtime.log.noTimeStamp = 1;
    // The microsecond clock reads the performance counter, as after start-up.
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    g_runtime.clocks.usePerformanceCounter = 1;
    g_runtime.clocks.performanceFrequency = static_cast<uint64_t>(frequency.QuadPart);
    SetLogDirectory(platform::WindowsPathOf(directory_).c_str());
    OpenLogFile();
    g_screenSettings = ScreenSettings{};
    g_screenSettings.Width = 640;
    g_screenSettings.Height = 480;
    g_screenSettings.ColorBits = 32;
    g_renderDevice = RenderDeviceState{};
    g_deviceStateCache = DeviceStateCache{};
    g_drawState = DrawState{};
  }

  void TearDown() override {
    ReleaseDirect3D();
    EXPECT_EQ(platform::testing::LiveDirect3DObjects(), 0) << "release leaves no Direct3D or DirectDraw object";
    SetLogDirectory("");
    g_windowSystem = WindowSystemRecord{};
    g_runtime = RuntimeRecord{};
    platform::testing::ResetDirect3DSwitches();
    platform::testing::ResetAll();
    platform::testing::UseSdlDisplayModes();
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }

  // The device path as graphics start-up brings it up: module, DirectDraw, Direct3D object,
  // device, Z buffer. 0, or -1 at the first step that failed.
  int StartDevice() {
    g_renderDevice.D3D9Module = LoadLibraryA("d3d9.dll");
    if (!g_renderDevice.D3D9Module) return -1;
    if (CreateDirectDrawObject() != 0) return -1;
    if (CreateDirect3DObject() != 0 || CreateDirect3DDevice() != 0 || CreateZBuffer() != 0) return -1;
    return 0;
  }

  // Log.txt as CP932 text with LF line ends.
  std::string ReadLog() const {
    std::ifstream file(directory_ + "/Log.txt", std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    std::string log = platform::Utf8ToCp932(text.str()), out;
    for (char c : log)
      if (c != '\r') out += c;
    return out;
  }

  std::string directory_;
};

}  // namespace device_test
