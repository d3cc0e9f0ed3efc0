// The snapshot texture: one GL texture name, filled from the bitmap file when a reset finds
// the file changed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "bitmap.h"
#include "file_input.h"
#include "glassfall_contract.h"

constexpr const char* kSnapshotPath = contract::kSnapshotFile;

// A picture held in memory, laid out as the snapshot file's pixel data: 24 bits per pixel
// in the order blue, green, red, rows padded to a multiple of 4 bytes, the desktop turned
// by 180 degrees and stored bottom row first. No data means no picture.
struct PictureRows {
  std::int32_t width = 0;
  std::int32_t height = 0;
  const unsigned char* data = nullptr;
};

// The snapshot file read and unpacked ahead of its first use, without the GL: a front-end
// reads it on a thread of its own while it makes its window and GL context, so the first
// texture waits only for the mipmap build.
struct PictureReadAhead {
  std::string name;
  bool stamped = false;  // false: the file could not be opened or told its state
  fileio::Stamp stamp;   // the file's state before the read
  BitmapStatus status = BitmapStatus::ok;
  BitmapPixels pixels;
};

// Opens, stamps and reads the bitmap file `name` into `ahead`. Calls no GL.
void readPictureAhead(const char* name, PictureReadAhead& ahead);

class Texture {
 public:
  char fileName[64] = {};
  std::int32_t glName = 0;  // GL texture name + 1; 0 = none
  std::int32_t width = 0;
  std::int32_t height = 0;

  Texture() = default;
  Texture(const Texture&) = delete;  // one owner per texture name
  Texture& operator=(const Texture&) = delete;
  ~Texture() { release(); }

  void release();
  // A fresh, bound, empty texture with repeat wrapping and trilinear filtering. Always true.
  bool create(const char* name);
  // A fresh texture filled from the bitmap file. False, leaving it empty, on any failure.
  bool load(const char* name);
  // A fresh texture filled from memory. False, leaving it empty, when there is no picture.
  bool fill(const PictureRows& picture);
  // Keeps the texture when it was built from this very file and the file has not changed
  // since (same file, size and last-write time): no read, no mipmap build. Otherwise load.
  bool refresh(const char* name);
  void bind() const;
  // The next load of the same file takes these pixels instead of reading it, if the file is
  // still in the state that was read; otherwise they are dropped and the file read again.
  void offerReadAhead(std::unique_ptr<PictureReadAhead> ahead) { ahead_ = std::move(ahead); }

 private:
  bool fillFromFile(const char* name, bool keepUnchanged);
  // The pixels of the file offered ahead, when it is `name` as stamped; nullptr otherwise.
  std::unique_ptr<PictureReadAhead> takeReadAhead(const char* name, bool stamped, const fileio::Stamp& stamp);

  std::unique_ptr<PictureReadAhead> ahead_;

  bool built_ = false;  // holds the picture of the file as stamped below
  fileio::Stamp builtFrom_;
};

// Static lifetime, like all renderer state: sampled by every piece, reloaded by resetScene.
extern Texture snapshotTexture;
