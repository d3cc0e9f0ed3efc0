// The Wayland picture under fuzzing: output transforms, the wl_shm formats, the layout of the
// outputs and their copies put together into one desktop. Sizes, strides, formats, positions
// and transforms come from the input's first bytes, each copy's pixels from the rest. Copies
// that lie about their buffers must be left out without a read past them; honest ones must
// come out where the transform says, and the desktop must turn into the picture exactly.
#include <algorithm>
#include <climits>

#include "bitmap.h"
#include "desktop_picture.h"
#include "fuzz_support.h"

namespace {

const char kTarget[] = "desktop_picture";

const std::uint32_t kFormats[] = {
    shmformat::kArgb8888,    shmformat::kXrgb8888, shmformat::kAbgr8888,     shmformat::kXbgr8888,
    shmformat::kRgb888,      shmformat::kBgr888,   shmformat::kRgb565,       shmformat::kXrgb2101010,
    shmformat::kXbgr2101010, 0x34325258u /* XR24 by its fourcc: not a wl_shm number */,
};

// Every pixel of a w x h view lands on its own pixel of the buffer, inside it.
void checkTransform(std::uint32_t transform, std::int64_t w, std::int64_t h) {
  const bool swapped = transformSwapsSides(transform);
  require(swapped == (transform % 2 == 1), kTarget, "quarter turns are the odd transforms");
  const std::int64_t bufferW = swapped ? h : w, bufferH = swapped ? w : h;
  std::vector<bool> hit(std::size_t(w * h), false);
  for (std::int64_t y = 0; y < h; ++y)
    for (std::int64_t x = 0; x < w; ++x) {
      std::int64_t bx = -1, by = -1;
      bufferPixelOf(transform, x, y, w, h, bx, by);
      require(bx >= 0 && bx < bufferW && by >= 0 && by < bufferH, kTarget, "a pixel outside the buffer");
      require(!hit[std::size_t(by * bufferW + bx)], kTarget, "two pixels on one buffer pixel");
      hit[std::size_t(by * bufferW + bx)] = true;
    }
}

// The smallest rectangle around every output of some size, counted in 64 bits.
void checkBounds(const std::vector<LayoutRect>& rects, const LayoutRect& bounds) {
  bool any = false;
  std::int64_t left = 0, top = 0, right = 0, bottom = 0;
  for (const LayoutRect& r : rects) {
    if (r.width <= 0 || r.height <= 0) continue;
    const std::int64_t rr = std::int64_t(r.x) + r.width, rb = std::int64_t(r.y) + r.height;
    left = any ? std::min<std::int64_t>(left, r.x) : r.x;
    top = any ? std::min<std::int64_t>(top, r.y) : r.y;
    right = any ? std::max(right, rr) : rr;
    bottom = any ? std::max(bottom, rb) : rb;
    any = true;
  }
  if (!any) {
    require(bounds.width <= 0 || bounds.height <= 0, kTarget, "bounds of no outputs have a size");
    return;
  }
  if (right - left > INT_MAX || bottom - top > INT_MAX) {
    // No rectangle of int sides holds them: no size, so that nothing is pictured from it.
    require(bounds.width <= 0 || bounds.height <= 0, kTarget, "bounds wrapped around");
    return;
  }
  require(bounds.x == left && bounds.y == top && bounds.width == right - left && bounds.height == bottom - top,
          kTarget, "bounds are not the smallest rectangle around the outputs");
}

struct Copy {
  OutputCapture capture;
  std::vector<std::uint8_t> bytes;
  bool honest = false;  // sizes and stride that the buffer holds, in a known format
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  InputReader in(data, size);
  const std::uint8_t flags = in.u8();
  checkTransform(in.u8(), 1 + in.u8() % 7, 1 + in.u8() % 7);

  const int scale = 1 + in.u8() % 3;
  const int count = in.u8() % 4;
  std::vector<Copy> copies(static_cast<std::size_t>(count));
  std::vector<LayoutRect> places;
  std::vector<std::uint8_t> payload = in.rest();
  InputReader layout(payload.data(), payload.size());
  std::size_t used = 0;
  for (Copy& c : copies) {
    OutputCapture& o = c.capture;
    const std::uint8_t how = layout.u8();
    if (how & 1) {
      o.logical = {std::int32_t(layout.u32()), std::int32_t(layout.u32()), std::int32_t(layout.u32()),
                   std::int32_t(layout.u32())};
    } else {
      o.logical = {std::int8_t(layout.u8()) / 4, std::int8_t(layout.u8()) / 4, layout.u8() % 12, layout.u8() % 12};
    }
    o.format = how & 2 ? layout.u32() : kFormats[layout.u8() % (sizeof kFormats / sizeof kFormats[0])];
    o.transform = how & 4 ? layout.u32() : layout.u8() % 8;
    o.yInverted = how & 8;
    const bool swapped = transformSwapsSides(o.transform);
    // A copy at the output's mode (its logical size times a scale), or of any size at all.
    if (how & 16) {
      o.width = std::int32_t(layout.u32());
      o.height = std::int32_t(layout.u32());
    } else {
      const std::int64_t modeScale = 1 + layout.u8() % 2;
      const auto side = [&](int logical) { return std::int32_t(std::min<std::int64_t>(INT32_MAX, logical * modeScale)); };
      o.width = side(swapped ? o.logical.height : o.logical.width);
      o.height = side(swapped ? o.logical.width : o.logical.height);
    }
    int bits = 0;
    std::uint32_t r, g, b;
    const bool known = describeShmFormat(o.format, bits, r, g, b);
    const int pixelBytes = known ? bits / 8 : 4;
    o.stride = how & 32 ? std::int64_t(layout.u64()) : std::int64_t(o.width) * pixelBytes + layout.u8() % 8;
    // The pixels: what the sizes claim, or (lying) as many as the input has left.
    const unsigned __int128 claimed = o.width > 0 && o.height > 0 && o.stride > 0
                                          ? (unsigned __int128)(o.height - 1) * std::uint64_t(o.stride) +
                                                std::uint64_t(o.width) * pixelBytes
                                          : 0;
    std::size_t length = how & 64 ? layout.u16() : claimed <= 1 << 16 ? std::size_t(claimed) : 0;
    c.bytes.assign(length, 0);
    for (std::size_t i = 0; i < length; ++i) c.bytes[i] = payload.empty() ? 0 : payload[(used + i) % payload.size()];
    used += length;
    o.data = c.bytes.empty() ? nullptr : c.bytes.data();
    o.size = c.bytes.size();
    c.honest = known && o.data && o.width > 0 && o.height > 0 && o.stride >= std::int64_t(o.width) * pixelBytes &&
               claimed <= o.size;
    places.push_back(o.logical);
  }

  const LayoutRect bounds = layoutBounds(places);
  checkBounds(places, bounds);
  const LayoutRect area = flags & 1 ? bounds : LayoutRect{std::int8_t(flags) / 8, 0, 1 + flags % 16, 1 + flags / 16};
  const std::int64_t width = std::int64_t(area.width) * scale, height = std::int64_t(area.height) * scale;
  // Larger desktops take long to sweep and teach nothing more.
  if (width <= 0 || height <= 0 || width > 1 << 14 || height > 1 << 14 || width * height > 1 << 14) return 0;

  std::vector<OutputCapture> captures;
  for (const Copy& c : copies) captures.push_back(c.capture);
  std::vector<std::uint32_t> pixels;
  require(composeDesktop(captures, area, scale, pixels), kTarget, "a small desktop was refused");
  require(pixels.size() == std::size_t(width * height), kTarget, "desktop of another size");

  for (std::int64_t y = 0; y < height; ++y)
    for (std::int64_t x = 0; x < width; ++x) {
      const std::uint32_t p = pixels[std::size_t(y * width + x)];
      require(p >> 24 == 0, kTarget, "a pixel with bits above its colour");
      // Which copy shows here: the last one placed over it, if it could be read.
      const Copy* shown = nullptr;
      bool covered = false;
      for (const Copy& c : copies) {
        const LayoutRect& l = c.capture.logical;
        const std::int64_t left = (std::int64_t(l.x) - area.x) * scale, top = (std::int64_t(l.y) - area.y) * scale;
        if (l.width <= 0 || l.height <= 0 || x < left || y < top || x >= left + std::int64_t(l.width) * scale ||
            y >= top + std::int64_t(l.height) * scale)
          continue;
        covered = true;
        if (c.honest) shown = &c;
      }
      if (!covered) require(p == 0, kTarget, "colour where no output lies");
      if (!shown) continue;
      // A copy in XRGB8888 at the output's mode shows its buffer pixel itself.
      const OutputCapture& o = shown->capture;
      const LayoutRect& l = o.logical;
      const bool swapped = transformSwapsSides(o.transform);
      const std::int64_t seenW = swapped ? o.height : o.width, seenH = swapped ? o.width : o.height;
      if (o.format != shmformat::kXrgb8888 || seenW != std::int64_t(l.width) * scale ||
          seenH != std::int64_t(l.height) * scale)
        continue;
      std::int64_t bx = 0, by = 0;
      bufferPixelOf(o.transform, x - (std::int64_t(l.x) - area.x) * scale, y - (std::int64_t(l.y) - area.y) * scale,
                    seenW, seenH, bx, by);
      if (o.yInverted) by = o.height - 1 - by;
      const std::uint8_t* q = o.data + by * o.stride + bx * 4;
      require(p == (std::uint32_t(q[2]) << 16 | std::uint32_t(q[1]) << 8 | q[0]), kTarget,
              "a pixel not from its place in the copy");
    }

  HeldPicture picture;
  require(desktopPicture(pixels, area, scale, picture), kTarget, "the desktop did not become a picture");
  const PictureRows rows = picture.rows();
  require(rows.data && rows.width == width && rows.height == height, kTarget, "picture of another size");
  const std::uint64_t rowBytes = bitmapRowBytes(24, width);
  for (std::int64_t y = 0; y < height; ++y)
    for (std::int64_t x = 0; x < width; ++x) {
      const std::uint32_t p = pixels[std::size_t(y * width + width - 1 - x)];
      const unsigned char* s = rows.data + std::uint64_t(y) * rowBytes + std::uint64_t(x) * 3;
      require(s[0] == (p & 0xFF) && s[1] == (p >> 8 & 0xFF) && s[2] == (p >> 16 & 0xFF), kTarget,
              "the picture is not the desktop turned");
    }
  if (!pixels.empty()) {
    pixels.pop_back();
    require(!desktopPicture(pixels, area, scale, picture) && picture.empty(), kTarget,
            "pixels of another size became a picture");
  }
  return 0;
}
