// The Wayland front-end's picture: each output's copy read in the compositor's pixel formats,
// put where the output lies at the picture's scale, and each surface's view of its part.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "config_choice.h"
#include "desktop_picture.h"

namespace {

// An output's copy whose every pixel is `value`, `bytes` bytes little-endian, rows padded.
struct Copy {
  std::vector<unsigned char> data;
  OutputCapture capture;

  Copy(LayoutRect logical, int width, int height, std::uint32_t format, int bytes, std::uint32_t value) {
    const int stride = width * bytes + 8;
    data.assign(std::size_t(stride) * height, 0xEE);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        for (int b = 0; b < bytes; ++b) data[std::size_t(y) * stride + x * bytes + b] = (value >> (8 * b)) & 0xff;
    capture.logical = logical;
    capture.width = width;
    capture.height = height;
    capture.stride = stride;
    capture.format = format;
    capture.data = data.data();
    capture.size = data.size();
  }
  void set(int x, int y, int bytes, std::uint32_t value) {
    for (int b = 0; b < bytes; ++b) data[std::size_t(y) * capture.stride + x * bytes + b] = (value >> (8 * b)) & 0xff;
  }
};

std::uint32_t at(const std::vector<std::uint32_t>& pixels, int width, int x, int y) {
  return pixels[std::size_t(y) * width + x];
}

}  // namespace

TEST(DesktopPicture, EveryFormatTheCompositorsOfferReadsAsTheSameColour) {
  using namespace shmformat;
  struct Case {
    std::uint32_t format;
    int bytes;
    std::uint32_t pixel;  // orange-ish 0xFF8040 in the format's layout
  };
  const Case cases[] = {
      {kXrgb8888, 4, 0x00FF8040},   {kArgb8888, 4, 0xFFFF8040}, {kXbgr8888, 4, 0x004080FF},
      {kAbgr8888, 4, 0x804080FF},   {kRgb888, 3, 0xFF8040},     {kBgr888, 3, 0x4080FF},
      {kRgb565, 2, 0xFC08},         // 31, 32, 8 of 31, 63, 31
      {kXrgb2101010, 4, 0x3FF80100}, {kXbgr2101010, 4, 0x100803FF},  // 1023, 512, 256 of 1023
  };
  for (const Case& c : cases) {
    Copy copy({0, 0, 2, 2}, 2, 2, c.format, c.bytes, c.pixel);
    std::vector<std::uint32_t> pixels;
    ASSERT_TRUE(composeDesktop({copy.capture}, {0, 0, 2, 2}, 1, pixels)) << c.format;
    const std::uint32_t p = at(pixels, 2, 1, 1);
    EXPECT_EQ(p >> 16, 0xFFu) << std::hex << c.format;
    EXPECT_NEAR(int((p >> 8) & 0xff), 0x80, 2) << std::hex << c.format;
    EXPECT_NEAR(int(p & 0xff), 0x40, 2) << std::hex << c.format;
  }
  // A format we cannot read is left out: its place stays black, nothing is read from it.
  Copy odd({0, 0, 2, 2}, 2, 2, fourcc('Y', 'U', 'Y', 'V'), 2, 0xFFFF);
  std::vector<std::uint32_t> pixels;
  ASSERT_TRUE(composeDesktop({odd.capture}, {0, 0, 2, 2}, 1, pixels));
  EXPECT_EQ(pixels, std::vector<std::uint32_t>(4, 0));
  int bits;
  std::uint32_t r, g, b;
  EXPECT_FALSE(describeShmFormat(fourcc('Y', 'U', 'Y', 'V'), bits, r, g, b));
}

// The common XRGB/ARGB copy, read a row at a time, gives the pixels the general path gives the
// same colours in another layout: channels, alpha, padding, offsets and upside-down rows alike.
TEST(DesktopPicture, TheUsualFormatReadsAsEveryOther) {
  using namespace shmformat;
  for (bool inverted : {false, true}) {
    Copy argb({3, 1, 5, 3}, 5, 3, kArgb8888, 4, 0);
    Copy abgr({3, 1, 5, 3}, 5, 3, kAbgr8888, 4, 0);
    std::uint32_t seed = 17;
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) {
        const std::uint32_t v = (seed = seed * 1664525u + 1013904223u);
        argb.set(x, y, 4, v);
        abgr.set(x, y, 4, (v & 0xFF00FF00u) | (v >> 16 & 0xFF) | (v & 0xFF) << 16);
      }
    argb.capture.yInverted = abgr.capture.yInverted = inverted;
    const LayoutRect bounds = layoutBounds({{0, 0, 2, 2}, argb.capture.logical});
    std::vector<std::uint32_t> usual, general;
    ASSERT_TRUE(composeDesktop({argb.capture}, bounds, 1, usual));
    ASSERT_TRUE(composeDesktop({abgr.capture}, bounds, 1, general));
    EXPECT_EQ(usual, general) << inverted;
    const std::uint32_t first = argb.data[0] | argb.data[1] << 8 | std::uint32_t(argb.data[2]) << 16;
    EXPECT_EQ(at(usual, 8, 3, inverted ? 3 : 1), first) << inverted;  // no alpha
    EXPECT_EQ(at(usual, 8, 2, 1), 0u);
  }
}

TEST(DesktopPicture, OutputsOfDifferentSizesAndScalesEachTakeTheirPlace) {
  using namespace shmformat;
  // A 4x2 output at 1x beside a 2x1 (logical) output at 2x, whose copy is 4x2 pixels.
  Copy left({0, 0, 4, 2}, 4, 2, kXrgb8888, 4, 0x00FF0000);
  Copy right({4, 0, 2, 1}, 4, 2, kXrgb8888, 4, 0x000000FF);
  right.set(0, 0, 4, 0x0000FF00);  // its top-left pixel green
  left.set(3, 1, 4, 0x00FFFFFF);   // the left one's bottom-right pixel white
  const LayoutRect bounds = layoutBounds({left.capture.logical, right.capture.logical});
  EXPECT_EQ(bounds.x, 0);
  EXPECT_EQ(bounds.y, 0);
  EXPECT_EQ(bounds.width, 6);
  EXPECT_EQ(bounds.height, 2);

  // At the finest scale the 2x output keeps every pixel; the 1x one is doubled.
  std::vector<std::uint32_t> pixels;
  ASSERT_TRUE(composeDesktop({left.capture, right.capture}, bounds, 2, pixels));
  ASSERT_EQ(pixels.size(), 12u * 4u);
  EXPECT_EQ(at(pixels, 12, 0, 0), 0xFF0000u);
  EXPECT_EQ(at(pixels, 12, 6, 2), 0xFFFFFFu);  // the white pixel covers 2x2
  EXPECT_EQ(at(pixels, 12, 7, 3), 0xFFFFFFu);
  EXPECT_EQ(at(pixels, 12, 5, 3), 0xFF0000u);
  EXPECT_EQ(at(pixels, 12, 8, 0), 0x00FF00u);  // one picture pixel per copied pixel
  EXPECT_EQ(at(pixels, 12, 9, 0), 0x0000FFu);
  EXPECT_EQ(at(pixels, 12, 11, 1), 0x0000FFu);
  // Below the shorter output nothing was copied: black.
  EXPECT_EQ(at(pixels, 12, 8, 2), 0u);
  EXPECT_EQ(at(pixels, 12, 11, 3), 0u);
}

TEST(DesktopPicture, UpsideDownCopiesAndLayoutsAwayFromTheOrigin) {
  using namespace shmformat;
  Copy copy({-3, 5, 1, 2}, 1, 2, kXrgb8888, 4, 0x00000000);
  copy.set(0, 0, 4, 0x00112233);  // first row in memory
  copy.capture.yInverted = true;   // ...which is the bottom of the output
  const LayoutRect bounds = layoutBounds({copy.capture.logical, {-2, 5, 1, 2}, {0, 0, 0, 0}});
  EXPECT_EQ(bounds.x, -3);
  EXPECT_EQ(bounds.y, 5);
  EXPECT_EQ(bounds.width, 2);  // an output of no size widens nothing
  std::vector<std::uint32_t> pixels;
  ASSERT_TRUE(composeDesktop({copy.capture}, bounds, 1, pixels));
  EXPECT_EQ(at(pixels, 2, 0, 0), 0u);
  EXPECT_EQ(at(pixels, 2, 0, 1), 0x112233u);
}

TEST(DesktopPicture, OutputsAtTheEndsOfTheIntRange) {
  const LayoutRect farRight = {INT_MAX - 10, 0, 10, 5};
  const LayoutRect farLeft = {INT_MIN, 2, 10, 5};
  const LayoutRect alone = layoutBounds({farRight});
  EXPECT_EQ(alone.x, INT_MAX - 10);
  EXPECT_EQ(alone.width, 10);
  // No int width spans them: no size, so that no picture is made from wrapped edges.
  EXPECT_LE(layoutBounds({farRight, farLeft}).width, 0);
  EXPECT_LE(layoutBounds({{0, 0, 1, 1}, {INT_MAX - 5, 0, 10, 5}}).width, 0);
  // A copy a whole int range left of the picture lies outside it, with nothing drawn.
  Copy copy(farLeft, 10, 5, shmformat::kXrgb8888, 4, 0x00FFFFFF);
  std::vector<std::uint32_t> pixels;
  ASSERT_TRUE(composeDesktop({copy.capture}, {INT_MAX - 10, 0, 20, 5}, 1, pixels));
  EXPECT_EQ(pixels, std::vector<std::uint32_t>(100, 0));
}

TEST(DesktopPicture, RefusesWhatCannotBeAPicture) {
  std::vector<std::uint32_t> pixels(3, 7);
  EXPECT_FALSE(composeDesktop({}, {0, 0, 0, 10}, 1, pixels));
  EXPECT_TRUE(pixels.empty());
  EXPECT_FALSE(composeDesktop({}, {0, 0, 10, 10}, 0, pixels));
  // Beyond the picture limit (1 GiB of pixels): refused before any memory is taken.
  EXPECT_FALSE(composeDesktop({}, {0, 0, 40000, 20000}, 1, pixels));
  // A stride shorter than a row: left out, not read past its end.
  Copy copy({0, 0, 2, 1}, 2, 1, shmformat::kXrgb8888, 4, 0x00FFFFFF);
  copy.capture.stride = 4;
  ASSERT_TRUE(composeDesktop({copy.capture}, {0, 0, 2, 1}, 1, pixels));
  EXPECT_EQ(pixels, std::vector<std::uint32_t>(2, 0));
}

TEST(DesktopPicture, ACopyWhoseRowsReachPastItsBufferIsLeftOut) {
  Copy copy({0, 0, 2, 2}, 2, 2, shmformat::kXrgb8888, 4, 0x00FFFFFF);
  std::vector<std::uint32_t> pixels;
  const OutputCapture whole = copy.capture;
  struct Case {
    const char* name;
    void (*bend)(OutputCapture&);
  };
  const Case cases[] = {
      {"one byte short", [](OutputCapture& c) { c.size = std::size_t(c.stride) + 7; }},
      {"a stride past the buffer", [](OutputCapture& c) { c.stride = std::int64_t(1) << 40; }},
      {"more rows than the buffer holds", [](OutputCapture& c) { c.height = 3; }},
  };
  for (const Case& c : cases) {
    OutputCapture bent = whole;
    c.bend(bent);
    ASSERT_TRUE(composeDesktop({bent}, {0, 0, 2, 2}, 1, pixels)) << c.name;
    EXPECT_EQ(pixels, std::vector<std::uint32_t>(4, 0)) << c.name;
  }
  // The last row's padding may be missing.
  OutputCapture tight = whole;
  tight.size = std::size_t(tight.stride) + 8;
  ASSERT_TRUE(composeDesktop({tight}, {0, 0, 2, 2}, 1, pixels));
  EXPECT_EQ(pixels, std::vector<std::uint32_t>(4, 0xFFFFFF));
}

TEST(DesktopPicture, ThePictureIsTheDesktopTurnedAsTheSceneTakesIt) {
  // 2x1: red on the left, blue on the right.
  const std::vector<std::uint32_t> pixels = {0xFF0000, 0x0000FF};
  HeldPicture picture;
  ASSERT_TRUE(desktopPicture(pixels, {0, 0, 2, 1}, 1, picture));
  const PictureRows rows = picture.rows();
  ASSERT_EQ(rows.width, 2);
  ASSERT_EQ(rows.height, 1);
  // Turned by 180 degrees, blue, green, red bytes: the right (blue) pixel first.
  const unsigned char expected[] = {0xFF, 0, 0, 0, 0, 0xFF};
  EXPECT_EQ(std::memcmp(rows.data, expected, 6), 0);
  EXPECT_FALSE(desktopPicture(pixels, {0, 0, 3, 1}, 1, picture));  // sizes that do not fit
  EXPECT_TRUE(picture.empty());
}

TEST(DesktopPicture, EachSurfaceShowsItsOwnPartOfTheView) {
  // The layout: 1024x768 at the origin, 960x540 to its right at scale 2.
  const LayoutRect bounds = {0, 0, 1984, 768};
  const Viewport first = outputViewport(bounds, {0, 0, 1024, 768}, 1);
  EXPECT_EQ(first.left, 0);
  EXPECT_EQ(first.bottom, 0);
  EXPECT_EQ(first.width, 1984);
  EXPECT_EQ(first.height, 768);
  // Buffer pixels of the 2x surface; the layout's top is its top, so the view starts below.
  const Viewport second = outputViewport(bounds, {1024, 0, 960, 540}, 2);
  EXPECT_EQ(second.left, -2048);
  EXPECT_EQ(second.bottom, -(768 - 540) * 2);
  EXPECT_EQ(second.width, 3968);
  EXPECT_EQ(second.height, 1536);
  // A layout not at the origin, an output below another.
  const Viewport lower = outputViewport({-100, -50, 200, 300}, {-100, 150, 200, 100}, 1);
  EXPECT_EQ(lower.left, 0);
  EXPECT_EQ(lower.bottom, 0);
  const Viewport upper = outputViewport({-100, -50, 200, 300}, {-100, -50, 200, 100}, 1);
  EXPECT_EQ(upper.bottom, -200);
}

// A 3 x 2 picture as the user sees it, and its copy as an output with each transform stores it:
// read back through the transform, every pixel is where the user saw it.
TEST(DesktopPicture, TurnedAndMirroredOutputsReadBackAsTheUserSawThem) {
  const int seenWidth = 3, seenHeight = 2;
  auto seen = [](int x, int y) { return std::uint32_t(0x10 * (y + 1) + x); };
  for (std::uint32_t transform = 0; transform < 8; ++transform) {
    const bool swapped = transformSwapsSides(transform);
    const int bufferWidth = swapped ? seenHeight : seenWidth, bufferHeight = swapped ? seenWidth : seenHeight;
    Copy copy({0, 0, seenWidth, seenHeight}, bufferWidth, bufferHeight, shmformat::kXrgb8888, 4, 0);
    copy.capture.transform = transform;
    for (int y = 0; y < seenHeight; ++y) {
      for (int x = 0; x < seenWidth; ++x) {
        std::int64_t bx = -1, by = -1;
        bufferPixelOf(transform, x, y, seenWidth, seenHeight, bx, by);
        ASSERT_TRUE(bx >= 0 && bx < bufferWidth && by >= 0 && by < bufferHeight) << transform;
        copy.set(int(bx), int(by), 4, seen(x, y));
      }
    }
    std::vector<std::uint32_t> pixels;
    ASSERT_TRUE(composeDesktop({copy.capture}, {0, 0, seenWidth, seenHeight}, 1, pixels));
    for (int y = 0; y < seenHeight; ++y)
      for (int x = 0; x < seenWidth; ++x) EXPECT_EQ(at(pixels, seenWidth, x, y), seen(x, y)) << transform;
  }
  // The turns themselves, by their corners: a quarter turn counter-clockwise puts the top
  // right corner of what is seen at the buffer's top left; the mirror of it keeps the top left.
  std::int64_t bx = 0, by = 0;
  bufferPixelOf(1, 2, 0, 3, 2, bx, by);
  EXPECT_EQ(bx, 0);
  EXPECT_EQ(by, 0);
  bufferPixelOf(5, 0, 0, 3, 2, bx, by);
  EXPECT_EQ(bx, 0);
  EXPECT_EQ(by, 0);
  bufferPixelOf(2, 0, 0, 3, 2, bx, by);
  EXPECT_EQ(bx, 2);
  EXPECT_EQ(by, 1);
}

TEST(ConfigChoice, PlainEightBitColourWithoutAlphaOverTheDeeperOnesListedFirst) {
  // Mesa's order on Wayland: 10-bit first, then 8-bit with and without alpha, then 16-bit colour.
  EXPECT_EQ(preferredConfig({{10, 10, 10, 0}, {10, 10, 10, 2}, {8, 8, 8, 8}, {8, 8, 8, 0}, {5, 6, 5, 0}}), 3u);
  // Without an alpha-less 8-bit one, 8-bit still wins; the first of equals is kept.
  EXPECT_EQ(preferredConfig({{10, 10, 10, 0}, {8, 8, 8, 8}, {8, 8, 8, 8}}), 1u);
  // Nothing 8-bit: one without alpha, else the driver's first.
  EXPECT_EQ(preferredConfig({{5, 6, 5, 8}, {10, 10, 10, 0}}), 1u);
  EXPECT_EQ(preferredConfig({{10, 10, 10, 2}}), 0u);
  EXPECT_EQ(preferredConfig({}), 0u);
}
