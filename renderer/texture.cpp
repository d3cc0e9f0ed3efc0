#include "texture.h"

#include <cstddef>
#include <cstring>

#include "bitmap.h"
#include "file_input.h"
#include "gl_api.h"
#include "mipmap_chain.h"

namespace {

// Closes the file on every way out of a load, including the refusals.
class OpenFile : public ByteSource {
 public:
  explicit OpenFile(fileio::File* file) : file_(file) {}
  ~OpenFile() { close(); }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;

  std::size_t read(void* buffer, std::size_t count) override { return fileio::read(file_, buffer, count); }
  void close() {
    if (file_) fileio::close(file_);
    file_ = nullptr;
  }

 private:
  fileio::File* file_;
};

// The same unpacking state for every upload: rows aligned to 4 bytes, nothing skipped. The
// chain's result is not needed: a refused size or no memory leaves the texture empty, which
// draws the pieces untextured.
void buildMipmaps(std::int32_t width, std::int32_t height, const unsigned char* data) {
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
  mipmap::build(width, height, data);
}

}  // namespace

void readPictureAhead(const char* name, PictureReadAhead& ahead) {
  ahead.name = name;
  fileio::File* handle = fileio::openForReading(name);
  ahead.stamped = handle && fileio::stamp(handle, ahead.stamp);
  if (!handle) {
    ahead.status = BitmapStatus::shortHeader;
    return;
  }
  OpenFile file(handle);
  ahead.status = readBitmap(file, ahead.pixels);
}

std::unique_ptr<PictureReadAhead> Texture::takeReadAhead(const char* name, bool stamped, const fileio::Stamp& stamp) {
  std::unique_ptr<PictureReadAhead> ahead = std::move(ahead_);
  // A file we could not tell the state of might have changed since: it is read again.
  if (!ahead || !stamped || !ahead->stamped || ahead->stamp != stamp || ahead->name != name) return nullptr;
  return ahead;
}

void Texture::release() {
  built_ = false;
  if (glName == 0) return;
  const GLuint name = GLuint(glName - 1);
  glDeleteTextures(1, &name);
  glName = 0;
}

bool Texture::create(const char* name) {
  release();
  // Longer names are cut short rather than overrun the field.
  std::size_t n = 0;
  for (; n + 1 < sizeof fileName && name[n]; ++n) fileName[n] = name[n];
  fileName[n] = '\0';

  GLuint texture = 0;
  glGenTextures(1, &texture);
  glName = std::int32_t(texture) + 1;
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GLfloat(GL_REPEAT));
  glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GLfloat(GL_REPEAT));
  glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GLfloat(GL_LINEAR));
  glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GLfloat(GL_LINEAR_MIPMAP_LINEAR));
  return true;
}

bool Texture::load(const char* name) { return fillFromFile(name, false); }

bool Texture::refresh(const char* name) { return fillFromFile(name, true); }

// Capture -> file -> texture: the host wrote the desktop turned by 180 degrees as a
// bottom-up 24-bit bitmap; its rows go to the mipmap builder exactly as stored, and the
// pieces' texture coordinates turn the picture upright again.
bool Texture::fillFromFile(const char* name, bool keepUnchanged) {
  fileio::File* handle = fileio::openForReading(name);
  // Stamped before the read: a file changed during the read then differs at the next reset.
  fileio::Stamp stamp;
  const bool stamped = handle && fileio::stamp(handle, stamp);
  // A name longer than the field never matches its cut copy: such a file is always read.
  if (keepUnchanged && stamped && built_ && stamp == builtFrom_ && std::strcmp(name, fileName) == 0) {
    fileio::close(handle);
    return true;
  }

  create(name);
  if (!handle) return false;
  OpenFile file(handle);

  BitmapPixels pixels;
  pixels.width = width;
  pixels.height = height;
  BitmapStatus status;
  if (std::unique_ptr<PictureReadAhead> ahead = takeReadAhead(name, stamped, stamp)) {
    // A failed read ahead keeps the size this texture last had, as a failed read here does.
    if (ahead->status == BitmapStatus::ok || ahead->pixels.width != 0 || ahead->pixels.height != 0) {
      pixels = std::move(ahead->pixels);
    }
    status = ahead->status;
  } else {
    status = readBitmap(file, pixels);
  }
  width = pixels.width;
  height = pixels.height;
  if (status != BitmapStatus::ok) return false;
  file.close();

  buildMipmaps(width, height, pixels.data.get());
  built_ = stamped;
  builtFrom_ = stamp;
  return true;
}

bool Texture::fill(const PictureRows& picture) {
  create("");
  if (!picture.data || picture.width <= 0 || picture.height <= 0) return false;
  width = picture.width;
  height = picture.height;
  buildMipmaps(width, height, picture.data);
  return true;
}

void Texture::bind() const { glBindTexture(GL_TEXTURE_2D, GLuint(glName - 1)); }
