// The snapshot texture: one GL texture name, filled from the bitmap file when a reset finds
// the file changed.
#pragma once

#include <cstdint>

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

 private:
  bool fillFromFile(const char* name, bool keepUnchanged);

  bool built_ = false;  // holds the picture of the file as stamped below
  fileio::Stamp builtFrom_;
};

// Static lifetime, like all renderer state: sampled by every piece, reloaded by resetScene.
extern Texture snapshotTexture;
