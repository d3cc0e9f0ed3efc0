// The host's picture area over GDI: the run's capture of the desktop, saved as the snapshot file.
//  [x] persistent 24-bit memory bitmap with its drawing context, saved as a new bitmap file
//  [x] a link planted at the file's path is removed, never written through
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

// A picture that keeps whatever is drawn into it while nothing is on screen: a 24-bit,
// bottom-up memory bitmap whose rows are laid out exactly as in a bitmap file.
class PictureArea {
 public:
  PictureArea() = default;
  ~PictureArea();
  PictureArea(const PictureArea&) = delete;
  PictureArea& operator=(const PictureArea&) = delete;

  // Makes a fresh picture of width x height pixels, black; false if the system refuses.
  bool resize(int width, int height);
  HDC dc() const { return dc_; }
  int width() const { return width_; }
  int height() const { return height_; }
  const BYTE* bits() const { return bits_; }
  // Writes the picture as a new uncompressed 24-bit bitmap file in place of whatever stood at
  // the path; a link standing there is removed, never written through.
  bool saveAsBitmap(const std::wstring& path) const;

 private:
  void release();
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  BYTE* bits_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};
