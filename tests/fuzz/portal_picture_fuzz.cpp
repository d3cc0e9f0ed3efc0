// The screenshot portal's picture under fuzzing: PNG bytes decoded, cut into the outputs of a
// layout and put together again. The layout comes from the input's first bytes (a count, then
// each output's place), the PNG from the rest. A damaged or lying PNG must be refused without a
// read past it; a decoded one must cut into copies that lie inside it, and, laid out as one
// output of its own size, must come back pixel for pixel.
#include <cstring>

#include "desktop_picture.h"
#include "fuzz_support.h"
#include "portal_picture.h"
#include "screen_picture.h"

namespace {

const char kTarget[] = "portal_picture";
// Enough for any picture a seed grows into, and within the fuzzer's memory.
constexpr std::uint64_t kMostBytes = 16u << 20;

void checkCaptures(const PortalPicture& picture, const std::vector<LayoutRect>& places,
                   const std::vector<OutputCapture>& captures) {
  require(captures.size() == places.size(), kTarget, "one copy for each output");
  const unsigned char* begin = picture.pixels.data();
  const unsigned char* end = begin + picture.pixels.size();
  for (const OutputCapture& c : captures) {
    if (!c.data) continue;
    require(c.data >= begin && c.data < end && c.size == std::size_t(end - c.data), kTarget,
            "a copy starts inside the picture and knows the bytes after it");
    require(rowsFit(c.width, c.height, c.stride, 3, c.size), kTarget, "a copy's rows lie inside the picture");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  InputReader in(data, size);
  std::vector<LayoutRect> places(in.u8() % 4);
  for (LayoutRect& r : places) {
    r.x = std::int8_t(in.u8()) * 8;
    r.y = std::int8_t(in.u8()) * 8;
    r.width = in.u8();
    r.height = in.u8();
  }
  const std::vector<std::uint8_t> png = in.rest();
  PortalPicture picture;
  if (!decodePortalPng(png.data(), png.size(), picture, kMostBytes)) {
    require(picture.pixels.empty() && picture.width == 0, kTarget, "a refused PNG leaves no picture");
    return 0;
  }
  require(picture.width > 0 && picture.height > 0 &&
              picture.pixels.size() == std::size_t(picture.width) * std::size_t(picture.height) * 3,
          kTarget, "a decoded picture holds its pixels, three bytes each");

  std::vector<OutputCapture> captures;
  if (cutPortalPicture(picture, places, captures)) {
    checkCaptures(picture, places, captures);
    const LayoutRect bounds = layoutBounds(places);
    std::vector<std::uint32_t> pixels;
    if (std::int64_t(bounds.width) * bounds.height <= (1 << 18)) {
      require(composeDesktop(captures, bounds, 1, pixels), kTarget, "a small desktop is composed");
    }
  } else {
    require(captures.empty(), kTarget, "a picture not cut gives no copies");
  }

  // The picture as the whole of a layout of its own size: the same pixels back.
  if (std::int64_t(picture.width) * picture.height > (1 << 18)) return 0;
  const std::vector<LayoutRect> own = {{0, 0, picture.width, picture.height}};
  require(cutPortalPicture(picture, own, captures), kTarget, "a picture of its own layout is cut");
  checkCaptures(picture, own, captures);
  std::vector<std::uint32_t> pixels;
  require(composeDesktop(captures, own[0], 1, pixels), kTarget, "its desktop is composed");
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    const unsigned char* p = &picture.pixels[i * 3];
    const std::uint32_t expected = std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
    require(pixels[i] == expected, kTarget, "a picture of its own layout comes back unchanged");
  }
  return 0;
}
