// Pixels read back from the screen, turned into the layout the texture path takes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "texture.h"

// Screen pixels as the window system hands them over (an X image in Z format): rows top
// first, each pixel an integer of `bitsPerPixel` bits in the given byte order whose colour
// channels sit under the three masks.
struct ScreenPixels {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int64_t bytesPerLine = 0;
  int bitsPerPixel = 0;  // 16, 24 or 32
  bool mostSignificantByteFirst = false;
  std::uint32_t redMask = 0;
  std::uint32_t greenMask = 0;
  std::uint32_t blueMask = 0;
  const unsigned char* data = nullptr;
  std::size_t size = 0;  // bytes at `data`: rows the sizes claim past them are not read
};

// Where one colour channel sits in a pixel (under `mask`), and its value brought to 8 bits.
struct PixelChannel {
  explicit PixelChannel(std::uint32_t mask);
  bool usable() const { return bits > 0; }
  unsigned char value(std::uint32_t pixel) const;

  int shift = 0;
  int bits = 0;
  std::uint32_t mask = 0;
};

// Whether `height` rows `stride` bytes apart, each `width` pixels of `pixelBytes`, lie within
// `size` bytes; false for sizes that cannot be rows (none, or a stride shorter than a row).
bool rowsFit(std::int64_t width, std::int64_t height, std::int64_t stride, int pixelBytes, std::size_t size);

// A pixel of `bytes` bytes at `p`, most significant byte first or last.
std::uint32_t readPixel(const unsigned char* p, int bytes, bool msbFirst);

// A picture owned in memory, in the snapshot file's pixel layout (see PictureRows).
class HeldPicture {
 public:
  PictureRows rows() const;
  bool empty() const { return bytes_.empty(); }
  // Unset while empty: the scene then shows untextured pieces.
  void clear();

 private:
  friend bool convertScreenPixels(const ScreenPixels&, HeldPicture&);
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  std::vector<unsigned char> bytes_;
};

// The screen as the user saw it becomes the desktop turned by 180 degrees, bottom row first:
// the first stored row is the screen's top row read from right to left. False, leaving
// `out` empty, for a format it cannot read, sizes that do not fit the data (rows reaching
// past `size`), or no memory.
bool convertScreenPixels(const ScreenPixels& in, HeldPicture& out);
