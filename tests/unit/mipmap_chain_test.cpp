// The mipmap chain's filters on small pictures with values worked out by hand, and its GL
// calls against the recording stand-in: the level-0 size, the refusals.
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "gl_api.h"
#include "gl_recorder.h"
#include "mipmap_chain.h"

namespace {

using Picture = std::vector<unsigned char>;

// A w x h picture, rows padded to 4 bytes with 0, from one blue-green-red triple per pixel.
Picture picture(int w, int h, const std::vector<int>& bgr) {
  Picture p(mipmap::rowBytes(w) * std::size_t(h), 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w * 3; ++x) p[y * mipmap::rowBytes(w) + x] = (unsigned char)bgr[std::size_t(y * w * 3 + x)];
  return p;
}

// A w x h level as the chain hands it to the GL: one blue-green-red triple per pixel, then 255.
Picture level(int w, int h, const std::vector<int>& bgr) {
  Picture p;
  for (int i = 0; i < w * h; ++i)
    p.insert(p.end(), {(unsigned char)bgr[3 * std::size_t(i)], (unsigned char)bgr[3 * std::size_t(i) + 1],
                       (unsigned char)bgr[3 * std::size_t(i) + 2], 255});
  return p;
}

// Rows [first, end) of the resample into `out`, which starts as 0xEE everywhere.
void resampleBand(const Picture& in, int w, int h, Picture& out, int outW, int outH, mipmap::Order order, int first,
                  int end) {
  std::vector<unsigned char> scratch(mipmap::scratchBytes(w, h, outW, outH));
  mipmap::resample(in.data(), w, h, out.data(), outW, outH, order, scratch.data(), first, end);
}

Picture resampled(const Picture& in, int w, int h, int outW, int outH, mipmap::Order order = mipmap::Order::bgra) {
  Picture out(mipmap::levelBytes(outW, outH), 0xEE);
  resampleBand(in, w, h, out, outW, outH, order, 0, outH);
  return out;
}

Picture halved(const Picture& in, int w, int h) {
  Picture out(mipmap::levelBytes(mipmap::halfSide(w), mipmap::halfSide(h)), 0xEE);
  mipmap::halve(in.data(), w, h, out.data());
  return out;
}

// A picture of noise, different in every channel and pixel.
Picture noise(int w, int h, std::uint32_t seed) {
  Picture p(mipmap::rowBytes(w) * std::size_t(h), 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w * 3; ++x) p[y * mipmap::rowBytes(w) + x] = (unsigned char)((seed = seed * 1664525u + 1013904223u) >> 24);
  return p;
}

}  // namespace

TEST(MipmapChain, NearestPowerOfTwoRoundsAsTheGluBuilder) {
  const int cases[][2] = {{1, 1},       {2, 2},       {3, 4},       {5, 4},       {6, 8},       {7, 8},
                          {767, 512},   {768, 1024},  {1080, 1024}, {1366, 1024}, {1920, 2048}, {2160, 2048},
                          {2560, 2048}, {3840, 4096}, {7680, 8192}, {8192, 8192}};
  for (const auto& c : cases) EXPECT_EQ(mipmap::nearestPowerOfTwo(c[0]), c[1]) << c[0];
}

// Three pixels spread over four: the middle outputs mix two sources by the parts they cover
// (1/4 + 2/4, 2/4 + 1/4 of a source pixel), and every mean is rounded down.
TEST(MipmapChain, ResampleWeighsPartlyCoveredPixelsAndRoundsDown) {
  const Picture in = picture(3, 1, {10, 200, 0, 20, 100, 255, 31, 0, 254});
  EXPECT_EQ(resampled(in, 3, 1, 4, 1), level(4, 1, {10, 200, 0,  16, 133, 170,  23, 66, 254,  31, 0, 254}));

  // 3 x 3 onto 2 x 2: each output covers 1.5 x 1.5 source pixels (weights 1 and 1/2 per axis).
  std::vector<int> bgr;
  for (int v = 0; v < 90; v += 10) bgr.insert(bgr.end(), {v, 255 - v, v / 2});
  const Picture out = resampled(picture(3, 3, bgr), 3, 3, 2, 2);
  EXPECT_EQ(out, level(2, 2, {13, 241, 6,  26, 228, 13,  53, 201, 26,  66, 188, 33}));
}

TEST(MipmapChain, ResampleKeepsAPlainColourExactAtAnySize) {
  const int sizes[][4] = {{37, 29, 32, 32}, {1920, 3, 2048, 4}, {5, 1, 4, 1}, {1, 7, 1, 8}, {100, 9, 8, 2}};
  for (const auto& s : sizes) {
    const Picture in = picture(s[0], s[1], std::vector<int>(std::size_t(s[0] * s[1]) * 3, 201));
    const Picture out = resampled(in, s[0], s[1], s[2], s[3]);
    EXPECT_EQ(out, level(s[2], s[3], std::vector<int>(std::size_t(s[2] * s[3]) * 3, 201)))
        << s[0] << "x" << s[1] << " -> " << s[2] << "x" << s[3];
  }
}

// Far larger sources (a picture beyond the GL's largest texture): many pixels per output.
TEST(MipmapChain, ResampleAveragesWholeRunsWhenShrinkingMuch) {
  std::vector<int> bgr;
  for (int x = 0; x < 10; ++x) bgr.insert(bgr.end(), {x, 10 * x, 250 - x});
  EXPECT_EQ(resampled(picture(10, 1, bgr), 10, 1, 2, 1), level(2, 1, {2, 20, 248,  7, 70, 243}));
}

TEST(MipmapChain, HalvingRoundsSquaresHalfUpAndLinesDown) {
  // 2 x 2 -> 1 x 1: blue 1 + 2 + 2 + 2 = 7 gives 2 (1.75 up), green 1 + 1 + 1 + 2 = 5 gives 1.
  const Picture square = level(2, 2, {1, 1, 255, 2, 1, 255, 2, 1, 254, 2, 2, 255});
  EXPECT_EQ(halved(square, 2, 2), level(1, 1, {2, 1, 255}));
  // 4 x 1 -> 2 x 1 and 1 x 4 -> 1 x 2: (a + b) / 2 rounded down.
  const Picture row = level(4, 1, {1, 2, 3, 2, 2, 4, 10, 20, 30, 11, 21, 31});
  EXPECT_EQ(halved(row, 4, 1), level(2, 1, {1, 2, 3, 10, 20, 30}));
  const Picture column = level(1, 4, {1, 2, 3, 2, 2, 4, 10, 20, 30, 11, 21, 31});
  EXPECT_EQ(halved(column, 1, 4), level(1, 2, {1, 2, 3, 10, 20, 30}));
  // A wider square: each output its own 2 x 2 block.
  const Picture wide = level(4, 2, {0, 0, 0, 4, 4, 4, 100, 0, 0, 100, 0, 0, 0, 0, 0, 4, 4, 4, 0, 100, 0, 0, 100, 0});
  EXPECT_EQ(halved(wide, 4, 2), level(2, 1, {2, 2, 2, 50, 50, 0}));
}

// Bands resampled apart, as the chain's threads do, fill level 0 exactly as one pass does: the
// filter, the many-tap filter of a far larger source and the exact halving.
TEST(MipmapChain, ResampleInBandsMatchesOnePass) {
  const int sizes[][4] = {{37, 29, 32, 32}, {1920, 9, 2048, 8}, {100, 90, 8, 8}, {64, 34, 32, 17}};
  for (const auto& s : sizes) {
    const Picture in = noise(s[0], s[1], std::uint32_t(s[0] + s[1]));
    const Picture whole = resampled(in, s[0], s[1], s[2], s[3]);
    Picture banded(whole.size(), 0xEE);
    const int a = s[3] / 3, b = 2 * s[3] / 3;
    resampleBand(in, s[0], s[1], banded, s[2], s[3], mipmap::Order::bgra, b, s[3]);
    resampleBand(in, s[0], s[1], banded, s[2], s[3], mipmap::Order::bgra, 0, a);
    resampleBand(in, s[0], s[1], banded, s[2], s[3], mipmap::Order::bgra, a, b);
    EXPECT_EQ(banded, whole) << s[0] << "x" << s[1] << " -> " << s[2] << "x" << s[3];
  }
}

// Red first (for a GL without GL_BGRA) swaps red and blue in every pixel and changes nothing else.
TEST(MipmapChain, RedFirstSwapsRedAndBlue) {
  const int sizes[][4] = {{37, 29, 32, 32}, {64, 34, 32, 17}};
  for (const auto& s : sizes) {
    const Picture in = noise(s[0], s[1], 11);
    Picture swapped = resampled(in, s[0], s[1], s[2], s[3]);
    for (std::size_t i = 0; i < swapped.size(); i += 4) std::swap(swapped[i], swapped[i + 2]);
    EXPECT_EQ(resampled(in, s[0], s[1], s[2], s[3], mipmap::Order::rgba), swapped) << s[0] << "x" << s[1];
  }
}

class MipmapBuild : public ::testing::Test {
 protected:
  void SetUp() override {
    glrec::resetTextures();
    glrec::clear();
    glrec::setRecording(true);
  }
  void TearDown() override { glrec::resetTextures(); }
};

// The largest level 0 the proxy accepts: 4096 x 2, both sides halved together (the short one
// stopping at 1) until its level 1 fits.
TEST_F(MipmapBuild, LevelZeroShrinksUntilTheProxyTakesIt) {
  glrec::setMaxTextureSize(1024);
  const Picture in = picture(3840, 2, std::vector<int>(3840 * 2 * 3, 90));
  ASSERT_TRUE(mipmap::build(3840, 2, in.data()));
  const std::vector<glrec::LevelUpload>& up = glrec::uploads();
  ASSERT_EQ(up.size(), 11u);  // 1024 x 1 .. 1 x 1
  EXPECT_EQ(up[0].width, 1024);
  EXPECT_EQ(up[0].height, 1);
  EXPECT_EQ(up[0].pixels, level(1024, 1, std::vector<int>(1024 * 3, 90)));
  EXPECT_EQ(up[10].width, 1);
  EXPECT_EQ(glrec::named("glTexImage2D")[0].args[3], 2048.0);  // asked 4096 first (level 1: 2048)
}

// The threads change nothing that reaches the GL: the same levels, byte for byte, in order.
TEST_F(MipmapBuild, ThreadsUploadTheSameLevels) {
  const Picture in = noise(1001, 77, 5);
  ASSERT_TRUE(mipmap::build(1001, 77, in.data(), {mipmap::Order::bgra, 1}));
  const std::vector<glrec::LevelUpload> alone = glrec::uploads();
  for (int threads : {2, 3, 4}) {
    glrec::resetTextures();
    ASSERT_TRUE(mipmap::build(1001, 77, in.data(), {mipmap::Order::bgra, threads}));
    const std::vector<glrec::LevelUpload>& up = glrec::uploads();
    ASSERT_EQ(up.size(), 11u) << threads;  // 1024 x 64 .. 1 x 1
    for (std::size_t l = 0; l < up.size(); ++l) {
      EXPECT_EQ(up[l].level, alone[l].level);
      EXPECT_EQ(up[l].width, alone[l].width);
      EXPECT_EQ(up[l].height, alone[l].height);
      EXPECT_EQ(up[l].pixels, alone[l].pixels) << threads << " threads, level " << l;
    }
  }
}

// A GL 1.1 without EXT_bgra gets every level red first, as GL_RGBA; with it, blue first.
TEST_F(MipmapBuild, AGlWithoutBgraGetsRedFirstLevels) {
  const Picture in = noise(8, 2, 3);
  glrec::setExtensions("GL_EXT_texture_object GL_EXT_bgr");
  EXPECT_EQ(mipmap::defaultOptions().order, mipmap::Order::rgba);
  ASSERT_TRUE(mipmap::build(8, 2, in.data()));
  Picture expected = resampled(in, 8, 2, 8, 2);
  for (std::size_t i = 0; i < expected.size(); i += 4) std::swap(expected[i], expected[i + 2]);
  ASSERT_EQ(glrec::uploads().size(), 4u);
  EXPECT_EQ(glrec::uploads()[0].pixels, expected);
  for (const glrec::LevelUpload& up : glrec::uploads()) EXPECT_EQ(up.format, unsigned(GL_RGBA)) << up.level;

  glrec::resetTextures();  // GL_EXT_bgra again
  ASSERT_TRUE(mipmap::build(8, 2, in.data()));
  for (const glrec::LevelUpload& up : glrec::uploads()) EXPECT_EQ(up.format, 0x80E1u) << up.level;
}

TEST_F(MipmapBuild, NothingIsUploadedForNoPictureOrAGlThatTakesNoSize) {
  const Picture in = picture(2, 2, std::vector<int>(12, 7));
  EXPECT_FALSE(mipmap::build(2, -2, in.data()));
  EXPECT_FALSE(mipmap::build(0, 2, in.data()));
  EXPECT_TRUE(glrec::calls().empty());
  glrec::setMaxTextureSize(0);
  EXPECT_FALSE(mipmap::build(2, 2, in.data()));
  EXPECT_TRUE(glrec::uploads().empty());
  EXPECT_EQ(glrec::named("glGetIntegerv").size(), 1u);  // the proxy refused even 1 x 1
}

// Level 0 of the picture's own size, where asked and the proxy takes it: the picture's pixels
// as they were, then halvings that round odd sides down (5 x 3 -> 2 x 1 -> 1 x 1).
TEST_F(MipmapBuild, OwnSizeKeepsThePictureAndHalvesOddSidesDown) {
  const Picture in = noise(5, 3, 11);
  mipmap::BuildOptions own{mipmap::Order::bgra, 2, true};
  ASSERT_TRUE(mipmap::build(5, 3, in.data(), own));
  const std::vector<glrec::LevelUpload>& up = glrec::uploads();
  ASSERT_EQ(up.size(), 3u);
  std::vector<int> bgr;
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 15; ++x) bgr.push_back(in[std::size_t(y) * mipmap::rowBytes(5) + std::size_t(x)]);
  EXPECT_EQ(up[0].pixels, level(5, 3, bgr));
  EXPECT_EQ(up[1].width, 2);
  EXPECT_EQ(up[1].height, 1);
  EXPECT_EQ(up[1].pixels, halved(up[0].pixels, 5, 3));
  EXPECT_EQ(up[2].pixels, halved(up[1].pixels, 2, 1));

  // Red first: the same pixels, red and blue swapped.
  glrec::resetTextures();
  own.order = mipmap::Order::rgba;
  ASSERT_TRUE(mipmap::build(5, 3, in.data(), own));
  Picture swapped = level(5, 3, bgr);
  for (std::size_t i = 0; i < swapped.size(); i += 4) std::swap(swapped[i], swapped[i + 2]);
  EXPECT_EQ(glrec::uploads()[0].pixels, swapped);
}

// A picture past the largest texture gets the power-of-two chain: 1500 x 3 as GLU rounds it.
TEST_F(MipmapBuild, OwnSizeTooLargeForTheGlFallsBackToThePowerOfTwoChain) {
  glrec::setMaxTextureSize(1024);
  const Picture in = noise(1500, 3, 2);
  ASSERT_TRUE(mipmap::build(1500, 3, in.data(), {mipmap::Order::bgra, 1, true}));
  ASSERT_FALSE(glrec::uploads().empty());
  EXPECT_EQ(glrec::uploads()[0].width, 1024);
  EXPECT_EQ(glrec::uploads()[0].height, 4);
}

// The own size is asked for only once set, and granted only by a GL that takes any size.
TEST_F(MipmapBuild, OwnSizeOnlyWhereSetAndTheGlTakesAnySize) {
  EXPECT_FALSE(mipmap::defaultOptions().ownSize);
  mipmap::keepOwnSize(true);
  EXPECT_FALSE(mipmap::defaultOptions().ownSize);  // the recorder is GL 1.1
  glrec::setExtensions("GL_EXT_bgra GL_ARB_texture_non_power_of_two");
  EXPECT_TRUE(mipmap::defaultOptions().ownSize);
  const Picture in = noise(6, 5, 4);
  ASSERT_TRUE(mipmap::build(6, 5, in.data()));
  mipmap::keepOwnSize(false);
  ASSERT_FALSE(glrec::uploads().empty());
  EXPECT_EQ(glrec::uploads()[0].width, 6);
  EXPECT_EQ(glrec::uploads()[0].height, 5);
  EXPECT_FALSE(mipmap::defaultOptions().ownSize);
}
