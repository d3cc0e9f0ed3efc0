// The snapshot's mipmap chain: the picture scaled to the power-of-two size the GLU builder
// would pick, filtered as it filters, then halved level by level; each level goes to the GL
// with glTexImage2D. Pictures are 24-bit blue-green-red rows padded to 4 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mipmap {

// The power of two next to `value` (> 0) as the GLU builder rounds: down, unless the two
// highest bits of `value` are set, then up (3 -> 4, 5 -> 4, 6 -> 8, 1080 -> 1024, 3840 -> 4096).
int nearestPowerOfTwo(int value);

// Bytes of one row of `width` pixels: 3 per pixel, padded to a multiple of 4.
std::size_t rowBytes(int width);

// The next level's side: half, but never below 1.
inline int halfSide(int side) { return side > 1 ? side / 2 : 1; }

// Resamples `source` (w x h) to `out` (outW x outH) with an area-weighted box filter: every
// output pixel is the mean of the source area it covers, partly covered pixels weighted by
// the part, rounded down. `scratch` holds scratchBytes(w, h, outW, outH) bytes.
std::size_t scratchBytes(int w, int h, int outW, int outH);
void resample(const unsigned char* source, int w, int h, unsigned char* out, int outW, int outH,
              unsigned char* scratch);

// The next level of a w x h picture (not 1 x 1): each output pixel the mean of the 2 x 2 (or,
// for a picture one pixel wide or tall, 2 x 1) pixels below it. A 2 x 2 mean rounds half up,
// a 2 x 1 mean rounds down, as the GLU builder does.
void halve(const unsigned char* source, int w, int h, unsigned char* out);

// The level-0 size the GLU builder picks for a w x h picture on the current GL: both sides
// rounded to powers of two, halved together until the GL's proxy texture accepts the level
// below them.
void levelZeroSize(int w, int h, int& outW, int& outH);

// The pixel format and type the levels go to the GL in, and the bytes of one pixel.
struct UploadFormat {
  unsigned format = 0, type = 0;
  int pixelBytes = 0;
};
UploadFormat uploadFormat();

// Builds and uploads every level of the bound GL_TEXTURE_2D from a w x h picture whose rows
// are padded to 4 bytes (GL_UNPACK_ALIGNMENT 4, nothing skipped). False, with nothing
// uploaded, for a size below 1 x 1 or when the working memory cannot be had. The working
// memory (the scaled level 0 and the smaller levels) is kept for the next build.
bool build(int w, int h, const unsigned char* pixels);

}  // namespace mipmap
