// The mode table of start-up, row by row, with every system call in the order it is made.
#include <gtest/gtest.h>

#include "param_names.h"

#include <cstring>
#include <set>
#include <vector>

#include "music_settings.h"
#include "settings.h"
#include "startup.h"

namespace {

using Log = std::vector<std::string>;

// Records start-up's system and file calls in one log; titles, files and the screen are set up front.
class RecordingSystem : public StartupSystem, public HostFiles {
 public:
  Log log;
  std::set<std::string> windows, files = {"C:\\saver\\Glassfall.dll"};
  bool previewOpens = true, runWindowOpens = true, lockFree = true;
  ScreenArea area = {0, 0, 1280, 1024};

  void quietCriticalErrors() override { log.push_back("quiet errors"); }
  bool takeInstanceLock() override {
    log.push_back("lock");
    return lockFree;
  }
  bool windowExists(const std::string& title) override {
    log.push_back("find " + title);
    return windows.count(title) != 0;
  }
  void createFolder(const std::string& path) override { log.push_back("mkdir " + path); }
  std::int32_t showCursor(bool show) override {
    log.push_back(show ? "cursor show" : "cursor hide");
    return -1;
  }
  void messageBox(const std::string& text, const std::string& title) override {
    log.push_back("message " + text + " | " + title);
  }
  ScreenArea screenArea() override {
    log.push_back("screen");
    return area;
  }
  bool startPreview(std::int32_t parent) override {
    log.push_back("preview " + std::to_string(parent));
    return previewOpens;
  }
  void showSettingsDialogModal() override { log.push_back("dialog"); }
  bool createRunWindow() override {
    log.push_back("run window");
    return runWindowOpens;
  }

  void getProfileString(const std::string&, const std::string& key, const std::string&, char* buffer,
                        std::size_t, const std::string&) override {
    log.push_back("read " + key);
    buffer[0] = '\0';
  }
  void writeProfileString(const std::string& section, const std::string& key, const std::string& value,
                          const std::string& file) override {
    log.push_back("write " + file + " [" + section + "] " + key + "=" + value);
  }
  bool canOpenForReading(const std::string& path) override {
    log.push_back("open " + path);
    return files.count(path) != 0;
  }
  std::string toAnsi(const std::string& text) override { return text; }
  std::string fromAnsi(const std::string& text) override { return text; }
};

const Log kSingleInstance = {"quiet errors", "find Glassfall_Main", "find ■Glassfall■"};
const Log kPrepare = {"lock", "mkdir C:\\velk_temp", "read BGM区分", "read BGMﾘﾋﾟｰﾄ", "read BGMﾌｧｲﾙ",
                      "open C:\\saver\\Glassfall.dll"};
const Log kScreenAndRun = {"screen", "write C:\\velk_temp\\Glassfall.ini [Settings] Width=1280",
                           "write C:\\velk_temp\\Glassfall.ini [Settings] Height=1024",
                           "write C:\\velk_temp\\Glassfall.ini [Settings] Left=0",
                           "write C:\\velk_temp\\Glassfall.ini [Settings] Top=0", "run window"};

Log join(std::initializer_list<Log> parts) {
  Log all;
  for (const Log& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

struct ModeRow {
  const char* argument;
  Log calls;
  StartupOutcome outcome;
  bool cursorHidden;
};

class ModeTable : public ::testing::TestWithParam<ModeRow> {};

TEST_P(ModeTable, MakesTheRowsCallsInOrder) {
  const ModeRow& row = GetParam();
  RecordingSystem system;
  HostState state;
  state.argument = row.argument;
  state.programFolder = "C:\\saver";
  EXPECT_EQ(runStartup(state, system, system), row.outcome);
  EXPECT_EQ(system.log, row.calls);
  EXPECT_EQ(state.cursorCount.has_value(), row.cursorHidden);
}

const StartupOutcome kEnd = StartupOutcome::EndProgram, kKeep = StartupOutcome::KeepRunning;

INSTANTIATE_TEST_SUITE_P(Rows, ModeTable, ::testing::Values(
    ModeRow{"/p 1234", join({kSingleInstance, {"preview 1234"}}), kKeep, false},
    ModeRow{"/P:1234", join({kSingleInstance, {"preview 1234"}}), kKeep, false},
    ModeRow{"/p", join({kSingleInstance, {"preview 0"}}), kKeep, false},
    ModeRow{"/c", join({kSingleInstance, kPrepare, {"dialog"}}), kEnd, false},
    ModeRow{"/C", join({kSingleInstance, kPrepare, {"dialog"}}), kEnd, false},
    ModeRow{"/c:1234", join({kSingleInstance, kPrepare, {"dialog"}}), kEnd, false},
    ModeRow{"/s", join({kSingleInstance, kPrepare, {"cursor hide"}, kScreenAndRun}), kKeep, true},
    ModeRow{"/S", join({kSingleInstance, kPrepare, {"cursor hide"}, kScreenAndRun}), kKeep, true},
    ModeRow{"-s", join({kSingleInstance, kPrepare, {"cursor hide"}, kScreenAndRun}), kKeep, true},
    ModeRow{"", join({kSingleInstance, kPrepare, kScreenAndRun}), kKeep, false},
    ModeRow{"s", join({kSingleInstance, kPrepare}), kEnd, false},
    ModeRow{"/a", join({kSingleInstance, kPrepare}), kEnd, false},
    ModeRow{"/x 5", join({kSingleInstance, kPrepare}), kEnd, false}),
    [](const ::testing::TestParamInfo<ModeRow>& info) { return testnames::fromText(info.param.argument); });

class Startup : public ::testing::Test {
 protected:
  StartupOutcome start(const char* argument) {
    state.argument = argument;
    state.programFolder = "C:\\saver";
    return runStartup(state, system, system);
  }
  RecordingSystem system;
  HostState state;
};

TEST_F(Startup, ARunInProgressEndsEveryModeBeforeAnythingElse) {
  for (const char* argument : {"/s", "/p 1234", "/c", ""}) {
    system.log.clear();
    system.windows = {"Glassfall_Main"};
    EXPECT_EQ(start(argument), kEnd);
    EXPECT_EQ(system.log, (Log{"quiet errors", "find Glassfall_Main"})) << argument;
  }
}

TEST_F(Startup, AnOpenSettingsDialogEndsTheStartToo) {
  system.windows = {"■Glassfall■"};
  EXPECT_EQ(start("/s"), kEnd);
  EXPECT_EQ(system.log, kSingleInstance);
}

TEST_F(Startup, AStartThatLosesTheLockEndsSilentlyBeforeTouchingAnything) {
  system.lockFree = false;
  for (const char* argument : {"/s", "/c", "", "/x 5"}) {
    system.log.clear();
    EXPECT_EQ(start(argument), kEnd);
    EXPECT_EQ(system.log, join({kSingleInstance, {"lock"}})) << argument;
  }
  // The preview asks for no lock: it may stand beside a run.
  system.log.clear();
  EXPECT_EQ(start("/p 7"), kKeep);
  EXPECT_EQ(system.log, join({kSingleInstance, {"preview 7"}}));
}

TEST_F(Startup, TheRenderersMessageOnlyWhereTheCheckIsMade) {
  system.files.clear();
  const Log message = {"message Glassfall.dll が同じﾌｫﾙﾀﾞに見つかりません！ | Glassfall (ScreenSaver)"};
  for (const char* argument : {"/s", "/c", "", "/x 5"}) {
    system.log.clear();
    EXPECT_EQ(start(argument), kEnd);
    EXPECT_EQ(system.log, join({kSingleInstance, kPrepare, message})) << argument;
  }
  system.log.clear();
  EXPECT_EQ(start("/p 99"), kKeep);
  EXPECT_EQ(system.log, join({kSingleInstance, {"preview 99"}}));
}

TEST_F(Startup, ModesWithoutTheirWindowEnd) {
  system.previewOpens = false;
  system.runWindowOpens = false;
  EXPECT_EQ(start("/p 5"), kEnd);
  EXPECT_EQ(start("/s"), kEnd);
}

TEST_F(Startup, KeepsTheCursorCountAndTheMusicValues) {
  BgmMode = 2;
  BgmFile = "stale";
  EXPECT_EQ(start("/s"), kKeep);
  EXPECT_EQ(state.mode, "S");
  EXPECT_EQ(state.cursorCount, -1);
  EXPECT_EQ(BgmMode, 0);  // the settings file holds no music
  EXPECT_EQ(BgmFolder, "C:\\saver");
}

TEST_F(Startup, WritesTheVirtualScreenWithItsOriginForTheRenderer) {
  system.area = {-800, -120, 1824, 888};  // a monitor left of and above the primary
  EXPECT_EQ(start("/s"), kKeep);
  const Log written(system.log.end() - 5, system.log.end() - 1);
  EXPECT_EQ(written, (Log{"write C:\\velk_temp\\Glassfall.ini [Settings] Width=1824",
                          "write C:\\velk_temp\\Glassfall.ini [Settings] Height=888",
                          "write C:\\velk_temp\\Glassfall.ini [Settings] Left=-800",
                          "write C:\\velk_temp\\Glassfall.ini [Settings] Top=-120"}));
}

TEST(RendererPath, JoinsTheProgramFolder) {
  EXPECT_EQ(rendererPath("C:\\Program Files\\Glassfall"), "C:\\Program Files\\Glassfall\\Glassfall.dll");
  EXPECT_EQ(rendererPath("C:"), "C:\\Glassfall.dll");
}

}  // namespace
