// The snapshot bitmap reader over bytes in memory: sizes, valid files, and every way a
// header can lie or a file can end early.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <vector>

#include "bitmap.h"
#include "bitmap_samples.h"

using samples::Bytes;

namespace {

BitmapStatus readAll(const Bytes& bytes, BitmapPixels& out) {
  MemorySource source(bytes.data(), bytes.size());
  return readBitmap(source, out);
}

// Counts the reads and their sizes.
class CountingSource : public ByteSource {
 public:
  explicit CountingSource(const Bytes& b) : inner_(b.data(), b.size()) {}
  std::size_t read(void* buffer, std::size_t count) override {
    sizes.push_back(count);
    return inner_.read(buffer, count);
  }
  std::vector<std::size_t> sizes;

 private:
  MemorySource inner_;
};

}  // namespace

TEST(BitmapRowBytes, RoundsEveryRowUpToFourBytes) {
  EXPECT_EQ(bitmapRowBytes(24, 1022), 3068u);
  EXPECT_EQ(bitmapRowBytes(24, 1), 4u);
  EXPECT_EQ(bitmapRowBytes(24, 3), 12u);
  EXPECT_EQ(bitmapRowBytes(24, 5), 16u);
  EXPECT_EQ(bitmapRowBytes(24, 1920), 5760u);
  // Widths whose bit count overflows 32 bits stay exact.
  // 24 x width overflows 32 bits here; the row is still exact.
  EXPECT_EQ(bitmapRowBytes(24, 0x15555556), 0x40000004ull);
}

TEST(BitmapRead, ZeroSizeFieldReadsLikeFilledOneWhateverTheWidth) {
  for (int width : {1, 2, 3, 4, 5, 1022, 1023}) {
    BitmapPixels filled, computed;
    ASSERT_EQ(readAll(samples::bitmap(width, 3, true), filled), BitmapStatus::ok) << width;
    ASSERT_EQ(readAll(samples::bitmap(width, 3, false), computed), BitmapStatus::ok) << width;
    EXPECT_EQ(computed.size, samples::rowBytes(width) * 3u) << width;
    ASSERT_EQ(computed.size, filled.size) << width;
    EXPECT_EQ(std::memcmp(computed.data.get(), filled.data.get(), filled.size), 0) << width;
    EXPECT_EQ(computed.width, width);
    EXPECT_EQ(computed.height, 3);
  }
  BitmapPixels wide;
  ASSERT_EQ(readAll(samples::bitmap(1022, 2, false), wide), BitmapStatus::ok);
  EXPECT_EQ(wide.size, 2u * 3068u);
}

TEST(BitmapRead, ThreeReadsAndThePixelsAsStored) {
  const Bytes file = samples::bitmap(5, 4, true, 84);  // a 124-byte header: the tail is read along
  CountingSource source(file);
  BitmapPixels out;
  ASSERT_EQ(readBitmap(source, out), BitmapStatus::ok);
  EXPECT_EQ(source.sizes, (std::vector<std::size_t>{14, 124, 64}));
  const Bytes expected = samples::pixelPattern(64);
  ASSERT_EQ(out.size, 64u);
  EXPECT_EQ(Bytes(out.data.get(), out.data.get() + out.size), expected);
}

TEST(BitmapRead, SmallestInfoBlockAndLargerSizeFieldAreAccepted) {
  // Exactly the 24 bytes whose fields are read.
  Bytes small = samples::bitmap(2, 2);
  small.erase(small.begin() + 38, small.begin() + 54);
  samples::put32(small, samples::kPixelOffsetAt, 38);
  BitmapPixels out;
  EXPECT_EQ(readAll(small, out), BitmapStatus::ok);
  EXPECT_EQ(out.size, 16u);

  // A size field beyond the rows: all of it is read, the upload uses the rows.
  Bytes generous = samples::with32(samples::bitmap(2, 2), samples::kImageSizeAt, 20);
  generous.insert(generous.end(), 4, 0xAA);
  EXPECT_EQ(readAll(generous, out), BitmapStatus::ok);
  EXPECT_EQ(out.size, 20u);
}

std::vector<BadCase> badBitmaps() {
  using namespace samples;
  const Bytes ok = bitmap(4, 3);
  const std::size_t pixelsStart = 54;
  std::vector<BadCase> cases = {
      {"empty", {}, BitmapStatus::shortHeader},
      {"13 bytes", cut(ok, 13), BitmapStatus::shortHeader},
      {"type MB", with16(ok, 0, 'M' | ('B' << 8)), BitmapStatus::notBitmap},
      {"type zero", with16(ok, 0, 0), BitmapStatus::notBitmap},
      {"pixel offset 0", with32(ok, kPixelOffsetAt, 0), BitmapStatus::badPixelOffset},
      {"pixel offset 13", with32(ok, kPixelOffsetAt, 13), BitmapStatus::badPixelOffset},
      {"pixel offset 14", with32(ok, kPixelOffsetAt, 14), BitmapStatus::badPixelOffset},
      {"info block 23 bytes", with32(ok, kPixelOffsetAt, 37), BitmapStatus::badPixelOffset},
      {"info block over 64 KiB", with32(ok, kPixelOffsetAt, 14 + 65537), BitmapStatus::badPixelOffset},
      {"pixel offset 0xFFFFFFFF", with32(ok, kPixelOffsetAt, 0xFFFFFFFFu), BitmapStatus::badPixelOffset},
      {"32 bits per pixel", with16(ok, kBppAt, 32), BitmapStatus::unsupportedFormat},
      {"8 bits per pixel", with16(ok, kBppAt, 8), BitmapStatus::unsupportedFormat},
      {"0 bits per pixel", with16(ok, kBppAt, 0), BitmapStatus::unsupportedFormat},
      {"run-length compressed", with32(ok, kCompressionAt, 1), BitmapStatus::unsupportedFormat},
      {"bit fields", with32(ok, kCompressionAt, 3), BitmapStatus::unsupportedFormat},
      {"width 0", with32(ok, kWidthAt, 0), BitmapStatus::badDimensions},
      {"height 0", with32(ok, kHeightAt, 0), BitmapStatus::badDimensions},
      {"negative width", with32(ok, kWidthAt, std::uint32_t(-4)), BitmapStatus::badDimensions},
      {"negative height", with32(ok, kHeightAt, std::uint32_t(-3)), BitmapStatus::badDimensions},
      {"most negative height", with32(ok, kHeightAt, 0x80000000u), BitmapStatus::badDimensions},
      {"size field one byte short", with32(ok, kImageSizeAt, 3 * 12 - 1), BitmapStatus::imageSizeTooSmall},
      // Rows counted without their padding: 1022 x 3 bytes instead of 3068.
      {"size field without padding", with32(bitmap(1022, 2), kImageSizeAt, 2 * 3066), BitmapStatus::imageSizeTooSmall},
      // 24 x width wraps to 16 bits in 32-bit arithmetic: a 4-byte row that is really 1 GiB.
      {"row bits overflow 32 bits", with32(with32(ok, kWidthAt, 0x15555556u), kHeightAt, 1), BitmapStatus::tooLarge},
      {"rows x height overflow 32 bits", with32(with32(ok, kWidthAt, 65536), kHeightAt, 65536), BitmapStatus::tooLarge},
      {"widest and tallest", with32(with32(ok, kWidthAt, 0x7FFFFFFF), kHeightAt, 0x7FFFFFFF), BitmapStatus::tooLarge},
      {"size field 4 GiB", with32(ok, kImageSizeAt, 0xFFFFFFFFu), BitmapStatus::tooLarge},
      {"cut in the info block", cut(ok, 30), BitmapStatus::shortInfo},
      {"cut after the info block", cut(ok, pixelsStart), BitmapStatus::shortPixels},
      {"cut in the pixels", cut(ok, ok.size() - 1), BitmapStatus::shortPixels},
      {"zero size field, cut in the pixels", cut(bitmap(1022, 2, false), 54 + 3068 + 3066), BitmapStatus::shortPixels},
      {"size field beyond the file", with32(ok, kImageSizeAt, 1000), BitmapStatus::shortPixels},
      {"info block beyond the file", with32(ok, kPixelOffsetAt, 1000), BitmapStatus::shortInfo},
  };
  return cases;
}

class BitmapRefusal : public ::testing::TestWithParam<BadCase> {};

TEST_P(BitmapRefusal, RefusedForItsReasonWithNothingKept) {
  const BadCase& c = GetParam();
  BitmapPixels out;
  EXPECT_EQ(readAll(c.bytes, out), c.expected) << bitmapStatusName(c.expected);
  EXPECT_EQ(out.data, nullptr);
  EXPECT_EQ(out.size, 0u);
}

INSTANTIATE_TEST_SUITE_P(BadInput, BitmapRefusal, ::testing::ValuesIn(badBitmaps()),
                         [](const ::testing::TestParamInfo<BadCase>& info) {
                           std::string n = info.param.name;
                           for (char& ch : n)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return n;
                         });

TEST(BitmapRead, SizeIsReportedOnceTheInfoBlockIsRead) {
  BitmapPixels out;
  out.width = 7;
  out.height = 9;
  readAll(samples::cut(samples::bitmap(4, 3), 20), out);
  EXPECT_EQ(out.width, 7);  // no info block read: the previous size stays
  EXPECT_EQ(out.height, 9);
  readAll(samples::with32(samples::bitmap(4, 3), samples::kHeightAt, std::uint32_t(-3)), out);
  EXPECT_EQ(out.width, 4);
  EXPECT_EQ(out.height, -3);
}
