// The choice of music the native program's options make.
#include <gtest/gtest.h>

#include <vector>

#include "music_options.h"

namespace {

bool anyFileReadable(const std::string&) { return true; }
bool noFileReadable(const std::string&) { return false; }

TEST(MusicOptions, BecomeTheChoiceOfMusic) {
  MusicChoice choice;
  MusicOptions cd;
  cd.cd = true;
  cd.track = 4;
  EXPECT_EQ(chooseMusic(cd, noFileReadable, choice), "");
  EXPECT_EQ(choice.mode, 1);
  EXPECT_EQ(choice.repeat, 4);

  MusicOptions file;
  file.file = "/m/Song.MP3";
  EXPECT_EQ(chooseMusic(file, anyFileReadable, choice), "");
  EXPECT_EQ(choice.mode, 2);
  EXPECT_EQ(choice.file, "/m/Song.MP3");
  EXPECT_EQ(choice.repeat, 0);

  // Nothing to play: mode 0 and no file, with a line to say why where there is one.
  EXPECT_EQ(chooseMusic(MusicOptions{}, anyFileReadable, choice), "");
  EXPECT_EQ(choice.mode, 0);
  choice.file = "stale";
  EXPECT_NE(chooseMusic(file, noFileReadable, choice).find("/m/Song.MP3"), std::string::npos);
  EXPECT_EQ(choice.mode, 0);
  EXPECT_TRUE(choice.file.empty());
  file.file = "/m/song.ogg";
  EXPECT_NE(chooseMusic(file, anyFileReadable, choice).find(".mp3 and .wav"), std::string::npos);
  EXPECT_EQ(choice.mode, 0);
}

}  // namespace
