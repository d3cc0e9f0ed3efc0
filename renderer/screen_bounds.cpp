#include "screen_bounds.h"

#include <cmath>

namespace {
constexpr double kPi = 3.14159265358979323846;
// GL computes in single precision and rasterises pixel centres: two pixels cover both.
constexpr int kRoundingMargin = 2;
}  // namespace

bool placedCorners(const Piece& piece, double placed[4][3]) {
  double ax = piece.spinAxis.x, ay = piece.spinAxis.y, az = piece.spinAxis.z;
  const double axisLength = std::sqrt(ax * ax + ay * ay + az * az);
  if (!(axisLength > 1e-3)) return false;
  ax /= axisLength, ay /= axisLength, az /= axisLength;
  const double radians = double(piece.angle) * kPi / 180.0;
  const double c = std::cos(radians), s = std::sin(radians), k = 1.0 - c;
  for (int i = 0; i < 4; ++i) {
    const Vec4& v = piece.corners[i];
    if (!(v.w > 0.999f && v.w < 1.001f)) return false;
    const double x = v.x, y = v.y, z = v.z;
    double* p = placed[i];
    p[0] = (k * ax * ax + c) * x + (k * ax * ay - s * az) * y + (k * ax * az + s * ay) * z + piece.position.x;
    p[1] = (k * ax * ay + s * az) * x + (k * ay * ay + c) * y + (k * ay * az - s * ax) * z + piece.position.y;
    p[2] = (k * ax * az - s * ay) * x + (k * ay * az + s * ax) * y + (k * az * az + c) * z + piece.position.z;
    if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) return false;
  }
  return true;
}

ScreenRect pieceOnScreen(const Piece& piece, const ScreenRect& viewport) {
  static const double focal = 1.0 / std::tan(kHalfFieldDegrees * kPi / 180.0);
  double placed[4][3];
  if (!placedCorners(piece, placed)) return viewport;
  double minX = 0, maxX = 0, minY = 0, maxY = 0;
  int beyondFar = 0;
  for (int i = 0; i < 4; ++i) {
    const double depth = kEyeDistance - placed[i][2];
    // A polygon crossing the near plane is clipped into shapes its corners do not bound.
    if (!(depth >= kNear)) return viewport;
    beyondFar += depth > kFar;
    // Normalised device coordinates, then the viewport's transform.
    const double x = viewport.left + (focal * placed[i][0] / depth + 1.0) * 0.5 * viewport.width();
    const double y = viewport.bottom + (focal * placed[i][1] / depth + 1.0) * 0.5 * viewport.height();
    if (i == 0 || x < minX) minX = x;
    if (i == 0 || x > maxX) maxX = x;
    if (i == 0 || y < minY) minY = y;
    if (i == 0 || y > maxY) maxY = y;
  }
  if (beyondFar == 4) return {};
  // Far outside: keep the integers in range before they are cut to the viewport.
  const double limit = 1 << 24;
  if (maxX < -limit || minX > limit || maxY < -limit || minY > limit) return {};
  auto clamp = [limit](double v) { return v < -limit ? -limit : (v > limit ? limit : v); };
  const ScreenRect grown{int(std::floor(clamp(minX))) - kRoundingMargin,
                         int(std::floor(clamp(minY))) - kRoundingMargin,
                         int(std::ceil(clamp(maxX))) + kRoundingMargin, int(std::ceil(clamp(maxY))) + kRoundingMargin};
  return intersect(grown, viewport);
}
