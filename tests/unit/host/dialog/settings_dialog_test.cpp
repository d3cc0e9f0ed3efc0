// The settings dialog's steps over a stand-in window and an in-memory settings file.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "last_api_result.h"
#include "music_settings.h"
#include "settings.h"
#include "settings_dialog.h"

using namespace dialog;

namespace {

// Profile calls kept in memory, in the order they were made. Texts pass unchanged: what is
// checked is which keys and values the dialog hands to WriteIni.
class MemoryFiles : public HostFiles {
 public:
  std::vector<std::pair<std::string, std::string>> writes;  // key, value
  void getProfileString(const std::string&, const std::string&, const std::string& def, char* buffer,
                        std::size_t size, const std::string&) override {
    std::strncpy(buffer, def.c_str(), size - 1);
  }
  void writeProfileString(const std::string& section, const std::string& key, const std::string& value,
                          const std::string& file) override {
    EXPECT_EQ(section, "Settings");
    EXPECT_EQ(file, "C:\\velk_temp\\Glassfall.ini");
    writes.push_back({key, value});
  }
  bool canOpenForReading(const std::string&) override { return true; }
  std::string toAnsi(const std::string& t) override { return t; }
  std::string fromAnsi(const std::string& t) override { return t; }
};

std::string saved_value(const MemoryFiles& f, const std::string& key) {
  std::string value = "(not written)";
  for (const auto& w : f.writes) {
    if (w.first == key) value = w.second;
  }
  return value;
}

class FakeSite : public DialogSite {
 public:
  int screenW = 15360, screenH = 11520, windowW = 7575, windowH = 4500;
  Point moved{-1, -1}, shape1{-1, -1};
  bool repeatEnabled = true, fileEnabled = true;
  bool marks[3] = {true, true, true};
  std::string repeat = "unset", fileLabel = "unset";
  std::vector<std::string> entries;
  std::vector<std::pair<int, int>> banners;
  bool timerStopped = false, closed = false;
  bool haveCursor = true;
  Point cursor{300, 200};
  ScreenRect window{100, 50, 605, 350};
  std::vector<std::pair<ScreenRect, ScreenRect>> effects;
  std::int32_t chooserResult = 1;
  std::string chooserPath;
  std::vector<FileRequest> requests;
  std::vector<std::string> log;  // pointer changes and address openings, in order

  void screenSizeTwips(int& w, int& h) const override { w = screenW, h = screenH; }
  void windowSizeTwips(int& w, int& h) const override { w = windowW, h = windowH; }
  void moveWindowTwips(int l, int t) override { moved = {l, t}; }
  void moveShape1Twips(int l, int t) override { shape1 = {l, t}; }
  void setRepeatEnabled(bool e) override { repeatEnabled = e; }
  void setFileButtonEnabled(bool e) override { fileEnabled = e; }
  void showMark(int i, bool s) override { marks[i] = s; }
  void setRepeatText(const std::string& t) override { repeat = t; }
  std::string repeatText() const override { return repeat; }
  void addRepeatEntry(const std::string& t) override { entries.push_back(t); }
  void setFileLabel(const std::string& t) override { fileLabel = t; }
  void showBanner(int box, int picture) override { banners.push_back({box, picture}); }
  void stopTimer() override { timerStopped = true; }
  void close() override { closed = true; }
  bool cursorPos(int& x, int& y) override {
    if (!haveCursor) return false;
    x = cursor.x, y = cursor.y;
    return true;
  }
  ScreenRect windowRect() const override { return window; }
  void animateRects(const ScreenRect& from, const ScreenRect& to) override { effects.push_back({from, to}); }
  std::int32_t openFileName(const FileRequest& r, std::string& chosen) override {
    requests.push_back(r);
    if (chooserResult > 0) chosen = chooserPath;
    return chooserResult;
  }
  void openAddress(const std::string& a) override { log.push_back("open " + a); }
  void setHourglass(bool h) override { log.push_back(h ? "hourglass" : "default"); }

  int selectedMark() const {
    int found = -1;
    for (int i = 0; i < 3; ++i) {
      if (marks[i]) {
        if (found >= 0) return -2;  // more than one
        found = i;
      }
    }
    return found;
  }
};

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    BgmMode = 0;
    BgmRepeat = 0;
    BgmFile.clear();
    BgmFolder = "C:\\Program";
  }
  void loadWith(int mode, int repeat, const std::string& file = "") {
    BgmMode = std::int16_t(mode);
    BgmRepeat = std::int16_t(repeat);
    BgmFile = file;
    dlg.load();
  }
  std::map<std::string, std::string> saved() const {
    std::map<std::string, std::string> m;
    for (const auto& w : files.writes) m[w.first] = w.second;
    return m;
  }

  FakeSite site;
  MemoryFiles files;
  SettingsDialog dlg{site, files};
};

}  // namespace

TEST(DialogFormatTest, RepeatTextAndTrackNumbers) {
  EXPECT_EQ(formatRepeat(0), "");
  EXPECT_EQ(formatRepeat(7), "7");
  EXPECT_EQ(formatRepeat(30), "30");
  EXPECT_EQ(formatRepeat(-3), "-3");

  const std::pair<const char*, int> cases[] = {
      {"2.5", 2}, {"3.5", 4}, {"-2.5", -2}, {"abc", 0}, {"", 0}, {" 12 ", 12}, {"7x", 0},
      {"32767", 32767}, {"-32768", -32768}, {"32767.4", 32767}, {"32767.5", 0}, {"40000", 0},
      {"-40000", 0}, {"1e10", 0}, {"&H10", 16},
  };
  for (const auto& c : cases) EXPECT_EQ(repeatFromText(c.first), c.second) << '"' << c.first << '"';
}

TEST(DialogFormatTest, PlacementOnA1024By768Screen) {
  // Window 7575 x 4500 twips: (15360 - 7575) \ 2 = 3892, (11520 - 4500) \ 3 = 2340.
  const Point p = placement(15360, 11520, 7575, 4500);
  EXPECT_EQ(p.x, 3892);
  EXPECT_EQ(p.y, 2340);
  // Truncation, not rounding: 1 \ 2 = 0, 2 \ 3 = 0; a window larger than the screen goes left/up.
  EXPECT_EQ(placement(1, 2, 0, 0).x, 0);
  EXPECT_EQ(placement(1, 2, 0, 0).y, 0);
  EXPECT_EQ(placement(100, 100, 105, 104).x, -2);
  EXPECT_EQ(placement(100, 100, 105, 104).y, -1);
}

TEST(DialogFormatTest, BannerSequenceOverOneHundredTicks) {
  std::int16_t frame = 0;
  std::vector<BannerShow> shows;
  for (int tick = 1; tick <= 100; ++tick) shows.push_back(bannerStep(frame));
  for (int tick = 1; tick <= 100; ++tick) {
    const int inCycle = (tick - 1) % 49 + 1;  // 1..49
    const BannerShow& s = shows[tick - 1];
    if (inCycle <= 24) {
      EXPECT_EQ(s.box, 0) << tick;
      EXPECT_EQ(s.picture, inCycle) << tick;
    } else if (inCycle <= 48) {
      EXPECT_EQ(s.box, 1) << tick;
      EXPECT_EQ(s.picture, inCycle - 24) << tick;
    } else {
      EXPECT_EQ(s.box, -1) << tick;
    }
  }
  EXPECT_EQ(frame, 2);  // 100 = 2 * 49 + 2
}

TEST_F(DialogTest, LoadStepsForEachMode) {
  struct Case {
    int mode;
    int mark;
    bool repeat, file;
  } cases[] = {{0, 0, false, false}, {1, 1, true, false}, {2, 2, false, true}, {7, -1, false, false},
               {-1, -1, false, false}};
  for (const Case& c : cases) {
    FakeSite s;
    SettingsDialog d(s, files);
    BgmMode = std::int16_t(c.mode);
    d.load();
    EXPECT_EQ(s.selectedMark(), c.mark) << c.mode;
    EXPECT_EQ(s.repeatEnabled, c.repeat) << c.mode;
    EXPECT_EQ(s.fileEnabled, c.file) << c.mode;
    EXPECT_EQ(BgmMode, c.mode);  // loading changes nothing
  }
  EXPECT_TRUE(files.writes.empty());
}

TEST_F(DialogTest, LoadFillsTheBoxesPlacesTheWindowAndZoomsFromTheCursor) {
  loadWith(1, 0, "C:\\m\\a.mp3");
  EXPECT_EQ(site.repeat, "");
  ASSERT_EQ(site.entries.size(), 31u);
  EXPECT_EQ(site.entries[0], "");
  EXPECT_EQ(site.entries[1], "1");
  EXPECT_EQ(site.entries[30], "30");
  EXPECT_EQ(site.fileLabel, "C:\\m\\a.mp3");
  EXPECT_EQ(site.moved.x, 3892);
  EXPECT_EQ(site.moved.y, 2340);
  EXPECT_EQ(site.shape1.x, 315);
  EXPECT_EQ(site.shape1.y, 255);
  ASSERT_EQ(site.effects.size(), 1u);
  EXPECT_EQ(site.effects[0].first, (ScreenRect{300, 200, 300, 200}));
  EXPECT_EQ(site.effects[0].second, site.window);
  EXPECT_EQ(site.log, std::vector<std::string>{"default"});
  EXPECT_EQ(dlg.bannerFrame(), 0);

  FakeSite other;
  SettingsDialog again(other, files);
  BgmRepeat = 7;
  again.load();
  EXPECT_EQ(other.repeat, "7");
  EXPECT_EQ(other.entries.front(), "");
}

TEST_F(DialogTest, WithoutACursorPositionBothEffectsUseTheTopLeftCorner) {
  site.haveCursor = false;
  dlg.load();
  dlg.closeRequested();
  dlg.unloading();
  ASSERT_EQ(site.effects.size(), 2u);
  EXPECT_EQ(site.effects[0].first, (ScreenRect{0, 0, 0, 0}));
  EXPECT_EQ(site.effects[1].first, site.window);
  EXPECT_EQ(site.effects[1].second, (ScreenRect{0, 0, 0, 0}));
  EXPECT_TRUE(site.timerStopped);
}

TEST_F(DialogTest, ModeChoiceMovesTheMarkAndEnablesOnlyItsControls) {
  loadWith(0, 3);
  site.repeat = "5";
  for (int i : {1, 2, 0, 1}) {
    dlg.chooseMode(i);
    EXPECT_EQ(BgmMode, i);
    EXPECT_EQ(site.selectedMark(), i);
    EXPECT_EQ(site.repeatEnabled, i == 1);
    EXPECT_EQ(site.fileEnabled, i == 2);
  }
  // Nothing else moves: the box text and the stored repeat wait for the save.
  EXPECT_EQ(site.repeat, "5");
  EXPECT_EQ(BgmRepeat, 3);
  EXPECT_TRUE(files.writes.empty());
}

TEST_F(DialogTest, SaveWritesAllThreeKeysAndCloses) {
  loadWith(1, 0, "C:\\m\\a.mp3");
  site.repeat = "12";
  dlg.chooseMode(0);  // the CD, then "none": the track number is still saved
  dlg.save();
  ASSERT_EQ(files.writes.size(), 3u);
  EXPECT_EQ(files.writes[0], std::make_pair(std::string("BGM区分"), std::string("0")));
  EXPECT_EQ(files.writes[1], std::make_pair(std::string("BGMﾘﾋﾟｰﾄ"), std::string("12")));
  EXPECT_EQ(files.writes[2], std::make_pair(std::string("BGMﾌｧｲﾙ"), std::string("C:\\m\\a.mp3")));
  EXPECT_EQ(BgmRepeat, 12);
  EXPECT_TRUE(site.closed);
}

TEST_F(DialogTest, SavedTrackNumbers) {
  const std::pair<const char*, const char*> cases[] = {
      {"2.5", "2"}, {"3.5", "4"}, {"abc", "0"}, {"", "0"}, {"40000", "0"}, {"-1", "-1"}};
  for (const auto& c : cases) {
    MemoryFiles f;
    FakeSite s;
    SettingsDialog d(s, f);
    d.load();
    s.repeat = c.first;
    d.save();
    EXPECT_EQ(saved_value(f, "BGMﾘﾋﾟｰﾄ"), c.second) << c.first;
  }
}

TEST_F(DialogTest, ModeTwoWithoutAFileWritesAnEmptyFileAndAnOddModeGoesBackUnchanged) {
  loadWith(0, 0);
  dlg.chooseMode(2);
  dlg.save();
  EXPECT_EQ(saved()["BGM区分"], "2");
  ASSERT_TRUE(saved().count("BGMﾌｧｲﾙ"));
  EXPECT_EQ(saved()["BGMﾌｧｲﾙ"], "");

  MemoryFiles f;
  FakeSite s;
  SettingsDialog d(s, f);
  BgmMode = 7;
  d.load();
  d.save();
  EXPECT_EQ(saved_value(f, "BGM区分"), "7");
}

TEST_F(DialogTest, CancelAndTheCloseBoxWriteNothing) {
  loadWith(2, 4, "C:\\m\\a.mp3");
  dlg.chooseMode(1);
  site.repeat = "9";
  dlg.cancel();
  dlg.closeRequested();
  dlg.unloading();
  EXPECT_TRUE(site.closed);
  EXPECT_TRUE(files.writes.empty());
  EXPECT_EQ(BgmRepeat, 4);
}

TEST_F(DialogTest, FileChoice) {
  BgmFolder = "D:\\Music";
  loadWith(2, 0, "C:\\old\\a.wav");
  site.chooserPath = "E:\\songs\\b.mp3";
  LastApiResult = 0;
  dlg.chooseFile();
  ASSERT_EQ(site.requests.size(), 1u);
  const FileRequest& r = site.requests[0];
  EXPECT_EQ(r.filterDescription, "BGMﾌｧｲﾙ (MP3 WAV)");
  EXPECT_EQ(r.filterPattern, "*.MP3;*.WAV");
  EXPECT_EQ(r.initialFolder, "D:\\Music");
  EXPECT_EQ(r.title, "ﾌｧｲﾙを開く");
  EXPECT_EQ(r.fileBufferLength, 255);
  EXPECT_EQ(r.titleBufferLength, 255);
  EXPECT_EQ(LastApiResult, 1);
  EXPECT_EQ(BgmFile, "E:\\songs\\b.mp3");
  EXPECT_EQ(BgmFolder, "E:\\songs");
  EXPECT_EQ(site.fileLabel, "E:\\songs\\b.mp3");

  // Cancelled: path, folder and label stay.
  site.chooserResult = 0;
  site.chooserPath = "X:\\no.mp3";
  dlg.chooseFile();
  EXPECT_EQ(LastApiResult, 0);
  EXPECT_EQ(BgmFile, "E:\\songs\\b.mp3");
  EXPECT_EQ(BgmFolder, "E:\\songs");
  EXPECT_EQ(site.fileLabel, "E:\\songs\\b.mp3");
  EXPECT_EQ(site.requests[1].initialFolder, "E:\\songs");
}

TEST_F(DialogTest, HomePageOpensUnderTheHourglassAndTheBannerPlays) {
  dlg.load();
  site.log.clear();
  dlg.openHomePage();
  ASSERT_EQ(site.log.size(), 3u);
  EXPECT_EQ(site.log[0], "hourglass");
  EXPECT_EQ(site.log[1].rfind("open https://", 0), 0u);
  EXPECT_EQ(site.log[2], "default");

  for (int i = 0; i < 50; ++i) dlg.timerTick();
  ASSERT_EQ(site.banners.size(), 49u);  // the 49th tick shows nothing
  EXPECT_EQ(site.banners[0], std::make_pair(0, 1));
  EXPECT_EQ(site.banners[23], std::make_pair(0, 24));
  EXPECT_EQ(site.banners[24], std::make_pair(1, 1));
  EXPECT_EQ(site.banners[47], std::make_pair(1, 24));
  EXPECT_EQ(site.banners[48], std::make_pair(0, 1));  // tick 50 starts the next cycle
  EXPECT_EQ(dlg.bannerFrame(), 1);
}
