// KWin's screenshot answers: the QImage formats it writes read as the same colours as the
// compositors' wl_shm copies, and answers that lie about the image never reach past its bytes.
#include <gtest/gtest.h>

#include <vector>

#include "kwin_image.h"

namespace {

KwinImageReply reply(std::uint64_t width, std::uint64_t height, std::uint64_t stride, std::uint64_t format) {
  KwinImageReply r;
  r.haveType = r.haveWidth = r.haveHeight = r.haveStride = r.haveFormat = true;
  r.type = "raw";
  r.width = width, r.height = height, r.stride = stride, r.format = format;
  return r;
}

}  // namespace

TEST(KwinImage, TheFormatsKWinWritesReadAsTheirColours) {
  // One pixel of orange 0xFF8040 in each format's bytes as QImage lays them out on this
  // (little-endian) host, read back through composeDesktop.
  struct Case {
    std::uint64_t format;
    std::vector<unsigned char> bytes;
  };
  const Case cases[] = {
      {4, {0x40, 0x80, 0xFF, 0xFF}},   // RGB32: 0xffRRGGBB words
      {5, {0x40, 0x80, 0xFF, 0xFF}},   // ARGB32, what KWin 5.27 sends
      {6, {0x40, 0x80, 0xFF, 0xFF}},   // ARGB32 premultiplied (opaque)
      {16, {0xFF, 0x80, 0x40, 0x00}},  // RGBX8888: bytes R G B X
      {17, {0xFF, 0x80, 0x40, 0xFF}},
      {18, {0xFF, 0x80, 0x40, 0xFF}},
      {13, {0xFF, 0x80, 0x40}},        // RGB888: bytes R G B
      {29, {0x40, 0x80, 0xFF}},        // BGR888
  };
  for (const Case& c : cases) {
    const KwinImageReply r = reply(1, 1, c.bytes.size(), c.format);
    OutputCapture capture;
    capture.logical = {0, 0, 1, 1};
    std::string why;
    ASSERT_TRUE(kwinCapture(r, false, c.bytes.data(), c.bytes.size(), capture, why)) << c.format << why;
    std::vector<std::uint32_t> pixels;
    ASSERT_TRUE(composeDesktop({capture}, {0, 0, 1, 1}, 1, pixels));
    EXPECT_EQ(pixels[0], 0xFF8040u) << "QImage format " << c.format;
  }
  // Whole words in the host's order do not match wl_shm's on a big-endian host; bytes do.
  std::uint32_t shm = 0;
  EXPECT_FALSE(shmFormatOfQImage(5, true, shm));
  EXPECT_TRUE(shmFormatOfQImage(17, true, shm));
}

TEST(KwinImage, AnswersThatDoNotDescribeAnImageAreRefusedWithAReason) {
  struct Case {
    const char* name;
    KwinImageReply r;
  };
  KwinImageReply noStride = reply(2, 2, 8, 5), otherKind = reply(2, 2, 8, 5);
  noStride.haveStride = false;
  otherKind.type = "png";
  const Case cases[] = {
      {"a field missing", noStride},
      {"another kind", otherKind},
      {"a format we do not read", reply(2, 2, 8, 3)},  // a monochrome one
      {"indexed", reply(2, 2, 8, 3000)},
      {"no width", reply(0, 2, 8, 5)},
      {"no height", reply(2, 0, 8, 5)},
      {"rows narrower than their pixels", reply(4, 2, 8, 5)},
      {"beyond the picture limit", reply(100000, 100000, 400000, 5)},
      {"a product that wraps 64 bits", reply(1, std::uint64_t(1) << 40, std::uint64_t(1) << 40, 5)},
      {"a stride near 2^64", reply(1, 2, ~std::uint64_t(0), 5)},
  };
  for (const Case& c : cases) {
    std::string why;
    EXPECT_EQ(kwinImageBytes(c.r, false, why), 0u) << c.name;
    EXPECT_FALSE(why.empty()) << c.name;
  }
  std::string why;
  EXPECT_EQ(kwinImageBytes(reply(3, 2, 16, 5), false, why), 32u);  // padded rows count whole
  KwinImageReply untyped = reply(3, 2, 16, 5);
  untyped.haveType = false;  // an answer without a kind is taken as pixels
  EXPECT_EQ(kwinImageBytes(untyped, false, why), 32u);
}

TEST(KwinImage, APipeThatEndsShortOfTheImageGivesNoCopy) {
  std::vector<unsigned char> bytes(31, 0x7f);
  OutputCapture capture;
  capture.width = 99;  // untouched on refusal
  std::string why;
  EXPECT_FALSE(kwinCapture(reply(3, 2, 16, 5), false, bytes.data(), bytes.size(), capture, why));
  EXPECT_NE(why.find("31 of its 32"), std::string::npos) << why;
  EXPECT_EQ(capture.width, 99);
  EXPECT_EQ(capture.data, nullptr);
  EXPECT_FALSE(kwinCapture(reply(3, 2, 16, 5), false, nullptr, 64, capture, why));
  // Enough bytes: the copy spans exactly the image, not what else the buffer held.
  bytes.resize(40);
  ASSERT_TRUE(kwinCapture(reply(3, 2, 16, 5), false, bytes.data(), bytes.size(), capture, why));
  EXPECT_EQ(capture.width, 3);
  EXPECT_EQ(capture.height, 2);
  EXPECT_EQ(capture.stride, 16);
  EXPECT_EQ(capture.size, 32u);
  EXPECT_EQ(capture.format, shmformat::kXrgb8888);
  EXPECT_EQ(capture.transform, 0u);
}
