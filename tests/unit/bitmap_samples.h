// Snapshot-file bytes for the tests: a valid 24-bit bitmap whose fields can then be bent.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "bitmap.h"

namespace samples {

using Bytes = std::vector<unsigned char>;

// File offsets of the fields the reader looks at.
constexpr std::size_t kPixelOffsetAt = 10, kWidthAt = 18, kHeightAt = 22, kBppAt = 28, kCompressionAt = 30,
                      kImageSizeAt = 34;

inline void put16(Bytes& b, std::size_t at, std::uint32_t v) {
  b[at] = std::uint8_t(v);
  b[at + 1] = std::uint8_t(v >> 8);
}
inline void put32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = std::uint8_t(v >> (8 * i));
}

inline std::uint32_t rowBytes(int width) { return std::uint32_t((24 * width + 31) / 32 * 4); }

// A picture's padded 24-bit rows as the mipmap chain hands a level to the GL: blue, green,
// red, 255 per pixel, no padding.
inline Bytes asLevel(const Bytes& rows, int width, int height) {
  Bytes level;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const unsigned char* p = &rows[std::size_t(y) * rowBytes(width) + 3 * std::size_t(x)];
      level.insert(level.end(), {p[0], p[1], p[2], 255});
    }
  return level;
}

// Pixel bytes that differ from row to row and pixel to pixel, padding included.
inline Bytes pixelPattern(std::size_t size) {
  Bytes p(size);
  for (std::size_t i = 0; i < size; ++i) p[i] = std::uint8_t(i * 7 + i / 251);
  return p;
}

// A valid bottom-up 24-bit bitmap; `extraInfo` bytes follow the 40-byte header.
inline Bytes bitmap(int width, int height, bool sizeField = true, std::size_t extraInfo = 0) {
  const std::uint32_t pixels = rowBytes(width) * std::uint32_t(height < 0 ? -height : height);
  const std::uint32_t offset = std::uint32_t(14 + 40 + extraInfo);
  Bytes b(offset);
  b[0] = 'B';
  b[1] = 'M';
  put32(b, 2, offset + pixels);
  put32(b, kPixelOffsetAt, offset);
  put32(b, 14, 40);
  put32(b, kWidthAt, std::uint32_t(width));
  put32(b, kHeightAt, std::uint32_t(height));
  put16(b, 26, 1);
  put16(b, kBppAt, 24);
  put32(b, kImageSizeAt, sizeField ? pixels : 0);
  const Bytes p = pixelPattern(pixels);
  b.insert(b.end(), p.begin(), p.end());
  return b;
}

inline Bytes with32(Bytes b, std::size_t at, std::uint32_t v) {
  put32(b, at, v);
  return b;
}
inline Bytes with16(Bytes b, std::size_t at, std::uint32_t v) {
  put16(b, at, v);
  return b;
}
inline Bytes cut(Bytes b, std::size_t size) {
  b.resize(size);
  return b;
}

}  // namespace samples

struct BadCase {
  const char* name;
  samples::Bytes bytes;
  BitmapStatus expected;
};

inline void PrintTo(const BadCase& c, std::ostream* os) { *os << c.name; }

// Files that must be refused, each for its own reason (defined in bitmap_test.cpp).
std::vector<BadCase> badBitmaps();
