#include "screen_picture.h"

#include <new>

#include "bitmap.h"

bool rowsFit(std::int64_t width, std::int64_t height, std::int64_t stride, int pixelBytes, std::size_t size) {
  if (width <= 0 || height <= 0 || pixelBytes <= 0 || stride < width * pixelBytes) return false;
  // The last row is read only as far as its last pixel: its padding may be missing.
  const std::uint64_t lastRow = std::uint64_t(width) * unsigned(pixelBytes);
  if (lastRow > size) return false;
  return std::uint64_t(height - 1) <= (size - lastRow) / std::uint64_t(stride);
}

PixelChannel::PixelChannel(std::uint32_t m) : mask(m) {
  if (m == 0) return;
  while (!(m & 1u)) {
    m >>= 1;
    ++shift;
  }
  while (m & 1u) {
    m >>= 1;
    ++bits;
  }
}

unsigned char PixelChannel::value(std::uint32_t pixel) const {
  const std::uint32_t v = (pixel & mask) >> shift;
  if (bits >= 8) return static_cast<unsigned char>(v >> (bits - 8));
  return static_cast<unsigned char>((v * 255u + ((1u << bits) - 1) / 2) / ((1u << bits) - 1));
}

std::uint32_t readPixel(const unsigned char* p, int bytes, bool msbFirst) {
  std::uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) {
    const int at = msbFirst ? i : bytes - 1 - i;
    v = (v << 8) | p[at];
  }
  return v;
}

PictureRows HeldPicture::rows() const {
  PictureRows rows;
  if (bytes_.empty()) return rows;
  rows.width = width_;
  rows.height = height_;
  rows.data = bytes_.data();
  return rows;
}

void HeldPicture::clear() {
  width_ = height_ = 0;
  std::vector<unsigned char>().swap(bytes_);
}

bool convertScreenPixels(const ScreenPixels& in, HeldPicture& out) {
  out.clear();
  const int pixelBytes = in.bitsPerPixel / 8;
  if (in.bitsPerPixel != 16 && in.bitsPerPixel != 24 && in.bitsPerPixel != 32) return false;
  if (!in.data || in.width <= 0 || in.height <= 0) return false;
  if (in.bytesPerLine < std::int64_t(in.width) * pixelBytes) return false;
  if (!rowsFit(in.width, in.height, in.bytesPerLine, pixelBytes, in.size)) return false;
  const PixelChannel red(in.redMask), green(in.greenMask), blue(in.blueMask);
  if (!red.usable() || !green.usable() || !blue.usable()) return false;

  const std::uint64_t rowBytes = bitmapRowBytes(24, in.width);
  const std::uint64_t total = rowBytes * std::uint64_t(in.height);
  if (total > kMaxPixelBytes) return false;
  try {
    out.bytes_.assign(std::size_t(total), 0);
  } catch (const std::bad_alloc&) {
    out.clear();
    return false;
  }

  // The usual screen, 8 bits a channel in the low three bytes of each 32-bit pixel: its bytes
  // copied as they lie, without the general masks' shifts (a 4K screen in a few milliseconds).
  const bool usual = in.bitsPerPixel == 32 && !in.mostSignificantByteFirst && in.redMask == 0xff0000 &&
                     in.greenMask == 0xff00 && in.blueMask == 0xff;
  for (std::int32_t y = 0; y < in.height; ++y) {
    const unsigned char* src = in.data + std::int64_t(y) * in.bytesPerLine;
    unsigned char* dst = out.bytes_.data() + std::uint64_t(y) * rowBytes;
    if (usual) {
      for (std::int32_t x = in.width - 1; x >= 0; --x, dst += 3) {
        const unsigned char* p = src + std::int64_t(x) * 4;
        dst[0] = p[0];
        dst[1] = p[1];
        dst[2] = p[2];
      }
      continue;
    }
    // Read from the right edge so that the row comes out mirrored.
    for (std::int32_t x = in.width - 1; x >= 0; --x, dst += 3) {
      const std::uint32_t pixel = readPixel(src + std::int64_t(x) * pixelBytes, pixelBytes, in.mostSignificantByteFirst);
      dst[0] = blue.value(pixel);
      dst[1] = green.value(pixel);
      dst[2] = red.value(pixel);
    }
  }
  out.width_ = in.width;
  out.height_ = in.height;
  return true;
}
