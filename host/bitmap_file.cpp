#include "bitmap_file.h"

namespace {

void put16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
  out[at] = std::uint8_t(value);
  out[at + 1] = std::uint8_t(value >> 8);
}

void put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
  put16(out, at, value & 0xFFFF);
  put16(out, at + 2, value >> 16);
}

}  // namespace

std::uint32_t bitmapRowBytes(int width) {
  return width <= 0 ? 0 : (std::uint32_t(width) * 3 + 3) & ~std::uint32_t(3);
}

std::vector<std::uint8_t> bitmapHeaders(int width, int height) {
  if (width < 0) width = 0;
  if (height < 0) height = 0;
  const std::uint32_t imageBytes = bitmapRowBytes(width) * std::uint32_t(height);
  std::vector<std::uint8_t> out(kBitmapHeaderBytes, 0);
  out[0] = 'B';
  out[1] = 'M';
  put32(out, 2, kBitmapHeaderBytes + imageBytes);
  put32(out, 10, kBitmapHeaderBytes);
  put32(out, 14, 40);
  put32(out, 18, std::uint32_t(width));
  put32(out, 22, std::uint32_t(height));  // positive: bottom row first
  put16(out, 26, 1);
  put16(out, 28, 24);
  put32(out, 34, imageBytes);
  put32(out, 38, 2835);  // 72 dpi, as most writers put it
  put32(out, 42, 2835);
  return out;
}
