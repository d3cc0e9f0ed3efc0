#include "bmp_io.h"

#include <cstdint>
#include <fstream>

namespace controls {

namespace {

void put16(std::vector<unsigned char>& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<unsigned char>(v);
  b[at + 1] = static_cast<unsigned char>(v >> 8);
}
void put32(std::vector<unsigned char>& b, std::size_t at, std::uint32_t v) {
  put16(b, at, v & 0xFFFF);
  put16(b, at + 2, v >> 16);
}
std::uint32_t get16(const std::vector<unsigned char>& b, std::size_t at) { return b[at] | (b[at + 1] << 8); }
std::uint32_t get32(const std::vector<unsigned char>& b, std::size_t at) { return get16(b, at) | (get16(b, at + 2) << 16); }

}  // namespace

bool writeBmp(const std::string& path, const Picture& p) {
  const std::size_t stride = (std::size_t(p.width) * 3 + 3) & ~std::size_t(3);
  const std::size_t size = 54 + stride * p.height;
  std::vector<unsigned char> b(size, 0);
  b[0] = 'B';
  b[1] = 'M';
  put32(b, 2, std::uint32_t(size));
  put32(b, 10, 54);
  put32(b, 14, 40);
  put32(b, 18, std::uint32_t(p.width));
  put32(b, 22, std::uint32_t(p.height));
  put16(b, 26, 1);
  put16(b, 28, 24);
  put32(b, 34, std::uint32_t(stride * p.height));
  for (int y = 0; y < p.height; ++y) {
    unsigned char* row = &b[54 + stride * (p.height - 1 - y)];
    for (int x = 0; x < p.width; ++x) {
      const Colour c = p.pixels[std::size_t(y) * p.width + x];
      row[x * 3] = static_cast<unsigned char>(c >> 16);
      row[x * 3 + 1] = static_cast<unsigned char>(c >> 8);
      row[x * 3 + 2] = static_cast<unsigned char>(c);
    }
  }
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
  return bool(out);
}

bool readBmp(const std::string& path, Picture& p) {
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (b.size() < 54 || b[0] != 'B' || b[1] != 'M' || get16(b, 28) != 24 || get32(b, 30) != 0) return false;
  const std::int32_t w = std::int32_t(get32(b, 18)), h = std::int32_t(get32(b, 22));
  const bool topDown = h < 0;
  const int height = topDown ? -h : h;
  if (w <= 0 || height <= 0 || w > 16384 || height > 16384) return false;
  const std::size_t stride = (std::size_t(w) * 3 + 3) & ~std::size_t(3);
  const std::size_t offset = get32(b, 10);
  if (offset + stride * height > b.size()) return false;
  p.width = w;
  p.height = height;
  p.pixels.assign(std::size_t(w) * height, 0);
  for (int y = 0; y < height; ++y) {
    const unsigned char* row = &b[offset + stride * (topDown ? y : height - 1 - y)];
    for (int x = 0; x < w; ++x) p.pixels[std::size_t(y) * w + x] = rgb(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]);
  }
  return true;
}

}  // namespace controls
