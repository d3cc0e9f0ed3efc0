// The renderer's window rectangle from the settings file's texts and the virtual screen.
#include <gtest/gtest.h>

#include <climits>

#include "placement.h"

namespace {

// Two monitors: 800 x 600 left of a 1024 x 768 primary.
const WindowRect kTwoMonitors = {-800, 0, 1824, 768};
const WindowRect kOneMonitor = {0, 0, 1280, 1024};

struct PlacementRow {
  const char* what;
  PlacementSettings settings;  // width, height, left, top
  WindowRect virtualScreen;
  WindowRect expected;
};

class Placement : public ::testing::TestWithParam<PlacementRow> {};

TEST_P(Placement, GivesAWindowOnScreen) {
  const PlacementRow& row = GetParam();
  EXPECT_EQ(windowPlacement(row.settings, row.virtualScreen), row.expected) << row.what;
}

INSTANTIATE_TEST_SUITE_P(Settings, Placement, ::testing::Values(
    PlacementRow{"what the host writes for two monitors", {"1824", "768", "-800", "0"}, kTwoMonitors,
                 {-800, 0, 1824, 768}},
    PlacementRow{"one monitor", {"1280", "1024", "0", "0"}, kOneMonitor, {0, 0, 1280, 1024}},
    PlacementRow{"older file without Left and Top", {"800", "600", "", ""}, kOneMonitor, {0, 0, 800, 600}},
    PlacementRow{"no file at all", {"", "", "", ""}, kOneMonitor, {0, 0, 1024, 768}},
    PlacementRow{"no file, two monitors", {"", "", "", ""}, kTwoMonitors, {0, 0, 1024, 768}},
    PlacementRow{"non-numeric values", {"wide", "tall", "left", "x"}, kOneMonitor, {0, 0, 1024, 768}},
    PlacementRow{"zero sizes", {"0", "0", "0", "0"}, kOneMonitor, {0, 0, 1024, 768}},
    PlacementRow{"sizes of -1", {"-1", "-1", "0", "0"}, kOneMonitor, {0, 0, 1024, 768}},
    PlacementRow{"1e9 is no whole number", {"1e9", "1e9", "0", "0"}, kOneMonitor, {0, 0, 1024, 768}},
    PlacementRow{"sizes of 65535", {"65535", "65535", "0", "0"}, kOneMonitor, {0, 0, 1280, 1024}},
    PlacementRow{"32767 from a negative origin", {"32767", "32767", "-800", "0"}, kTwoMonitors,
                 {-800, 0, 1824, 768}},
    PlacementRow{"beyond the int range", {"99999999999", "99999999999", "0", "0"}, kOneMonitor,
                 {0, 0, 1280, 1024}},
    PlacementRow{"larger than the screen from inside it", {"1280", "1024", "200", "100"}, kOneMonitor,
                 {200, 100, 1080, 924}},
    PlacementRow{"starting left of the virtual screen", {"1824", "768", "-2000", "0"}, kTwoMonitors,
                 {-800, 0, 624, 768}},
    PlacementRow{"wholly off screen", {"800", "600", "5000", "0"}, kTwoMonitors, kTwoMonitors},
    PlacementRow{"blanks around the numbers", {" 800 ", "\t600", " -800", "+0 "}, kTwoMonitors,
                 {-800, 0, 800, 600}},
    PlacementRow{"numbers with trailing text", {"800px", "600", "-80x", "0"}, kTwoMonitors, {0, 0, 1024, 600}},
    PlacementRow{"no virtual screen known", {"65535", "65535", "-800", "0"}, {0, 0, 0, 0},
                 {-800, 0, 65535, 65535}}));

TEST(SettingsInteger, ReadsWholeDecimalNumbersOnly) {
  int value = 7;
  EXPECT_TRUE(settingsInteger("-800", value));
  EXPECT_EQ(value, -800);
  EXPECT_TRUE(settingsInteger("2147483647", value));
  EXPECT_EQ(value, INT_MAX);
  EXPECT_TRUE(settingsInteger("-2147483648", value));
  EXPECT_EQ(value, INT_MIN);
  EXPECT_TRUE(settingsInteger("-99999999999999999999999", value));
  EXPECT_EQ(value, INT_MIN);
  value = 7;
  for (const char* text : {"", " ", "-", "+", "1e9", "0x10", "1.5", "8 00", "--1"}) {
    EXPECT_FALSE(settingsInteger(text, value)) << text;
    EXPECT_EQ(value, 7) << text;
  }
}

}  // namespace

// After the screen changed under a run, the picture keeps its place on the monitors: its
// viewport in the new window, counted from the window's lower left corner as GL does.
TEST(PictureViewport, KeepsThePictureWhereItWasTakenInAGrownOrShrunkWindow) {
  const WindowRect picture = {0, 0, 1024, 768};
  // Unchanged: the whole window.
  EXPECT_EQ(pictureViewport(picture, picture), (WindowRect{0, 0, 1024, 768}));
  // An 800 x 600 monitor plugged in at the left: the picture moves right, its bottom at 0.
  EXPECT_EQ(pictureViewport(picture, {-800, 0, 1824, 768}), (WindowRect{800, 0, 1024, 768}));
  // A taller monitor at the left, its top above the picture's: the picture's bottom is 200 up.
  EXPECT_EQ(pictureViewport(picture, {-800, -232, 1824, 1200}), (WindowRect{800, 200, 1024, 768}));
  // The left monitor of a pair removed: the picture reaches past the window's left edge.
  EXPECT_EQ(pictureViewport({-800, 0, 1824, 768}, {0, 0, 1024, 768}), (WindowRect{-800, 0, 1824, 768}));
}
