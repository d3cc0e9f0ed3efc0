#include "mipmap_chain.h"

#include <algorithm>
#include <cstdlib>

#include "gl_api.h"

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

// One output row of the horizontal pass from the vertical pass's row `t` (value * 256).
template <int Taps>
void horizontal(const std::uint16_t* t, int outW, const std::int32_t* firsts, const std::uint16_t* weights,
                int taps, unsigned char* out) {
  const int n = Taps > 0 ? Taps : taps;
  for (int j = 0; j < outW; ++j) {
    const std::uint16_t* w = weights + std::size_t(j) * n;
    const std::uint16_t* p = t + std::size_t(firsts[j]) * 3;
    std::uint32_t sum[3] = {kRoundDownBias, kRoundDownBias, kRoundDownBias};
    for (int k = 0; k < n; ++k) {
      const std::uint32_t weight = w[k];
      for (int c = 0; c < 3; ++c) sum[c] += weight * p[3 * k + c];
    }
    for (int c = 0; c < 3; ++c) out[3 * j + c] = (unsigned char)(sum[c] >> (kOneShift + 8));
  }
}

void padRow(unsigned char* row, int width) {
  for (std::size_t i = std::size_t(width) * 3; i < rowBytes(width); ++i) row[i] = 0;
}

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

void upload(int level, int w, int h, const unsigned char* pixels) {
  glTexImage2D(GL_TEXTURE_2D, level, 3, w, h, 0, GL_BGR_EXT, GL_UNSIGNED_BYTE, pixels);
}

// The chain's working memory, kept from one build to the next: a fresh block of tens of
// megabytes costs the first touch of every page again, as long as the filters themselves.
// It grows to the largest chain built and is given back at exit.
class WorkingMemory {
 public:
  ~WorkingMemory() { std::free(block_); }
  // At least `bytes`, or null when they cannot be had.
  unsigned char* get(std::size_t bytes) {
    if (bytes > size_) {
      std::free(block_);
      block_ = static_cast<unsigned char*>(std::malloc(bytes));
      size_ = block_ ? bytes : 0;
    }
    return block_;
  }

 private:
  unsigned char* block_ = nullptr;
  std::size_t size_ = 0;
};

WorkingMemory workingMemory;

int log2Floor(int v) {
  int n = 0;
  while (v > 1) {
    v >>= 1;
    ++n;
  }
  return n;
}

}  // namespace

int nearestPowerOfTwo(int value) {
  if (value < 1) return 1;
  std::int64_t power = 1;
  for (std::int64_t v = value;; v >>= 1, power *= 2) {
    if (v == 1) break;
    if (v == 3) {
      power *= 4;
      break;
    }
  }
  return int(std::min<std::int64_t>(power, std::int64_t(1) << 30));
}

UploadFormat uploadFormat() { return {GL_BGR_EXT, GL_UNSIGNED_BYTE, 3}; }

std::size_t rowBytes(int width) { return (std::size_t(width) * 3 + 3) & ~std::size_t(3); }

std::size_t scratchBytes(int w, int h, int outW, int outH) {
  if (exactHalf(w, h, outW, outH)) return 0;
  return layout(nullptr, w, outW, outH, maxTaps(w, outW), maxTaps(h, outH)).bytes;
}

// Row by row: the vertical pass sums the few source rows under one output row into a row of
// value * 256, the horizontal pass then sums along it. Both run over plain arrays, and the
// row in between stays in the cache.
void resample(const unsigned char* source, int w, int h, unsigned char* out, int outW, int outH,
              unsigned char* scratch) {
  if (exactHalf(w, h, outW, outH)) {
    halve(source, w, h, out);  // the builder rounds this case like any other halving
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
  for (int i = 0; i < outH; ++i) {
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

    unsigned char* dst = out + std::size_t(i) * rowBytes(outW);
    switch (xTaps) {
      case 1: horizontal<1>(row, outW, s.xFirst, s.xWeights, xTaps, dst); break;
      case 2: horizontal<2>(row, outW, s.xFirst, s.xWeights, xTaps, dst); break;
      case 3: horizontal<3>(row, outW, s.xFirst, s.xWeights, xTaps, dst); break;
      default: horizontal<0>(row, outW, s.xFirst, s.xWeights, xTaps, dst); break;
    }
    padRow(dst, outW);
  }
}

void halve(const unsigned char* source, int w, int h, unsigned char* out) {
  const int outW = halfSide(w);
  const int outH = halfSide(h);
  const std::size_t inRow = rowBytes(w);
  const std::size_t outRow = rowBytes(outW);
  if (h == 1) {
    for (int j = 0; j < outW * 3; j += 3) {
      for (int c = 0; c < 3; ++c) out[j + c] = (unsigned char)((source[2 * j + c] + source[2 * j + 3 + c]) >> 1);
    }
    padRow(out, outW);
    return;
  }
  if (w == 1) {
    for (int i = 0; i < outH; ++i) {
      const unsigned char* a = source + std::size_t(2 * i) * inRow;
      const unsigned char* b = a + inRow;
      unsigned char* o = out + std::size_t(i) * outRow;
      for (int c = 0; c < 3; ++c) o[c] = (unsigned char)((a[c] + b[c]) >> 1);
      padRow(o, 1);
    }
    return;
  }
  for (int i = 0; i < outH; ++i) {
    const unsigned char* a = source + std::size_t(2 * i) * inRow;
    const unsigned char* b = a + inRow;
    unsigned char* o = out + std::size_t(i) * outRow;
    for (int j = 0; j < outW; ++j) {
      const unsigned char* p = a + 6 * j;
      const unsigned char* q = b + 6 * j;
      o[3 * j] = (unsigned char)((p[0] + p[3] + q[0] + q[3] + 2) >> 2);
      o[3 * j + 1] = (unsigned char)((p[1] + p[4] + q[1] + q[4] + 2) >> 2);
      o[3 * j + 2] = (unsigned char)((p[2] + p[5] + q[2] + q[5] + 2) >> 2);
    }
    padRow(o, outW);
  }
}

void levelZeroSize(int w, int h, int& outW, int& outH) {
  int pw = nearestPowerOfTwo(w);
  int ph = nearestPowerOfTwo(h);
  for (;;) {
    // The builder asks about level 1 (the level-0 size halved): a driver may refuse a level-0
    // size that fits but whose chain does not.
    const int belowW = halfSide(pw);
    const int belowH = halfSide(ph);
    glTexImage2D(GL_PROXY_TEXTURE_2D, 1, 3, belowW, belowH, 0, GL_BGR_EXT, GL_UNSIGNED_BYTE, nullptr);
    GLint fits = 0;
    glGetTexLevelParameteriv(GL_PROXY_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &fits);
    if (fits != 0) break;
    if (pw == 1 && ph == 1) {
      // Not even 1 x 1 passes: the proxy is no help, so the largest size alone limits.
      GLint largest = 0;
      glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
      pw = std::min(nearestPowerOfTwo(w), int(largest));
      ph = std::min(nearestPowerOfTwo(h), int(largest));
      break;
    }
    pw = belowW;
    ph = belowH;
  }
  outW = pw;
  outH = ph;
}

bool build(int w, int h, const unsigned char* pixels) {
  if (w < 1 || h < 1 || !pixels) return false;
  int w0 = 0, h0 = 0;
  levelZeroSize(w, h, w0, h0);
  if (w0 < 1 || h0 < 1) return false;
  const bool scaled = w0 != w || h0 != h;
  const int levels = std::max(log2Floor(w0), log2Floor(h0));

  // One block: the scaled level 0, every smaller level, the filter's scratch.
  std::size_t chain = 0;
  for (int l = 1, lw = w0, lh = h0; l <= levels; ++l) {
    lw = halfSide(lw);
    lh = halfSide(lh);
    chain += rowBytes(lw) * std::size_t(lh);
  }
  const std::size_t level0 = scaled ? alignUp(rowBytes(w0) * std::size_t(h0)) : 0;
  const std::size_t scratch = scaled ? scratchBytes(w, h, w0, h0) : 0;
  unsigned char* block = workingMemory.get(level0 + alignUp(chain) + scratch);
  if (!block) return false;

  const unsigned char* current = pixels;
  if (scaled) {
    resample(pixels, w, h, block, w0, h0, block + level0 + alignUp(chain));
    current = block;
  }
  upload(0, w0, h0, current);
  unsigned char* next = block + level0;
  for (int l = 1, lw = w0, lh = h0; l <= levels; ++l) {
    halve(current, lw, lh, next);
    lw = halfSide(lw);
    lh = halfSide(lh);
    upload(l, lw, lh, next);
    current = next;
    next += rowBytes(lw) * std::size_t(lh);
  }
  return true;
}

}  // namespace mipmap
