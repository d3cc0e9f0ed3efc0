// What a frame must draw again over a back buffer of a given age, and what it changed.
#include <gtest/gtest.h>

#include "damage.h"

namespace {

TEST(DamageTracker, DrawsTheUnionWithTheFrameTheBufferHoldsAndEverywhereWhenUnknown) {
  DamageTracker tracker;
  const ScreenRect a{0, 0, 10, 10}, b{20, 20, 30, 40}, now{5, 50, 8, 60};
  EXPECT_TRUE(tracker.drawRegion(now, 1) == kEverywhere) << "no frame shown yet";
  tracker.shown(a);
  tracker.shown(b);
  EXPECT_TRUE(tracker.drawRegion(now, 1) == (ScreenRect{5, 20, 30, 60}));
  EXPECT_TRUE(tracker.changed(now) == tracker.drawRegion(now, 1));
  EXPECT_TRUE(tracker.drawRegion(now, 2) == (ScreenRect{0, 0, 10, 60}));
  EXPECT_TRUE(tracker.drawRegion(now, 3) == kEverywhere) << "older than any frame shown";
  EXPECT_TRUE(tracker.drawRegion(now, 0) == kEverywhere) << "age unknown";
  // Nothing on the screen then or now: nothing to draw.
  tracker.shown(ScreenRect{});
  EXPECT_TRUE(tracker.drawRegion(ScreenRect{}, 1).empty());
  EXPECT_TRUE(tracker.drawRegion(ScreenRect{}, 2) == b);
  for (int i = 0; i < DamageTracker::kFramesKept; ++i) tracker.shown(a);
  EXPECT_TRUE(tracker.drawRegion(now, DamageTracker::kFramesKept) == unite(a, now));
  EXPECT_TRUE(tracker.drawRegion(now, DamageTracker::kFramesKept + 1) == kEverywhere);
  tracker.forget();
  EXPECT_TRUE(tracker.drawRegion(now, 1) == kEverywhere);
}

TEST(ScreenRect, UnionAndIntersectionLeaveEmptyOnesOut) {
  const ScreenRect a{0, 0, 10, 10}, none{5, 5, 5, 9};
  EXPECT_TRUE(unite(a, none) == a);
  EXPECT_TRUE(unite(none, a) == a);
  EXPECT_TRUE(intersect(a, ScreenRect{10, 0, 20, 10}).empty()) << "touching edges share no pixel";
  EXPECT_TRUE(intersect(a, ScreenRect{-5, 5, 3, 30}) == (ScreenRect{0, 5, 3, 10}));
  EXPECT_EQ(ScreenRect{}.width(), 0);
}

}  // namespace
