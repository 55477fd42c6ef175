// The one door through which tests steer the platform stand-in. The library never includes this
// header; tests and tools do.
#pragma once

#include <functional>
#include <string>

#include "platform/kernel.h"

namespace platform::testing {

// ---- Clock ----
// While the fake clock is on, timeGetTime, GetTickCount, QueryPerformanceCounter and the
// time-stamp counter read it instead of the real clock, and it only moves when told to.
void UseFakeClock(bool on);
void SetFakeClockMilliseconds(uint64_t milliseconds);
void AdvanceFakeClock(uint64_t microseconds);
// While on (and the fake clock is on), Sleep moves the fake clock by its time instead of waiting,
// so code that sleeps until a moment comes runs through at once.
void SleepMovesFakeClock(bool on);
// While the fake clock is on, the thread that calls this with true drives it: its Sleep moves the
// clock on by the time asked instead of waiting, and each clock reading it makes moves the clock
// on by a microsecond, as time passes while a program works. Other threads read the same clock
// and sleep for real. UseFakeClock(false) ends it too.
void DriveFakeClockFromThisThread(bool on);
// Each sleep of the driving thread wakes this many microseconds after the time it asked for, as
// on a loaded machine (0, the default, wakes on time).
void SetFakeSleepLateness(uint64_t microseconds);
// A fixed local date and time for GetLocalTime (null goes back to the real one).
void SetFakeLocalTime(const SYSTEMTIME* time);

// ---- Machine ----
// GetSystemInfo's processor count (0 goes back to the real count).
void SetProcessorCount(int count);
// Code-page converters opened so far in the process (each thread keeps one per direction).
int CountCodePageConverters();

// ---- Files ----
// The Linux directory that every drive letter maps to ("/" by default; empty restores it).
void SetMappedRoot(const std::string& linuxDirectory);
// CreateFileA fails (ERROR_ACCESS_DENIED) for the next `count` opens; -1 for all until reset to 0.
void FailFileOpens(int count);

// ---- Threads and memory ----
// CreateThread refuses the next `count` threads; -1 for all until reset to 0.
void FailThreadCreation(int count);
// HeapAlloc and HeapReAlloc refuse the next `count` requests; -1 for all until reset to 0.
void FailHeapAllocations(int count);

// ---- Debugger output ----
// Every OutputDebugStringA text (CP932, as given) goes to the sink instead of stderr while one is
// set; an empty function restores stderr.
void CaptureDebugOutput(std::function<void(const std::string&)> sink);

// ---- Modules ----
// Hide a module of the stand-in from LoadLibraryA, as if its DLL were not installed.
void HideModule(const std::string& name, bool hidden);

// Puts every switch above back to its default.
void ResetAll();

}  // namespace platform::testing

#include <vector>

namespace platform::testing {

// ---- Presented pictures ----
struct PresentedFrame {
  HWND window = nullptr;
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // 0xXXRRGGBB, top row first, `width` per row.
  RECT destination{};
  uint64_t serial = 0;  // Counts presents since the start of the process.
};
// While on, every picture handed to a window is also copied for LastPresentedFrame; off (the
// default) nothing is copied and the kept picture is dropped.
void KeepPresentedFrames(bool on);
// The last picture handed to a window while frames were kept; false when there is none.
bool LastPresentedFrame(PresentedFrame* out);
// True when the window's pictures reach the display through an SDL renderer (OpenGL) rather than
// straight from its surface; false for a window without an SDL window.
bool PresentsThroughRenderer(HWND window);

}  // namespace platform::testing

#include "platform/user.h"

namespace platform::testing {

// ---- Windows, display and input ----
// SDL's dummy video driver for every window made afterwards (call before the first window or
// display query of the process); headless tests use it.
void UseDummyVideoDriver();
struct DisplayModeDescription {
  int width;
  int height;
  int bits;  // Bytes per pixel times 8.
  int refresh;
};
// The display's modes and the desktop mode, in place of what SDL reports.
void SetDisplayModes(const std::vector<DisplayModeDescription>& modes, const DisplayModeDescription& desktop);
// Forgets the modes set above: the next query asks SDL again.
void UseSdlDisplayModes();
// Where the lock files that FindWindowA sees other processes' windows by live (empty: the
// runtime directory, else /tmp). Tests use a private directory.
void SetWindowLockDirectory(const std::string& directory);

// Input as the user would give it, through SDL's event queue: it reaches the window's thread the
// next time that thread peeks. A button is 1 left, 2 middle, 3 right.
void PostKeyEvent(HWND window, int virtualKey, bool down);
void PostMouseMove(HWND window, int x, int y);
void PostMouseButton(HWND window, int button, bool down, int x, int y);
void PostMouseWheel(HWND window, int steps);
void PostCloseRequest(HWND window);
void PostFocusChange(HWND window, bool gained);

struct WindowState {
  std::string className;
  std::string title;
  DWORD style = 0;
  DWORD exStyle = 0;
  RECT windowRect{};
  RECT clientRect{};  // Screen coordinates.
  bool visible = false;
  bool minimised = false;
  bool hasSdlWindow = false;
  int sdlWidth = 0;  // The SDL window's client size.
  int sdlHeight = 0;
  std::string sdlTitle;  // UTF-8.
  int timers = 0;
};
// False for a handle that names no window.
bool ReadWindowState(HWND window, WindowState* out);
bool ScreenSaverActive();
// Live windows of the process.
int CountWindows();
// A pixel (0xRRGGBB) of what the window's SDL window shows at client (x, y); false without one.
bool ReadShownPixel(HWND window, int x, int y, uint32_t* rgb);

}  // namespace platform::testing

namespace platform::testing {

// ---- COM classes ----
// CoCreateInstance answers REGDB_E_CLASSNOTREG for a refused class, as if it were not installed.
void RefuseComClass(const CLSID& classId, bool refused);

}  // namespace platform::testing

namespace platform::testing {

// ---- Input ----
// A key (by its DirectInput code) goes down or up, as if typed on the keyboard.
void PressKey(int directInputKey, bool down);
// Virtual pads sit after the machine's own joysticks. Axes: 0 X, 1 Y, 2 Z, 3 Rx, 4 Ry, 5 Rz,
// each -32768..32767; buttons 0..31; the hat in hundredths of degrees, -1 centred.
int AddVirtualPad(const std::string& name, bool forceFeedback);
void SetVirtualPadAxis(int pad, int axis, int value);
void SetVirtualPadButton(int pad, int button, bool down);
void SetVirtualPadHat(int pad, int hundredthsOfDegrees);
// True while a force-feedback effect plays on the virtual pad.
bool IsVirtualPadVibrating(int pad);
void RemoveAllVirtualPads();
// The machine's own joysticks are left out (tests see only virtual pads).
void IgnoreSystemJoysticks(bool ignore);
// Every acquired input device is lost, as when another program takes the devices.
void LoseInputDevices();

}  // namespace platform::testing

#include <cstdint>

#include "platform/winmm.h"

namespace platform::testing {

// ---- Sound output ----
// The SDL audio driver the next initialised DirectSound object opens ("dummy", "disk", ...;
// empty lets SDL choose).
void UseSoundDriver(const std::string& driverName);
// IDirectSound::Initialize fails (DSERR_NODRIVER) while on, as when not even the silent output
// that stands in for a missing audio device opens.
void FailSoundDevice(bool failing);
// CreateSoundBuffer and DuplicateSoundBuffer refuse the next `count` secondary buffers
// (DSERR_OUTOFMEMORY); -1 for all until reset to 0.
void RefuseSoundBuffers(int count);
// Caps that GetCaps reports for the secondary sample rates (0 restores 100 and 200,000).
void SetSoundSampleRateRange(DWORD minimum, DWORD maximum);
// While on, the device's callback plays silence and leaves every cursor alone: only
// MixSoundFrames moves the mix, so a test sees every output sample.
void UseManualSoundMixing(bool manual);
// Mixes `frames` output frames of the most recently initialised DirectSound object now and
// returns them (interleaved left, right; 44,100 Hz). Empty when no object is initialised.
std::vector<int16_t> MixSoundFrames(int frames);
// The primary buffer's format as last set with SetFormat (false when none was set).
bool LastPrimarySoundFormat(WAVEFORMATEX* out);
// A sequencer device that is open and records the commands it is sent (its id is returned).
// The next EndRecordedMciPlay ends the running play; when the play asked for notification,
// MM_MCINOTIFY (MCI_NOTIFY_SUCCESSFUL, the device id) is posted to its callback window. False
// when nothing plays.
struct RecordedMciCommand {
  MCIDEVICEID device;
  UINT message;
  DWORD_PTR flags;
  DWORD from;     // MCI_PLAY's start
  HWND callback;  // The parameters' callback window
};
MCIDEVICEID InstallRecordingMciDevice();
void RemoveRecordingMciDevice();
std::vector<RecordedMciCommand> TakeRecordedMciCommands();
bool EndRecordedMciPlay();
// Puts every sound switch above back to its default.
void ResetSoundSwitches();

}  // namespace platform::testing

// ---- Direct3D 9 and DirectDraw ----
#include "platform/types.h"

namespace platform::testing {

// What the software device claims. Defaults: Direct3DCreate9Ex present, no DXT formats, maximum
// texture side 4096, no square-only rule, no shader model 2.0 (and so no mixed vertex processing).
struct Direct3DSwitches {
  bool noDirect3DCreate9Ex = false;
  bool offerDxtFormats = false;
  bool reportZeroMaximumTextureSize = false;
  bool reportSquareOnlyTextures = false;
  bool reportShaderModel2 = false;           // Caps say 2.0; shader objects are made but never run.
  bool refuseMixedVertexProcessing = false;  // Even when shader model 2.0 is reported.
  bool noBlendOperations = false;            // Caps lack D3DPMISCCAPS_BLENDOP (no reverse subtract).
  // On the fake clock, what reading a picture back costs: each LockRect of a back buffer and each
  // GetRenderTargetData moves the clock by these microseconds (a real card's read-back speed).
  uint64_t backBufferLockMicroseconds = 0;
  uint64_t renderTargetDataMicroseconds = 0;
  // Formats the adapter refuses in every check and creation, as a card without them would
  // (texture, render-target and depth formats alike).
  std::vector<DWORD> refusedFormats;
};
void SetDirect3DSwitches(const Direct3DSwitches& switches);
// CreateDevice/CreateDeviceEx refuse the next `count` calls (D3DERR_NOTAVAILABLE); -1 for all.
void FailDeviceCreation(int count);
// Reset refuses the next `count` calls (D3DERR_DEVICELOST); -1 for all.
void FailDeviceResets(int count);
// Every live device becomes lost (Present and TestCooperativeLevel report D3DERR_DEVICELOST)
// until RegainLostDevices, after which they report D3DERR_DEVICENOTRESET until Reset.
void LoseDevices();
void RegainLostDevices();
// While on, LockRect of a system-memory offscreen plain surface fails (D3DERR_INVALIDCALL), as
// when the driver cannot map one.
void RefuseSystemMemorySurfaceLocks(bool on);
// Direct3D objects (factories, devices, resources, swap chains) alive in the process.
int LiveDirect3DObjects();
// Device calls that change state or draw, as "Name(arguments)", recorded while on.
void RecordDeviceCalls(bool on);
std::vector<std::string> TakeRecordedDeviceCalls();
// The rasteriser's table of fast span paths (on by default); off draws everything on the plain
// reference path.
void UseRasterFastPaths(bool on);

// Puts every switch of this section back to its default (ResetAll does not reach them).
void ResetDirect3DSwitches();

}  // namespace platform::testing

// ==== Media framework: memory and synchronisation faults, a fake clock and a fake graph ====

namespace platform::testing {

// VirtualAlloc, CoTaskMemAlloc, and CreateEventA with CreateSemaphoreA refuse the next `count`
// requests; -1 for all until reset to 0.
void FailVirtualAllocations(int count);
void FailTaskMemoryAllocations(int count);
void FailEventAndSemaphoreCreation(int count);

}  // namespace platform::testing

#include "platform/dshow.h"

namespace platform::testing {

// A reference clock that reads a time the test sets (100-ns units); GetTime can be made to fail.
// Advise calls are refused (E_NOTIMPL). Created with one reference.
class FakeReferenceClock : public IReferenceClock {
 public:
  virtual void SetTime(REFERENCE_TIME time) = 0;
  virtual void SetGetTimeResult(HRESULT result) = 0;
};
FakeReferenceClock* CreateFakeReferenceClock();

// A filter graph that only records: the events its IMediaEventSink is sent and the reconnections
// it is asked for. Every other graph method answers E_NOTIMPL. Created with one reference.
struct FakeGraphOptions {
  bool answersEventSink = true;     // QueryInterface for IMediaEventSink succeeds.
  bool answersFilterGraph2 = true;  // QueryInterface for IFilterGraph2 succeeds.
  HRESULT notifyResult = S_OK;
  HRESULT reconnectResult = S_OK;
};
struct RecordedGraphEvent {
  LONG code;
  LONG_PTR first;
  LONG_PTR second;
};
class FakeFilterGraph : public IFilterGraph2 {
 public:
  virtual std::vector<RecordedGraphEvent> Events() = 0;
  virtual int ReconnectCalls() = 0;    // Through IFilterGraph::Reconnect.
  virtual int ReconnectExCalls() = 0;  // Through IFilterGraph2::ReconnectEx.
  virtual IPin* LastReconnectedPin() = 0;
};
FakeFilterGraph* CreateFakeFilterGraph(const FakeGraphOptions& options);

// Filter classes the graph manager's Connect and Render try before the platform's own ones, in
// the order added (the classes themselves are registered with CoRegisterClassObject).
void AddGraphFilterClass(const CLSID& classId, const char16_t* name);
void ClearGraphFilterClasses();

}  // namespace platform::testing

// ---- Sockets ----
// The far end of a connection, for tests of code that owns the near end. These are blocking
// WinSock sockets (WSAStartup must have been called); every wait is bounded.
#include "platform/winsock.h"

namespace platform::testing {

// A socket listening on the loopback address (127.0.0.1, or ::1) at a port the system picks,
// which `*port` receives (host order). INVALID_SOCKET on failure.
SOCKET ListenOnLoopback(bool ipv6, USHORT* port);
// A socket connected to the loopback port; INVALID_SOCKET on failure.
SOCKET ConnectToLoopback(bool ipv6, USHORT port);
// Accepts one connection on a listening socket, waiting at most `milliseconds`.
SOCKET AcceptWithin(SOCKET listener, int milliseconds);
// Sends all the bytes; false when the connection fails.
bool WriteBytes(SOCKET s, const void* bytes, int length);
// Sends one length-framed message: a 4-byte little-endian length, then the bytes.
bool WriteMessage(SOCKET s, const std::vector<uint8_t>& bytes);
// Reads one whole length-framed message, waiting at most `milliseconds` in all; false when it
// does not arrive complete in time, the connection ends, or the length is negative or above
// 16 MB.
bool ReadMessage(SOCKET s, std::vector<uint8_t>* bytes, int milliseconds);
// True when the peer has closed the connection (reads end) within `milliseconds`; bytes still
// waiting are skipped.
bool WaitForPeerClose(SOCKET s, int milliseconds);
// How many sockets the poll passes behind WSAAsyncSelect have looked at since the start: the
// work that message retrieval spends on sockets.
uint64_t SocketReadinessChecks();

}  // namespace platform::testing

namespace platform::testing {

// ---- Text input and clipboard ----
// An input method's events as SDL would give them (UTF-8): the composition with its cursor in
// characters (empty text ends it), and committed text.
void PostTextEditing(HWND window, const std::string& utf8, int cursorCharacters);
void PostTextInput(HWND window, const std::string& utf8);
// The system clipboard as SDL sees it (UTF-8); empty without SDL's video.
std::string ReadSystemClipboard();
void WriteSystemClipboard(const std::string& utf8);

}  // namespace platform::testing

// ==== Media framework: timers and an in-memory byte stream ====
#include "platform/com_stream.h"

namespace platform::testing {

// timeSetEvent refuses the next `count` timers (answers 0); -1 for all until reset to 0.
void FailTimerCreation(int count);

// An IStream over a growing byte array, created with one reference. Writes past the end extend
// it (a gap reads as zero bytes); Seek refuses a position before 0.
class MemoryStream : public IStream {
 public:
  virtual std::vector<uint8_t> Bytes() = 0;
  virtual void SetSeekResult(HRESULT result) = 0;   // Seek answers this failure without moving.
  virtual void SetWriteResult(HRESULT result) = 0;  // Write answers this failure without writing.
};
MemoryStream* CreateMemoryStream();

}  // namespace platform::testing

namespace platform::testing {

// ---- Fonts ----
// Every font made afterwards uses these files instead of asking fontconfig: the first is the
// face, the others are searched in order for characters it lacks. Tests pin files so that metrics
// and pixels do not move with the fonts installed. An empty list asks fontconfig again.
void PinFontFiles(const std::vector<std::string>& paths);
// CreateFontA refuses the next `count` fonts; -1 for all until reset to 0.
void FailFontCreation(int count);
// GetGlyphOutlineA fails (GDI_ERROR) for the next `count` calls; -1 for all until reset to 0.
void FailGlyphOutlines(int count);
// The file of the face a font was made from (empty for a handle that is no font).
std::string FontFileOf(HFONT font);
// Puts every font switch above back to its default (ResetAll does too).
void ResetFontSwitches();

}  // namespace platform::testing
