// The snapshot's mipmap chain: the picture scaled to the power-of-two size the GLU builder
// would pick, filtered as it filters, then halved level by level; each level goes to the GL
// with glTexImage2D. Where asked and the GL takes any size, level 0 is the picture itself. Pictures come as 24-bit blue-green-red rows padded to 4 bytes; the levels
// are built 4 bytes a pixel (the three channels in the order the GL takes, then 255), which
// the GL stores without repacking them and the filters handle a whole pixel at a time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mipmap {

// The power of two next to `value` (> 0) as the GLU builder rounds: down, unless the two
// highest bits of `value` are set, then up (3 -> 4, 5 -> 4, 6 -> 8, 1080 -> 1024, 3840 -> 4096).
int nearestPowerOfTwo(int value);

// Bytes of one row of `width` pixels of a picture: 3 per pixel, padded to a multiple of 4.
std::size_t rowBytes(int width);

// Bytes of a w x h level: 4 per pixel.
inline std::size_t levelBytes(int w, int h) { return std::size_t(w) * std::size_t(h) * 4; }

// The next level's side: half, but never below 1.
inline int halfSide(int side) { return side > 1 ? side / 2 : 1; }

// The channel order of the levels: blue first (GL_BGRA, EXT_bgra) or red first (GL_RGBA, which
// every GL takes).
enum class Order { bgra, rgba };

// Resamples `source` (a w x h picture) to rows [firstRow, endRow) of the level `out` (outW x
// outH) with an area-weighted box filter: every output pixel is the mean of the source area
// it covers, partly covered pixels weighted by the part, rounded down. `scratch` holds
// scratchBytes(w, h, outW, outH) bytes. Bands of rows may be resampled at the same time, each
// with a scratch of its own.
std::size_t scratchBytes(int w, int h, int outW, int outH);
void resample(const unsigned char* source, int w, int h, unsigned char* out, int outW, int outH, Order order,
              unsigned char* scratch, int firstRow, int endRow);
inline void resample(const unsigned char* source, int w, int h, unsigned char* out, int outW, int outH,
                     Order order, unsigned char* scratch) {
  resample(source, w, h, out, outW, outH, order, scratch, 0, outH);
}

// The next level of a w x h level (not 1 x 1): each output pixel the mean of the 2 x 2 (or,
// for a level one pixel wide or tall, 2 x 1) pixels below it. A 2 x 2 mean rounds half up,
// a 2 x 1 mean rounds down, as the GLU builder does.
void halve(const unsigned char* source, int w, int h, unsigned char* out);

// The level-0 size the GLU builder picks for a w x h picture on the current GL: both sides
// rounded to powers of two, halved together until the GL's proxy texture accepts the level
// below them.
void levelZeroSize(int w, int h, int& outW, int& outH);

// Rows [first, end) of a w-pixel-wide picture as level 0 of its own size: each pixel copied,
// 255 after its three channels.
void expandPicture(const unsigned char* source, int w, unsigned char* out, Order order, int first, int end);

// How a chain is built: the levels' channel order, how many threads share the filters (1:
// none besides the caller's; while the caller uploads level 0 another then halves it), and
// whether level 0 keeps the picture's own size. Unscaled, a picture drawn at its size on the
// screen is sampled texel for pixel and stays as sharp as the screen it came from; scaled to
// a power of two and back, one-pixel detail is blurred. It needs a GL that takes any size
// (2.0, or ARB_texture_non_power_of_two) and a picture within its largest texture; otherwise
// the chain is the power-of-two one. Levels below halve, rounding odd sides down.
struct BuildOptions {
  Order order = Order::bgra;
  int threads = 1;
  bool ownSize = false;
};
// Whether defaultOptions() asks for the picture's own size where the GL takes it. Off unless
// set: the Windows programs keep the GLU builder's chain.
void keepOwnSize(bool keep);
// For the current GL and this machine: blue first where the GL has EXT_bgra (or is 1.2 or
// later), as many threads as it has cores, up to 4, and the own size as set above where the
// GL takes any size.
BuildOptions defaultOptions();
// Whether the current GL takes textures of any size.
bool glTakesAnySize();

// The pixel format and type a chain built with `order` goes to the GL in, and the bytes of one
// pixel.
struct UploadFormat {
  unsigned format = 0, type = 0;
  int pixelBytes = 0;
};
UploadFormat uploadFormat(Order order);
inline UploadFormat uploadFormat() { return uploadFormat(defaultOptions().order); }

// Builds and uploads every level of the bound GL_TEXTURE_2D from a w x h picture whose rows
// are padded to 4 bytes, level 0 of the picture's own size where `options` asks and the GL's
// proxy takes it. False, with nothing uploaded, for a size below 1 x 1 or when the
// working memory cannot be had. The working memory (the levels and the filters' scratch) is
// kept for the next build.
bool build(int w, int h, const unsigned char* pixels, const BuildOptions& options);
inline bool build(int w, int h, const unsigned char* pixels) { return build(w, h, pixels, defaultOptions()); }

}  // namespace mipmap
