#include "capture_choice.h"

#include <cstdint>

#include "desktop_picture.h"

CaptureSource chooseCaptureSource(bool imageCopyManager, bool outputSourceManager, bool screencopyManager) {
  // A session needs both: the manager to copy, and a source made from the wl_output.
  if (imageCopyManager && outputSourceManager) return CaptureSource::imageCopy;
  if (screencopyManager) return CaptureSource::screencopy;
  return CaptureSource::none;
}

bool shapeBuffer(const BufferConstraints& constraints, BufferShape& shape) {
  if (constraints.width == 0 || constraints.height == 0) return false;
  bool found = false;
  int bits = 0;
  for (const std::uint32_t format : constraints.shmFormats) {
    int formatBits = 0;
    std::uint32_t r, g, b;
    if (!describeShmFormat(format, formatBits, r, g, b)) continue;
    const bool preferred = format == shmformat::kXrgb8888 || format == shmformat::kArgb8888;
    if (!found || preferred) {
      shape.format = format;
      bits = formatBits;
      found = true;
    }
    if (preferred) break;
  }
  if (!found) return false;
  const std::uint64_t stride = std::uint64_t(constraints.width) * std::uint64_t(bits / 8);
  // Both factors below 2^32: their product cannot wrap.
  if (stride > std::uint64_t(INT32_MAX) || stride * constraints.height > std::uint64_t(INT32_MAX)) return false;
  shape.width = constraints.width;
  shape.height = constraints.height;
  shape.stride = std::uint32_t(stride);
  return true;
}
