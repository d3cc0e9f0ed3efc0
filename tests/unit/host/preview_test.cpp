// The preview fills its parent and shows the picture unscaled from the top-left corner, as a
// proper child window.
#include <gtest/gtest.h>

#include "param_names.h"

#include "preview.h"

struct PlacementCase {
  int left, top, right, bottom;
  int width, height, shownWidth, shownHeight;
};

class PreviewPlacementTest : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(PreviewPlacementTest, FromParentRectangle) {
  const PlacementCase c = GetParam();
  const PreviewPlacement p = placePreview(c.left, c.top, c.right, c.bottom);
  EXPECT_EQ(p.width, c.width);
  EXPECT_EQ(p.height, c.height);
  EXPECT_EQ(p.shownWidth, c.shownWidth);
  EXPECT_EQ(p.shownHeight, c.shownHeight);
}

INSTANTIATE_TEST_SUITE_P(
    Parents, PreviewPlacementTest,
    ::testing::Values(
        PlacementCase{0, 0, 152, 112, 152, 112, 152, 112},        // edge to edge
        PlacementCase{300, 300, 500, 450, 200, 150, 152, 112},    // black bands right and bottom; position unused
        PlacementCase{-50, 10, 50, 90, 100, 80, 100, 80},         // only the top-left part shows
        PlacementCase{0, 0, 0, 0, 0, 0, 0, 0},                    // no window: empty rectangle
        PlacementCase{10, 10, 5, 5, 0, 0, 0, 0}),
    [](const ::testing::TestParamInfo<PlacementCase>& info) { return testnames::fromText("parent " + std::to_string(info.param.left) + " " + std::to_string(info.param.top) + " " + std::to_string(info.param.right) + " " + std::to_string(info.param.bottom)); });                // inverted rectangle

TEST(PreviewStyle, BecomesAChildAndStopsBeingAPopup) {
  const std::uint32_t kVisible = 0x10000000, kClipSiblings = 0x04000000;
  EXPECT_EQ(previewChildStyle(kStylePopup), kStyleChild);
  EXPECT_EQ(previewChildStyle(kStylePopup | kVisible | kClipSiblings), kStyleChild | kVisible | kClipSiblings);
  EXPECT_EQ(previewChildStyle(kStyleChild), kStyleChild);
  EXPECT_EQ(previewChildStyle(0), kStyleChild);
}
