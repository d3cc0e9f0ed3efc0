// The mipmap chain's area-weighted resample of the picture to level 0 (the halvings are in
// mipmap_halve.cpp). Plain loops over arrays, written for the vectoriser, and SSE2 where the
// loop's gathers keep the vectoriser out.
#include <algorithm>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#  include <emmintrin.h>
#endif

#include "mipmap_chain.h"

namespace mipmap {

namespace {

// Filter weights are fixed-point fractions of one output pixel's span: they sum to kOne on
// each axis. The vertical pass keeps 8 bits below the value, so a horizontal sum stays below
// kOne * 255 * 256 < 2^31 and the whole filter runs in 32-bit integers.
constexpr std::uint32_t kOneShift = 15;
constexpr std::uint32_t kOne = 1u << kOneShift;
constexpr std::uint32_t kVerticalShift = kOneShift - 8;
// The fixed-point weights are a little off; 1/128 of a step keeps an exact mean from falling
// just short of its value and being rounded down a whole step.
constexpr std::uint32_t kRoundDownBias = 1u << (kOneShift + 1);

std::size_t alignUp(std::size_t n) { return (n + 7) & ~std::size_t(7); }

// The source pixels [first, first + taps) that output pixel j of `outN` covers when `inN`
// pixels map onto `outN`: source pixel q spans [q * outN, (q + 1) * outN) and output pixel j
// spans [j * inN, (j + 1) * inN) in units of 1 / (inN * outN) of the whole side.
void span(int inN, int outN, int j, int& first, int& taps) {
  const std::int64_t low = std::int64_t(j) * inN;
  const std::int64_t high = low + inN;
  first = int(low / outN);
  taps = int((high - 1) / outN) - first + 1;
}

int maxTaps(int inN, int outN) {
  int most = 1;
  for (int j = 0; j < outN; ++j) {
    int first, taps;
    span(inN, outN, j, first, taps);
    most = std::max(most, taps);
  }
  return most;
}

// Per output pixel: its first source pixel and `taps` weights (unused ones 0) summing to kOne.
void axisWeights(int inN, int outN, int taps, std::int32_t* firsts, std::uint16_t* weights) {
  for (int j = 0; j < outN; ++j) {
    int first, count;
    span(inN, outN, j, first, count);
    const std::int64_t low = std::int64_t(j) * inN;
    const std::int64_t high = low + inN;
    std::uint16_t* w = weights + std::size_t(j) * taps;
    std::uint32_t sum = 0;
    int largest = 0;
    for (int k = 0; k < taps; ++k) {
      std::uint32_t weight = 0;
      if (k < count) {
        const std::int64_t q = first + k;
        const std::int64_t overlap = std::min((q + 1) * outN, high) - std::max(q * outN, low);
        weight = std::uint32_t((overlap * kOne + inN / 2) / inN);
      }
      w[k] = std::uint16_t(weight);
      sum += weight;
      if (w[k] > w[largest]) largest = k;
    }
    w[largest] = std::uint16_t(w[largest] + (kOne - sum));  // rounding leaves the sum a little off
    firsts[j] = first;
  }
}

// One row of the vertical pass: the weighted sum of `Taps` source rows, as value * 256.
template <int Taps>
void vertical(const unsigned char* const* rows, const std::uint16_t* w, std::size_t values, std::uint16_t* out) {
  const unsigned char* a = rows[0];
  const unsigned char* b = rows[Taps > 1 ? 1 : 0];
  const unsigned char* c = rows[Taps > 2 ? 2 : 0];
  const std::uint32_t wa = w[0], wb = Taps > 1 ? w[1] : 0, wc = Taps > 2 ? w[2] : 0;
  for (std::size_t x = 0; x < values; ++x) {
    std::uint32_t sum = wa * a[x];
    if (Taps > 1) sum += wb * b[x];
    if (Taps > 2) sum += wc * c[x];
    out[x] = std::uint16_t((sum + (1u << (kVerticalShift - 1))) >> kVerticalShift);
  }
}

// The same for any number of rows (a source far larger than level 0), one row at a time.
void verticalMany(const unsigned char* first, std::size_t inRow, const std::uint16_t* w, int taps, std::size_t values,
                  std::uint32_t* sums, std::uint16_t* out) {
  for (std::size_t x = 0; x < values; ++x) sums[x] = w[0] * std::uint32_t(first[x]);
  for (int k = 1; k < taps; ++k) {
    const std::uint32_t weight = w[k];
    if (weight == 0) continue;  // also keeps the last rows from reading past the picture
    const unsigned char* src = first + std::size_t(k) * inRow;
    for (std::size_t x = 0; x < values; ++x) sums[x] += weight * src[x];
  }
  for (std::size_t x = 0; x < values; ++x) out[x] = std::uint16_t((sums[x] + (1u << (kVerticalShift - 1))) >> kVerticalShift);
}

// One output row of the horizontal pass from the vertical pass's row `t` (value * 256, three
// values a pixel) to 4-byte pixels, blue at byte `blue` (0 or 2). Each pixel is put together in
// a register and stored in one go.
template <int Taps>
void horizontal(const std::uint16_t* t, int outW, const std::int32_t* firsts, const std::uint16_t* weights,
                int taps, int blue, unsigned char* out) {
  const int n = Taps > 0 ? Taps : taps;
  const unsigned blueShift = 8u * unsigned(blue), redShift = 16u - blueShift;
  for (int j = 0; j < outW; ++j) {
    const std::uint16_t* w = weights + std::size_t(j) * n;
    const std::uint16_t* p = t + std::size_t(firsts[j]) * 3;
    std::uint32_t sum[3] = {kRoundDownBias, kRoundDownBias, kRoundDownBias};
    for (int k = 0; k < n; ++k) {
      const std::uint32_t weight = w[k];
      for (int c = 0; c < 3; ++c) sum[c] += weight * p[3 * k + c];
    }
    const std::uint32_t pixel = (sum[0] >> (kOneShift + 8)) << blueShift | (sum[1] >> (kOneShift + 8)) << 8 |
                                (sum[2] >> (kOneShift + 8)) << redShift | 0xFF000000u;
    const unsigned char bytes[4] = {(unsigned char)pixel, (unsigned char)(pixel >> 8), (unsigned char)(pixel >> 16),
                                    (unsigned char)(pixel >> 24)};
    std::memcpy(out + 4 * std::size_t(j), bytes, 4);
  }
}

#if defined(__SSE2__) || defined(_M_X64)
// The two-tap case (every picture scaled up to level 0) four channels at a time: one load takes
// both source pixels, 16-bit multiplies give the same 32-bit products as the loop above.
void horizontalTwo(const std::uint16_t* t, int outW, const std::int32_t* firsts, const std::uint16_t* weights,
                   int blue, unsigned char* out) {
  const __m128i bias = _mm_set1_epi32(int(kRoundDownBias));
  for (int j = 0; j < outW; ++j) {
    const short w0 = short(weights[2 * j]), w1 = short(weights[2 * j + 1]);
    // Lanes 0-2 the first pixel's values, 3-5 the second's, 6-7 the next one's (weighed 0); the
    // row holds room past its end for them.
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + std::size_t(firsts[j]) * 3));
    const __m128i w = _mm_set_epi16(0, 0, w1, w1, w1, w0, w0, w0);
    const __m128i lo = _mm_mullo_epi16(v, w), hi = _mm_mulhi_epu16(v, w);
    const __m128i a = _mm_unpacklo_epi16(lo, hi), b = _mm_unpackhi_epi16(lo, hi);
    __m128i sum = _mm_add_epi32(a, _mm_or_si128(_mm_srli_si128(a, 12), _mm_slli_si128(b, 4)));
    sum = _mm_srli_epi32(_mm_add_epi32(sum, bias), kOneShift + 8);
    const __m128i words = _mm_packs_epi32(sum, sum);
    const __m128i bytes = _mm_packus_epi16(words, words);
    std::uint32_t pixel = std::uint32_t(_mm_cvtsi128_si32(bytes)) | 0xFF000000u;
    if (blue != 0) pixel = (pixel & 0xFF00FF00u) | (pixel & 0xFFu) << 16 | (pixel >> 16 & 0xFFu);
    const unsigned char four[4] = {(unsigned char)pixel, (unsigned char)(pixel >> 8), (unsigned char)(pixel >> 16),
                                   (unsigned char)(pixel >> 24)};
    std::memcpy(out + 4 * std::size_t(j), four, 4);
  }
}
#endif

struct Scratch {
  std::int32_t* xFirst;
  std::uint16_t* xWeights;
  std::int32_t* yFirst;
  std::uint16_t* yWeights;
  std::uint32_t* sums;
  std::uint16_t* row;
  std::size_t bytes;
};

// The scratch parts in one block; with `base` null only the size is worked out.
Scratch layout(unsigned char* base, int w, int outW, int outH, int xTaps, int yTaps) {
  Scratch s{};
  std::size_t at = 0;
  auto take = [&](std::size_t bytes) {
    unsigned char* p = base ? base + at : nullptr;
    at += alignUp(bytes);
    return p;
  };
  s.xFirst = reinterpret_cast<std::int32_t*>(take(sizeof(std::int32_t) * std::size_t(outW)));
  s.xWeights = reinterpret_cast<std::uint16_t*>(take(sizeof(std::uint16_t) * std::size_t(outW) * xTaps));
  s.yFirst = reinterpret_cast<std::int32_t*>(take(sizeof(std::int32_t) * std::size_t(outH)));
  s.yWeights = reinterpret_cast<std::uint16_t*>(take(sizeof(std::uint16_t) * std::size_t(outH) * yTaps));
  s.sums = reinterpret_cast<std::uint32_t*>(take(sizeof(std::uint32_t) * std::size_t(w) * 3));
  // Room for the taps of weight 0 that the last output pixels reach past the row's end.
  s.row = reinterpret_cast<std::uint16_t*>(take(sizeof(std::uint16_t) * (std::size_t(w) + xTaps) * 3));
  s.bytes = at;
  return s;
}

bool exactHalf(int w, int h, int outW, int outH) { return w == outW * 2 && h == outH * 2; }

}  // namespace

// Output rows [first, end) of the halving of a picture to 4-byte pixels (mipmap_halve.cpp).
void halvePicture(const unsigned char* source, int w, unsigned char* out, int blue, int first, int end);

namespace {

}  // namespace

std::size_t scratchBytes(int w, int h, int outW, int outH) {
  if (exactHalf(w, h, outW, outH)) return 0;
  return layout(nullptr, w, outW, outH, maxTaps(w, outW), maxTaps(h, outH)).bytes;
}

// Row by row: the vertical pass sums the few source rows under one output row into a row of
// value * 256, the horizontal pass then sums along it. Both run over plain arrays, and the
// row in between stays in the cache.
void resample(const unsigned char* source, int w, int h, unsigned char* out, int outW, int outH, Order order,
              unsigned char* scratch, int firstRow, int endRow) {
  const int blue = order == Order::bgra ? 0 : 2;
  endRow = std::min(endRow, outH);
  if (exactHalf(w, h, outW, outH)) {
    halvePicture(source, w, out, blue, firstRow, endRow);
    return;
  }
  const int xTaps = maxTaps(w, outW);
  const int yTaps = maxTaps(h, outH);
  const Scratch s = layout(scratch, w, outW, outH, xTaps, yTaps);
  axisWeights(w, outW, xTaps, s.xFirst, s.xWeights);
  axisWeights(h, outH, yTaps, s.yFirst, s.yWeights);

  const std::size_t inRow = rowBytes(w);
  const std::size_t values = std::size_t(w) * 3;
  for (std::size_t x = values; x < values + std::size_t(xTaps) * 3; ++x) s.row[x] = 0;
  for (int i = firstRow; i < endRow; ++i) {
    const std::uint16_t* wy = s.yWeights + std::size_t(i) * yTaps;
    const unsigned char* first = source + std::size_t(s.yFirst[i]) * inRow;
    // Taps of weight 0 may lie below the last row: they read the last row instead.
    const unsigned char* rows[3];
    for (int k = 0; k < 3 && k < yTaps; ++k) rows[k] = source + std::size_t(std::min(s.yFirst[i] + k, h - 1)) * inRow;
    std::uint16_t* row = s.row;
    switch (yTaps) {
      case 1: vertical<1>(rows, wy, values, row); break;
      case 2: vertical<2>(rows, wy, values, row); break;
      case 3: vertical<3>(rows, wy, values, row); break;
      default: verticalMany(first, inRow, wy, yTaps, values, s.sums, row); break;
    }

    unsigned char* dst = out + std::size_t(i) * outW * 4;
    switch (xTaps) {
      case 1: horizontal<1>(row, outW, s.xFirst, s.xWeights, xTaps, blue, dst); break;
#if defined(__SSE2__) || defined(_M_X64)
      case 2: horizontalTwo(row, outW, s.xFirst, s.xWeights, blue, dst); break;
#else
      case 2: horizontal<2>(row, outW, s.xFirst, s.xWeights, xTaps, blue, dst); break;
#endif
      case 3: horizontal<3>(row, outW, s.xFirst, s.xWeights, xTaps, blue, dst); break;
      default: horizontal<0>(row, outW, s.xFirst, s.xWeights, xTaps, blue, dst); break;
    }
  }
}

}  // namespace mipmap
