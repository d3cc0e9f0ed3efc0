// Window rectangles and what the last frames drawn into one surface covered, so that a frame is
// cleared, drawn and shown only where it can differ from what its buffer already holds.
#pragma once

// Window coordinates (GL's lower left origin), half-open: [left, right) x [bottom, top).
struct ScreenRect {
  int left = 0;
  int bottom = 0;
  int right = 0;
  int top = 0;
  bool empty() const { return right <= left || top <= bottom; }
  int width() const { return empty() ? 0 : right - left; }
  int height() const { return empty() ? 0 : top - bottom; }
  bool operator==(const ScreenRect& o) const {
    return left == o.left && bottom == o.bottom && right == o.right && top == o.top;
  }
};

// Larger than any window: a frame drawn and shown whole.
constexpr ScreenRect kEverywhere{-(1 << 24), -(1 << 24), 1 << 24, 1 << 24};

// The smallest rectangle holding both; an empty one adds nothing.
ScreenRect unite(const ScreenRect& a, const ScreenRect& b);
ScreenRect intersect(const ScreenRect& a, const ScreenRect& b);

// A swap may leave the back buffer holding an older frame (its age: 1 is the frame shown last,
// 2 the one before, 0 unknown). Outside the pieces of that frame and of the new one both frames
// are the cleared background, so only the union of the two must be drawn again.
class DamageTracker {
 public:
  static constexpr int kFramesKept = 4;

  // Where a new frame whose pieces cover `bounds` must be cleared and drawn, over a back buffer
  // holding the frame shown `age` frames ago: everywhere when that frame is not known.
  ScreenRect drawRegion(const ScreenRect& bounds, int age) const;
  // Where the new frame differs from the one on the screen.
  ScreenRect changed(const ScreenRect& bounds) const { return drawRegion(bounds, 1); }
  // The new frame, whose pieces cover `bounds`, is shown.
  void shown(const ScreenRect& bounds);
  // The buffers hold nothing known any more (a new size or place, pixels lost).
  void forget() { known_ = 0; }

 private:
  ScreenRect past_[kFramesKept];  // past_[0]: the frame shown last
  int known_ = 0;
};
