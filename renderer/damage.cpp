#include "damage.h"

#include <algorithm>

ScreenRect unite(const ScreenRect& a, const ScreenRect& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  return {std::min(a.left, b.left), std::min(a.bottom, b.bottom), std::max(a.right, b.right),
          std::max(a.top, b.top)};
}

ScreenRect intersect(const ScreenRect& a, const ScreenRect& b) {
  const ScreenRect r{std::max(a.left, b.left), std::max(a.bottom, b.bottom), std::min(a.right, b.right),
                     std::min(a.top, b.top)};
  return r.empty() ? ScreenRect{} : r;
}

ScreenRect DamageTracker::drawRegion(const ScreenRect& bounds, int age) const {
  if (age < 1 || age > known_) return kEverywhere;
  return unite(bounds, past_[age - 1]);
}

void DamageTracker::shown(const ScreenRect& bounds) {
  for (int i = kFramesKept - 1; i > 0; --i) past_[i] = past_[i - 1];
  past_[0] = bounds;
  if (known_ < kFramesKept) ++known_;
}
