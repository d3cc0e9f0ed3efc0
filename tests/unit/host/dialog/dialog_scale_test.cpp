// The settings dialog's layout on scaled monitors: today's pixels at 96 DPI, the client sizes
// Windows and Wine give at 150 and 200 %, and pictures that fit their boxes at every scale.
#include <gtest/gtest.h>

#include "settings_dialog.h"

using namespace dialog;

namespace {

std::vector<Place> everyPlace() {
  std::vector<Place> all = {kFrame,     kHeading,   kShape0,      kRepeatBox,    kRepeatLabel,  kFileButton,
                            kFileLabel, kSetButton, kCancelButton, kBannerBox[0], kBannerBox[1]};
  for (int i = 0; i < 3; ++i) {
    all.push_back(kMark[i]);
    all.push_back(kModeLabel[i]);
  }
  return all;
}

TEST(DialogScale, NinetySixDpiGivesTheTwipsDividedByFifteen) {
  for (const Place& p : everyPlace()) {
    EXPECT_EQ(boxAt(p, 96), (Box{p.left / 15, p.top / 15, p.width / 15, p.height / 15}));
  }
  EXPECT_EQ(boxAt(kSetButton, 96), (Box{140, 192, 105, 33}));
  EXPECT_EQ(pixelsAt(kClientWidth, 96), 497);
  EXPECT_EQ(pixelsAt(kClientHeight, 96), 266);
  EXPECT_EQ(markPictureSize(96).width, kMarkSize);
  EXPECT_EQ(bannerPictureSize(96).width, kBannerWidth);
  EXPECT_EQ(bannerPictureSize(96).height, kBannerHeight);
}

TEST(DialogScale, ClientAndPicturesAtOneHundredFiftyAndTwoHundredPercent) {
  struct Case {
    int dpi, clientW, clientH, mark, bannerW, bannerH, setW, setH;
  };
  for (const Case& c : {Case{144, 746, 399, 18, 180, 75, 158, 50}, Case{192, 994, 532, 24, 240, 100, 210, 66}}) {
    SCOPED_TRACE(c.dpi);
    EXPECT_EQ(pixelsAt(kClientWidth, c.dpi), c.clientW);
    EXPECT_EQ(pixelsAt(kClientHeight, c.dpi), c.clientH);
    EXPECT_EQ(markPictureSize(c.dpi).width, c.mark);
    EXPECT_EQ(markPictureSize(c.dpi).height, c.mark);
    EXPECT_EQ(bannerPictureSize(c.dpi).width, c.bannerW);
    EXPECT_EQ(bannerPictureSize(c.dpi).height, c.bannerH);
    EXPECT_EQ(boxAt(kSetButton, c.dpi).width, c.setW);
    EXPECT_EQ(boxAt(kSetButton, c.dpi).height, c.setH);
  }
}

TEST(DialogScale, PicturesFitTheirBoxesAndTheFrameTheClientAtEveryScale) {
  for (int dpi = 96; dpi <= 480; dpi += 12) {
    SCOPED_TRACE(dpi);
    const PictureSize mark = markPictureSize(dpi), banner = bannerPictureSize(dpi);
    for (const Place& p : kMark) {
      EXPECT_LE(mark.width, boxAt(p, dpi).width);
      EXPECT_LE(mark.height, boxAt(p, dpi).height);
    }
    for (const Place& p : kBannerBox) {
      EXPECT_LE(banner.width, boxAt(p, dpi).width);
      EXPECT_LE(banner.height, boxAt(p, dpi).height);
    }
    // Nothing ends outside the client, and the two buttons do not overlap.
    for (const Place& p : {kFrame, kSetButton, kCancelButton, kBannerBox[0], kBannerBox[1]}) {
      const Box b = boxAt(p, dpi);
      EXPECT_LE(b.left + b.width, pixelsAt(kClientWidth, dpi));
      EXPECT_LE(b.top + b.height, pixelsAt(kClientHeight, dpi));
    }
    const Box set = boxAt(kSetButton, dpi), cancel = boxAt(kCancelButton, dpi);
    EXPECT_LE(set.left + set.width, cancel.left);
  }
}

TEST(DialogScale, NegativeAndMissingDpi) {
  EXPECT_EQ(pixelsAt(-15, 96), -1);
  EXPECT_EQ(pixelsAt(-15, 144), -2);  // -1.5, away from zero like +1.5
  EXPECT_EQ(pixelsAt(15, 144), 2);
  EXPECT_EQ(pixelsAt(150, 0), 10);  // no DPI from the system: as at 96
}

}  // namespace
