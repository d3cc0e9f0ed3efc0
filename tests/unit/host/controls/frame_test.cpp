// The frame panel: colour split and blend, the shadow rings, the corner smoothing, the
// body, and the properties with their range rules and persisted form.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame.h"
#include "raster_surface.h"

using namespace controls;

namespace {

constexpr Colour kAmbientGrey = hex(0xD4D0C8);

struct FrameSiteFake : FrameSite {
  RasterSurface surface{477, 173};
  Colour ambient = kAmbientGrey;
  double w = 7155, h = 2595;
  std::vector<std::string> changes;
  int draws = 0;
  Colour ambientBackColour() const override { return ambient; }
  void propertyChanged(const std::string& name) override { changes.push_back(name); }
  int dpiNow = kBaseDpi;
  double twipsPerPixelX() const override { return 1440.0 / dpiNow; }
  int dpi() const override { return dpiNow; }
  double widthTwips() const override { return w; }
  double heightTwips() const override { return h; }
  Surface* beginDraw() override {
    ++draws;
    return &surface;
  }
  void endDraw() override {}
};

FrameLook look(int w, int h, Colour bg, int style, int depth) {
  FrameLook l;
  l.width = w;
  l.height = h;
  l.background = bg;
  l.fillColour = bg;
  l.frameStyle = style;
  l.shadowDepth = std::int16_t(depth);
  return l;
}

TEST(ColourArithmetic, SplitTakesTheValueAsSignedWithTruncatingDivision) {
  const Channels c = splitColour(hex(0xD4D0C8));
  EXPECT_EQ(c.red, 0xD4);
  EXPECT_EQ(c.green, 0xD0);
  EXPECT_EQ(c.blue, 0xC8);
  const Channels sys = splitColour(0x8000000Fu);
  EXPECT_EQ(sys.red, 15);
  EXPECT_EQ(sys.green, 1);
  EXPECT_EQ(sys.blue, 1);
}

TEST(ColourArithmetic, BlendTruncatesTheQuotientBeforeMultiplying) {
  // The shadow colour: (channel / 100) * (100 - opacity).
  EXPECT_EQ(blendColour(0, kAmbientGrey, 100, 50), rgb(100, 100, 100));
  EXPECT_EQ(blendColour(0, kAmbientGrey, 100, 0), 0u);
  EXPECT_EQ(blendColour(0, hex(0xFFFFFF), 100, 100), rgb(200, 200, 200));
  EXPECT_EQ(blendColour(0, rgb(99, 60, 10), 100, 50), 0u);
  // The rings on #D4D0C8 at depth 5 move in whole quotients, not (d * i) / 5.
  const Colour rings[] = {rgb(100, 100, 100), rgb(122, 121, 120), rgb(144, 142, 140),
                          rgb(166, 163, 160), rgb(188, 184, 180), rgb(210, 205, 200)};
  for (int i = 0; i <= 5; ++i) EXPECT_EQ(blendColour(rgb(100, 100, 100), kAmbientGrey, 5, i), rings[i]) << i;
}

TEST(ColourArithmetic, TwipsToPixelsRoundsTwiceHalvesToEven) {
  EXPECT_EQ(pixelsFromTwips(7155, 15), 477);
  EXPECT_EQ(pixelsFromTwips(2595, 15), 173);
  EXPECT_EQ(pixelsFromTwips(37.5, 15), 3);  // 38 twips, 2.53 pixels
  EXPECT_EQ(pixelsFromTwips(22.5, 15), 1);  // 22 twips, 1.47 pixels
  EXPECT_EQ(pixelsFromTwips(30, 12), 2);    // 2.5 pixels
  EXPECT_EQ(pixelsFromTwips(42, 12), 4);    // 3.5 pixels
}

TEST(DrawFrame, DialogFrameRingsAndBodyPixelExact) {
  RasterSurface s(477, 173);
  drawFrame(s, look(477, 173, kAmbientGrey, 1, 7));
  // Body (0,0)-(470,166): black outline, grey inside.
  EXPECT_EQ(s.at(0, 0), 0u);
  EXPECT_EQ(s.at(469, 165), 0u);
  EXPECT_EQ(s.at(469, 0), 0u);
  EXPECT_EQ(s.at(0, 165), 0u);
  EXPECT_EQ(s.at(200, 80), kAmbientGrey);
  // Ring i runs (14-i,14-i)-(470+i,166+i): its right column is x = 469+i, bottom row y = 165+i.
  for (int i = 1; i <= 7; ++i) {
    const Colour ring = rgb(100 + 16 * i, 100 + 15 * i, 100 + 14 * i);
    EXPECT_EQ(s.at(469 + i, 100), ring) << i;
    EXPECT_EQ(s.at(200, 165 + i), ring) << i;
    EXPECT_EQ(s.at(469 + i, 165 + i), ring) << i;  // corner of the ring
    EXPECT_EQ(s.at(469 + i, 14 - i), ring) << i;      // top of the right edge
  }
  // Above the right shadow edge and left of the bottom one: the background.
  EXPECT_EQ(s.at(470, 6), kAmbientGrey);
  EXPECT_EQ(s.at(476, 0), kAmbientGrey);
  EXPECT_EQ(s.at(6, 172), kAmbientGrey);
  EXPECT_EQ(s.at(470, 7), rgb(212, 205, 198));  // outermost ring's top edge, right of the body
  for (int y = 0; y < 173; ++y)
    for (int x = 0; x < 477; ++x) ASSERT_TRUE(s.exact(x, y)) << x << "," << y;
  // Every pen and brush made for the drawing is deselected and deleted again.
  EXPECT_FALSE(s.penIsOurs());
  EXPECT_FALSE(s.brushIsOurs());
}

TEST(DrawFrame, OpacityAndDarkBackgrounds) {
  RasterSurface s(100, 60);
  FrameLook l = look(100, 60, kAmbientGrey, 1, 5);
  l.shadowOpacity = 100;
  drawFrame(s, l);
  // Column 95 is ring 1; from a black shadow the quotients are -212/5, -208/5, -200/5.
  EXPECT_EQ(s.at(95, 30), rgb(42, 41, 40));

  l = look(100, 60, hex(0xFFFFFF), 1, 5);
  l.shadowOpacity = 0;
  drawFrame(s, l);
  EXPECT_EQ(s.at(95, 30), rgb(200 + 11, 200 + 11, 200 + 11));  // (200 - 255) / 5 = -11

  l = look(100, 60, rgb(90, 40, 10), 1, 5);
  drawFrame(s, l);
  // Channels below 100 give a black shadow whatever the opacity.
  EXPECT_EQ(s.at(95, 30), rgb(18, 8, 2));  // ring 1 from black: 90/5, 40/5, 10/5
}

TEST(DrawFrame, SystemColourBackgroundClearsToTheSystemColourButBlendsTheRawValue) {
  RasterSurface s(100, 60);
  s.setSysColour(15, hex(0xC0C0C0));
  FrameLook l = look(100, 60, 0x8000000Fu, 0, 5);
  drawFrame(s, l);
  EXPECT_EQ(s.at(99, 0), hex(0xC0C0C0));  // cleared to the system colour
  EXPECT_EQ(s.at(50, 30), hex(0xC0C0C0));  // body filled with it
  // Rings from black towards (15, 1, 1): quotients -3, 0, 0.
  EXPECT_EQ(s.at(96, 30), rgb(6, 0, 0));
  EXPECT_EQ(s.at(99, 30), rgb(15, 0, 0));
}

TEST(SmoothShadowCorners, ComparesTheRawBackgroundValueSoASystemColourNeverMatches) {
  auto surface = [] {
    RasterSurface u(40, 40);
    u.setSysColour(15, hex(0xC0C0C0));
    u.clear(0x8000000Fu);
    u.setPixelV(30, 30, 0);  // inside region 1 (x, y 20..37 for CD 10)
    return u;
  };
  RasterSurface bySystem = surface();
  smoothShadowCorners(bySystem, 0x8000000Fu, 40, 40, 10, 5);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x) ASSERT_EQ(bySystem.at(x, y), x == 30 && y == 30 ? 0u : hex(0xC0C0C0));
  RasterSurface byValue = surface();
  smoothShadowCorners(byValue, hex(0xC0C0C0), 40, 40, 10, 5);
  EXPECT_EQ(byValue.at(30, 29), rgb(144, 144, 144));  // (3 * 192 + 0) / 4
  EXPECT_EQ(byValue.at(30, 31), rgb(141, 141, 141));  // left neighbour already smoothed to 180
}

TEST(DrawFrame, StyleTwoShowsOnlyTheBackgroundAndNoShadowBodyCoversAll) {
  RasterSurface s(60, 40);
  drawFrame(s, look(60, 40, hex(0x336699), 2, 5));
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 60; ++x) ASSERT_EQ(s.at(x, y), hex(0x336699));

  FrameLook l = look(60, 40, kAmbientGrey, 1, 5);
  l.showShadow = false;
  l.fillColour = hex(0xFFFFFF);
  drawFrame(s, l);
  EXPECT_EQ(s.at(59, 39), 0u);
  EXPECT_EQ(s.at(59, 10), 0u);
  EXPECT_EQ(s.at(58, 38), hex(0xFFFFFF));

  l.showShadow = true;
  drawFrame(s, l);
  EXPECT_EQ(s.at(54, 34), 0u);  // body to (W - SD, H - SD)
  EXPECT_EQ(s.at(53, 33), hex(0xFFFFFF));
  EXPECT_NE(s.at(59, 39), 0u);
}

TEST(DrawFrame, RoundedStyleUsesRoundRectWithTheCornerEllipse) {
  RasterSurface s(200, 100);
  FrameLook l = look(200, 100, kAmbientGrey, 0, 5);
  l.cornerDepth = 12;
  drawFrame(s, l);
  std::vector<RasterCall> rr;
  for (const RasterCall& c : s.calls())
    if (c.op == "RoundRect") rr.push_back(c);
  ASSERT_EQ(rr.size(), 7u);  // six rings and the body
  EXPECT_EQ(rr[0].r.left, 10);
  EXPECT_EQ(rr[0].r.right, 195);
  EXPECT_TRUE(rr[0].hollow);
  EXPECT_EQ(rr[5].r.left, 5);
  EXPECT_EQ(rr[5].r.bottom, 100);
  EXPECT_EQ(rr[6].r.right, 195);
  EXPECT_EQ(rr[6].r.bottom, 95);
  EXPECT_FALSE(rr[6].hollow);
  EXPECT_EQ(rr[6].ellipseW, 12);
  EXPECT_EQ(rr[6].ellipseH, 12);
}

TEST(DrawFrame, StoredDepthZeroDrawsLikeDepthTwo) {
  RasterSurface zero(80, 50), two(80, 50);
  drawFrame(zero, look(80, 50, kAmbientGrey, 0, 0));
  drawFrame(two, look(80, 50, kAmbientGrey, 0, 2));
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 80; ++x) ASSERT_EQ(zero.at(x, y), two.at(x, y)) << x << "," << y;
  EXPECT_EQ(two.at(78, 25), rgb(156, 154, 150));  // ring 1 of 2
}

TEST(SmoothShadowCorners, AveragesFourNeighboursInOrderFeedingLaterPixels) {
  // A 20 x 20 surface, CD 4, SD 2: region 1 is x, y in 12..17.
  const Colour bg = hex(0x808080);
  RasterSurface s(20, 20, hex(0x000000));
  s.setPixelV(12, 12, bg);
  s.setPixelV(12, 13, bg);
  s.setPixelV(13, 12, hex(0x0A0B0C));  // right neighbour of (12,12)
  smoothShadowCorners(s, bg, 20, 20, 4, 2);
  // (12,12): up 0, right (10, 11, 12), down the background 128, left 0:
  // (138 / 4 = 34.5 -> 34, 139 / 4 -> 35, 140 / 4 = 35).
  EXPECT_EQ(s.at(12, 12), rgb(34, 35, 35));
  // (12,13) comes next and reads the new (12,12): 34 / 4 = 8.5 -> 8, 35 / 4 -> 9.
  EXPECT_EQ(s.at(12, 13), rgb(8, 9, 9));
  EXPECT_EQ(s.at(13, 12), hex(0x0A0B0C));
}

TEST(SmoothShadowCorners, EmptyRegionsAreSkippedAndPixelsOffTheSurfaceReadAsInvalid) {
  const Colour bg = hex(0x808080);
  RasterSurface s(10, 10, bg);
  s.setPixelV(5, 5, 0);
  smoothShadowCorners(s, bg, 10, 10, 0, 2);  // CD 0: every region starts past its end
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) ASSERT_EQ(s.at(x, y), x == 5 && y == 5 ? 0u : bg);

  // A surface smaller than region 1 (x, y from -6 to 1): (0,0) has two neighbours off the
  // surface, each CLR_INVALID, which splits as (255, 0, 0).
  RasterSurface tiny(4, 4, bg);
  smoothShadowCorners(tiny, bg, 4, 4, 5, 2);
  EXPECT_EQ(tiny.at(0, 0), rgb(192, 64, 64));
}

// --------------------------------------------------------------------------- control

TEST(FrameControl, SettersApplyTheRangeRulesNotifyAndRedraw) {
  FrameSiteFake site;
  FrameControl f(site);
  f.initProperties();
  EXPECT_EQ(site.draws, 0);
  f.setShadowDepth(0);
  EXPECT_EQ(f.ShadowDepth(), 2);
  f.setShadowDepth(45);
  EXPECT_EQ(f.ShadowDepth(), 40);
  f.setCornerDepth(-3);
  EXPECT_EQ(f.CornerDepth(), 0);
  f.setCornerDepth(80);
  EXPECT_EQ(f.CornerDepth(), 50);
  f.setShadowOpacity(150);
  EXPECT_EQ(f.ShadowOpacity(), 100);
  f.setShadowOpacity(-1);
  EXPECT_EQ(f.ShadowOpacity(), 0);
  EXPECT_EQ(site.draws, 6);
  EXPECT_EQ(site.changes, (std::vector<std::string>{"ShadowDepth", "ShadowDepth", "CornerDepth", "CornerDepth",
                                                    "ShadowOpacity", "ShadowOpacity"}));
}

TEST(FrameControl, StoreKeepsOnlyChangedValuesAndReadingTakesThemUnclamped) {
  FrameSiteFake site;
  FrameControl f(site);
  f.initProperties();
  PropertyStore store;
  f.writeProperties(store);
  EXPECT_TRUE(store.stored().empty());

  f.setShadowDepth(7);
  f.setBackColour(0x8000000Fu);
  f.writeProperties(store);
  EXPECT_EQ(store.stored().size(), 2u);
  EXPECT_EQ(store.read("ShadowDepth", ""), "7");
  EXPECT_EQ(store.read("BackColour", ""), "-2147483633");

  PropertyStore raw;
  raw.writeLong("ShadowDepth", 0, 5);
  raw.writeLong("CornerDepth", 99, 10);
  raw.writeLong("ShowShadow", 1, -1);  // not True: no shadow
  FrameControl g(site);
  site.draws = 0;
  g.readProperties(raw);
  EXPECT_EQ(site.draws, 1);
  EXPECT_EQ(g.ShadowDepth(), 0);
  EXPECT_EQ(g.CornerDepth(), 99);
  EXPECT_FALSE(g.look().showShadow);
  EXPECT_EQ(g.FillColour(), kAmbientGrey);  // colour defaults from the ambient back colour
}

TEST(FrameControl, BackgroundFollowsTheAmbientColourUnlessBackColourIsSet) {
  FrameSiteFake site;
  FrameControl f(site);
  f.initProperties();
  f.setBackColour(hex(0x112233));
  EXPECT_EQ(f.look().background, kAmbientGrey);
  site.ambient = hex(0x445566);
  f.ambientChanged("BackColor");
  EXPECT_EQ(site.surface.at(476, 0), hex(0x445566));
  f.setBackColourIs(1);
  EXPECT_EQ(site.surface.at(476, 0), hex(0x112233));
  EXPECT_EQ(f.look().width, 477);
  EXPECT_EQ(f.look().height, 173);
}

TEST(FrameControl, DialogInstanceWithStoredDepthSeven) {
  FrameSiteFake site;
  PropertyStore store;
  store.writeLong("ShadowDepth", 7, 5);
  FrameControl f(site);
  f.readProperties(store);
  RasterSurface expected(477, 173);
  drawFrame(expected, look(477, 173, kAmbientGrey, 1, 7));
  for (int y = 0; y < 173; ++y)
    for (int x = 0; x < 477; ++x) ASSERT_EQ(site.surface.at(x, y), expected.at(x, y));
}

// On a scaled monitor the frame is as many pixels as its twips give there, and its shadow and
// corners grow with it; the stored values stay what they were.
TEST(FrameControl, DepthsFollowTheMonitorsDpi) {
  struct Case {
    int dpi, width, height, shadow, corner;
  };
  for (const Case& c : {Case{96, 477, 173, 7, 10}, Case{120, 596, 216, 9, 13}, Case{144, 716, 260, 11, 15},
                        Case{192, 954, 346, 14, 20}}) {
    SCOPED_TRACE(c.dpi);
    FrameSiteFake site;
    site.dpiNow = c.dpi;
    site.surface = RasterSurface(c.width, c.height);
    PropertyStore store;
    store.writeLong("ShadowDepth", 7, 5);
    FrameControl f(site);
    f.readProperties(store);
    const FrameLook l = f.look();
    EXPECT_EQ(l.width, c.width);
    EXPECT_EQ(l.height, c.height);
    EXPECT_EQ(l.shadowDepth, c.shadow);
    EXPECT_EQ(l.cornerDepth, c.corner);
    EXPECT_EQ(f.ShadowDepth(), 7);
    PropertyStore saved;
    f.writeProperties(saved);
    EXPECT_EQ(saved.read("ShadowDepth", ""), "7");
    // The body ends `shadow` pixels short of the right edge: its outline, then one ring per
    // pixel, each lighter than the one inside it.
    const int y = c.height / 2;
    EXPECT_EQ(site.surface.at(c.width - c.shadow - 1, y), Colour(0));
    for (int x = c.width - c.shadow; x < c.width - 1; ++x) {
      EXPECT_LT(site.surface.at(x, y) & 255, site.surface.at(x + 1, y) & 255) << x;
    }
  }
}

TEST(DpiScale, NinetySixIsExactAndOthersRoundToTheNearestPixel) {
  for (int px = -50; px <= 500; ++px) ASSERT_EQ(scaleToDpi(px, 96), px);
  EXPECT_EQ(scaleToDpi(7, 144), 11);  // 10.5 rounds up
  EXPECT_EQ(scaleToDpi(-7, 144), -11);
  EXPECT_EQ(scaleToDpi(12, 120), 15);
  EXPECT_EQ(scaleToDpi(50, 120), 63);  // 62.5
  EXPECT_EQ(scaleToDpi(120, 192), 240);
  EXPECT_EQ(scaleToDpi(5, 0), 5);  // no DPI from the system: as at 96
}

}  // namespace
