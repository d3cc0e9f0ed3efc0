// The snapshot bitmap as bytes: checks on the headers and the three reads, over any byte
// source, so the same code runs on a file, in the unit tests and under the fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

constexpr std::size_t kFileHeaderBytes = 14;
// The info block must hold every field that is read: width, height, bits per pixel,
// compression and image size, which end at offset 24.
constexpr std::uint32_t kMinInfoBlockBytes = 24;
// The standard header is 40 bytes; newer ones and colour tables stay far below this.
constexpr std::uint32_t kMaxInfoBlockBytes = 64 * 1024;
// A lying size must not become an allocation of gigabytes; this still holds a 16384-pixel
// square desktop.
constexpr std::uint64_t kMaxPixelBytes = std::uint64_t(1) << 30;

enum class BitmapStatus {
  ok,
  shortHeader,       // fewer than 14 bytes
  notBitmap,         // type is not "BM"
  badPixelOffset,    // info block shorter than its fields, or absurdly long
  shortInfo,         // the file ends inside the info block
  unsupportedFormat, // not 24 bits per pixel, or compressed
  badDimensions,     // width or height not positive
  imageSizeTooSmall, // the size field does not cover the rows the upload reads
  tooLarge,          // beyond kMaxPixelBytes
  outOfMemory,
  shortPixels,       // the file ends inside the pixel data
};

const char* bitmapStatusName(BitmapStatus status);

// Bytes of one stored row: bits per pixel times width, rounded up to a multiple of 4 bytes.
// Taken in 64 bits so that no header value can overflow it.
std::uint64_t bitmapRowBytes(std::int64_t bitsPerPixel, std::int64_t width);

struct BitmapLayout {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint64_t rowBytes = 0;
  std::uint64_t pixelBytes = 0;  // what to allocate and read: the size field, or computed
};

// The file header: on success `infoBytes` is the size of the info block that follows.
BitmapStatus parseFileHeader(const unsigned char* header, std::uint32_t& infoBytes);

// The info block (`size` bytes). Width and height are filled in as soon as they are read,
// even when the block is refused afterwards.
BitmapStatus parseInfoBlock(const unsigned char* info, std::size_t size, BitmapLayout& layout);

// Where the bytes come from. `read` returns how many arrived; fewer means the data ended.
class ByteSource {
 public:
  virtual std::size_t read(void* buffer, std::size_t count) = 0;

 protected:
  ~ByteSource() = default;
};

struct BitmapPixels {
  std::int32_t width = 0;   // as last read; left alone when no info block was read
  std::int32_t height = 0;
  std::unique_ptr<unsigned char[]> data;  // set only on success
  std::size_t size = 0;
};

// Header, info block, pixels: three reads. On success `out.data` holds at least
// |height| rows of the row size; on failure it is empty and nothing stays allocated.
BitmapStatus readBitmap(ByteSource& source, BitmapPixels& out);

// A ByteSource over memory.
class MemorySource : public ByteSource {
 public:
  MemorySource(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}
  std::size_t read(void* buffer, std::size_t count) override;

 private:
  const unsigned char* data_;
  std::size_t size_;
  std::size_t offset_ = 0;
};
