#include "picture_area.h"

#include <vector>

#include "bitmap_file.h"
#include "file_safety.h"

namespace {

bool writeAll(HANDLE file, const void* data, DWORD size) {
  DWORD written = 0;
  return WriteFile(file, data, size, &written, nullptr) && written == size;
}

}  // namespace

PictureArea::~PictureArea() { release(); }

void PictureArea::release() {
  if (dc_) {
    if (previous_) SelectObject(dc_, previous_);
    DeleteDC(dc_);
  }
  if (bitmap_) DeleteObject(bitmap_);
  dc_ = nullptr;
  bitmap_ = nullptr;
  previous_ = nullptr;
  bits_ = nullptr;
  width_ = height_ = 0;
}

bool PictureArea::resize(int width, int height) {
  release();
  if (width <= 0 || height <= 0) return false;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // positive: bottom-up, as the file stores it
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  dc_ = CreateCompatibleDC(nullptr);
  bitmap_ = dc_ ? CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
  if (!bitmap_ || !bits) {
    release();
    return false;
  }
  previous_ = SelectObject(dc_, bitmap_);
  bits_ = static_cast<BYTE*>(bits);
  width_ = width;
  height_ = height;
  return true;
}

bool PictureArea::saveAsBitmap(const std::wstring& path) const {
  if (!bits_) return false;
  GdiFlush();  // drawing may still be queued for the bitmap
  const std::vector<std::uint8_t> headers = bitmapHeaders(width_, height_);
  const DWORD imageBytes = bitmapRowBytes(width_) * DWORD(height_);
  HANDLE file = createFreshFile(path);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool ok = writeAll(file, headers.data(), DWORD(headers.size())) && writeAll(file, bits_, imageBytes);
  CloseHandle(file);
  return ok;
}
