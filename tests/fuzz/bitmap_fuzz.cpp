#include "bitmap_fuzz.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

[[noreturn]] void broken(const char* what) {
  std::fprintf(stderr, "bitmap reader broke a promise: %s\n", what);
  std::abort();
}

}  // namespace

FuzzVerdict fuzzOneBitmap(const std::uint8_t* data, std::size_t size) {
  MemorySource source(data, size);
  BitmapPixels out;
  const BitmapStatus status = readBitmap(source, out);
  if (status != BitmapStatus::ok) {
    if (out.data || out.size) broken("a refused picture kept its buffer");
    return {status, 0};
  }

  if (out.width <= 0 || out.height <= 0) broken("accepted a size the builder refuses");
  const std::uint64_t uploadReads = bitmapRowBytes(24, out.width) * std::uint64_t(out.height);
  if (!out.data || out.size < uploadReads) broken("buffer shorter than the upload reads");
  if (out.size > kMaxPixelBytes) broken("buffer over the size limit");

  const std::uint32_t pixelOffset = std::uint32_t(data[10]) | (std::uint32_t(data[11]) << 8) |
                                    (std::uint32_t(data[12]) << 16) | (std::uint32_t(data[13]) << 24);
  if (pixelOffset > size || out.size > size - pixelOffset) broken("accepted more bytes than were given");
  // Every byte the upload reads, compared with the file: catches a shifted or torn read.
  if (std::memcmp(out.data.get(), data + pixelOffset, std::size_t(uploadReads)) != 0)
    broken("pixels differ from the file");
  return {status, pixelOffset + out.size};
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzOneBitmap(data, size);
  return 0;
}
