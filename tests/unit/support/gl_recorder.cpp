#include "gl_recorder.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>

#include "gl_api.h"

namespace {

// The recorder's state is never destroyed: static objects of the code under test (the
// snapshot texture) still call GL from their destructors at exit.
std::vector<GlCall>& store() {
  static std::vector<GlCall>* calls = [] {
    auto* v = new std::vector<GlCall>;
    v->reserve(1 << 16);  // recording inside renderFrame must not allocate
    return v;
  }();
  return *calls;
}

bool recording = true;
std::set<unsigned>& live = *new std::set<unsigned>;
unsigned nextName = 1;
std::vector<glrec::LevelUpload>& levels = *new std::vector<glrec::LevelUpload>;
int maxTextureSize = 16384;
std::string& extensions = *new std::string("GL_EXT_bgra");
int proxyWidth = 0;  // what the last proxy upload left at its level, 0 when it did not fit
int proxyLevel = -1;

void record(const char* name, std::initializer_list<double> args) {
  if (!recording) return;
  GlCall call{name, {}, int(args.size())};
  int i = 0;
  for (double a : args) call.args[i++] = a;
  std::vector<GlCall>& calls = store();
  if (calls.size() < calls.capacity()) calls.push_back(call);
}

std::string number(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.9g", v);
  return buf;
}

}  // namespace

namespace glrec {

void clear() { store().clear(); }
const std::vector<GlCall>& calls() { return store(); }
void setRecording(bool on) { recording = on; }

std::vector<std::string> lines() {
  std::vector<std::string> out;
  for (const GlCall& c : store()) {
    std::string line = std::string(c.name) + "(";
    for (int i = 0; i < c.argCount; ++i) line += (i ? "," : "") + number(c.args[i]);
    out.push_back(line + ")");
  }
  return out;
}

std::vector<GlCall> named(const char* name) {
  std::vector<GlCall> out;
  for (const GlCall& c : store())
    if (!std::strcmp(c.name, name)) out.push_back(c);
  return out;
}

int liveTextures() { return int(live.size()); }
void resetTextures() {
  live.clear();
  nextName = 1;
  levels.clear();
  maxTextureSize = 16384;
  extensions = "GL_EXT_bgra";
  proxyWidth = 0;
  proxyLevel = -1;
}
const std::vector<LevelUpload>& uploads() { return levels; }
int chainsBuilt() {
  int n = 0;
  for (const GlCall& c : named("glTexImage2D")) n += c.args[0] == GL_TEXTURE_2D && c.args[1] == 0;
  return n;
}
void setMaxTextureSize(int limit) { maxTextureSize = limit; }
void setExtensions(const char* list) { extensions = list; }

}  // namespace glrec

extern "C" {

void GLAPIENTRY glBegin(GLenum mode) { record("glBegin", {double(mode)}); }
void GLAPIENTRY glEnd() { record("glEnd", {}); }
void GLAPIENTRY glPushMatrix() { record("glPushMatrix", {}); }
void GLAPIENTRY glPopMatrix() { record("glPopMatrix", {}); }
void GLAPIENTRY glLoadIdentity() { record("glLoadIdentity", {}); }
void GLAPIENTRY glMatrixMode(GLenum mode) { record("glMatrixMode", {double(mode)}); }
void GLAPIENTRY glTranslatef(GLfloat x, GLfloat y, GLfloat z) { record("glTranslatef", {x, y, z}); }
void GLAPIENTRY glRotatef(GLfloat a, GLfloat x, GLfloat y, GLfloat z) { record("glRotatef", {a, x, y, z}); }
void GLAPIENTRY glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) { record("glColor4f", {r, g, b, a}); }
void GLAPIENTRY glColor4d(GLdouble r, GLdouble g, GLdouble b, GLdouble a) { record("glColor4d", {r, g, b, a}); }
void GLAPIENTRY glTexCoord2d(GLdouble s, GLdouble t) { record("glTexCoord2d", {s, t}); }
void GLAPIENTRY glVertex4f(GLfloat x, GLfloat y, GLfloat z, GLfloat w) { record("glVertex4f", {x, y, z, w}); }
void GLAPIENTRY glClear(GLbitfield mask) { record("glClear", {double(mask)}); }
void GLAPIENTRY glDepthFunc(GLenum func) { record("glDepthFunc", {double(func)}); }
void GLAPIENTRY glEnable(GLenum cap) { record("glEnable", {double(cap)}); }
void GLAPIENTRY glScissor(GLint x, GLint y, GLsizei w, GLsizei h) { record("glScissor", {double(x), double(y), double(w), double(h)}); }
void GLAPIENTRY glViewport(GLint x, GLint y, GLsizei w, GLsizei h) { record("glViewport", {double(x), double(y), double(w), double(h)}); }
void GLAPIENTRY glBindTexture(GLenum target, GLuint name) { record("glBindTexture", {double(target), double(name)}); }
void GLAPIENTRY glTexParameterf(GLenum target, GLenum pname, GLfloat value) {
  record("glTexParameterf", {double(target), double(pname), value});
}
void GLAPIENTRY glPixelStorei(GLenum pname, GLint value) { record("glPixelStorei", {double(pname), double(value)}); }
void GLAPIENTRY glGenTextures(GLsizei n, GLuint* names) {
  for (GLsizei i = 0; i < n; ++i) {
    names[i] = nextName++;
    live.insert(names[i]);
  }
  record("glGenTextures", {double(n)});
}
void GLAPIENTRY glDeleteTextures(GLsizei n, const GLuint* names) {
  for (GLsizei i = 0; i < n; ++i) live.erase(names[i]);
  record("glDeleteTextures", {double(n), n > 0 ? double(names[0]) : -1.0});
}
void GLAPIENTRY gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
  record("gluPerspective", {fovy, aspect, zNear, zFar});
}
void GLAPIENTRY glTexImage2D(GLenum target, GLint level, GLint components, GLsizei width, GLsizei height,
                             GLint border, GLenum format, GLenum type, const void* data) {
  record("glTexImage2D", {double(target), double(level), double(components), double(width), double(height),
                          double(border), double(format), double(type)});
  if (target == GL_PROXY_TEXTURE_2D) {
    const int limit = level < 31 ? maxTextureSize >> level : 0;
    proxyLevel = level;
    proxyWidth = width >= 1 && height >= 1 && width <= limit && height <= limit ? width : 0;
    return;
  }
  glrec::LevelUpload up{level, components, width, height, format, type, {}};
  if (width > 0 && height > 0 && data) {
    // Touch every byte the real GL reads, so a short buffer shows up under ASan.
    const size_t pixel = format == GL_BGRA || format == GL_RGBA ? 4 : 3;
    const size_t row = (size_t(width) * pixel + 3) / 4 * 4;
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    up.pixels.assign(bytes, bytes + row * size_t(height));
  }
  levels.push_back(std::move(up));
}
void GLAPIENTRY glGetTexLevelParameteriv(GLenum target, GLint level, GLenum pname, GLint* value) {
  record("glGetTexLevelParameteriv", {double(target), double(level), double(pname)});
  *value = target == GL_PROXY_TEXTURE_2D && level == proxyLevel && pname == GL_TEXTURE_WIDTH ? proxyWidth : 0;
}
const GLubyte* GLAPIENTRY glGetString(GLenum name) {
  const char* answer = name == GL_VERSION ? "1.1 recorder" : name == GL_EXTENSIONS ? extensions.c_str() : "recorder";
  return reinterpret_cast<const GLubyte*>(answer);
}
void GLAPIENTRY glGetIntegerv(GLenum pname, GLint* value) {
  record("glGetIntegerv", {double(pname)});
  *value = pname == GL_MAX_TEXTURE_SIZE ? maxTextureSize : 0;
}

// The frame-rate corner's calls.
void GLAPIENTRY glPushAttrib(GLbitfield mask) { record("glPushAttrib", {double(mask)}); }
void GLAPIENTRY glPopAttrib() { record("glPopAttrib", {}); }
void GLAPIENTRY glDisable(GLenum cap) { record("glDisable", {double(cap)}); }
void GLAPIENTRY glOrtho(GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f) {
  record("glOrtho", {l, r, b, t, n, f});
}
void GLAPIENTRY glListBase(GLuint base) { record("glListBase", {double(base)}); }
void GLAPIENTRY glColor3f(GLfloat r, GLfloat g, GLfloat b) { record("glColor3f", {r, g, b}); }
void GLAPIENTRY glRasterPos2i(GLint x, GLint y) { record("glRasterPos2i", {double(x), double(y)}); }
void GLAPIENTRY glCallLists(GLsizei n, GLenum type, const GLvoid*) { record("glCallLists", {double(n), double(type)}); }

}  // extern "C"
