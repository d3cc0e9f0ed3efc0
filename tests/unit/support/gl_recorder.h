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

// What glTexImage2D gave GL_TEXTURE_2D since the last resetTextures, level by level.
struct LevelUpload {
  int level, components, width, height;
  unsigned format, type;
  // Rows as unpacked with alignment 4: width*4 bytes for GL_BGRA and GL_RGBA, else width*3 padded to 4.
  std::vector<unsigned char> pixels;
};
const std::vector<LevelUpload>& uploads();
// Level-0 uploads to GL_TEXTURE_2D among the recorded calls: one per mipmap chain built.
int chainsBuilt();

// The size limit the proxy texture and GL_MAX_TEXTURE_SIZE report (16384 until set; reset by
// resetTextures): a proxy level L fits when both sides are at most limit >> L.
void setMaxTextureSize(int limit);

// What glGetString(GL_EXTENSIONS) answers ("GL_EXT_bgra" until set; reset by resetTextures). The
// version is always 1.1. Not recorded: a query changes nothing.
void setExtensions(const char* extensions);

}  // namespace glrec
