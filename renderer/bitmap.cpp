#include "bitmap.h"

#include <cstring>
#include <new>

namespace {

std::uint16_t readU16(const unsigned char* p) { return std::uint16_t(p[0] | (p[1] << 8)); }

std::uint32_t readU32(const unsigned char* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
         (std::uint32_t(p[3]) << 24);
}

std::int32_t readI32(const unsigned char* p) {
  const std::uint32_t u = readU32(p);
  // Two's complement without relying on an implementation-defined conversion.
  return u <= 0x7FFFFFFFu ? std::int32_t(u) : -std::int32_t(~u) - 1;
}

}  // namespace

const char* bitmapStatusName(BitmapStatus status) {
  switch (status) {
    case BitmapStatus::ok: return "ok";
    case BitmapStatus::shortHeader: return "shortHeader";
    case BitmapStatus::notBitmap: return "notBitmap";
    case BitmapStatus::badPixelOffset: return "badPixelOffset";
    case BitmapStatus::shortInfo: return "shortInfo";
    case BitmapStatus::unsupportedFormat: return "unsupportedFormat";
    case BitmapStatus::badDimensions: return "badDimensions";
    case BitmapStatus::imageSizeTooSmall: return "imageSizeTooSmall";
    case BitmapStatus::tooLarge: return "tooLarge";
    case BitmapStatus::outOfMemory: return "outOfMemory";
    case BitmapStatus::shortPixels: return "shortPixels";
  }
  return "?";
}

std::uint64_t bitmapRowBytes(std::int64_t bitsPerPixel, std::int64_t width) {
  return std::uint64_t((bitsPerPixel * width + 31) / 32) * 4;
}

BitmapStatus parseFileHeader(const unsigned char* header, std::uint32_t& infoBytes) {
  if (header[0] != 'B' || header[1] != 'M') return BitmapStatus::notBitmap;
  const std::uint32_t pixelOffset = readU32(header + 10);
  if (pixelOffset < kFileHeaderBytes + kMinInfoBlockBytes ||
      pixelOffset - kFileHeaderBytes > kMaxInfoBlockBytes)
    return BitmapStatus::badPixelOffset;
  infoBytes = pixelOffset - std::uint32_t(kFileHeaderBytes);
  return BitmapStatus::ok;
}

BitmapStatus parseInfoBlock(const unsigned char* info, std::size_t size, BitmapLayout& layout) {
  if (size < kMinInfoBlockBytes) return BitmapStatus::badPixelOffset;
  layout.width = readI32(info + 4);
  layout.height = readI32(info + 8);
  const std::uint16_t bitsPerPixel = readU16(info + 14);
  const std::uint32_t compression = readU32(info + 16);
  const std::uint32_t imageSize = readU32(info + 20);

  // The upload reads three bytes per pixel as stored, so nothing else can be shown.
  if (bitsPerPixel != 24 || compression != 0) return BitmapStatus::unsupportedFormat;
  // The mipmap builder refuses a negative size anyway; a zero one is no picture either.
  if (layout.width <= 0 || layout.height <= 0) return BitmapStatus::badDimensions;

  layout.rowBytes = bitmapRowBytes(bitsPerPixel, layout.width);
  const std::uint64_t needed = layout.rowBytes * std::uint64_t(layout.height);  // < 2^64
  if (needed > kMaxPixelBytes) return BitmapStatus::tooLarge;
  if (imageSize == 0) {
    layout.pixelBytes = needed;
  } else {
    // A short buffer would send the upload past its end.
    if (imageSize < needed) return BitmapStatus::imageSizeTooSmall;
    if (imageSize > kMaxPixelBytes) return BitmapStatus::tooLarge;
    layout.pixelBytes = imageSize;
  }
  return BitmapStatus::ok;
}

BitmapStatus readBitmap(ByteSource& source, BitmapPixels& out) {
  out.data.reset();
  out.size = 0;

  unsigned char header[kFileHeaderBytes];
  if (source.read(header, sizeof header) < sizeof header) return BitmapStatus::shortHeader;
  std::uint32_t infoBytes = 0;
  BitmapStatus status = parseFileHeader(header, infoBytes);
  if (status != BitmapStatus::ok) return status;

  BitmapLayout layout;
  {
    std::unique_ptr<unsigned char[]> info(new (std::nothrow) unsigned char[infoBytes]);
    if (!info) return BitmapStatus::outOfMemory;
    if (source.read(info.get(), infoBytes) < infoBytes) return BitmapStatus::shortInfo;
    status = parseInfoBlock(info.get(), infoBytes, layout);
    out.width = layout.width;
    out.height = layout.height;
    if (status != BitmapStatus::ok) return status;
  }  // the info buffer goes before the big one is taken

  const std::size_t pixelBytes = std::size_t(layout.pixelBytes);
  std::unique_ptr<unsigned char[]> pixels(new (std::nothrow) unsigned char[pixelBytes]);
  if (!pixels) return BitmapStatus::outOfMemory;
  if (source.read(pixels.get(), pixelBytes) < pixelBytes) return BitmapStatus::shortPixels;
  out.data = std::move(pixels);
  out.size = pixelBytes;
  return BitmapStatus::ok;
}

std::size_t MemorySource::read(void* buffer, std::size_t count) {
  const std::size_t n = count < size_ - offset_ ? count : size_ - offset_;
  if (n) std::memcpy(buffer, data_ + offset_, n);
  offset_ += n;
  return n;
}
