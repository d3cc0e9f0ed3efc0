// Snapshot texture benchmark (Windows, run under Wine by tools/bench_texture.py), on a real
// WGL context. First texture: the renderer's mipmap chain of a picture in memory, a bare
// upload of its levels and gluBuild2DMipmaps of the same pixels (tools/bench/first_texture.h).
// Reset hitch: the scene reset on an unchanged snapshot file and on a changed one, against a
// bare gluBuild2DMipmaps, all three in the same rounds.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "bitmap.h"
#include "first_texture.h"
#include "frame_loop.h"
#include "gl_api.h"
#include "gl_window.h"
#include "scene.h"
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

bool writeFile(const char* path, const std::vector<unsigned char>& bytes) {
  FILE* out = std::fopen(path, "wb");
  if (!out) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  return std::fclose(out) == 0 && ok;
}

// One reset as the renderer makes it, until the GL work it queued is done.
double timeReset() {
  glFinish();
  const double t0 = now();
  resetScene();
  glFinish();
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
  const bool firstOnly = std::strstr(GetCommandLineA(), "--first-only") != nullptr;
  std::printf("first texture: medians of 7 rounds, each one chain of ours, one bare upload of its levels and "
              "one gluBuild2DMipmaps\n");
  for (const auto& size : {std::pair<int, int>{1920, 1080}, {3840, 2160}, {7680, 2160}})
    bench::printFirstTexture(size.first, size.second, bench::firstTexture(size.first, size.second, 7, now));
  if (firstOnly) {
    gl.close();
    return 0;
  }

  std::printf("medians over the rounds; each round: one reset unchanged, one changed, one bare build\n");

  const int sizes[][2] = {{1920, 1080}, {3840, 2160}};
  const int rounds = 7;
  for (const auto& size : sizes) {
    std::vector<unsigned char> file = makeBitmap(size[0], size[1]);
    MemorySource source(file.data(), file.size());
    BitmapPixels pixels;
    if (readBitmap(source, pixels) != BitmapStatus::ok || !writeFile(kSnapshotPath, file)) return 1;
    screenWidth = size[0];
    screenHeight = size[1];

    std::vector<double> unchangedTimes, changedTimes, bareTimes;
    for (int round = -1; round < rounds; ++round) {  // round -1 warms caches and the driver
      // Changed: the host wrote a new picture (one pixel differs, same size) since the last reset.
      file[54 + std::size_t(round + 1) % 3] ^= 0x5A;
      writeFile(kSnapshotPath, file);
      const double changed = timeReset();
      const double unchanged = timeReset();

      GLuint bare = 0;
      glGenTextures(1, &bare);
      glBindTexture(GL_TEXTURE_2D, bare);
      glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
      glFinish();
      const double t0 = now();
      gluBuild2DMipmaps(GL_TEXTURE_2D, 3, pixels.width, pixels.height, GL_BGR_EXT, GL_UNSIGNED_BYTE,
                        pixels.data.get());
      glFinish();
      const double bareTime = now() - t0;
      glDeleteTextures(1, &bare);
      if (round >= 0) {
        unchangedTimes.push_back(unchanged);
        changedTimes.push_back(changed);
        bareTimes.push_back(bareTime);
      }
    }
    std::printf("reset hitch %dx%d: unchanged %.1f ms, changed %.1f ms, bare mipmap build %.1f ms\n", size[0],
                size[1], median(unchangedTimes) * 1e3, median(changedTimes) * 1e3, median(bareTimes) * 1e3);
    std::fflush(stdout);
  }
  DeleteFileA(kSnapshotPath);
  snapshotTexture.release();
  gl.close();
  return 0;
}
