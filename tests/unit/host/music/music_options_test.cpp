// The native program's music options and the music values they make.
#include <gtest/gtest.h>

#include <vector>

#include "music_options.h"
#include "music_settings.h"

namespace {

struct Parsed {
  MusicOptions options;
  bool ok = true;
  std::string error;
  std::vector<std::string> others;  // words that were not music options
};

Parsed parse(std::vector<const char*> words) {
  words.insert(words.begin(), "glassfall");
  Parsed parsed;
  for (int i = 1; i < int(words.size()); ++i) {
    switch (takeMusicOption(int(words.size()), words.data(), i, parsed.options, parsed.error)) {
      case MusicOptionResult::NotMusic:
        parsed.others.push_back(words[i]);
        break;
      case MusicOptionResult::Taken:
        break;
      case MusicOptionResult::Bad:
        parsed.ok = false;
        return parsed;
    }
  }
  return parsed;
}

TEST(MusicOptions, FileCdAndTrackInTheirForms) {
  Parsed p = parse({"--root", "--music", "/m/a b.mp3", "--delay", "20000"});
  EXPECT_TRUE(p.ok);
  EXPECT_EQ(p.options.file, "/m/a b.mp3");
  EXPECT_FALSE(p.options.cd);
  EXPECT_EQ(p.others, (std::vector<std::string>{"--root", "--delay", "20000"}));

  p = parse({"-cd", "-track", "7"});
  EXPECT_TRUE(p.options.cd);
  EXPECT_EQ(p.options.track, 7);
  EXPECT_TRUE(p.others.empty());

  p = parse({"--music=/m/x.wav", "--track=0"});
  EXPECT_EQ(p.options.file, "/m/x.wav");
  EXPECT_EQ(p.options.track, 0);
  // A file named like an option is still the value.
  EXPECT_EQ(parse({"--music", "--cd"}).options.file, "--cd");
  // Not music options, though they begin alike.
  EXPECT_EQ(parse({"--musical", "--cdrom", "--tracks", "2"}).others.size(), 4u);
}

TEST(MusicOptions, TheLaterOfFileAndCdWins) {
  Parsed p = parse({"--music", "/m/a.mp3", "--cd"});
  EXPECT_TRUE(p.options.cd);
  EXPECT_TRUE(p.options.file.empty());
  p = parse({"--cd", "--track", "3", "--music", "/m/a.mp3"});
  EXPECT_FALSE(p.options.cd);
  EXPECT_EQ(p.options.file, "/m/a.mp3");
}

TEST(MusicOptions, MissingOrBadValuesAreRefused) {
  const std::vector<std::vector<const char*>> bad = {
      {"--music"}, {"--track"}, {"--cd", "--track", "x"}, {"--track", "100"}, {"--track", "-1"},
      {"--track", "3.5"}, {"--track", ""}, {"--track", "99999999999999999999"}, {"--cd=yes"}};
  for (const auto& words : bad) {
    const Parsed p = parse(words);
    EXPECT_FALSE(p.ok) << words[0];
    EXPECT_FALSE(p.error.empty());
  }
  EXPECT_TRUE(parse({"--track", "99"}).ok);
}

bool anyFileReadable(const std::string&) { return true; }
bool noFileReadable(const std::string&) { return false; }

TEST(MusicOptions, BecomeTheMusicValues) {
  MusicOptions cd;
  cd.cd = true;
  cd.track = 4;
  EXPECT_EQ(applyMusicOptions(cd, noFileReadable), "");
  EXPECT_EQ(BgmMode, 1);
  EXPECT_EQ(BgmRepeat, 4);

  MusicOptions file;
  file.file = "/m/Song.MP3";
  EXPECT_EQ(applyMusicOptions(file, anyFileReadable), "");
  EXPECT_EQ(BgmMode, 2);
  EXPECT_EQ(BgmFile, "/m/Song.MP3");
  EXPECT_EQ(BgmRepeat, 0);

  // Nothing to play: mode 0 and no file, with a line to say why where there is one.
  EXPECT_EQ(applyMusicOptions(MusicOptions{}, anyFileReadable), "");
  EXPECT_EQ(BgmMode, 0);
  EXPECT_NE(applyMusicOptions(file, noFileReadable).find("/m/Song.MP3"), std::string::npos);
  EXPECT_EQ(BgmMode, 0);
  EXPECT_TRUE(BgmFile.empty());
  file.file = "/m/song.ogg";
  EXPECT_NE(applyMusicOptions(file, anyFileReadable).find(".mp3 and .wav"), std::string::npos);
  EXPECT_EQ(BgmMode, 0);
}

}  // namespace
