#include "placement.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "frame_loop.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

int integerOr(const std::string& text, int fallback) {
  int value = 0;
  return settingsInteger(text, value) ? value : fallback;
}

}  // namespace

bool settingsInteger(const std::string& text, int& value) {
  std::size_t i = 0, end = text.size();
  while (i < end && isBlank(text[i])) ++i;
  while (end > i && isBlank(text[end - 1])) --end;
  bool negative = false;
  if (i < end && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  if (i == end) return false;
  std::int64_t magnitude = 0;
  for (; i < end; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    magnitude = std::min<std::int64_t>(magnitude * 10 + (text[i] - '0'), std::int64_t(INT_MAX) + 1);
  }
  const std::int64_t signedValue = negative ? -magnitude : magnitude;
  value = int(std::clamp<std::int64_t>(signedValue, INT_MIN, INT_MAX));
  return true;
}

WindowRect windowPlacement(const PlacementSettings& settings, const WindowRect& virtualScreen) {
  const std::int64_t left = integerOr(settings.left, 0), top = integerOr(settings.top, 0);
  const std::int64_t width = windowSizeOrDefault(integerOr(settings.width, 0), kDefaultWidth);
  const std::int64_t height = windowSizeOrDefault(integerOr(settings.height, 0), kDefaultHeight);
  if (virtualScreen.width < 1 || virtualScreen.height < 1) {
    return {int(left), int(top), int(width), int(height)};
  }
  // In 64 bits: a saturated size plus an origin must not wrap.
  const std::int64_t x0 = std::max<std::int64_t>(left, virtualScreen.left);
  const std::int64_t y0 = std::max<std::int64_t>(top, virtualScreen.top);
  const std::int64_t x1 = std::min<std::int64_t>(left + width, std::int64_t(virtualScreen.left) + virtualScreen.width);
  const std::int64_t y1 = std::min<std::int64_t>(top + height, std::int64_t(virtualScreen.top) + virtualScreen.height);
  if (x1 <= x0 || y1 <= y0) return virtualScreen;
  return {int(x0), int(y0), int(x1 - x0), int(y1 - y0)};
}

WindowRect pictureViewport(const WindowRect& picture, const WindowRect& window) {
  WindowRect view;
  view.left = picture.left - window.left;
  view.top = (window.top + window.height) - (picture.top + picture.height);  // the bottom, in GL's terms
  view.width = picture.width;
  view.height = picture.height;
  return view;
}
