// First-texture benchmark of the native build on a headless GL context (EGL, no display):
// our mipmap chain, a bare upload of the same levels and gluBuild2DMipmaps, side by side.
//
//   texture_bench [--levers] [ROUNDS] [WxH ...]   (default 7 rounds; 1920x1080 3840x2160 7680x2160)
//
// Each size is measured twice: with GLU's power-of-two chain (the Windows programs') and with
// level 0 of the picture's own size (the native program's, where the GL takes any size).
// --levers adds, per size, each lever of the chain alone (formats, threads, the halving).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "egl_headless.h"
#include "first_texture.h"
#include "gl_api.h"
#include "mipmap_chain.h"

namespace {

double now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

}  // namespace

int main(int argc, char** argv) {
  HeadlessGl gl;
  if (!gl.open()) {
    std::fprintf(stderr, "no headless GL context (EGL)\n");
    return 1;
  }
  int first = 1;
  const bool levers = argc > 1 && std::strcmp(argv[1], "--levers") == 0;
  if (levers) ++first;
  const int rounds = argc > first ? std::max(1, std::atoi(argv[first])) : 7;
  std::vector<std::pair<int, int>> sizes;
  for (int i = first + 1; i < argc; ++i) {
    int w = 0, h = 0;
    if (std::sscanf(argv[i], "%dx%d", &w, &h) == 2 && w > 0 && h > 0) sizes.emplace_back(w, h);
  }
  if (sizes.empty()) sizes = {{1920, 1080}, {3840, 2160}, {7680, 2160}};
  std::printf("GL: %s / %s / %s\n", (const char*)glGetString(GL_VENDOR), (const char*)glGetString(GL_RENDERER),
              (const char*)glGetString(GL_VERSION));
  std::printf("first texture: medians of %d rounds, each one chain of ours, one bare upload of its levels and "
              "one gluBuild2DMipmaps\n", rounds);
  for (const auto& size : sizes) {
    bench::printFirstTexture(size.first, size.second, bench::firstTexture(size.first, size.second, rounds, now));
    // The native program's chain: level 0 of the picture's own size where the GL takes it.
    mipmap::keepOwnSize(true);
    if (mipmap::defaultOptions().ownSize)
      bench::printFirstTexture(size.first, size.second, bench::firstTexture(size.first, size.second, rounds, now),
                               "own size");
    mipmap::keepOwnSize(false);
    if (levers) bench::levers(size.first, size.second, rounds, now);
  }
  return 0;
}
