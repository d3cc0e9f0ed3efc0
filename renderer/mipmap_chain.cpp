#include "mipmap_chain.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "gl_api.h"
#include "worker.h"

#ifndef GL_BGRA_EXT
#  define GL_BGRA_EXT 0x80E1
#endif

namespace mipmap {

namespace {

// Past this the upload, which no thread shares, is nearly all the time a chain takes.
constexpr int kMostThreads = 4;

std::size_t alignUp(std::size_t n) { return (n + 7) & ~std::size_t(7); }

void upload(const UploadFormat& format, int level, int w, int h, const unsigned char* pixels) {
  glTexImage2D(GL_TEXTURE_2D, level, 3, w, h, 0, format.format, format.type, pixels);
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
bool ownSizeKept = false;

bool hasExtension(const char* name) {
  const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
  return extensions && std::strstr(extensions, name) != nullptr;
}

int log2Floor(int v) {
  int n = 0;
  while (v > 1) {
    v >>= 1;
    ++n;
  }
  return n;
}

// Whether the current GL takes GL_BGRA: core from 1.2, an extension (EXT_bgra) before.
bool glTakesBgra() {
  const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  if (version && (version[0] > '1' || (version[0] == '1' && version[1] == '.' && version[2] >= '2'))) return true;
  return hasExtension("GL_EXT_bgra");
}

// Whether the GL's proxy takes a w x h level 0.
bool proxyTakes(int w, int h) {
  glTexImage2D(GL_PROXY_TEXTURE_2D, 0, 3, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  GLint fits = 0;
  glGetTexLevelParameteriv(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &fits);
  return fits != 0;
}

// A band of level 0's rows, resampled on a thread of its own.
struct Band {
  const unsigned char* pixels;
  int w, h;
  unsigned char* level0;
  int w0, h0;
  Order order;
  unsigned char* scratch;
  int first, end;
};

void resampleBand(void* job) {
  const Band& b = *static_cast<Band*>(job);
  if (b.w0 == b.w && b.h0 == b.h)
    expandPicture(b.pixels, b.w, b.level0, b.order, b.first, b.end);
  else
    resample(b.pixels, b.w, b.h, b.level0, b.w0, b.h0, b.order, b.scratch, b.first, b.end);
}

// The levels below level 0, each halved from the one above into the block after it.
struct Halvings {
  const unsigned char* level0;
  int w0, h0, levels;
  unsigned char* below;
};

void halveAll(void* job) {
  const Halvings& c = *static_cast<Halvings*>(job);
  const unsigned char* current = c.level0;
  unsigned char* next = c.below;
  for (int l = 1, lw = c.w0, lh = c.h0; l <= c.levels; ++l) {
    halve(current, lw, lh, next);
    lw = halfSide(lw);
    lh = halfSide(lh);
    current = next;
    next += levelBytes(lw, lh);
  }
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

std::size_t rowBytes(int width) { return (std::size_t(width) * 3 + 3) & ~std::size_t(3); }

void keepOwnSize(bool keep) { ownSizeKept = keep; }

bool glTakesAnySize() {
  const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  return (version && version[0] >= '2' && version[0] <= '9') || hasExtension("GL_ARB_texture_non_power_of_two");
}

BuildOptions defaultOptions() {
  BuildOptions options;
  options.order = glTakesBgra() ? Order::bgra : Order::rgba;
  options.threads = std::min(worker::cores(), kMostThreads);
  options.ownSize = ownSizeKept && glTakesAnySize();
  return options;
}

UploadFormat uploadFormat(Order order) {
  return {order == Order::bgra ? unsigned(GL_BGRA_EXT) : unsigned(GL_RGBA), GL_UNSIGNED_BYTE, 4};
}

void levelZeroSize(int w, int h, int& outW, int& outH) {
  int pw = nearestPowerOfTwo(w);
  int ph = nearestPowerOfTwo(h);
  for (;;) {
    // The builder asks about level 1 (the level-0 size halved): a driver may refuse a level-0
    // size that fits but whose chain does not.
    const int belowW = halfSide(pw);
    const int belowH = halfSide(ph);
    // GL_RGBA: a format every GL takes; the internal format alone decides the answer.
    glTexImage2D(GL_PROXY_TEXTURE_2D, 1, 3, belowW, belowH, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
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

// Level 0 is resampled in bands, one a thread; then, while the caller's thread hands level 0
// to the GL, another halves it down to 1 x 1, and the smaller levels follow. Every thread is
// joined before build returns: nothing outlives the call but the working memory.
bool build(int w, int h, const unsigned char* pixels, const BuildOptions& options) {
  if (w < 1 || h < 1 || !pixels) return false;
  int w0 = w, h0 = h;
  if (!options.ownSize || !proxyTakes(w, h)) levelZeroSize(w, h, w0, h0);
  if (w0 < 1 || h0 < 1) return false;
  const int levels = std::max(log2Floor(w0), log2Floor(h0));
  const int threads = std::max(1, std::min(options.threads, std::min(kMostThreads, h0)));

  // One block: level 0, every smaller level, each band's scratch.
  std::size_t below = 0;
  for (int l = 1, lw = w0, lh = h0; l <= levels; ++l) {
    lw = halfSide(lw);
    lh = halfSide(lh);
    below += levelBytes(lw, lh);
  }
  const std::size_t level0 = alignUp(levelBytes(w0, h0));
  const bool own = w0 == w && h0 == h;
  const std::size_t scratch = own ? 0 : alignUp(scratchBytes(w, h, w0, h0));
  unsigned char* block = workingMemory.get(level0 + alignUp(below) + scratch * threads);
  if (!block) return false;

  Band bands[kMostThreads];
  worker::Thread helpers[kMostThreads - 1];
  for (int t = 0; t < threads; ++t) {
    bands[t] = {pixels, w, h, block, w0, h0, options.order, block + level0 + alignUp(below) + scratch * t,
                int(std::int64_t(h0) * t / threads), int(std::int64_t(h0) * (t + 1) / threads)};
  }
  for (int t = 1; t < threads; ++t) {
    if (!helpers[t - 1].start(resampleBand, &bands[t])) resampleBand(&bands[t]);
  }
  resampleBand(&bands[0]);
  for (worker::Thread& helper : helpers) helper.join();

  const UploadFormat format = uploadFormat(options.order);
  Halvings halvings{block, w0, h0, levels, block + level0};
  worker::Thread halver;
  const bool aside = threads > 1 && halver.start(halveAll, &halvings);
  upload(format, 0, w0, h0, block);
  if (!aside) halveAll(&halvings);
  halver.join();
  const unsigned char* level = block + level0;
  for (int l = 1, lw = w0, lh = h0; l <= levels; ++l) {
    lw = halfSide(lw);
    lh = halfSide(lh);
    upload(format, l, lw, lh, level);
    level += levelBytes(lw, lh);
  }
  return true;
}

}  // namespace mipmap
