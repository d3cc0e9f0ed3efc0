#include <gtest/gtest.h>

#include "param_names.h"

#include "music_run.h"

namespace {

struct MciCommandsTest : ::testing::Test {
  FakeMultimedia mm;
  MusicChoice choice;
  std::int32_t LastApiResult = 12345;
  Glassfall_BGM bgm{mm, choice, LastApiResult};
};

TEST_F(MciCommandsTest, EmptyCommandIsRefusedWithoutCallingTheSystem) {
  std::string reply;
  EXPECT_EQ(bgm.SendMciCommand("", reply), -1);
  EXPECT_EQ(reply, "コマンド文字列が指定されていません");
  EXPECT_TRUE(mm.log.empty());
  EXPECT_EQ(LastApiResult, 12345);
}

TEST_F(MciCommandsTest, ReplyOrErrorTextComesBack) {
  mm.cd.current = 4;
  mm.cd.open = true;
  std::string reply;
  EXPECT_EQ(bgm.SendMciCommand("status cdaudio current track", reply), 0);
  EXPECT_EQ(reply, "4");
  EXPECT_EQ(LastApiResult, 0);

  EXPECT_EQ(bgm.SendMciCommand("status MP3Play mode", reply), 263);
  EXPECT_EQ(reply, "MCI error 263");
  EXPECT_EQ(LastApiResult, 263);

  mm.errorTexts = false;
  EXPECT_EQ(bgm.SendMciCommand("status MP3Play mode", reply), 263);
  EXPECT_EQ(reply, "Error (文字列が取れません)");
  EXPECT_EQ(mm.log, (Log{"status cdaudio current track [512]", "status MP3Play mode [512]", "error text 263 [256]",
                         "status MP3Play mode [512]", "error text 263 [256]"}));
}

TEST_F(MciCommandsTest, QueryGivesReplyOrErrorCode) {
  mm.cd.open = true;
  mm.cd.tracks = 12;
  EXPECT_EQ(bgm.QueryMci("status cdaudio number of tracks"), "12");
  EXPECT_EQ(bgm.QueryMci("status MP3Play mode"), "Error:263");
  EXPECT_EQ(LastApiResult, 263);
  EXPECT_EQ(bgm.QueryMci(""), "Error:-1");
}

// A reply that fills the whole 512-character buffer carries no NUL; it is read up to the
// buffer's end and no further.
TEST_F(MciCommandsTest, UnterminatedReplyStopsAtTheBufferEnd) {
  mm.scripted["status cdaudio position"] = {0, std::string(600, '7')};
  EXPECT_EQ(bgm.QueryMci("status cdaudio position"), std::string(512, '7'));
}

struct PlayShape {
  const char* from;
  const char* to;
  const char* command;
};

class PlayMciDeviceTest : public MciCommandsTest, public ::testing::WithParamInterface<PlayShape> {};

TEST_P(PlayMciDeviceTest, BuildsItsCommandFromThePositionsGiven) {
  mm.cd.open = true;
  EXPECT_EQ(bgm.PlayMciDevice("cdaudio", GetParam().from, GetParam().to), LastApiResult);
  EXPECT_EQ(mm.log.at(0), std::string(GetParam().command) + " [512]");
}

INSTANTIATE_TEST_SUITE_P(Shapes, PlayMciDeviceTest,
                         ::testing::Values(PlayShape{"", "", "play cdaudio"},
                                           PlayShape{"02:00:00:00", "", "play cdaudio from 02:00:00:00"},
                                           PlayShape{"", "03:00:00:00", "play cdaudio to 03:00:00:00"},
                                           PlayShape{"02:00:00:00", "03:00:00:00",
                                                     "play cdaudio from 02:00:00:00 to 03:00:00:00"}),
    [](const ::testing::TestParamInfo<PlayShape>& info) { return testnames::fromText(info.param.command); });

}  // namespace
