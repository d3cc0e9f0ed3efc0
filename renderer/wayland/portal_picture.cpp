#include "portal_picture.h"

// libpng rather than GdkPixbuf: one small library every distribution has, whose simplified API
// decodes straight into our layout and reports damage as a failed call (no GObject types, no
// loader modules chosen at run time, no setjmp of ours), and whose header tells the size
// before any pixel memory is taken, so the scene's limit is kept before decoding.
#include <png.h>

#include <cmath>
#include <new>

#include "bitmap.h"

bool decodePortalPng(const unsigned char* bytes, std::size_t size, PortalPicture& picture, std::uint64_t maxBytes) {
  picture.clear();
  if (!bytes || size == 0) return false;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes, size)) return false;
  // The scene stores it as 24-bit rows too: its limit counts the same bytes.
  const std::uint64_t width = image.width, height = image.height;
  if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX ||
      bitmapRowBytes(24, std::int64_t(width)) * height > kMaxPixelBytes || width * height * 3 > maxBytes) {
    png_image_free(&image);
    return false;
  }
  image.format = PNG_FORMAT_BGR;
  try {
    picture.pixels.resize(std::size_t(width * height * 3));
  } catch (const std::bad_alloc&) {
    png_image_free(&image);
    picture.clear();
    return false;
  }
  // Any transparency (GNOME's picture is clear where no monitor is) laid over black.
  png_color black{0, 0, 0};
  if (!png_image_finish_read(&image, &black, picture.pixels.data(), 0, nullptr)) {
    png_image_free(&image);
    picture.clear();
    return false;
  }
  picture.width = std::int32_t(width);
  picture.height = std::int32_t(height);
  return true;
}

bool cutPortalPicture(const PortalPicture& picture, const std::vector<LayoutRect>& places,
                      std::vector<OutputCapture>& captures) {
  captures.clear();
  const LayoutRect bounds = layoutBounds(places);
  if (bounds.width <= 0 || bounds.height <= 0 || picture.width <= 0 || picture.height <= 0 ||
      std::uint64_t(picture.width) * std::uint64_t(picture.height) * 3 != picture.pixels.size()) {
    return false;
  }
  const double sx = double(picture.width) / bounds.width, sy = double(picture.height) / bounds.height;
  // Rounding of each side to whole pixels aside, one scale for both: else another layout.
  if (std::fabs(sx - sy) > 0.01 * std::fmax(sx, sy) + 1.0 / std::fmin(bounds.width, bounds.height)) return false;

  const std::int64_t stride = std::int64_t(picture.width) * 3;
  auto edge = [](std::int64_t logical, double scale, std::int32_t limit) {
    const double at = std::round(double(logical) * scale);
    return std::int64_t(std::fmin(std::fmax(at, 0.0), double(limit)));
  };
  for (const LayoutRect& place : places) {
    OutputCapture c;
    c.logical = place;
    c.format = shmformat::kRgb888;  // bytes B, G, R: a little-endian 0xRRGGBB
    c.stride = stride;
    const std::int64_t x0 = edge(std::int64_t(place.x) - bounds.x, sx, picture.width);
    const std::int64_t x1 = edge(std::int64_t(place.x) + place.width - bounds.x, sx, picture.width);
    const std::int64_t y0 = edge(std::int64_t(place.y) - bounds.y, sy, picture.height);
    const std::int64_t y1 = edge(std::int64_t(place.y) + place.height - bounds.y, sy, picture.height);
    if (place.width > 0 && place.height > 0 && x1 > x0 && y1 > y0) {
      const std::size_t offset = std::size_t(y0 * stride + x0 * 3);
      c.width = std::int32_t(x1 - x0);
      c.height = std::int32_t(y1 - y0);
      c.data = picture.pixels.data() + offset;
      c.size = picture.pixels.size() - offset;
    }
    captures.push_back(c);
  }
  return true;
}
