// The window's calls upward go through the records the subsystems hand it: start-up and shut-down
// call them in their fixed order, an empty field is skipped, and the library's end disconnects
// every subsystem.
#include "window_fixture.h"

#include "platform/winmm.h"

namespace {

using windowtest::LibraryTest;

std::vector<std::string> g_steps;

template <const char* kName>
int Step() {
  g_steps.push_back(kName);
  return 0;
}
template <const char* kName>
void VoidStep() {
  g_steps.push_back(kName);
}

constexpr char kColorTables[] = "movies.buildColorTables";
constexpr char kForgetRestore[] = "graphics.forgetRestoreCallback";
constexpr char kInputStart[] = "input.startDevices";
constexpr char kSoundStart[] = "sound.start";
constexpr char kGraphicsStart[] = "graphics.start";
constexpr char kTextInput[] = "input.startTextInput";
constexpr char kDrawTargets[] = "graphics.selectStartDrawTargets";
constexpr char kModelsStart[] = "graphics.startModels";
constexpr char kNetworkEnd[] = "network.end";
constexpr char kMusicEnd[] = "sound.endCurrentMusic";
constexpr char kModelsEnd[] = "graphics.endModels";
constexpr char kGraphicsEnd[] = "graphics.end";
constexpr char kInputEnd[] = "input.releaseDevices";
constexpr char kSoundEnd[] = "sound.end";
constexpr char kSoftImages[] = "graphics.deleteAllSoftImages";
constexpr char kMidiNotify[] = "sound.midiNotify";

// Only the start-up and shut-down steps: every other field answers as a subsystem that does
// nothing.
void ConnectRecordingSteps() {
  WindowGraphicsHooks graphics{};
  graphics.start = Step<kGraphicsStart>;
  graphics.end = Step<kGraphicsEnd>;
  graphics.startModels = Step<kModelsStart>;
  graphics.endModels = Step<kModelsEnd>;
  graphics.deleteAllSoftImages = Step<kSoftImages>;
  graphics.forgetRestoreCallback = Step<kForgetRestore>;
  graphics.selectStartDrawTargets = Step<kDrawTargets>;
  SetWindowGraphicsHooks(&graphics);
  WindowInputHooks input{};
  input.startDevices = Step<kInputStart>;
  input.releaseDevices = Step<kInputEnd>;
  input.startTextInput = Step<kTextInput>;
  SetWindowInputHooks(&input);
  WindowSoundHooks sound{};
  sound.start = Step<kSoundStart>;
  sound.end = Step<kSoundEnd>;
  sound.endCurrentMusic = Step<kMusicEnd>;
  sound.midiNotify = Step<kMidiNotify>;
  SetWindowSoundHooks(&sound);
  WindowNetworkHooks network{};
  network.end = Step<kNetworkEnd>;
  SetWindowNetworkHooks(&network);
  WindowMovieHooks movies{};
  movies.buildColorTables = VoidStep<kColorTables>;
  SetWindowMovieHooks(&movies);
}

class WindowHooksTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    g_steps.clear();
  }
};

TEST_F(WindowHooksTest, StartUpAndShutDownCallTheSubsystemsInTheirOrder) {
  ConnectRecordingSteps();
  ASSERT_EQ(StartLibrary(), 0);
  EXPECT_EQ(g_steps, (std::vector<std::string>{kColorTables, kForgetRestore, kInputStart, kSoundStart, kGraphicsStart,
                                               kTextInput, kDrawTargets, kModelsStart}));
  g_steps.clear();
  ASSERT_EQ(EndLibrary(), 0);
  EXPECT_EQ(g_steps, (std::vector<std::string>{kNetworkEnd, kMusicEnd, kModelsEnd, kGraphicsEnd, kInputEnd, kSoundEnd,
                                               kSoftImages}));
}

TEST_F(WindowHooksTest, SubsystemsLeftOutOfStartUpAreNotCalled) {
  ConnectRecordingSteps();
  g_windowSystem.options.noInput = 1;
  g_windowSystem.options.noSound = 1;
  g_windowSystem.options.noGraphics = 1;
  ASSERT_EQ(StartLibrary(), 0);
  EXPECT_EQ(g_steps, (std::vector<std::string>{kColorTables, kForgetRestore, kTextInput, kDrawTargets}));
  EndLibrary();
}

TEST_F(WindowHooksTest, EmptyFieldsAnswerAsNoSubsystem) {
  ConnectRecordingSteps();
  int width = 0, height = 0;
  GraphicsHooks().screenSize(&width, &height);
  EXPECT_EQ(width, 640);
  EXPECT_EQ(height, 480);
  EXPECT_EQ(GraphicsHooks().displayModeCount(), 0);
  EXPECT_EQ(InputHooks().stockChar('a'), 0);
  EXPECT_TRUE(g_steps.empty());
}

// Once the library has ended, a message that would reach a subsystem reaches nothing.
TEST_F(WindowHooksTest, FinishingTheLibraryDisconnectsEverySubsystem) {
  ConnectRecordingSteps();
  MainWindowProc(nullptr, MM_MCINOTIFY, 0, 0);
  EXPECT_EQ(g_steps, std::vector<std::string>{kMidiNotify});
  g_steps.clear();
  FinishLibrary();
  MainWindowProc(nullptr, MM_MCINOTIFY, 0, 0);
  EXPECT_TRUE(g_steps.empty());
}

}  // namespace
