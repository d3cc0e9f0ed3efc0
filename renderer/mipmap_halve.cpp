// The mipmap chain's halvings: one level to the next, and a picture to a level half its size
// (the exact-half case of the resample) or of its own size. Plain loops over arrays, written for the vectoriser.
#include <cstddef>

#include "mipmap_chain.h"

namespace mipmap {

// Output rows [first, end) of the halving of a picture (3-byte pixels, padded rows) to 4-byte
// pixels: the exact-half case of the resample, which the builder rounds like any halving.
void halvePicture(const unsigned char* source, int w, unsigned char* out, int blue, int first, int end) {
  const int outW = w / 2;
  const std::size_t inRow = rowBytes(w);
  for (int i = first; i < end; ++i) {
    const unsigned char* a = source + std::size_t(2 * i) * inRow;
    const unsigned char* b = a + inRow;
    unsigned char* o = out + std::size_t(i) * outW * 4;
    for (int j = 0; j < outW; ++j) {
      const unsigned char* p = a + 6 * j;
      const unsigned char* q = b + 6 * j;
      o[4 * j + blue] = (unsigned char)((p[0] + p[3] + q[0] + q[3] + 2) >> 2);
      o[4 * j + 1] = (unsigned char)((p[1] + p[4] + q[1] + q[4] + 2) >> 2);
      o[4 * j + 2 - blue] = (unsigned char)((p[2] + p[5] + q[2] + q[5] + 2) >> 2);
      o[4 * j + 3] = 255;
    }
  }
}

// A pixel at a time, its four bytes alike to the filter (255 stays 255): the loops carry no
// channel logic, and the vectoriser takes the four channels of several pixels in one go.
void halve(const unsigned char* source, int w, int h, unsigned char* out) {
  const std::size_t outW = std::size_t(halfSide(w));
  const int outH = halfSide(h);
  const std::size_t inRow = std::size_t(w) * 4;
  if (h == 1 || w == 1) {
    // A line: the pixels of a pair lie next to each other in memory, one row or one column.
    const std::size_t pixels = outW * std::size_t(outH);
    for (std::size_t j = 0; j < pixels; ++j)
      for (int c = 0; c < 4; ++c) out[4 * j + c] = (unsigned char)((source[8 * j + c] + source[8 * j + 4 + c]) >> 1);
    return;
  }
  for (int i = 0; i < outH; ++i) {
    const unsigned char* a = source + std::size_t(2 * i) * inRow;
    const unsigned char* b = a + inRow;
    unsigned char* o = out + std::size_t(i) * outW * 4;
    for (std::size_t j = 0; j < outW; ++j)
      for (int c = 0; c < 4; ++c)
        o[4 * j + c] = (unsigned char)((a[8 * j + c] + a[8 * j + 4 + c] + b[8 * j + c] + b[8 * j + 4 + c] + 2) >> 2);
  }
}


void expandPicture(const unsigned char* source, int w, unsigned char* out, Order order, int first, int end) {
  const int blue = order == Order::bgra ? 0 : 2;
  const std::size_t inRow = rowBytes(w);
  for (int i = first; i < end; ++i) {
    const unsigned char* p = source + std::size_t(i) * inRow;
    unsigned char* o = out + std::size_t(i) * std::size_t(w) * 4;
    for (int j = 0; j < w; ++j) {
      o[4 * j + blue] = p[3 * j];
      o[4 * j + 1] = p[3 * j + 1];
      o[4 * j + 2 - blue] = p[3 * j + 2];
      o[4 * j + 3] = 255;
    }
  }
}

}  // namespace mipmap
