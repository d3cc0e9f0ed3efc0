#include <algorithm>
#include <cstdio>
#include <vector>

#include "first_texture.h"
#include "gl_api.h"
#include "mipmap_chain.h"

#ifndef GL_BGRA_EXT
#  define GL_BGRA_EXT 0x80E1
#endif
#ifndef GL_UNSIGNED_INT_8_8_8_8_REV
#  define GL_UNSIGNED_INT_8_8_8_8_REV 0x8367
#endif

namespace bench {

namespace {

struct Levels {
  GLenum format, type;
  std::vector<std::vector<unsigned char>> pixels;
  std::vector<std::pair<int, int>> sizes;
};

// The bound texture's levels read back in one format, rows padded to 4 bytes.
Levels readAs(GLenum format, GLenum type, int pixelBytes) {
  Levels levels{format, type, {}, {}};
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  for (int l = 0; l < 32; ++l) {
    GLint w = 0, h = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, l, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, l, GL_TEXTURE_HEIGHT, &h);
    if (w == 0) break;
    levels.sizes.emplace_back(w, h);
    levels.pixels.emplace_back(((std::size_t(w) * pixelBytes + 3) & ~std::size_t(3)) * std::size_t(h));
    glGetTexImage(GL_TEXTURE_2D, l, format, type, levels.pixels.back().data());
    if (w == 1 && h == 1) break;
  }
  return levels;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2] * 1e3;
}

}  // namespace

void levers(int width, int height, int rounds, double (*now)()) {
  const std::vector<unsigned char> rows = pictureRows(width, height);
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  mipmap::build(width, height, rows.data());
  const Levels formats[] = {readAs(GL_BGR_EXT, GL_UNSIGNED_BYTE, 3), readAs(GL_BGRA_EXT, GL_UNSIGNED_BYTE, 4),
                            readAs(GL_BGRA_EXT, GL_UNSIGNED_INT_8_8_8_8_REV, 4), readAs(GL_RGBA, GL_UNSIGNED_BYTE, 4)};
  glDeleteTextures(1, &name);
  const char* formatNames[] = {"GL_BGR_EXT (24-bit)", "GL_BGRA", "GL_BGRA 8_8_8_8_REV", "GL_RGBA"};
  const int cores = mipmap::defaultOptions().threads;
  const mipmap::BuildOptions chains[] = {{mipmap::Order::bgra, 1}, {mipmap::Order::rgba, 1}, {mipmap::Order::bgra, 2},
                                         {mipmap::Order::bgra, cores}};
  std::vector<double> times[9];
  const std::pair<int, int> size0 = formats[1].sizes[0];
  std::vector<unsigned char> below(mipmap::levelBytes(mipmap::halfSide(size0.first), mipmap::halfSide(size0.second)));
  for (int round = -1; round < rounds; ++round) {  // round -1 warms caches and the driver
    for (int k = 0; k < 9; ++k) {
      glGenTextures(1, &name);
      glBindTexture(GL_TEXTURE_2D, name);
      glFinish();
      const double t0 = now();
      if (k < 4) {
        mipmap::build(width, height, rows.data(), chains[k]);
      } else if (k < 8) {
        const Levels& f = formats[k - 4];
        for (std::size_t l = 0; l < f.pixels.size(); ++l)
          glTexImage2D(GL_TEXTURE_2D, GLint(l), 3, f.sizes[l].first, f.sizes[l].second, 0, f.format, f.type,
                       f.pixels[l].data());
      } else {
        mipmap::halve(formats[1].pixels[0].data(), size0.first, size0.second, below.data());
      }
      glFinish();
      const double t = now() - t0;
      glDeleteTextures(1, &name);
      if (round >= 0) times[k].push_back(t);
    }
  }
  const double upload = median(times[5]);  // the chain's own format
  for (int k = 0; k < 4; ++k)
    std::printf("levers %dx%d: chain %s, %d thread%s: %.1f ms (%.2f x its upload)\n", width, height,
                chains[k].order == mipmap::Order::bgra ? "GL_BGRA" : "GL_RGBA", chains[k].threads,
                chains[k].threads == 1 ? "" : "s", median(times[k]), median(times[k]) / upload);
  for (int k = 4; k < 8; ++k)
    std::printf("levers %dx%d: upload of the levels as %s: %.1f ms\n", width, height, formatNames[k - 4],
                median(times[k]));
  std::printf("levers %dx%d: halving level 0 (%dx%d, 4 bytes a pixel): %.2f ms\n", width, height, size0.first,
              size0.second, median(times[8]));
  std::fflush(stdout);
}

}  // namespace bench
