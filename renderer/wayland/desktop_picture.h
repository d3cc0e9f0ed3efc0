// The outputs' captures put together into the one picture the scene breaks, and where each
// output's surface shows its part of it. No Wayland call here: the rules are tested alone.
#pragma once

#include <cstdint>
#include <vector>

#include "fractional_scale.h"
#include "frame_driver.h"
#include "screen_picture.h"

// A rectangle of the compositor's layout in logical pixels, y growing downwards.
struct LayoutRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// wl_shm format codes (DRM fourcc, except the first two, which wl_shm numbers 0 and 1).
namespace shmformat {
constexpr std::uint32_t fourcc(char a, char b, char c, char d) {
  return std::uint32_t(std::uint8_t(a)) | std::uint32_t(std::uint8_t(b)) << 8 | std::uint32_t(std::uint8_t(c)) << 16 |
         std::uint32_t(std::uint8_t(d)) << 24;
}
constexpr std::uint32_t kArgb8888 = 0;
constexpr std::uint32_t kXrgb8888 = 1;
constexpr std::uint32_t kAbgr8888 = fourcc('A', 'B', '2', '4');
constexpr std::uint32_t kXbgr8888 = fourcc('X', 'B', '2', '4');
constexpr std::uint32_t kRgb888 = fourcc('R', 'G', '2', '4');
constexpr std::uint32_t kBgr888 = fourcc('B', 'G', '2', '4');
constexpr std::uint32_t kRgb565 = fourcc('R', 'G', '1', '6');
constexpr std::uint32_t kXrgb2101010 = fourcc('X', 'R', '3', '0');
constexpr std::uint32_t kXbgr2101010 = fourcc('X', 'B', '3', '0');
}  // namespace shmformat

// Pixel size and channel masks of a wl_shm format (all little-endian); false for one we
// cannot read, whose capture is then left out.
bool describeShmFormat(std::uint32_t format, int& bitsPerPixel, std::uint32_t& redMask, std::uint32_t& greenMask,
                       std::uint32_t& blueMask);

// One output's pixels as the compositor copied them, and where the output lies.
struct OutputCapture {
  LayoutRect logical;
  std::int32_t width = 0;  // pixels of the copy (the output's mode, so scale times logical)
  std::int32_t height = 0;
  std::int64_t stride = 0;
  std::uint32_t format = shmformat::kXrgb8888;
  bool yInverted = false;  // rows bottom first
  // The output's wl_output transform (0 normal, 1-3 turned 90, 180, 270 degrees counter-
  // clockwise, 4-7 the same after a mirror): the copy is in the output's buffer orientation,
  // turned from what the user sees.
  std::uint32_t transform = 0;
  const unsigned char* data = nullptr;
  std::size_t size = 0;  // bytes at `data`; a copy whose rows reach past them is left out
};

// True for the transforms that swap an output's width and height (90 and 270, mirrored or not).
bool transformSwapsSides(std::uint32_t transform);

// The pixel of a copy in buffer orientation (bufferX, bufferY) that shows the pixel (x, y) of
// what the user sees, a `width` x `height` image in logical orientation, on an output with
// `transform`.
void bufferPixelOf(std::uint32_t transform, std::int64_t x, std::int64_t y, std::int64_t width, std::int64_t height,
                   std::int64_t& bufferX, std::int64_t& bufferY);

// The smallest rectangle around every output; of no size when there is none, or when no
// rectangle of int sides holds them all.
LayoutRect layoutBounds(const std::vector<LayoutRect>& outputs);

// The desktop over `bounds`, `scale` picture pixels per logical pixel: each capture resized
// to its place (nearest pixel), black where no output was copied. Pixels 0x00RRGGBB, rows top
// first; false, leaving `pixels` empty, for a size beyond the picture limit or no memory.
bool composeDesktop(const std::vector<OutputCapture>& captures, const LayoutRect& bounds, int scale,
                    std::vector<std::uint32_t>& pixels);
// The same at a fractional scale: the picture is the layout's size at that scale, rounded, and
// each output's place runs from its rounded left edge to its rounded right edge, so outputs
// side by side meet without a gap.
bool composeDesktop(const std::vector<OutputCapture>& captures, const LayoutRect& bounds, FractionalScale scale,
                    std::vector<std::uint32_t>& pixels);

// `composeDesktop`'s pixels as the picture the scene takes.
bool desktopPicture(const std::vector<std::uint32_t>& pixels, const LayoutRect& bounds, int scale,
                    HeldPicture& picture);
bool desktopPicture(const std::vector<std::uint32_t>& pixels, const LayoutRect& bounds, FractionalScale scale,
                    HeldPicture& picture);


// The viewport, in GL's window coordinates of the surface over `output` drawn at `scale`
// buffer pixels per logical pixel, of the whole picture's view over `bounds`: the surface
// then shows exactly its output's part of the picture.
Viewport outputViewport(const LayoutRect& bounds, const LayoutRect& output, int scale);
// The same for a surface drawn at a fractional scale (its buffer scaledLength of its size).
Viewport outputViewport(const LayoutRect& bounds, const LayoutRect& output, FractionalScale scale);
