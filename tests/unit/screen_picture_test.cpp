// Screen pixels of several layouts become the snapshot layout: BGR, rows padded to 4 bytes,
// the screen turned by 180 degrees and stored bottom row first, so the pieces show it upright.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "screen_picture.h"

namespace {

struct Rgb {
  int r, g, b;
};

// A colour that tells every pixel apart.
Rgb colourAt(int x, int y) { return {10 * x + y + 1, 100 + 3 * x + y, 250 - 7 * y - x}; }

struct Layout {
  const char* name;
  int bitsPerPixel;
  bool msbFirst;
  std::uint32_t red, green, blue;
  int padding;  // extra bytes at the end of every source row
};

std::uint32_t place(int value8, std::uint32_t mask) {
  int shift = 0, bits = 0;
  while (!((mask >> shift) & 1u)) ++shift;
  while (shift + bits < 32 && ((mask >> (shift + bits)) & 1u)) ++bits;
  const std::uint32_t v = bits >= 8 ? std::uint32_t(value8) << (bits - 8) : std::uint32_t(value8) >> (8 - bits);
  return v << shift;
}

// Source rows as a window system would hand them over.
std::vector<unsigned char> encode(const Layout& l, int width, int height, ScreenPixels& pixels) {
  const int bytes = l.bitsPerPixel / 8;
  const int line = width * bytes + l.padding;
  std::vector<unsigned char> data(std::size_t(line * height), 0xEE);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Rgb c = colourAt(x, y);
      const std::uint32_t v = place(c.r, l.red) | place(c.g, l.green) | place(c.b, l.blue);
      unsigned char* p = &data[std::size_t(y * line + x * bytes)];
      for (int i = 0; i < bytes; ++i) {
        const int shift = 8 * (l.msbFirst ? bytes - 1 - i : i);
        p[i] = static_cast<unsigned char>(v >> shift);
      }
    }
  }
  pixels = ScreenPixels();
  pixels.width = width;
  pixels.height = height;
  pixels.bytesPerLine = line;
  pixels.bitsPerPixel = l.bitsPerPixel;
  pixels.mostSignificantByteFirst = l.msbFirst;
  pixels.redMask = l.red;
  pixels.greenMask = l.green;
  pixels.blueMask = l.blue;
  return data;
}

// The channel as it survives the layout's bit depth, brought back to 8 bits.
int expected8(int value8, std::uint32_t mask) {
  int bits = 0;
  for (std::uint32_t m = mask; m; m >>= 1) bits += int(m & 1u);
  if (bits >= 8) return value8;
  const int kept = value8 >> (8 - bits);
  return (kept * 255 + ((1 << bits) - 1) / 2) / ((1 << bits) - 1);
}

class ScreenPictureLayouts : public ::testing::TestWithParam<Layout> {};

}  // namespace

TEST_P(ScreenPictureLayouts, BecomeTheSnapshotLayoutUpright) {
  const Layout l = GetParam();
  const int width = 5, height = 3;  // 15-byte rows: one byte of padding each
  ScreenPixels pixels;
  const std::vector<unsigned char> data = encode(l, width, height, pixels);
  pixels.data = data.data();
  pixels.size = data.size();

  HeldPicture picture;
  ASSERT_TRUE(convertScreenPixels(pixels, picture));
  const PictureRows rows = picture.rows();
  ASSERT_NE(rows.data, nullptr);
  EXPECT_EQ(rows.width, width);
  EXPECT_EQ(rows.height, height);

  const int rowBytes = 16;
  for (int stored = 0; stored < height; ++stored) {
    for (int column = 0; column < width; ++column) {
      // The stored picture is the screen turned by 180 degrees, bottom row first: stored row r
      // is screen row r, and its first pixel is that row's rightmost one.
      const Rgb c = colourAt(width - 1 - column, stored);
      const unsigned char* px = rows.data + stored * rowBytes + column * 3;
      EXPECT_EQ(px[0], expected8(c.b, l.blue)) << l.name << " row " << stored << " col " << column;
      EXPECT_EQ(px[1], expected8(c.g, l.green)) << l.name;
      EXPECT_EQ(px[2], expected8(c.r, l.red)) << l.name;
    }
    EXPECT_EQ(rows.data[stored * rowBytes + 15], 0) << "padding";
  }
}

INSTANTIATE_TEST_SUITE_P(
    XImageFormats, ScreenPictureLayouts,
    ::testing::Values(Layout{"bgrx32_lsb", 32, false, 0xFF0000, 0x00FF00, 0x0000FF, 0},
                      Layout{"bgrx32_lsb_padded", 32, false, 0xFF0000, 0x00FF00, 0x0000FF, 8},
                      Layout{"xrgb32_msb", 32, true, 0xFF0000, 0x00FF00, 0x0000FF, 0},
                      Layout{"rgbx32_lsb_swapped_masks", 32, false, 0x0000FF, 0x00FF00, 0xFF0000, 0},
                      Layout{"rgb_high_bits_32_msb", 32, true, 0xFF000000, 0x00FF0000, 0x0000FF00, 0},
                      Layout{"packed24_lsb", 24, false, 0xFF0000, 0x00FF00, 0x0000FF, 1},
                      Layout{"packed24_msb", 24, true, 0xFF0000, 0x00FF00, 0x0000FF, 1},
                      Layout{"rgb565_lsb_padded", 16, false, 0xF800, 0x07E0, 0x001F, 2},
                      Layout{"rgb30_msb", 32, true, 0x3FF00000, 0x000FFC00, 0x000003FF, 4}),
    [](const ::testing::TestParamInfo<Layout>& info) { return std::string(info.param.name); });

TEST(ScreenPicture, TheLastRowNeedsNoPadding) {
  ScreenPixels pixels;
  const std::vector<unsigned char> data = encode({"", 24, false, 0xFF0000, 0xFF00, 0xFF, 3}, 2, 2, pixels);
  pixels.data = data.data();
  pixels.size = data.size() - 3;
  HeldPicture picture;
  ASSERT_TRUE(convertScreenPixels(pixels, picture));
  // Stored row 1 is screen row 1, its first pixel the rightmost one.
  const Rgb c = colourAt(1, 1);
  const unsigned char* px = picture.rows().data + 8;
  EXPECT_EQ(px[0], c.b);
  EXPECT_EQ(px[1], c.g);
  EXPECT_EQ(px[2], c.r);
}

TEST(ScreenPicture, WhatCannotBeReadLeavesNoPicture) {
  ScreenPixels good;
  const std::vector<unsigned char> data = encode({"", 32, false, 0xFF0000, 0xFF00, 0xFF, 0}, 4, 4, good);
  good.data = data.data();
  good.size = data.size();
  HeldPicture picture;
  ASSERT_TRUE(convertScreenPixels(good, picture));

  struct Case {
    const char* name;
    void (*bend)(ScreenPixels&);
  };
  const Case cases[] = {
      {"8 bits per pixel", [](ScreenPixels& p) { p.bitsPerPixel = 8; }},
      {"no data", [](ScreenPixels& p) { p.data = nullptr; }},
      {"zero width", [](ScreenPixels& p) { p.width = 0; }},
      {"negative height", [](ScreenPixels& p) { p.height = -4; }},
      {"rows shorter than the width", [](ScreenPixels& p) { p.bytesPerLine = 15; }},
      {"no green", [](ScreenPixels& p) { p.greenMask = 0; }},
      // Sizes that claim more rows than the buffer holds: refused, not read past its end.
      {"last pixel past the data", [](ScreenPixels& p) { p.size -= 1; }},
      {"no bytes at all", [](ScreenPixels& p) { p.size = 0; }},
      {"a stride that leaps past the data", [](ScreenPixels& p) { p.bytesPerLine = std::int64_t(1) << 61; }},
      {"a height the data does not hold", [](ScreenPixels& p) { p.height = 5; }},
      // Far beyond the limit: refused before anything is allocated or read.
      {"too large", [](ScreenPixels& p) {
         p.width = 100000;
         p.height = 100000;
         p.bytesPerLine = 400000;
       }},
  };
  for (const Case& c : cases) {
    ScreenPixels bent = good;
    c.bend(bent);
    EXPECT_FALSE(convertScreenPixels(bent, picture)) << c.name;
    EXPECT_TRUE(picture.empty()) << c.name;
    EXPECT_EQ(picture.rows().data, nullptr) << c.name;
  }
}
