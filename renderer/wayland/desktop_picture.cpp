#include "desktop_picture.h"

#include <algorithm>
#include <climits>
#include <new>

#include "bitmap.h"

bool describeShmFormat(std::uint32_t format, int& bitsPerPixel, std::uint32_t& redMask, std::uint32_t& greenMask,
                       std::uint32_t& blueMask) {
  using namespace shmformat;
  switch (format) {
    case kArgb8888:
    case kXrgb8888:
      bitsPerPixel = 32, redMask = 0xff0000, greenMask = 0xff00, blueMask = 0xff;
      return true;
    case kAbgr8888:
    case kXbgr8888:
      bitsPerPixel = 32, redMask = 0xff, greenMask = 0xff00, blueMask = 0xff0000;
      return true;
    case kRgb888:
      bitsPerPixel = 24, redMask = 0xff0000, greenMask = 0xff00, blueMask = 0xff;
      return true;
    case kBgr888:
      bitsPerPixel = 24, redMask = 0xff, greenMask = 0xff00, blueMask = 0xff0000;
      return true;
    case kRgb565:
      bitsPerPixel = 16, redMask = 0xf800, greenMask = 0x07e0, blueMask = 0x001f;
      return true;
    case kXrgb2101010:
      bitsPerPixel = 32, redMask = 0x3ff00000, greenMask = 0xffc00, blueMask = 0x3ff;
      return true;
    case kXbgr2101010:
      bitsPerPixel = 32, redMask = 0x3ff, greenMask = 0xffc00, blueMask = 0x3ff00000;
      return true;
    default:
      return false;
  }
}

LayoutRect layoutBounds(const std::vector<LayoutRect>& outputs) {
  // Edges counted in 64 bits: the compositor's positions may lie anywhere an int reaches.
  std::int64_t left = 0, top = 0, right = 0, bottom = 0;
  bool first = true;
  for (const LayoutRect& r : outputs) {
    if (r.width <= 0 || r.height <= 0) continue;
    const std::int64_t rRight = std::int64_t(r.x) + r.width, rBottom = std::int64_t(r.y) + r.height;
    left = first ? r.x : std::min<std::int64_t>(left, r.x);
    top = first ? r.y : std::min<std::int64_t>(top, r.y);
    right = first ? rRight : std::max(right, rRight);
    bottom = first ? rBottom : std::max(bottom, rBottom);
    first = false;
  }
  if (first || right - left > INT_MAX || bottom - top > INT_MAX) return LayoutRect();
  return LayoutRect{int(left), int(top), int(right - left), int(bottom - top)};
}

bool transformSwapsSides(std::uint32_t transform) { return (transform & 1) != 0; }

void bufferPixelOf(std::uint32_t transform, std::int64_t x, std::int64_t y, std::int64_t width, std::int64_t height,
                   std::int64_t& bufferX, std::int64_t& bufferY) {
  // The mirrored ones mirror what the user sees first, then turn it as their unmirrored twin.
  if (transform & 4) x = width - 1 - x;
  switch (transform & 3) {
    case 0:  // normal
      bufferX = x, bufferY = y;
      break;
    case 1:  // 90: the buffer is the picture turned a quarter counter-clockwise
      bufferX = y, bufferY = width - 1 - x;
      break;
    case 2:  // 180
      bufferX = width - 1 - x, bufferY = height - 1 - y;
      break;
    default:  // 270
      bufferX = height - 1 - y, bufferY = x;
      break;
  }
}

bool composeDesktop(const std::vector<OutputCapture>& captures, const LayoutRect& bounds, int scale,
                    std::vector<std::uint32_t>& pixels) {
  if (scale < 1 || scale > INT_MAX / kScaleDenominator) {
    pixels.clear();
    return false;
  }
  return composeDesktop(captures, bounds, FractionalScale{scale * kScaleDenominator}, pixels);
}

bool composeDesktop(const std::vector<OutputCapture>& captures, const LayoutRect& bounds, FractionalScale scale,
                    std::vector<std::uint32_t>& pixels) {
  pixels.clear();
  if (bounds.width <= 0 || bounds.height <= 0 || scale.n < 1) return false;
  const std::int64_t width = scaledLength(bounds.width, scale);
  const std::int64_t height = scaledLength(bounds.height, scale);
  if (width <= 0 || height <= 0) return false;
  // The picture's own limit, counted as the scene will store it.
  if (width > INT32_MAX || height > INT32_MAX || bitmapRowBytes(24, width) * std::uint64_t(height) > kMaxPixelBytes) {
    return false;
  }
  try {
    pixels.assign(std::size_t(width * height), 0);
  } catch (const std::bad_alloc&) {
    pixels.clear();
    return false;
  }

  for (const OutputCapture& c : captures) {
    int bitsPerPixel = 0;
    std::uint32_t r = 0, g = 0, b = 0;
    if (!c.data || c.width <= 0 || c.height <= 0 || c.logical.width <= 0 || c.logical.height <= 0) continue;
    if (!describeShmFormat(c.format, bitsPerPixel, r, g, b)) continue;
    const int bytes = bitsPerPixel / 8;
    if (!rowsFit(c.width, c.height, c.stride, bytes, c.size)) continue;
    const PixelChannel red(r), green(g), blue(b);
    // The output's place in picture pixels, clipped to the picture.
    const std::int64_t x0 = std::int64_t(c.logical.x) - bounds.x, y0 = std::int64_t(c.logical.y) - bounds.y;
    const std::int64_t left = scaledLength(x0, scale);
    const std::int64_t top = scaledLength(y0, scale);
    const std::int64_t placeWidth = scaledLength(x0 + c.logical.width, scale) - left;
    const std::int64_t placeHeight = scaledLength(y0 + c.logical.height, scale) - top;
    if (placeWidth <= 0 || placeHeight <= 0) continue;
    // The copy as the user saw it: its sides swapped by a quarter turn.
    const bool swapped = transformSwapsSides(c.transform);
    const std::int64_t seenWidth = swapped ? c.height : c.width;
    const std::int64_t seenHeight = swapped ? c.width : c.height;
    // The usual copy, upright at its own size, 8 bits a channel in 32: rows read straight.
    const bool usual = c.transform == 0 && bytes == 4 && r == 0xff0000 && g == 0xff00 && b == 0xff &&
                       placeWidth == c.width && placeHeight == c.height;
    for (std::int64_t y = std::max<std::int64_t>(top, 0); y < std::min(top + placeHeight, height); ++y) {
      const std::int64_t seenY = (y - top) * seenHeight / placeHeight;
      std::uint32_t* dst = pixels.data() + y * width;
      if (usual) {
        const unsigned char* src = c.data + (c.yInverted ? c.height - 1 - seenY : seenY) * c.stride;
        for (std::int64_t x = std::max<std::int64_t>(left, 0); x < std::min(left + placeWidth, width); ++x) {
          const unsigned char* p = src + (x - left) * 4;
          dst[x] = std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
        }
        continue;
      }
      for (std::int64_t x = std::max<std::int64_t>(left, 0); x < std::min(left + placeWidth, width); ++x) {
        const std::int64_t seenX = (x - left) * seenWidth / placeWidth;
        std::int64_t column = 0, row = 0;
        bufferPixelOf(c.transform, seenX, seenY, seenWidth, seenHeight, column, row);
        if (c.yInverted) row = c.height - 1 - row;
        const std::uint32_t p = readPixel(c.data + row * c.stride + column * bytes, bytes, false);
        dst[x] = std::uint32_t(red.value(p)) << 16 | std::uint32_t(green.value(p)) << 8 | blue.value(p);
      }
    }
  }
  return true;
}

bool desktopPicture(const std::vector<std::uint32_t>& pixels, const LayoutRect& bounds, int scale,
                    HeldPicture& picture) {
  if (scale < 1 || scale > INT_MAX / kScaleDenominator) {
    picture.clear();
    return false;
  }
  return desktopPicture(pixels, bounds, FractionalScale{scale * kScaleDenominator}, picture);
}

bool desktopPicture(const std::vector<std::uint32_t>& pixels, const LayoutRect& bounds, FractionalScale scale,
                    HeldPicture& picture) {
  picture.clear();
  const std::int64_t width = scaledLength(bounds.width, scale);
  const std::int64_t height = scaledLength(bounds.height, scale);
  if (width <= 0 || height <= 0 || std::uint64_t(width * height) != pixels.size()) return false;
  ScreenPixels in;
  in.width = std::int32_t(width);
  in.height = std::int32_t(height);
  in.bytesPerLine = width * 4;
  in.bitsPerPixel = 32;
  // The integers as this machine stores them.
  const std::uint32_t probe = 1;
  in.mostSignificantByteFirst = *reinterpret_cast<const unsigned char*>(&probe) == 0;
  in.redMask = 0xff0000;
  in.greenMask = 0xff00;
  in.blueMask = 0xff;
  in.data = reinterpret_cast<const unsigned char*>(pixels.data());
  in.size = pixels.size() * sizeof pixels[0];
  return convertScreenPixels(in, picture);
}

Viewport outputViewport(const LayoutRect& bounds, const LayoutRect& output, FractionalScale scale) {
  // The same rounded edges as the picture's places, so each surface starts at its output's.
  Viewport view;
  const std::int64_t pictureHeight = scaledLength(bounds.height, scale);
  view.left = int(-scaledLength(std::int64_t(output.x) - bounds.x, scale));
  view.bottom = int(-(pictureHeight - scaledLength(std::int64_t(output.y) + output.height - bounds.y, scale)));
  view.width = int(scaledLength(bounds.width, scale));
  view.height = int(pictureHeight);
  return view;
}

Viewport outputViewport(const LayoutRect& bounds, const LayoutRect& output, int scale) {
  Viewport view;
  view.left = -(output.x - bounds.x) * scale;
  view.bottom = -((bounds.y + bounds.height) - (output.y + output.height)) * scale;
  view.width = bounds.width * scale;
  view.height = bounds.height * scale;
  return view;
}
