// Reset-hitch benchmark (Windows, run under Wine by tools/bench_texture.py): the time of one
// Texture::load of a snapshot file against a bare gluBuild2DMipmaps of the same pixels already
// in memory, at three screen sizes, on a real WGL context.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "bitmap.h"
#include "file_input.h"
#include "gl_api.h"
#include "gl_window.h"
#include "texture.h"

namespace {

double now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return double(c.QuadPart) / double(frequency.QuadPart);
}

// A bottom-up 24-bit bitmap with some structure (gradients and blocks), size field filled.
std::vector<unsigned char> makeBitmap(int width, int height) {
  const std::uint32_t row = std::uint32_t(bitmapRowBytes(24, width));
  const std::uint32_t pixels = row * std::uint32_t(height);
  std::vector<unsigned char> b(54 + pixels, 0);
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = (unsigned char)(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, 54 + pixels);
  put32(10, 54);
  put32(14, 40);
  put32(18, std::uint32_t(width));
  put32(22, std::uint32_t(height));
  b[26] = 1;
  b[28] = 24;
  put32(34, pixels);
  for (int y = 0; y < height; ++y) {
    unsigned char* p = &b[54 + std::size_t(y) * row];
    for (int x = 0; x < width; ++x) {
      const bool block = ((x / 64) + (y / 48)) % 3 == 0;
      p[3 * x] = (unsigned char)(block ? 220 : x * 255 / width);
      p[3 * x + 1] = (unsigned char)(y * 255 / height);
      p[3 * x + 2] = (unsigned char)(block ? 40 : 128);
    }
  }
  return b;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

// The load's own part: open, the three reads into fresh buffers, close.
class FileBytes : public ByteSource {
 public:
  explicit FileBytes(fileio::File* f) : f_(f) {}
  std::size_t read(void* buffer, std::size_t count) override { return fileio::read(f_, buffer, count); }

 private:
  fileio::File* f_;
};

double timeReadOnly(const char* path) {
  const double t0 = now();
  fileio::File* f = fileio::openForReading(path);
  if (!f) return -1;
  FileBytes source(f);
  BitmapPixels pixels;
  readBitmap(source, pixels);
  fileio::close(f);
  pixels.data.reset();
  return now() - t0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  GlWindow gl;
  if (!gl.open("GlassfallTextureBench")) {
    std::printf("no GL context\n");
    return 1;
  }
  std::printf("GL: %s / %s\n", (const char*)glGetString(GL_RENDERER), (const char*)glGetString(GL_VERSION));
  // Medians, and in brackets the fastest round: on a shared machine the fastest is the steadier.
  std::printf("%-11s %18s %18s %15s %12s\n", "size", "floor ms", "load ms", "ratio", "read ms");

  const int sizes[][2] = {{1024, 768}, {1920, 1080}, {3840, 2160}};
  const char path[] = "C:\\velk_temp\\bench_texture.alo";
  Texture texture;
  for (const auto& size : sizes) {
    const std::vector<unsigned char> file = makeBitmap(size[0], size[1]);
    if (FILE* out = std::fopen(path, "wb")) {
      std::fwrite(file.data(), 1, file.size(), out);
      std::fclose(out);
    }
    MemorySource source(file.data(), file.size());
    BitmapPixels pixels;
    if (readBitmap(source, pixels) != BitmapStatus::ok) return 1;

    const int rounds = size[0] > 2000 ? 7 : 11;
    std::vector<double> floorTimes, loadTimes, readTimes;
    GLuint bare = 0;
    for (int round = -1; round < rounds; ++round) {  // round -1 warms caches and the driver
      glGenTextures(1, &bare);
      glBindTexture(GL_TEXTURE_2D, bare);
      glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
      glFinish();
      double t0 = now();
      gluBuild2DMipmaps(GL_TEXTURE_2D, 3, pixels.width, pixels.height, GL_BGR_EXT, GL_UNSIGNED_BYTE,
                        pixels.data.get());
      glFinish();
      const double floorTime = now() - t0;
      glDeleteTextures(1, &bare);

      glFinish();
      t0 = now();
      const bool ok = texture.load(path);
      glFinish();
      const double loadTime = now() - t0;
      if (!ok) {
        std::printf("load failed\n");
        return 1;
      }
      const double readTime = timeReadOnly(path);
      if (round >= 0) {
        floorTimes.push_back(floorTime);
        loadTimes.push_back(loadTime);
        readTimes.push_back(readTime);
      }
    }
    const double f = median(floorTimes) * 1e3, l = median(loadTimes) * 1e3;
    const double fMin = fastest(floorTimes) * 1e3, lMin = fastest(loadTimes) * 1e3;
    char label[32];
    std::snprintf(label, sizeof label, "%dx%d", size[0], size[1]);
    std::printf("%-11s %8.1f (%7.1f) %8.1f (%7.1f) %6.3f (%6.3f) %12.1f\n", label, f, fMin, l, lMin, l / f,
                lMin / fMin, median(readTimes) * 1e3);
    std::fflush(stdout);
  }
  DeleteFileA(path);
  texture.release();
  gl.close();
  return 0;
}
