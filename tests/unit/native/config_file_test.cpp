// The native program's settings file: the keys it takes, bad lines named by number and skipped
// without losing the good ones, the command line over the file, and where the file is.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "config_file.h"

namespace {

HackOptions fromFile(const std::string& text, std::vector<ConfigNote>* notes = nullptr, const char* home = "/home/ann") {
  HackOptions options;
  std::vector<ConfigNote> got = applyConfigText(text, home, options);
  if (notes) *notes = got;
  else EXPECT_TRUE(got.empty()) << got.front().why;
  return options;
}

std::vector<int> lineNumbers(const std::vector<ConfigNote>& notes) {
  std::vector<int> lines;
  for (const ConfigNote& note : notes) lines.push_back(note.line);
  return lines;
}

}  // namespace

TEST(ConfigFile, EveryKeyWithTheSpacingCommentsAndLineEndsPeopleWrite) {
  const HackOptions o = fromFile(
      "# my screensaver\n"
      "\n"
      "music = /home/ann/Music/rain and thunder.mp3\r\n"
      "  delay=33333  \n"
      "\t# track only counts with the cd\n"
      "track = 4");
  EXPECT_EQ(o.music.file, "/home/ann/Music/rain and thunder.mp3");
  EXPECT_FALSE(o.music.cd);
  EXPECT_EQ(o.delayMicroseconds, 33333);
  EXPECT_EQ(o.music.track, 4);
  EXPECT_EQ(o.target, DrawTarget::ownWindow);

  EXPECT_EQ(fromFile("music = ~/Music/rain.mp3\n").music.file, "/home/ann/Music/rain.mp3");
  EXPECT_EQ(fromFile("music = \"~/Music/a b.wav\"\n").music.file, "/home/ann/Music/a b.wav");
  // Only a leading ~/ is the home folder; without a home it stays as written.
  EXPECT_EQ(fromFile("music = /srv/~/x.mp3\n").music.file, "/srv/~/x.mp3");
  EXPECT_EQ(fromFile("music = ~/x.mp3\n", nullptr, nullptr).music.file, "~/x.mp3");
}

TEST(ConfigFile, OfMusicAndCdTheLaterLineWinsAsOnTheCommandLine) {
  HackOptions o = fromFile("music = /m/a.mp3\ncd = yes\n");
  EXPECT_TRUE(o.music.cd);
  EXPECT_EQ(o.music.file, "");
  o = fromFile("cd = on\nmusic = /m/a.mp3\n");
  EXPECT_FALSE(o.music.cd);
  EXPECT_EQ(o.music.file, "/m/a.mp3");
  for (const char* off : {"no", "false", "off", "0"}) {
    EXPECT_FALSE(fromFile(std::string("cd = true\ncd = ") + off + "\n").music.cd) << off;
  }
  // An empty music line means no music file.
  EXPECT_EQ(fromFile("music = /m/a.mp3\nmusic =\n").music.file, "");
}

TEST(ConfigFile, BadLinesAreNamedByNumberAndSkippedTheRestStillCounts) {
  std::vector<ConfigNote> notes;
  const HackOptions o = fromFile(
      "delay = 20000\n"        // 1
      "delay = soon\n"         // 2: not a number
      "track = 100\n"          // 3: no such track
      "just some words\n"      // 4: no '='
      "colour = red\n"         // 5: unknown key
      "cd = maybe\n"           // 6
      "root = yes\n"           // 7: the drawing target is the command line's alone
      "delay = 99999999999\n"  // 8: too long
      "track = 7\n",           // 9
      &notes);
  EXPECT_EQ(lineNumbers(notes), (std::vector<int>{2, 3, 4, 5, 6, 7, 8}));
  EXPECT_NE(notes[0].why.find("'soon'"), std::string::npos) << notes[0].why;
  EXPECT_NE(notes[3].why.find("colour"), std::string::npos) << notes[3].why;
  EXPECT_EQ(o.delayMicroseconds, 20000);
  EXPECT_EQ(o.music.track, 7);
  EXPECT_FALSE(o.music.cd);
  EXPECT_EQ(o.target, DrawTarget::ownWindow);
}

TEST(ConfigFile, TheCommandLineWinsOverTheFile) {
  struct Case {
    const char* file;
    std::vector<const char*> args;
    std::string musicFile;
    bool cd;
    long delay;
  };
  const Case cases[] = {
      {"delay = 50000\n", {"--delay", "20000"}, "", false, 20000},
      {"music = /m/a.mp3\n", {"--cd"}, "", true, kDefaultDelayMicroseconds},
      {"cd = yes\n", {"--music", "/m/b.wav"}, "/m/b.wav", false, kDefaultDelayMicroseconds},
      {"music = /m/a.mp3\ndelay = 50000\n", {"--root"}, "/m/a.mp3", false, 50000},
  };
  for (const Case& c : cases) {
    HackOptions o;
    EXPECT_TRUE(applyConfigText(c.file, nullptr, o).empty());
    std::vector<const char*> argv = c.args;
    argv.insert(argv.begin(), "glassfall");
    ASSERT_EQ(parseHackOptions(int(argv.size()), argv.data(), nullptr, o).outcome, ParseOutcome::run);
    EXPECT_EQ(o.music.file, c.musicFile) << c.file;
    EXPECT_EQ(o.music.cd, c.cd) << c.file;
    EXPECT_EQ(o.delayMicroseconds, c.delay) << c.file;
  }
}

TEST(ConfigFile, PathFromTheConfigHomeElseTheHomeFolder) {
  EXPECT_EQ(configFilePath("/x/conf", "/home/ann"), "/x/conf/glassfall/glassfall.conf");
  EXPECT_EQ(configFilePath(nullptr, "/home/ann"), "/home/ann/.config/glassfall/glassfall.conf");
  EXPECT_EQ(configFilePath("", "/home/ann"), "/home/ann/.config/glassfall/glassfall.conf");
  EXPECT_EQ(configFilePath("relative/conf", "/home/ann"), "/home/ann/.config/glassfall/glassfall.conf");
  EXPECT_EQ(configFilePath(nullptr, nullptr), "");
  EXPECT_EQ(configFilePath(nullptr, ""), "");
}

TEST(ConfigFile, LoadingAFileNamesItsPathAndLineAMissingOneIsNoError) {
  char folder[] = "/tmp/glassfall-config-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string path = std::string(folder) + "/glassfall.conf";

  HackOptions o;
  EXPECT_TRUE(loadConfigFile(path, nullptr, o).empty());
  EXPECT_TRUE(loadConfigFile("", nullptr, o).empty());

  std::FILE* f = std::fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("delay = 40000\nfast = yes\n", f);
  std::fclose(f);
  const std::vector<std::string> notes = loadConfigFile(path, nullptr, o);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].rfind(path + ":2: unknown key 'fast'", 0), 0u) << notes[0];
  EXPECT_EQ(o.delayMicroseconds, 40000);

  // A folder where the file should be cannot be read, and says so.
  HackOptions untouched;
  EXPECT_EQ(loadConfigFile(folder, nullptr, untouched).size(), 1u);
  EXPECT_EQ(untouched.delayMicroseconds, kDefaultDelayMicroseconds);

  std::remove(path.c_str());
  rmdir(folder);
}
