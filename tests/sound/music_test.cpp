// MIDI handles: replay and close through a recording sequencer whose end of play reaches the
// window procedure, stopping and deleting under MCI and DirectMusic, and the current music that
// shut-down ends.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "music_test_support.h"
#include "platform/testing.h"
#include "runtime/runtime_state.h"
#include "runtime/tracked_heap.h"
#include "sound_system_fixture.h"
#include "window/window_state.h"

LRESULT MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

using namespace sound_test;
namespace testing_door = platform::testing;

namespace {

std::vector<std::string> g_calls;

// Hands the multimedia notification to the library's window procedure, the rest to the default.
LRESULT NotifyForwardingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == MM_MCINOTIFY) return MainWindowProc(window, message, wParam, lParam);
  return DefWindowProcA(window, message, wParam, lParam);
}

struct FakeUnknownBase {
  HRESULT QueryInterface(REFIID, void**) { return E_NOINTERFACE; }
  ULONG AddRef() { return ++references; }
  ULONG Release() {
    g_calls.push_back(name + ".Release");
    return --references;
  }
  std::string name;
  ULONG references = 1;
};

struct FakeSegment : IDirectMusicSegment8 {
  HRESULT QueryInterface(REFIID iid, void** out) override { return base.QueryInterface(iid, out); }
  ULONG AddRef() override { return base.AddRef(); }
  ULONG Release() override { return base.Release(); }
  HRESULT Unload(IUnknown* path) override {
    g_calls.push_back(path == expectedPerformance ? "segment.Unload(performance)" : "segment.Unload(?)");
    return S_OK;
  }
  FakeUnknownBase base{"segment"};
  IUnknown* expectedPerformance = nullptr;
};

struct FakePerformance : IDirectMusicPerformance8 {
  HRESULT QueryInterface(REFIID iid, void** out) override { return base.QueryInterface(iid, out); }
  ULONG AddRef() override { return base.AddRef(); }
  ULONG Release() override { return base.Release(); }
  HRESULT IsPlaying(IDirectMusicSegment8* segment, IDirectMusicSegmentState* state) override {
    EXPECT_EQ(segment, expectedSegment);
    EXPECT_EQ(state, nullptr);
    return playing ? S_OK : S_FALSE;
  }
  HRESULT StopEx(IUnknown* object, DMUS_REFERENCE_TIME time, DWORD flags) override {
    g_calls.push_back(std::string("performance.StopEx(") + (object == expectedSegment ? "segment" : "?") + "," +
                      std::to_string(time) + "," + std::to_string(flags) + ")");
    return S_OK;
  }
  FakeUnknownBase base{"performance"};
  IDirectMusicSegment8* expectedSegment = nullptr;
  bool playing = false;
};

struct FakeLoader : IDirectMusicLoader8 {
  HRESULT QueryInterface(REFIID iid, void** out) override { return base.QueryInterface(iid, out); }
  ULONG AddRef() override { return base.AddRef(); }
  ULONG Release() override { return base.Release(); }
  HRESULT ReleaseObjectByUnknown(IUnknown* object) override {
    g_calls.push_back(object == expectedSegment ? "loader.ReleaseObjectByUnknown(segment)" : "loader.Release?");
    return S_OK;
  }
  FakeUnknownBase base{"loader"};
  IUnknown* expectedSegment = nullptr;
};

class MusicTest : public SoundSystemFixture {
 protected:
  static void SetUpTestSuite() { testing_door::UseDummyVideoDriver(); }
  void SetUp() override {
    SoundSystemFixture::SetUp();
    ASSERT_EQ(InitSoundSystem(), 0);
    blocksAtStart_ = GetTrackedBlockCount();
    g_calls.clear();
  }
  void TearDown() override {
    g_soundHandles.backEnd = SOUND_BACK_END_DIRECT_SOUND;
    g_soundOptions.directMusicPerformance = nullptr;
    g_soundOptions.directMusicLoader = nullptr;
    SoundSystemFixture::TearDown();
    EXPECT_EQ(g_music.usedCount, 0);
    g_music = MusicTable{};
    if (window_) DestroyWindow(window_);
    g_windowSystem.mainWindow = nullptr;
  }

  // A main window whose procedure receives the sequencer's notifications, and the recording
  // sequencer as the open MCI device.
  void UseRecordingSequencer() {
    static bool registered = false;
    if (!registered) {
      WNDCLASSEXA windowClass{};
      windowClass.cbSize = sizeof(windowClass);
      windowClass.lpfnWndProc = NotifyForwardingProcedure;
      windowClass.lpszClassName = "Music Test Window";
      ASSERT_TRUE(RegisterClassExA(&windowClass));
      registered = true;
    }
    window_ = CreateWindowExA(0, "Music Test Window", "Music", WS_POPUP, 0, 0, 64, 64, nullptr, nullptr, nullptr,
                              nullptr);
    ASSERT_TRUE(window_);
    g_windowSystem.mainWindow = window_;
    g_music.mciDevice = testing_door::InstallRecordingMciDevice();
  }

  // Delivers the posted messages of the test's window.
  void DeliverMessages() {
    MSG msg;
    while (PeekMessageA(&msg, window_, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }

  HWND window_ = nullptr;
  int blocksAtStart_ = 0;
};

TEST_F(MusicTest, ReplayPlaysFromTheStartOnEachNotifyAndWithoutItTheDeviceCloses) {
  UseRecordingSequencer();
  const uint8_t midi[4] = {'M', 'T', 'h', 'd'};
  const int handle = CreateTestMidiHandle(midi, 4, nullptr);
  ASSERT_NE(handle, -1);
  EXPECT_EQ(GetMusicPlayState(handle), 0);

  g_music.replay = 1;
  ASSERT_EQ(OnMidiNotify(), 0);
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    std::vector<testing_door::RecordedMciCommand> commands = testing_door::TakeRecordedMciCommands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].message, MCI_PLAY);
    EXPECT_EQ(commands[0].flags, MCI_NOTIFY | MCI_FROM);
    EXPECT_EQ(commands[0].from, 0u);
    EXPECT_EQ(commands[0].callback, window_);
    EXPECT_EQ(GetMusicPlayState(handle), 1);
    // The play ends: the notification reaches the window procedure, which plays again.
    ASSERT_TRUE(testing_door::EndRecordedMciPlay());
    DeliverMessages();
  }
  testing_door::TakeRecordedMciCommands();

  g_music.replay = 0;
  ASSERT_TRUE(testing_door::EndRecordedMciPlay());
  DeliverMessages();
  std::vector<testing_door::RecordedMciCommand> commands = testing_door::TakeRecordedMciCommands();
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].message, MCI_CLOSE);
  EXPECT_EQ(GetMusicPlayState(handle), 0);
  ASSERT_EQ(OnMidiNotify(), 0);  // Nothing plays: nothing is sent.
  EXPECT_TRUE(testing_door::TakeRecordedMciCommands().empty());
  ASSERT_EQ(DeleteMusicHandle(handle), 0);
  EXPECT_EQ(GetMusicPlayState(handle), -1);
  EXPECT_EQ(GetTrackedBlockCount(), blocksAtStart_);
}

TEST_F(MusicTest, StoppingUnderMciClosesTheDeviceAndDeletesTheTemporaryFile) {
  UseRecordingSequencer();
  const int handle = CreateTestMidiHandle(nullptr, 0, nullptr);
  g_music.replay = 1;
  OnMidiNotify();
  testing_door::TakeRecordedMciCommands();
  char path[] = "/tmp/zyvel-midi-XXXXXX";
  const int file = mkstemp(path);
  ASSERT_GE(file, 0);
  close(file);
  std::snprintf(g_soundOptions.midiTempFile, sizeof(g_soundOptions.midiTempFile), "%s",
                platform::WindowsPathOf(path).c_str());
  g_music.deleteTempFile = 1;
  g_music.slots[HandleSlotOf(handle)]->playing = 1;

  EXPECT_EQ(StopMusicHandle(handle + 1), -1);
  ASSERT_EQ(StopMusicHandle(handle), 0);
  // The replay flag is cleared first, so the notification closes instead of replaying.
  std::vector<testing_door::RecordedMciCommand> commands = testing_door::TakeRecordedMciCommands();
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].message, MCI_CLOSE);
  EXPECT_EQ(g_music.replay, 0);
  EXPECT_EQ(GetMusicPlayState(handle), 0);
  EXPECT_NE(access(path, F_OK), 0) << "the temporary MIDI file is deleted";
  EXPECT_EQ(g_music.deleteTempFile, 0);
  EXPECT_EQ(g_music.slots[HandleSlotOf(handle)]->playing, 0);
  ASSERT_EQ(DeleteAllMusicHandles(), 0);
  EXPECT_EQ(g_music.highWaterMark, 0);
}

TEST_F(MusicTest, DirectMusicFollowsThePerformanceAndReleasesTheSegmentOnDelete) {
  FakePerformance performance;
  FakeLoader loader;
  FakeSegment segment;
  performance.expectedSegment = &segment;
  loader.expectedSegment = &segment;
  segment.expectedPerformance = &performance;
  g_soundHandles.backEnd = SOUND_BACK_END_DIRECT_MUSIC;
  g_soundOptions.directMusicPerformance = &performance;
  g_soundOptions.directMusicLoader = &loader;
  const uint8_t midi[3] = {1, 2, 3};
  const int handle = CreateTestMidiHandle(midi, 3, &segment);
  MidiRecord* record = GetMidiRecord(handle);
  record->playing = 1;

  // Until the performance reports the segment once, a "not playing" answer is the start's delay.
  struct Step {
    bool answer;
    int started;
    int playing;
  };
  for (const Step& step : {Step{false, 0, 1}, Step{true, 1, 1}, Step{true, 1, 1}, Step{false, 1, 0}}) {
    performance.playing = step.answer;
    ASSERT_EQ(UpdateMidiPlayState(), 0);
    EXPECT_EQ(record->started, step.started);
    EXPECT_EQ(record->playing, step.playing);
    EXPECT_EQ(GetMusicPlayState(handle), step.playing);
  }

  record->playing = 1;
  record->started = 1;
  ASSERT_EQ(DeleteMusicHandle(handle), 0);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"performance.StopEx(segment,0,0)", "segment.Unload(performance)",
                                               "loader.ReleaseObjectByUnknown(segment)", "segment.Release"}));
  EXPECT_EQ(segment.base.references, 0u);
  EXPECT_EQ(GetMidiRecord(handle), nullptr);
  EXPECT_EQ(GetTrackedBlockCount(), blocksAtStart_);
}

TEST_F(MusicTest, EndingTheCurrentMusicEndsASoundOrAMidiHandle) {
  g_music.currentMusic = AddSoundData(-1);
  g_music.currentMusicKind = CURRENT_MUSIC_SOUND;
  const int sound = g_music.currentMusic;
  ASSERT_EQ(EndCurrentMusic(), 0);
  EXPECT_EQ(CheckSoundHandle(sound), -1);
  EXPECT_EQ(g_music.currentMusic, 0);

  UseRecordingSequencer();
  g_music.currentMusic = CreateTestMidiHandle(nullptr, 0, nullptr);
  g_music.currentMusicKind = CURRENT_MUSIC_MIDI;
  const int midi = g_music.currentMusic;
  g_music.replay = 1;
  OnMidiNotify();
  testing_door::TakeRecordedMciCommands();
  ASSERT_EQ(EndCurrentMusic(), 0);
  std::vector<testing_door::RecordedMciCommand> commands = testing_door::TakeRecordedMciCommands();
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].message, MCI_CLOSE);
  EXPECT_EQ(GetMusicPlayState(midi), -1);
  EXPECT_EQ(g_music.currentMusic, 0);
  EXPECT_EQ(EndCurrentMusic(), 0);  // Nothing current: nothing happens.
  EXPECT_EQ(GetTrackedBlockCount(), blocksAtStart_);
}

TEST_F(MusicTest, WithoutASynthesiserTheSequencerDoesNotOpen) {
  MCI_OPEN_PARMSA open{};
  open.lpstrDeviceType = "sequencer";
  EXPECT_EQ(mciSendCommandA(0, MCI_OPEN, 0, reinterpret_cast<DWORD_PTR>(&open)), MCIERR_SEQ_NOMIDIPRESENT);
  EXPECT_EQ(mciSendCommandA(1, MCI_CLOSE, 0, 0), MCIERR_INVALID_DEVICE_ID);
}

}  // namespace
