// The button painter's looks pixel by pixel on the raster surface, and the raster
// surface's own GDI conventions that those pixels rest on.
#include <gtest/gtest.h>

#include "button_paint.h"
#include "raster_surface.h"

using namespace controls;

namespace {

constexpr Colour kGrey = hex(0xD4D0C8);

RasterSurface painted(int look, int w = 100, int h = 30) {
  RasterSurface s(w, h);
  paintButtonFace(s, look, kGrey);
  return s;
}

TEST(RasterSurface, FollowsGdiEdgeConventions) {
  RasterSurface s(10, 10, hex(0xFFFFFF));
  s.createPen(hex(0xFF0000));
  s.moveToEx(2, 1);
  s.lineTo(6, 1);  // 2..5, end point not drawn
  EXPECT_EQ(s.at(5, 1), hex(0xFF0000));
  EXPECT_EQ(s.at(6, 1), hex(0xFFFFFF));
  s.lineTo(6, 5);  // continues from the current position (6,1): 1..4
  EXPECT_EQ(s.at(6, 1), hex(0xFF0000));
  EXPECT_EQ(s.at(6, 4), hex(0xFF0000));
  EXPECT_EQ(s.at(6, 5), hex(0xFFFFFF));
  s.lineTo(3, 5);  // leftwards: 6, 5, 4
  EXPECT_EQ(s.at(4, 5), hex(0xFF0000));
  EXPECT_EQ(s.at(3, 5), hex(0xFFFFFF));

  s.fillRect({0, 7, 3, 9}, hex(0x00FF00));  // right and bottom exclusive
  EXPECT_EQ(s.at(2, 8), hex(0x00FF00));
  EXPECT_EQ(s.at(3, 8), hex(0xFFFFFF));
  EXPECT_EQ(s.at(2, 9), hex(0xFFFFFF));

  EXPECT_EQ(s.getPixel(-1, 0), kClrInvalid);
  EXPECT_EQ(s.getPixel(10, 0), kClrInvalid);
  EXPECT_EQ(s.setPixel(0, 0, 0x80000005u), hex(0xFFFFFF));  // system colour 5 (window) translated
}

TEST(RasterSurface, RectangleOutlinesOnTheInsideAndFillsWithTheBrush) {
  RasterSurface s(8, 8, 0);
  s.createPen(hex(0x0000FF));
  s.createSolidBrush(hex(0x00FF00));
  s.rectangle(5, 6, 1, 1);  // corners given the other way round
  EXPECT_EQ(s.at(1, 1), hex(0x0000FF));
  EXPECT_EQ(s.at(4, 5), hex(0x0000FF));
  EXPECT_EQ(s.at(2, 2), hex(0x00FF00));
  EXPECT_EQ(s.at(5, 5), 0u);
  s.selectHollowBrush();
  s.createPen(hex(0xFF0000));
  s.rectangle(0, 0, 8, 8);
  EXPECT_EQ(s.at(7, 7), hex(0xFF0000));
  EXPECT_EQ(s.at(2, 2), hex(0x00FF00));

  RasterSurface r(12, 12);
  r.roundRect(0, 0, 12, 12, 4, 4);
  EXPECT_FALSE(r.exact(0, 0));
  EXPECT_FALSE(r.exact(3, 3));  // corner box is 4/2 + 2 wide
  EXPECT_TRUE(r.exact(4, 0));
  EXPECT_TRUE(r.exact(6, 6));
  EXPECT_EQ(r.at(6, 0), 0u);   // straight part of the outline, default black pen
  EXPECT_EQ(r.at(6, 6), hex(0xFFFFFF));  // default white brush
}

TEST(ButtonPaint, NormalLookOnA100By30Button) {
  const RasterSurface s = painted(kNormal);
  const Colour border = hex(0x003C74);
  for (int x = 3; x <= 96; ++x) {
    ASSERT_EQ(s.at(x, 0), border) << x;
    ASSERT_EQ(s.at(x, 29), border) << x;
  }
  for (int y = 3; y <= 26; ++y) {
    ASSERT_EQ(s.at(0, y), border) << y;
    ASSERT_EQ(s.at(99, y), border) << y;
  }
  EXPECT_EQ(s.at(1, 1), hex(0x527DA5));
  EXPECT_EQ(s.at(0, 1), hex(0x7B96AD));
  EXPECT_EQ(s.at(1, 0), hex(0x7B96AD));
  EXPECT_EQ(s.at(0, 2), hex(0x215584));
  EXPECT_EQ(s.at(2, 0), hex(0x215584));
  EXPECT_EQ(s.at(97, 0), hex(0x215584));
  EXPECT_EQ(s.at(98, 28), hex(0x527DA5));
  EXPECT_EQ(s.at(99, 27), hex(0x215584));
  for (int x = 2; x <= 97; ++x) ASSERT_EQ(s.at(x, 1), hex(0xFFFFFF)) << x;
  for (int x = 1; x <= 98; ++x) ASSERT_EQ(s.at(x, 2), hex(0xFEFEFE)) << x;
  EXPECT_EQ(s.at(98, 1), hex(0x527DA5));
  EXPECT_EQ(s.at(99, 1), hex(0x7B96AD));
  EXPECT_EQ(s.at(0, 0), kGrey);  // outside the rim: the background, clipped by the region
  EXPECT_FALSE(s.penIsOurs());   // each line's pen deleted after the line
  for (int x = 1; x <= 98; ++x) ASSERT_EQ(s.at(x, 27), hex(0xE2DFD6)) << x;
  for (int x = 2; x <= 97; ++x) ASSERT_EQ(s.at(x, 28), hex(0xD6D0C5)) << x;
}

TEST(ButtonPaint, GradientRowsUseSinglePrecisionStepsAndHalfEvenRounding) {
  const RasterSurface normal = painted(kNormal);
  EXPECT_EQ(normal.at(3, 3), hex(0xFCFCFB));  // top row of the inner face: colour a
  EXPECT_EQ(normal.at(50, 26), rgb(237, 236, 231));
  // Row 15 of the inner face (n = 24, i = 12): green 235 + 12 * float(17/24) = 243.4999998,
  // which exact arithmetic would make 243.5 and round to 244; blue 240.5 goes to 240.
  EXPECT_EQ(normal.at(50, 15), rgb(244, 243, 240));

  const RasterSurface hot = painted(kHot);
  EXPECT_EQ(hot.at(1, 3), hex(0xE1DF9C));         // outer gradient top
  EXPECT_EQ(hot.at(2, 16), rgb(241, 202, 100));   // outer, n = 25, i = 12
  EXPECT_EQ(hot.at(50, 15), rgb(244, 243, 240));  // the same pale inner face
  EXPECT_EQ(hot.at(50, 1), hex(0xFFF3CE));
  EXPECT_EQ(hot.at(50, 2), hex(0xFFDB8C));
  EXPECT_EQ(hot.at(50, 27), hex(0xFFB231));
  EXPECT_EQ(hot.at(50, 28), hex(0xE69600));

  const RasterSurface focused = painted(kFocused);
  EXPECT_EQ(focused.at(2, 3), hex(0xBDD3F7));
  EXPECT_EQ(focused.at(97, 26), rgb(144, 177, 232));  // outer, i = 2: steps 1.96, 1.48, 0.64

  // A rectangle of height 0 draws nothing.
  RasterSurface flat(10, 10, kGrey);
  FillGradient(flat, {0, 4, 10, 4}, 0, hex(0xFFFFFF));
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) ASSERT_EQ(flat.at(x, y), kGrey);
  // The row one below the exclusive bottom edge gets colour b.
  FillGradient(flat, {0, 2, 10, 5}, 0, hex(0xFFFFFF));
  EXPECT_EQ(flat.at(0, 2), 0u);
  EXPECT_EQ(flat.at(0, 5), hex(0xFFFFFF));
  EXPECT_EQ(flat.at(0, 6), kGrey);
}

TEST(ButtonPaint, PressedAndDisabledLooksAreFlat) {
  const RasterSurface pressed = painted(kPressed);
  for (int y : {1, 2, 15, 27, 28}) EXPECT_EQ(pressed.at(50, y), hex(0xE7E3DE)) << y;
  EXPECT_EQ(pressed.at(3, 0), hex(0x003C74));
  const RasterSurface disabled = painted(kDisabled);
  for (int y : {1, 2, 15, 27, 28}) EXPECT_EQ(disabled.at(50, y), hex(0xF5F4EA)) << y;
  EXPECT_EQ(disabled.at(3, 0), hex(0xC9C7BA));
  EXPECT_EQ(disabled.at(1, 1), hex(0xC4B18C));
  EXPECT_EQ(disabled.at(0, 1), hex(0xCEC7BD));
}

TEST(ButtonPaint, WindowShapeCaptionAndFocusMark) {
  RasterSurface s = painted(kHot);
  ASSERT_EQ(s.calls().size(), 1u);
  EXPECT_EQ(s.calls()[0].op, "SetWindowRgn");
  EXPECT_EQ(s.calls()[0].r.right, 101);
  EXPECT_EQ(s.calls()[0].r.bottom, 31);
  EXPECT_EQ(s.calls()[0].ellipseW, 3);

  s.clearCalls();
  const FontSpec font{"MS PGothic", 9.75, 400, 128};
  paintButtonCaption(s, {"&OK", true, hex(0x112233), font, true});
  ASSERT_EQ(s.calls().size(), 2u);
  EXPECT_EQ(s.calls()[0].op, "DrawText");
  EXPECT_EQ(s.calls()[0].flags, 0x25u);
  EXPECT_EQ(s.calls()[0].textColour, hex(0x112233));
  EXPECT_EQ(s.calls()[0].r.left, 3);
  EXPECT_EQ(s.calls()[0].r.bottom, 27);
  EXPECT_TRUE(s.calls()[0].font == font);
  EXPECT_EQ(s.calls()[1].op, "DrawFocusRect");
  EXPECT_EQ(s.calls()[1].r.right, 97);

  s.clearCalls();
  paintButtonCaption(s, {"&OK", false, hex(0x112233), font, false});
  ASSERT_EQ(s.calls().size(), 1u);
  EXPECT_EQ(s.calls()[0].textColour, hex(0xA1A192));
}

}  // namespace
