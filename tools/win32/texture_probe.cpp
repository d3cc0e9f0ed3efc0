// Test helper: loads a snapshot file through the renderer's Texture on a real WGL context and
// prints what the GL made of it, so a test can see the size a large desktop is scaled to.
//
//   gftexture_probe FILE    prints "max N", "level0 W H", "load_ms T", then "block X Y R G B" for
//                           the mean colour of each block of a 4 x 2 grid over level 0, rows
//                           counted from the texture's first row; exit 1 if it fails
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <vector>

#include "gl_api.h"
#include "gl_window.h"
#include "texture.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: gftexture_probe FILE\n");
    return 2;
  }
  GlWindow gl;
  if (!gl.open("GlassfallTextureProbe")) {
    std::printf("no GL context\n");
    return 1;
  }
  int result = 1;
  {
    Texture texture;
    LARGE_INTEGER frequency, before, after;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&before);
    const bool loaded = texture.load(argv[1]);
    glFinish();
    QueryPerformanceCounter(&after);
    if (loaded) {
      GLint max = 0, width = 0, height = 0;
      glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
      glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
      glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
      std::printf("max %d\nlevel0 %d %d\n", max, width, height);
      std::printf("load_ms %.0f\n", 1000.0 * double(after.QuadPart - before.QuadPart) / double(frequency.QuadPart));
      if (width > 0 && height > 0) {
        std::vector<unsigned char> pixels(std::size_t(width) * height * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
        for (int by = 0; by < 2; ++by) {
          for (int bx = 0; bx < 4; ++bx) {
            double sum[3] = {0, 0, 0};
            const int x0 = bx * width / 4, x1 = (bx + 1) * width / 4;
            const int y0 = by * height / 2, y1 = (by + 1) * height / 2;
            for (int y = y0; y < y1; ++y) {
              for (int x = x0; x < x1; ++x) {
                for (int c = 0; c < 3; ++c) sum[c] += pixels[(std::size_t(y) * width + x) * 3 + c];
              }
            }
            const double n = double(x1 - x0) * (y1 - y0);
            std::printf("block %d %d %.1f %.1f %.1f\n", bx, by, sum[0] / n, sum[1] / n, sum[2] / n);
          }
        }
        result = 0;
      }
    } else {
      std::printf("load failed\n");
    }
  }
  gl.close();
  return result;
}
