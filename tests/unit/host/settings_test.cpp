// The settings file routines, the path routines and LoadMusicSettings over an in-memory
// stand-in for the profile functions that behaves like the ANSI ones (code page 932).
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <utility>

#include "music_settings.h"
#include "settings.h"

namespace {

// The few Japanese characters the settings use, as code page 932 bytes.
const std::pair<const char*, const char*> kCp932[] = {
    {"歌", "\x89\xCC"},  // first, so its trail byte is not read as a katakana
    {"区", "\x8B\xE6"}, {"分", "\x95\xAA"}, {"ﾘ", "\xD8"}, {"ﾋ", "\xCB"}, {"ﾟ", "\xDF"}, {"ｰ", "\xB0"},
    {"ﾄ", "\xC4"},      {"ﾌ", "\xCC"},      {"ｧ", "\xA7"}, {"ｲ", "\xB2"}, {"ﾙ", "\xD9"}};

std::string convert(std::string text, bool toAnsi) {
  for (const auto& pair : kCp932) {
    const std::string from = toAnsi ? pair.first : pair.second, to = toAnsi ? pair.second : pair.first;
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
      text.replace(at, from.size(), to);
    }
  }
  return text;
}

class MemoryFiles : public HostFiles {
 public:
  std::map<std::pair<std::string, std::string>, std::string> values;  // ANSI section, key -> value
  std::set<std::string> files, folders;  // paths as the program names them (opened in the wide form)
  std::vector<std::string> opened;
  std::size_t lastBufferSize = 0;
  std::string lastFile;

  void getProfileString(const std::string& section, const std::string& key, const std::string& defaultValue,
                        char* buffer, std::size_t size, const std::string& file) override {
    lastBufferSize = size;
    lastFile = file;
    auto it = values.find({section, key});
    const std::string& value = it == values.end() ? defaultValue : it->second;
    const std::size_t n = std::min(value.size(), size - 1);
    std::memcpy(buffer, value.data(), n);
    buffer[n] = '\0';
  }
  void writeProfileString(const std::string& section, const std::string& key, const std::string& value,
                          const std::string& file) override {
    lastFile = file;
    values[{section, key}] = value;
  }
  bool canOpenForReading(const std::string& path) override {
    opened.push_back(path);
    return files.count(path) != 0;  // a folder never opens for reading
  }
  std::string toAnsi(const std::string& utf8) override { return convert(utf8, true); }
  std::string fromAnsi(const std::string& ansi) override { return convert(ansi, false); }
};

TEST(ReadIni, GivesAtMost255BytesAndEmptyForAnythingMissing) {
  MemoryFiles files;
  EXPECT_EQ(ReadIni(files, "Settings", "Width", kSettingsFile), "");
  EXPECT_EQ(files.lastBufferSize, 256u);
  EXPECT_EQ(files.lastFile, "C:\\velk_temp\\Glassfall.ini");
  files.values[{"Settings", "Long"}] = std::string(300, 'x');
  EXPECT_EQ(ReadIni(files, "Settings", "Long", kSettingsFile), std::string(255, 'x'));
  files.values[{"Settings", "BGM\x8B\xE6\x95\xAA"}] = "C:\\\x95\xAA.mp3";
  EXPECT_EQ(ReadIni(files, "Settings", "BGM区分", kSettingsFile), "C:\\分.mp3");
  EXPECT_EQ(ReadIni(files, std::string("Settings\0junk", 13), std::string("BGM区分\0x", 11), kSettingsFile),
            "C:\\分.mp3");
}

TEST(WriteIni, CutsSectionAndKeyTo128CharactersAndKeysInTheAnsiCodePage) {
  MemoryFiles files;
  std::string longKey;
  for (int i = 0; i < 130; ++i) longKey += "区";
  WriteIni(files, std::string(200, 's'), longKey, "v", kSettingsFile);
  std::string cutKey;
  for (int i = 0; i < 128; ++i) cutKey += "\x8B\xE6";
  EXPECT_EQ(files.values.count({std::string(128, 's'), cutKey}), 1u);

  WriteIni(files, kSettingsSection, kKeyBgmMode, "2", kSettingsFile);
  WriteIni(files, kSettingsSection, kKeyBgmRepeat, "0", kSettingsFile);
  WriteIni(files, kSettingsSection, kKeyBgmFile, "", kSettingsFile);
  EXPECT_EQ((files.values[{"Settings", "BGM\x8B\xE6\x95\xAA"}]), "2");
  EXPECT_EQ((files.values[{"Settings", "BGM\xD8\xCB\xDF\xB0\xC4"}]), "0");
  EXPECT_EQ(files.values.count({"Settings", "BGM\xCC\xA7\xB2\xD9"}), 1u);
  EXPECT_EQ((files.values[{"Settings", "BGM\xCC\xA7\xB2\xD9"}]), "");
}

TEST(FileExists, OpensTheNameWithoutOneTrailingBackslash) {
  MemoryFiles files;
  files.files = {"C:\\m\\song.mp3", "C:\\m\\分.wav"};
  files.folders = {"C:\\m"};
  EXPECT_TRUE(FileExists(files, "C:\\m\\song.mp3"));
  EXPECT_TRUE(FileExists(files, "C:\\m\\song.mp3\\"));
  EXPECT_FALSE(FileExists(files, "C:\\m\\song.mp3\\\\"));
  EXPECT_TRUE(FileExists(files, "C:\\m\\分.wav"));
  EXPECT_FALSE(FileExists(files, "C:\\m"));
  EXPECT_FALSE(FileExists(files, "C:\\m\\"));
  EXPECT_FALSE(FileExists(files, "C:\\m\\none.mp3"));
  EXPECT_FALSE(FileExists(files, ""));
  EXPECT_EQ(files.opened[1], "C:\\m\\song.mp3");
}

TEST(FolderOf, IsEverythingBeforeTheLastColonOrBackslash) {
  EXPECT_EQ(FolderOf("C:\\Music\\a.mp3"), "C:\\Music");
  EXPECT_EQ(FolderOf("C:\\a.mp3"), "C:");
  EXPECT_EQ(FolderOf("C:a.mp3"), "C:");
  EXPECT_EQ(FolderOf("a.mp3"), "");
  EXPECT_EQ(FolderOf("\\\\srv\\share\\a.wav"), "\\\\srv\\share");
  EXPECT_EQ(FolderOf("C:\\Music\\"), "C:\\Music");
  EXPECT_EQ(FolderOf("C:\\表示\\a.mp3"), "C:\\表示");  // 0x5C inside a double-byte character is no separator here
  EXPECT_EQ(FolderOf(""), "");
}

struct MusicCase {
  const char* name;
  const char* mode;
  const char* repeat;
  const char* file;  // nullptr: key missing
  std::int16_t wantMode, wantRepeat;
  const char* wantFile;
  const char* wantFolder;
};

class LoadMusic : public ::testing::TestWithParam<MusicCase> {
 protected:
  void SetUp() override {
    BgmMode = BgmRepeat = 0;
    BgmFile = BgmFolder = "";
  }
};

TEST_P(LoadMusic, SetsTheMusicValues) {
  const MusicCase& c = GetParam();
  MemoryFiles files;
  files.files = {"C:\\music\\song.mp3", "C:\\song.mp3", "D:\\歌\\a.wav"};
  files.folders = {"C:\\music"};
  if (c.mode) files.values[{"Settings", "BGM\x8B\xE6\x95\xAA"}] = c.mode;
  if (c.repeat) files.values[{"Settings", "BGM\xD8\xCB\xDF\xB0\xC4"}] = c.repeat;
  if (c.file) files.values[{"Settings", "BGM\xCC\xA7\xB2\xD9"}] = c.file;
  LoadMusicSettings(files, "C:\\saver");
  EXPECT_EQ(BgmMode, c.wantMode);
  EXPECT_EQ(BgmRepeat, c.wantRepeat);
  EXPECT_EQ(BgmFile, c.wantFile);
  EXPECT_EQ(BgmFolder, c.wantFolder);
}

INSTANTIATE_TEST_SUITE_P(Table, LoadMusic, ::testing::Values(
    MusicCase{"NoKeys", nullptr, nullptr, nullptr, 0, 0, "", "C:\\saver"},
    MusicCase{"FileMode", "2", "0", "C:\\music\\song.mp3", 2, 0, "C:\\music\\song.mp3", "C:\\music"},
    MusicCase{"FileAtDriveRoot", "2", "", "C:\\song.mp3", 2, 0, "C:\\song.mp3", "C:"},
    MusicCase{"RoundedDown", "2.9", "1.9", "C:\\song.mp3", 2, 1, "C:\\song.mp3", "C:"},
    MusicCase{"NegativeRoundedDown", "-0.5", "3", nullptr, -1, 3, "", "C:\\saver"},
    MusicCase{"NotANumber", "abc", "x1", nullptr, 0, 0, "", "C:\\saver"},
    MusicCase{"Beyond16Bits", "99999", "-32769", nullptr, 0, 0, "", "C:\\saver"},
    MusicCase{"At16BitLimits", "32767", "-32768", nullptr, 32767, -32768, "", "C:\\saver"},
    MusicCase{"FileModeWithoutFile", "2", "0", "", 0, 0, "", "C:\\saver"},
    MusicCase{"FileModeWithMissingFile", "2", "0", "C:\\music\\gone.mp3", 0, 0, "", "C:\\saver"},
    MusicCase{"FolderAsFile", "2", "0", "C:\\music", 0, 0, "", "C:\\saver"},
    MusicCase{"CdModeNeedsNoFile", "1", "4", "C:\\music\\gone.mp3", 1, 4, "", "C:\\saver"},
    MusicCase{"JapanesePath", "2", "0", "D:\\\x89\xCC\\a.wav", 2, 0, "D:\\歌\\a.wav", "D:\\歌"}),
    [](const ::testing::TestParamInfo<MusicCase>& info) { return std::string(info.param.name); });

TEST(LoadMusicSettings, LeavesAnUnusableValueAsItWas) {
  MemoryFiles files;
  BgmMode = 1;
  BgmRepeat = 7;
  files.values[{"Settings", "BGM\x8B\xE6\x95\xAA"}] = "one";
  files.values[{"Settings", "BGM\xD8\xCB\xDF\xB0\xC4"}] = "40000";
  LoadMusicSettings(files, "C:\\saver");
  EXPECT_EQ(BgmMode, 1);
  EXPECT_EQ(BgmRepeat, 7);
}

}  // namespace
