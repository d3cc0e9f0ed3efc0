#include "preview.h"

#include <algorithm>

PreviewPlacement placePreview(int left, int top, int right, int bottom) {
  PreviewPlacement p;
  p.width = std::max(0, right - left);
  p.height = std::max(0, bottom - top);
  p.shownWidth = std::min(p.width, kPreviewPictureWidth);
  p.shownHeight = std::min(p.height, kPreviewPictureHeight);
  return p;
}

std::uint32_t previewChildStyle(std::uint32_t style) { return (style | kStyleChild) & ~kStylePopup; }
