#include "first_texture.h"

#include <algorithm>
#include <cstdio>

#include "gl_api.h"
#include "mipmap_chain.h"
#include "texture.h"

namespace bench {

namespace {

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

struct ReadyLevel {
  int width = 0, height = 0;
  std::vector<unsigned char> pixels;
};

// The levels of the bound texture as the chain handed them to the GL, read back in its format.
std::vector<ReadyLevel> readLevels() {
  const mipmap::UploadFormat f = mipmap::uploadFormat();
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  std::vector<ReadyLevel> levels;
  for (int l = 0; l < 32; ++l) {
    ReadyLevel level;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, l, GL_TEXTURE_WIDTH, &level.width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, l, GL_TEXTURE_HEIGHT, &level.height);
    if (level.width == 0) break;
    const std::size_t row = (std::size_t(level.width) * f.pixelBytes + 3) & ~std::size_t(3);
    level.pixels.resize(row * std::size_t(level.height));
    glGetTexImage(GL_TEXTURE_2D, l, f.format, f.type, level.pixels.data());
    const bool last = level.width == 1 && level.height == 1;
    levels.push_back(std::move(level));
    if (last) break;
  }
  return levels;
}

GLuint freshTexture() {
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  return name;
}

}  // namespace

std::vector<unsigned char> pictureRows(int width, int height) {
  const std::size_t row = (std::size_t(width) * 3 + 3) & ~std::size_t(3);
  std::vector<unsigned char> rows(row * std::size_t(height), 0);
  for (int y = 0; y < height; ++y) {
    unsigned char* p = &rows[std::size_t(y) * row];
    for (int x = 0; x < width; ++x) {
      const bool block = ((x / 64) + (y / 48)) % 3 == 0;
      p[3 * x] = (unsigned char)(block ? 220 : x * 255 / width);
      p[3 * x + 1] = (unsigned char)(y * 255 / height);
      p[3 * x + 2] = (unsigned char)(block ? 40 : 128);
    }
  }
  return rows;
}

FirstTexture firstTexture(int width, int height, int rounds, double (*now)()) {
  const std::vector<unsigned char> rows = pictureRows(width, height);
  PictureRows picture;
  picture.width = width;
  picture.height = height;
  picture.data = rows.data();

  std::vector<ReadyLevel> ready;
  {
    Texture texture;
    texture.fill(picture);
    ready = readLevels();
  }
  const mipmap::UploadFormat f = mipmap::uploadFormat();

  std::vector<double> ours, upload, glu;
  for (int round = -1; round < rounds; ++round) {  // round -1 warms caches and the driver
    Texture texture;
    glFinish();
    double t0 = now();
    texture.fill(picture);
    glFinish();
    const double o = now() - t0;
    texture.release();

    GLuint bare = freshTexture();
    glFinish();
    t0 = now();
    for (std::size_t l = 0; l < ready.size(); ++l)
      glTexImage2D(GL_TEXTURE_2D, GLint(l), 3, ready[l].width, ready[l].height, 0, f.format, f.type,
                   ready[l].pixels.data());
    glFinish();
    const double u = now() - t0;
    glDeleteTextures(1, &bare);

    bare = freshTexture();
    glFinish();
    t0 = now();
    gluBuild2DMipmaps(GL_TEXTURE_2D, 3, width, height, GL_BGR_EXT, GL_UNSIGNED_BYTE, picture.data);
    glFinish();
    const double g = now() - t0;
    glDeleteTextures(1, &bare);
    if (round < 0) continue;
    ours.push_back(o);
    upload.push_back(u);
    glu.push_back(g);
  }
  FirstTexture t;
  t.ours = median(ours) * 1e3;
  t.upload = median(upload) * 1e3;
  t.glu = median(glu) * 1e3;
  return t;
}

void printFirstTexture(int width, int height, const FirstTexture& t, const char* chain) {
  std::printf("first texture %dx%d%s%s: ours %.1f ms, upload %.1f ms, GLU %.1f ms (ours/upload %.2f, GLU/ours %.1f)\n",
              width, height, chain ? ", " : "", chain ? chain : "", t.ours, t.upload, t.glu, t.ours / t.upload, t.glu / t.ours);
  std::fflush(stdout);
}

}  // namespace bench
