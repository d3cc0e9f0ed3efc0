// The X image conversion under fuzzing: the layout (size, stride, bits per pixel, byte order,
// masks) comes from the input's first bytes, the rest is the pixels. An accepted picture must
// be every source pixel, turned and converted exactly; a layout that lies about the buffer
// must be refused without a read past it.
#include <cmath>
#include <cstring>

#include "bitmap.h"
#include "fuzz_support.h"
#include "screen_picture.h"

namespace {

const char kTarget[] = "screen_pixels";

struct Masks {
  std::uint32_t red, green, blue;
};

// The layouts X servers hand out, so that most cases get past the format checks.
const Masks kServerMasks[] = {
    {0xFF0000, 0x00FF00, 0x0000FF}, {0x0000FF, 0x00FF00, 0xFF0000}, {0xF800, 0x07E0, 0x001F},
    {0x7C00, 0x03E0, 0x001F},       {0x3FF00000, 0x000FFC00, 0x000003FF}, {0xFF000000, 0x00FF0000, 0x0000FF00},
};

bool contiguous(std::uint32_t mask) {
  if (mask == 0) return false;
  while (!(mask & 1u)) mask >>= 1;
  return (mask & (mask + 1)) == 0;
}

// The channel's 8-bit value, worked out apart from the product's integer steps.
unsigned expectedChannel(std::uint32_t pixel, std::uint32_t mask) {
  int shift = 0, bits = 0;
  while (!((mask >> shift) & 1u)) ++shift;
  while (shift + bits < 32 && ((mask >> (shift + bits)) & 1u)) ++bits;
  const double v = double((pixel & mask) >> shift);
  const double most = std::ldexp(1.0, bits) - 1;
  if (bits >= 8) return unsigned(std::floor(v / std::ldexp(1.0, bits - 8)));
  return unsigned(std::lround(v * 255.0 / most));
}

std::uint32_t pixelAt(const unsigned char* p, int bytes, bool msbFirst) {
  std::uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= std::uint32_t(p[i]) << (8 * (msbFirst ? bytes - 1 - i : i));
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  InputReader in(data, size);
  const std::uint8_t flags = in.u8();
  const std::uint8_t depth = in.u8();
  ScreenPixels px;
  px.mostSignificantByteFirst = flags & 1;
  px.bitsPerPixel = depth % 4 == 3 ? int(depth) - 128 : 16 + 8 * (depth % 4 % 3);
  const int bytes = px.bitsPerPixel / 8;
  if (flags & 2) {
    px.width = std::int32_t(in.u32());
    px.height = std::int32_t(in.u32());
  } else {
    px.width = 1 + in.u8() % 24;
    px.height = 1 + in.u8() % 24;
  }
  // An honest stride is a row and some padding; a lying one is any 64-bit number.
  if (flags & 4)
    px.bytesPerLine = std::int64_t(in.u64());
  else
    px.bytesPerLine = std::int64_t(px.width) * (bytes > 0 ? bytes : 1) + in.u8() % 8;
  if (flags & 8) {
    px.redMask = in.u32();
    px.greenMask = in.u32();
    px.blueMask = in.u32();
  } else {
    const Masks& m = kServerMasks[in.u8() % (sizeof kServerMasks / sizeof kServerMasks[0])];
    px.redMask = m.red, px.greenMask = m.green, px.blueMask = m.blue;
  }
  const std::vector<std::uint8_t> pixels = in.rest();
  px.data = pixels.empty() ? nullptr : pixels.data();
  px.size = pixels.size();

  HeldPicture picture;
  const bool ok = convertScreenPixels(px, picture);
  const PictureRows rows = picture.rows();
  const bool knownDepth = px.bitsPerPixel == 16 || px.bitsPerPixel == 24 || px.bitsPerPixel == 32;
  const bool sized = px.width > 0 && px.height > 0 && knownDepth && px.bytesPerLine >= std::int64_t(px.width) * bytes;
  // What the rows need, counted wide enough that no lie overflows it.
  const unsigned __int128 needed =
      sized ? (unsigned __int128)(px.height - 1) * std::uint64_t(px.bytesPerLine) + std::uint64_t(px.width) * bytes : 0;
  const bool fits = sized && px.data && needed <= px.size;

  if (!ok) {
    require(picture.empty() && !rows.data, kTarget, "a refused picture was kept");
    // Nothing honest is refused: a readable layout over enough bytes, under the size limit.
    const bool readable = fits && px.redMask && px.greenMask && px.blueMask &&
                          bitmapRowBytes(24, px.width) * std::uint64_t(px.height) <= kMaxPixelBytes;
    require(!readable, kTarget, "a readable picture was refused");
    return 0;
  }
  require(fits, kTarget, "accepted rows that reach past the buffer");
  require(rows.data && rows.width == px.width && rows.height == px.height, kTarget, "picture of another size");

  const bool exact = contiguous(px.redMask) && contiguous(px.greenMask) && contiguous(px.blueMask);
  const std::uint64_t rowBytes = bitmapRowBytes(24, px.width);
  for (std::int32_t y = 0; y < px.height; ++y) {
    const unsigned char* stored = rows.data + std::uint64_t(y) * rowBytes;
    for (std::int32_t x = 0; x < px.width; ++x) {
      // Stored row y is screen row y read from its right edge.
      const std::uint32_t pixel =
          pixelAt(px.data + std::uint64_t(y) * std::uint64_t(px.bytesPerLine) + std::uint64_t(px.width - 1 - x) * bytes,
                  bytes, px.mostSignificantByteFirst);
      if (!exact) continue;
      require(stored[3 * x] == expectedChannel(pixel, px.blueMask), kTarget, "blue differs");
      require(stored[3 * x + 1] == expectedChannel(pixel, px.greenMask), kTarget, "green differs");
      require(stored[3 * x + 2] == expectedChannel(pixel, px.redMask), kTarget, "red differs");
    }
    for (std::uint64_t pad = std::uint64_t(px.width) * 3; pad < rowBytes; ++pad)
      require(stored[pad] == 0, kTarget, "row padding not zero");
  }
  return 0;
}
