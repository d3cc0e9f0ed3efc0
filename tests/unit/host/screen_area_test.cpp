// The area a run covers, from the virtual screen's metrics.
#include <gtest/gtest.h>

#include "screen_area.h"

namespace {

const ScreenArea kPrimary = {0, 0, 1024, 768};

struct AreaRow {
  const char* layout;
  ScreenArea virtualScreen;
  ScreenArea expected;
};

class RunArea : public ::testing::TestWithParam<AreaRow> {};

TEST_P(RunArea, FromTheVirtualScreen) {
  const AreaRow& row = GetParam();
  EXPECT_EQ(runScreenArea(row.virtualScreen, kPrimary), row.expected) << row.layout;
}

INSTANTIATE_TEST_SUITE_P(Layouts, RunArea, ::testing::Values(
    AreaRow{"one monitor", {0, 0, 1024, 768}, {0, 0, 1024, 768}},
    AreaRow{"second monitor on the left", {-800, 0, 1824, 768}, {-800, 0, 1824, 768}},
    AreaRow{"second monitor above and left", {-1920, -1080, 2944, 1848}, {-1920, -1080, 2944, 1848}},
    AreaRow{"second monitor on the right", {0, 0, 2944, 1080}, {0, 0, 2944, 1080}},
    // A primary right of and below the others' corner only by its own offset: positive origin.
    AreaRow{"origin right of the primary's corner", {200, 100, 1024, 768}, {200, 100, 1024, 768}},
    AreaRow{"two 4K monitors", {0, 0, 7680, 2160}, {0, 0, 7680, 2160}},
    // What the system reports without a virtual screen: no size at all.
    AreaRow{"no virtual screen", {0, 0, 0, 0}, kPrimary},
    AreaRow{"no virtual height", {-800, 0, 1824, 0}, kPrimary},
    // The settings file holds 16-bit numbers: a larger value is kept at the limit, not wrapped.
    AreaRow{"beyond 16 bits", {-40000, 0, 50000, 768}, {-32768, 0, 32767, 768}}));

}  // namespace
