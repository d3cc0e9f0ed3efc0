// Sizes at fractional scales: the buffers of a surface drawn at 1.25 or 1.5, the picture put
// together at such a scale, and each surface's view of its part, to the last pixel.
#include <gtest/gtest.h>

#include <vector>

#include "desktop_picture.h"
#include "fractional_scale.h"
#include "mipmap_chain.h"

TEST(FractionalScale, BufferSizesRoundHalfAwayFromZero) {
  struct Case {
    std::int64_t length;
    int n;
    std::int64_t expected;
  };
  const Case cases[] = {
      {800, 180, 1200}, {1001, 180, 1502},  // 1501.5 rounds up
      {1366, 150, 1708},                    // 1707.5: 1.25 of an odd width
      {100, 120, 100},  {1, 180, 2},       {3, 140, 4},  // 3.5
      {-3, 140, -4},                        // negative offsets mirror the positive ones
      {0, 180, 0},      {800, 0, 0},       {1920, 240, 3840},
  };
  for (const Case& c : cases) EXPECT_EQ(scaledLength(c.length, {c.n}), c.expected) << c.length << "@" << c.n;
}

TEST(FractionalScale, AnOutputsDensityIsItsModeOverItsLogicalSize) {
  EXPECT_EQ(outputDensity(1200, 900, 800, 600, false, 2).n, 180);  // KWin at 1.5 says scale 2
  EXPECT_EQ(outputDensity(1920, 1080, 960, 540, false, 2).n, 240);
  EXPECT_EQ(outputDensity(1200, 900, 1200, 900, false, 1).n, 120);
  EXPECT_EQ(outputDensity(1707, 960, 1366, 768, false, 2).n, 150);  // a mode rounded down still 1.25
  EXPECT_EQ(outputDensity(900, 1200, 800, 600, true, 2).n, 180);    // turned: the mode's sides swap
  // Nothing believable to go by: the integer scale.
  EXPECT_EQ(outputDensity(1200, 900, 0, 0, false, 2).n, 240);
  EXPECT_EQ(outputDensity(0, 0, 800, 600, false, 0).n, 120);
  EXPECT_EQ(outputDensity(1200, 900, 2, 2, false, 1).n, 120);
  EXPECT_EQ(outputDensity(600, 450, 800, 600, false, 1).n, 120);  // never below one pixel a pixel
}

TEST(FractionalScale, ThePictureAtOneAndAHalfTakesEveryPixelOfTheCopy) {
  // A 1.5x output whose copy has a different value in every pixel: composed at 1.5 the
  // picture is the copy itself, no pixel doubled or lost.
  const int w = 6;  // 4 x 2 logical at 1.5
  std::vector<unsigned char> data(std::size_t(w) * 3 * 4);
  for (int i = 0; i < w * 3; ++i) data[std::size_t(i) * 4] = std::uint8_t(i + 1);  // blue channel, XRGB
  OutputCapture c;
  c.logical = {0, 0, 4, 2};
  c.width = w;
  c.height = 3;
  c.stride = w * 4;
  c.format = shmformat::kXrgb8888;
  c.data = data.data();
  c.size = data.size();
  std::vector<std::uint32_t> pixels;
  ASSERT_TRUE(composeDesktop({c}, {0, 0, 4, 2}, FractionalScale{180}, pixels));
  ASSERT_EQ(pixels.size(), std::size_t(6 * 3));
  for (int i = 0; i < 18; ++i) EXPECT_EQ(pixels[std::size_t(i)], std::uint32_t(i + 1)) << i;
}

TEST(FractionalScale, OutputsSideBySideMeetWithoutAGapAndViewsCoverEachToItsEdge) {
  // 801 logical pixels at 1x then 800 at 1.5x: the second's place starts where the first's
  // ends at the picture's scale, and each surface's view puts its output's first pixel at 0.
  const LayoutRect bounds = {0, 0, 1601, 600};
  const LayoutRect left = {0, 0, 801, 600}, right = {801, 0, 800, 600};
  std::vector<unsigned char> red(4, 0), green(4, 0);
  red[2] = 0xff;
  green[1] = 0xff;
  OutputCapture a, b;
  a.logical = left, b.logical = right;
  for (OutputCapture* c : {&a, &b}) c->width = 1, c->height = 1, c->stride = 4, c->size = 4;
  a.data = red.data();
  b.data = green.data();
  std::vector<std::uint32_t> pixels;
  ASSERT_TRUE(composeDesktop({a, b}, bounds, FractionalScale{180}, pixels));
  const int width = 2402;  // 2401.5 rounded
  ASSERT_EQ(pixels.size(), std::size_t(width) * 900);
  EXPECT_EQ(pixels[1201], 0xff0000u);  // 801 * 1.5 = 1201.5 -> 1202: the left output's last column
  EXPECT_EQ(pixels[1202], 0x00ff00u);
  EXPECT_EQ(pixels[std::size_t(width) * 900 - 1], 0x00ff00u);  // the last pixel is the right one's

  // The right surface drawn at 1.5: its buffer is 1200 x 900 and its view starts at its output.
  const Viewport view = outputViewport(bounds, right, FractionalScale{180});
  EXPECT_EQ(view.left, -1202);
  EXPECT_EQ(view.bottom, 0);
  EXPECT_EQ(view.width, width);
  EXPECT_EQ(view.height, 900);
  EXPECT_EQ(view.left + view.width, scaledLength(right.width, {180}));  // reaches its last column
  // At a whole scale the fractional view is the integer one.
  const Viewport whole = outputViewport({0, 0, 1984, 768}, {1024, 0, 960, 540}, FractionalScale{240});
  const Viewport integer = outputViewport({0, 0, 1984, 768}, {1024, 0, 960, 540}, 2);
  EXPECT_EQ(whole.left, integer.left);
  EXPECT_EQ(whole.bottom, integer.bottom);
  EXPECT_EQ(whole.width, integer.width);
  EXPECT_EQ(whole.height, integer.height);
}

TEST(FractionalScale, ThePictureIsMadeFineEnoughThatItsTextureKeepsEveryPixel) {
  // 2000 x 900 logical with a 1.5x output: 3000 x 1350 would round down to a 2048 x 1024
  // texture; just fine enough that both sides round up to 4096 x 2048 instead.
  const FractionalScale scale = pictureScaleFor(2000, 900, {180}, mipmap::nearestPowerOfTwo);
  EXPECT_GE(mipmap::nearestPowerOfTwo(int(scaledLength(2000, scale))), 3000);
  EXPECT_GE(mipmap::nearestPowerOfTwo(int(scaledLength(900, scale))), 1350);
  EXPECT_LE(scale.n, 205);  // no finer than that needs
  // Sizes whose powers of two already hold them keep the output's own scale.
  EXPECT_EQ(pictureScaleFor(1984, 768, {240}, mipmap::nearestPowerOfTwo).n, 240);  // 3968 x 1536 -> 4096 x 2048
  EXPECT_EQ(pictureScaleFor(1024, 768, {120}, mipmap::nearestPowerOfTwo).n, 120);  // 1024 x 768 -> 1024 x 1024
  // Nothing to go by: the scale given.
  EXPECT_EQ(pictureScaleFor(0, 900, {180}, mipmap::nearestPowerOfTwo).n, 180);
}
