// The screenshot portal's picture: a PNG of the whole layout decoded, cut into the outputs'
// copies at whatever scale GNOME drew it, and put together again into the scene's desktop.
#include <gtest/gtest.h>
#include <png.h>

#include <vector>

#include "desktop_picture.h"
#include "portal_picture.h"

namespace {

// A PNG of `width` x `height` whose pixel (x, y) is `colour(x, y)` as 0xAARRGGBB.
template <typename Colour>
std::vector<unsigned char> png(int width, int height, Colour colour) {
  std::vector<unsigned char> rgba(std::size_t(width) * height * 4);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const std::uint32_t c = colour(x, y);
      unsigned char* p = &rgba[(std::size_t(y) * width + x) * 4];
      p[0] = c >> 16 & 0xff, p[1] = c >> 8 & 0xff, p[2] = c & 0xff, p[3] = c >> 24;
    }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  EXPECT_TRUE(png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr));
  std::vector<unsigned char> bytes(size);
  EXPECT_TRUE(png_image_write_to_memory(&image, bytes.data(), &size, 0, rgba.data(), 0, nullptr));
  bytes.resize(size);
  return bytes;
}

// The colour of a layout point in the test desktop: its logical place in the bits.
std::uint32_t placeColour(int x, int y) { return 0xff000000u | std::uint32_t(x / 8) << 16 | std::uint32_t(y / 8) << 8 | 0x40; }

std::uint32_t captured(const OutputCapture& c, int x, int y) {
  const unsigned char* p = c.data + std::int64_t(y) * c.stride + x * 3;
  return std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
}

// GNOME's two virtual monitors side by side: 1024 x 768, and 800 x 600 right of it.
const std::vector<LayoutRect> kTwoMonitors = {{0, 0, 1024, 768}, {1024, 0, 800, 600}};

}  // namespace

TEST(PortalPicture, DecodesColoursAndLaysClearPartsOverBlack) {
  const auto bytes = png(3, 2, [](int x, int y) {
    const std::uint32_t colours[2][3] = {{0xffff0000, 0xff00ff00, 0xff0000ff}, {0x00ffffff, 0x80ffffff, 0xff123456}};
    return colours[y][x];
  });
  PortalPicture picture;
  ASSERT_TRUE(decodePortalPng(bytes.data(), bytes.size(), picture));
  ASSERT_EQ(picture.width, 3);
  ASSERT_EQ(picture.height, 2);
  const std::vector<unsigned char> expected = {0, 0, 255, 0, 255, 0, 255, 0, 0,  // red, green, blue as B, G, R
                                               0, 0, 0};                          // clear white: black
  EXPECT_EQ(std::vector<unsigned char>(picture.pixels.begin(), picture.pixels.begin() + 12), expected);
  EXPECT_NEAR(picture.pixels[12], 188, 8);  // half-clear white over black, in linear light
  EXPECT_EQ(std::vector<unsigned char>(picture.pixels.begin() + 15, picture.pixels.end()),
            (std::vector<unsigned char>{0x56, 0x34, 0x12}));
}

TEST(PortalPicture, RefusesWhatIsNoWholePngOrTooLarge) {
  const auto good = png(16, 16, [](int, int) { return 0xff808080u; });
  PortalPicture picture;
  std::vector<unsigned char> cut(good.begin(), good.begin() + good.size() / 2);
  EXPECT_FALSE(decodePortalPng(cut.data(), cut.size(), picture));
  EXPECT_TRUE(picture.pixels.empty());
  std::vector<unsigned char> damaged = good;
  damaged[damaged.size() / 2] ^= 0x5a;  // inside the compressed pixels: their checksum fails
  EXPECT_FALSE(decodePortalPng(damaged.data(), damaged.size(), picture));
  const unsigned char bitmap[] = {'B', 'M', 0, 0, 0, 0};
  EXPECT_FALSE(decodePortalPng(bitmap, sizeof bitmap, picture));
  EXPECT_FALSE(decodePortalPng(nullptr, 0, picture));
  EXPECT_FALSE(decodePortalPng(good.data(), good.size(), picture, 16 * 16 * 3 - 1));
  EXPECT_TRUE(decodePortalPng(good.data(), good.size(), picture, 16 * 16 * 3));
}

TEST(PortalPicture, EachMonitorGetsItsOwnPartAtTheScaleGnomeDrewAt) {
  for (int scale : {1, 2}) {
    SCOPED_TRACE(scale);
    const auto bytes = png(1824 * scale, 768 * scale, [scale](int x, int y) { return placeColour(x / scale, y / scale); });
    PortalPicture picture;
    ASSERT_TRUE(decodePortalPng(bytes.data(), bytes.size(), picture));
    std::vector<OutputCapture> captures;
    ASSERT_TRUE(cutPortalPicture(picture, kTwoMonitors, captures));
    ASSERT_EQ(captures.size(), 2u);
    EXPECT_EQ(captures[0].width, 1024 * scale);
    EXPECT_EQ(captures[0].height, 768 * scale);
    EXPECT_EQ(captures[1].width, 800 * scale);
    EXPECT_EQ(captures[1].height, 600 * scale);
    EXPECT_EQ(captured(captures[1], 0, 0), placeColour(1024, 0) & 0xffffff);
    EXPECT_EQ(captured(captures[1], 800 * scale - 1, 600 * scale - 1), placeColour(1823, 599) & 0xffffff);

    // Put together again as the scene's desktop at the finest scale: the layout as it was.
    std::vector<std::uint32_t> pixels;
    const LayoutRect bounds = layoutBounds(kTwoMonitors);
    ASSERT_TRUE(composeDesktop(captures, bounds, scale, pixels));
    for (auto [x, y] : {std::pair{0, 0}, {1023, 767}, {1024, 0}, {1500, 300}, {1823, 599}}) {
      EXPECT_EQ(pixels[std::size_t(y * scale) * 1824 * scale + x * scale], placeColour(x, y) & 0xffffff) << x << "," << y;
    }
    EXPECT_EQ(pixels[std::size_t(700 * scale) * 1824 * scale + 1500 * scale], 0u);  // under no monitor: black
  }
}

TEST(PortalPicture, APictureOfAnotherLayoutIsNotCut) {
  PortalPicture picture;
  const auto one = png(1024, 768, [](int, int) { return 0xff102030u; });
  ASSERT_TRUE(decodePortalPng(one.data(), one.size(), picture));
  std::vector<OutputCapture> captures;
  EXPECT_FALSE(cutPortalPicture(picture, kTwoMonitors, captures));
  EXPECT_TRUE(captures.empty());
  EXPECT_FALSE(cutPortalPicture(picture, {}, captures));
  // A layout left of and above the origin, as GNOME may place monitors.
  EXPECT_TRUE(cutPortalPicture(picture, {{-1024, -768, 1024, 768}}, captures));
  ASSERT_EQ(captures.size(), 1u);
  EXPECT_EQ(captures[0].width, 1024);
  EXPECT_EQ(captures[0].height, 768);
}
