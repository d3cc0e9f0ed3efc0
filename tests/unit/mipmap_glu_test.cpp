// The mipmap chain against gluBuild2DMipmaps on Mesa, every level read back from the GL.
// Headless: an EGL context on Mesa's surfaceless platform, which needs no display server.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "egl_headless.h"
#include "gl_api.h"
#include "mipmap_chain.h"

namespace {

using Picture = std::vector<unsigned char>;

struct Level {
  int width = 0, height = 0;
  Picture pixels;  // tightly packed blue-green-red
};

// Every level of the bound texture, level 0 down to 1 x 1.
std::vector<Level> readBack() {
  std::vector<Level> levels;
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  for (int l = 0; l < 20; ++l) {
    Level level;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, l, GL_TEXTURE_WIDTH, &level.width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, l, GL_TEXTURE_HEIGHT, &level.height);
    if (level.width == 0) break;
    level.pixels.resize(std::size_t(level.width) * level.height * 3);
    glGetTexImage(GL_TEXTURE_2D, l, GL_BGR_EXT, GL_UNSIGNED_BYTE, level.pixels.data());
    levels.push_back(level);
    if (level.width == 1 && level.height == 1) break;
  }
  return levels;
}

enum class Builder { ours, glu };

std::vector<Level> chain(Builder builder, int w, int h, const Picture& rows,
                         const mipmap::BuildOptions* options = nullptr) {
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  if (builder == Builder::ours)
    EXPECT_TRUE(options ? mipmap::build(w, h, rows.data(), *options) : mipmap::build(w, h, rows.data()));
  else
    EXPECT_EQ(gluBuild2DMipmaps(GL_TEXTURE_2D, 3, w, h, GL_BGR_EXT, GL_UNSIGNED_BYTE, rows.data()), 0);
  std::vector<Level> levels = readBack();
  glDeleteTextures(1, &name);
  return levels;
}

// A desktop-like picture: flat panels, gradients, hard edges and a band of noise.
Picture makePicture(int w, int h, std::uint32_t seed) {
  Picture p(mipmap::rowBytes(w) * std::size_t(h), 0);
  std::uint32_t noise = seed;
  for (int y = 0; y < h; ++y) {
    unsigned char* row = &p[std::size_t(y) * mipmap::rowBytes(w)];
    for (int x = 0; x < w; ++x) {
      noise = noise * 1664525u + 1013904223u;
      const bool panel = ((x / 37) + (y / 23)) % 4 == 0;
      const bool noisy = (y / 11) % 5 == 2;
      row[3 * x] = (unsigned char)(panel ? 230 : (x * 255) / w);
      row[3 * x + 1] = (unsigned char)(noisy ? noise >> 24 : (y * 255) / h);
      row[3 * x + 2] = (unsigned char)(panel ? 20 : ((x ^ y) & 0x40 ? 250 : 5));
    }
  }
  return p;
}

// The picture repeated `times` over along its side of 1 pixel, the other side unchanged.
Picture widened(const Picture& p, int w, int h, int times, int& outW, int& outH) {
  outW = w == 1 ? times : w;
  outH = w == 1 ? h : times;
  Picture out(mipmap::rowBytes(outW) * std::size_t(outH), 0);
  for (int y = 0; y < outH; ++y)
    for (int x = 0; x < outW; ++x)
      for (int c = 0; c < 3; ++c)
        out[std::size_t(y) * mipmap::rowBytes(outW) + 3 * x + c] =
            p[std::size_t(w == 1 ? y : 0) * mipmap::rowBytes(w) + 3 * (w == 1 ? 0 : x) + c];
  return out;
}

// The first column (or row) of each level, as the level of a picture one pixel wide (or tall).
std::vector<Level> firstLine(const std::vector<Level>& levels, bool column) {
  std::vector<Level> out;
  for (const Level& l : levels) {
    Level line;
    line.width = column ? 1 : l.width;
    line.height = column ? l.height : 1;
    for (int i = 0; i < (column ? l.height : l.width); ++i)
      for (int c = 0; c < 3; ++c)
        line.pixels.push_back(l.pixels[(column ? std::size_t(i) * l.width : std::size_t(i)) * 3 + c]);
    if (!out.empty() && out.back().width == line.width && out.back().height == line.height) continue;
    out.push_back(line);
  }
  return out;
}

struct Difference {
  int max = 0;
  double mean = 0;  // the largest of the three channels' means
};

Difference compare(const Level& a, const Level& b) {
  Difference d;
  double sums[3] = {0, 0, 0};
  for (std::size_t i = 0; i < a.pixels.size(); ++i) {
    const int diff = std::abs(int(a.pixels[i]) - int(b.pixels[i]));
    d.max = std::max(d.max, diff);
    sums[i % 3] += diff;
  }
  const double n = double(a.pixels.size() / 3);
  for (double s : sums) d.mean = std::max(d.mean, s / n);
  return d;
}

struct Size {
  int w, h;
};

class MipmapAgainstGlu : public ::testing::TestWithParam<Size> {
 protected:
  static void SetUpTestSuite() {
    context = new HeadlessGl;
    opened = context->open();
  }
  static void TearDownTestSuite() {
    delete context;
    context = nullptr;
  }
  static HeadlessGl* context;
  static bool opened;
};
HeadlessGl* MipmapAgainstGlu::context = nullptr;
bool MipmapAgainstGlu::opened = false;

// Every level has GLU's size and, per channel, GLU's values: at most 1 apart, as both round
// their means down from slightly different sums. GLU's float sums fall just short of the value
// of a plain area more often than not (230 becomes 229), so on such pictures whole levels can
// be 1 apart in one channel; the mean stays within 1.
//
// GLU gets pictures one pixel wide or tall wrong, so there the reference is GLU's chain of the
// picture repeated along that side (8 columns, or 5 rows, which it scales without the faults),
// line 0 of each level: its first level it works out itself goes up with rows of 3 or 6 bytes
// under unpack alignment 4 (skewed), and with a height it does not scale but a width it does,
// its filter clamps the last row away (black), for one pixel tall the whole picture.
TEST_P(MipmapAgainstGlu, EveryLevelMatches) {
  ASSERT_TRUE(opened) << "no EGL context on Mesa's surfaceless platform";
  const Size size = GetParam();
  const Picture rows = makePicture(size.w, size.h, std::uint32_t(size.w * 7919 + size.h));
  const std::vector<Level> ours = chain(Builder::ours, size.w, size.h, rows);
  std::vector<Level> glu;
  // The repeated picture's levels are halved as squares, rounding half up, where a line's
  // round down: one more step apart at most.
  const bool line = size.w == 1 || size.h == 1;
  const int bound = line ? 2 : 1;
  if (line) {
    int wideW = 0, wideH = 0;
    const Picture wide = widened(rows, size.w, size.h, size.w == 1 ? 8 : 5, wideW, wideH);
    glu = firstLine(chain(Builder::glu, wideW, wideH, wide), size.w == 1);
  } else {
    glu = chain(Builder::glu, size.w, size.h, rows);
  }

  ASSERT_EQ(ours.size(), glu.size());
  Difference worst;
  for (std::size_t l = 0; l < ours.size(); ++l) {
    SCOPED_TRACE("level " + std::to_string(l));
    ASSERT_EQ(ours[l].width, glu[l].width);
    ASSERT_EQ(ours[l].height, glu[l].height);
    const Difference d = compare(ours[l], glu[l]);
    EXPECT_LE(d.max, bound);
    EXPECT_LE(d.mean, 1.0);
    worst.max = std::max(worst.max, d.max);
    worst.mean = std::max(worst.mean, d.mean);
  }
  std::printf("%dx%d -> %dx%d, %zu levels: max difference %d, largest mean %.4f per channel\n", size.w, size.h,
              ours[0].width, ours[0].height, ours.size(), worst.max, worst.mean);
}

// Mesa takes GL_BGRA and GL_RGBA levels alike, and the threads change no pixel: a chain red
// first on four threads reads back as the one blue first on the caller's thread alone.
TEST_P(MipmapAgainstGlu, OrderAndThreadsChangeNoLevel) {
  ASSERT_TRUE(opened) << "no EGL context on Mesa's surfaceless platform";
  const Size size = GetParam();
  const Picture rows = makePicture(size.w, size.h, std::uint32_t(size.h * 104729 + size.w));
  const mipmap::BuildOptions alone{mipmap::Order::bgra, 1};
  const mipmap::BuildOptions shared{mipmap::Order::rgba, 4};
  const std::vector<Level> a = chain(Builder::ours, size.w, size.h, rows, &alone);
  const std::vector<Level> b = chain(Builder::ours, size.w, size.h, rows, &shared);
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t l = 0; l < a.size(); ++l) EXPECT_TRUE(a[l].pixels == b[l].pixels) << "level " << l;
}

// On Mesa, which takes any size: level 0 of the picture's own size reads back as the picture,
// pixel for pixel, and the levels below halve down to 1 x 1, odd sides rounded down.
TEST_P(MipmapAgainstGlu, OwnSizeLevelZeroIsThePicture) {
  ASSERT_TRUE(opened) << "no EGL context on Mesa's surfaceless platform";
  ASSERT_TRUE(mipmap::glTakesAnySize());
  const Size size = GetParam();
  const Picture rows = makePicture(size.w, size.h, std::uint32_t(size.w * 7919 + size.h));
  const mipmap::BuildOptions own{mipmap::Order::bgra, 4, true};
  const std::vector<Level> levels = chain(Builder::ours, size.w, size.h, rows, &own);
  ASSERT_FALSE(levels.empty());
  ASSERT_EQ(levels[0].width, size.w);
  ASSERT_EQ(levels[0].height, size.h);
  for (int y = 0; y < size.h; ++y) {
    const unsigned char* row = &rows[std::size_t(y) * mipmap::rowBytes(size.w)];
    ASSERT_TRUE(std::equal(row, row + std::size_t(size.w) * 3, &levels[0].pixels[std::size_t(y) * size.w * 3]))
        << "row " << y;
  }
  int w = size.w, h = size.h;
  for (std::size_t l = 1; l < levels.size(); ++l) {
    w = mipmap::halfSide(w);
    h = mipmap::halfSide(h);
    EXPECT_EQ(levels[l].width, w) << "level " << l;
    EXPECT_EQ(levels[l].height, h) << "level " << l;
  }
  EXPECT_EQ(w, 1);
  EXPECT_EQ(h, 1);
}

INSTANTIATE_TEST_SUITE_P(Sizes, MipmapAgainstGlu,
                         ::testing::Values(Size{1022, 3}, Size{1001, 777}, Size{3, 37}, Size{1366, 768},
                                           Size{1920, 1080}, Size{1, 37}, Size{37, 1}, Size{1, 64},
                                           Size{8192, 1000}, Size{7680, 2160}, Size{1024, 512}),
                         [](const ::testing::TestParamInfo<Size>& info) {
                           return std::to_string(info.param.w) + "x" + std::to_string(info.param.h);
                         });

}  // namespace
