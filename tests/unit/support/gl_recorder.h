// Call-recording stand-in for the OpenGL 1.1 / GLU functions the renderer uses.
// Linked into the unit tests instead of libGL; each call appends one record.
#pragma once

#include <string>
#include <vector>

struct GlCall {
  const char* name;
  double args[8];
  int argCount;
};

namespace glrec {

// Recording is off by default outside a Recording scope (counters still move).
void clear();
const std::vector<GlCall>& calls();
void setRecording(bool on);

// The calls in order, as "name(a,b,...)" with shortest exact numbers, for readable asserts.
std::vector<std::string> lines();
// Only the calls with this name.
std::vector<GlCall> named(const char* name);

// Texture names currently allocated by glGenTextures and not deleted.
int liveTextures();
void resetTextures();

// What the last gluBuild2DMipmaps received: dimensions, format and the first/last bytes.
struct MipmapUpload {
  int components, width, height;
  unsigned format, type;
  std::vector<unsigned char> pixels;  // copy of width*3 (row-aligned) * |height| bytes when sane
};
const MipmapUpload* lastMipmap();

}  // namespace glrec
