#include "fractional_scale.h"

#include <climits>

std::int64_t scaledLength(std::int64_t length, FractionalScale scale) {
  if (scale.n < 1) return 0;
  const std::int64_t product = length * scale.n;
  const std::int64_t half = kScaleDenominator / 2;
  return product >= 0 ? (product + half) / kScaleDenominator : -((-product + half) / kScaleDenominator);
}

FractionalScale outputDensity(int modeWidth, int modeHeight, int logicalWidth, int logicalHeight, bool swapsSides,
                              int outputScale) {
  const FractionalScale fallback{(outputScale > 0 ? outputScale : 1) * kScaleDenominator};
  const std::int64_t width = swapsSides ? modeHeight : modeWidth;
  const std::int64_t height = swapsSides ? modeWidth : modeHeight;
  if (width <= 0 || height <= 0 || logicalWidth <= 0 || logicalHeight <= 0) return fallback;
  // The wider of the two ratios: a compositor that rounds one side still gets every pixel.
  const std::int64_t across = (width * kScaleDenominator + logicalWidth / 2) / logicalWidth;
  const std::int64_t down = (height * kScaleDenominator + logicalHeight / 2) / logicalHeight;
  const std::int64_t n = across > down ? across : down;
  // A density beyond any screen's (a logical size of a few pixels) is not believed.
  if (n > 16 * kScaleDenominator) return fallback;
  return FractionalScale{n < kScaleDenominator ? kScaleDenominator : int(n)};
}

FractionalScale pictureScaleFor(int width, int height, FractionalScale finest, int (*levelSide)(int)) {
  const std::int64_t neededWidth = scaledLength(width, finest), neededHeight = scaledLength(height, finest);
  if (neededWidth <= 0 || neededHeight <= 0 || neededWidth > INT_MAX || neededHeight > INT_MAX) return finest;
  auto keeps = [levelSide](std::int64_t side, std::int64_t needed) {
    return side <= INT_MAX && levelSide(int(side)) >= needed;
  };
  // At most twice as fine: by then both sides have passed a power-of-two boundary upwards.
  for (int n = finest.n; n <= 2 * finest.n; ++n) {
    if (keeps(scaledLength(width, {n}), neededWidth) && keeps(scaledLength(height, {n}), neededHeight)) return {n};
  }
  return finest;
}
