// Reading the screensaver command line: argument text, mode letter and the lenient
// number reading of the preview handle.
#include <gtest/gtest.h>

#include "param_names.h"

#include "command_line.h"
#include "numbers.h"

namespace {

TEST(ArgumentText, DropsTheProgramPathAndTheBlanksAfterIt) {
  EXPECT_EQ(argumentText("C:\\saver\\Glassfall.scr /p 1234"), "/p 1234");
  EXPECT_EQ(argumentText("\"C:\\Program Files\\G\\Glassfall.scr\"   /s"), "/s");
  EXPECT_EQ(argumentText("\"C:\\Program Files\\G\\Glassfall.scr\"/c:12"), "/c:12");
  EXPECT_EQ(argumentText("Glassfall.scr\t-s"), "-s");
  EXPECT_EQ(argumentText("Glassfall.scr"), "");
  EXPECT_EQ(argumentText("\"C:\\G\\Glassfall.scr\""), "");
  EXPECT_EQ(argumentText("\"unterminated /s"), "");
}

TEST(ModeLetter, IsTheSecondCharacterUpperCased) {
  EXPECT_EQ(modeLetter("/p 1234"), "P");
  EXPECT_EQ(modeLetter("-s"), "S");
  EXPECT_EQ(modeLetter("/C:1234"), "C");
  EXPECT_EQ(modeLetter("xs"), "S");  // the first character is never looked at
  EXPECT_EQ(modeLetter("s"), "");
  EXPECT_EQ(modeLetter(""), "");
  EXPECT_EQ(modeLetter("/x 5"), "X");
  EXPECT_EQ(modeLetter("/ä"), "ä");  // a whole character, left as it is
}

struct HandleCase {
  const char* argument;
  std::int32_t handle;
};

class PreviewHandle : public ::testing::TestWithParam<HandleCase> {};

TEST_P(PreviewHandle, ReadsFromTheFourthCharacter) {
  EXPECT_EQ(previewHandle(GetParam().argument), GetParam().handle) << GetParam().argument;
}

INSTANTIATE_TEST_SUITE_P(Table, PreviewHandle, ::testing::Values(
    HandleCase{"/p 1234", 1234}, HandleCase{"/P:1234", 1234}, HandleCase{"-p1234", 234},
    HandleCase{"/p", 0}, HandleCase{"/p &HFF", 255}, HandleCase{"/p &hff", 255},
    HandleCase{"/p &O17", 15}, HandleCase{"/p &O19", 1},  // 9 cannot continue an octal number
    HandleCase{"/p  1 2\t3", 123}, HandleCase{"/p 12.5", 12}, HandleCase{"/p 13.5", 14},
    HandleCase{"/p 12.51", 13}, HandleCase{"/p -2.5", -2}, HandleCase{"/p 1e3", 1000},
    HandleCase{"/p 1e", 1}, HandleCase{"/p 99999999999", 0}, HandleCase{"/p 2147483647", 2147483647},
    HandleCase{"/p -2147483648", -2147483647 - 1}, HandleCase{"/p 2147483648", 0},
    HandleCase{"/p 12abc", 12}, HandleCase{"/p abc", 0}, HandleCase{"/p &", 0},
    HandleCase{"/p 1e999", 0}),
    [](const ::testing::TestParamInfo<HandleCase>& info) { return testnames::fromText(info.param.argument); });

TEST(StrictNumber, TakesOnlyAWholeNumberText) {
  double v = -7;
  EXPECT_TRUE(strictNumber(" 2.9 ", v));
  EXPECT_DOUBLE_EQ(v, 2.9);
  EXPECT_TRUE(strictNumber("-0.5", v));
  EXPECT_DOUBLE_EQ(v, -0.5);
  EXPECT_TRUE(strictNumber("&H10", v));
  EXPECT_DOUBLE_EQ(v, 16);
  EXPECT_TRUE(strictNumber("1e2", v));
  EXPECT_DOUBLE_EQ(v, 100);
  v = -7;
  for (const char* text : {"abc", "", " ", "1 2", "2x", "-", ".", "&Z1", "1e"}) {
    EXPECT_FALSE(strictNumber(text, v)) << text;
  }
  EXPECT_DOUBLE_EQ(v, -7);  // untouched by a failure
}

}  // namespace
