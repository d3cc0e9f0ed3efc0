// Sizes at a fractional scale: wp_fractional_scale_v1 counts scales in 120ths (180 is 1.5),
// and a surface drawn so has buffers of its logical size times that, rounded. No Wayland call
// here: the arithmetic is tested alone.
#pragma once

#include <cstdint>

// A scale in 120ths of a pixel per logical pixel; 120 is 1, 240 is 2.
struct FractionalScale {
  int n = 120;
};

constexpr int kScaleDenominator = 120;

// `length` logical pixels at `scale`, rounded half away from zero (the protocol's rounding of a
// toplevel's buffer); 0 for a scale below 1/120.
std::int64_t scaledLength(std::int64_t length, FractionalScale scale);

// The pixel density of an output seen through xdg-output: its mode (the buffer's size, sides
// swapped by a quarter turn) over its logical size, in 120ths, at least 1x. The integer
// `outputScale` when the logical size is unknown or makes no sense.
FractionalScale outputDensity(int modeWidth, int modeHeight, int logicalWidth, int logicalHeight, bool swapsSides,
                              int outputScale);

// The scale to put the desktop picture together at over a `width` x `height` layout whose
// finest output has `finest` pixels per logical pixel: `finest`, or just enough more that the
// texture's first level (a picture side of n pixels becomes `levelSide(n)` texels, a power of
// two rounded to the nearest) keeps at least a texel for every pixel of that output rather
// than rounding down below it.
FractionalScale pictureScaleFor(int width, int height, FractionalScale finest, int (*levelSide)(int));
