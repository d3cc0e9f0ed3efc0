// Scene vectors and texture coordinates: single-precision storage, double-precision arithmetic.
#pragma once

#include <cmath>

struct Vec4 {
  float x = 0, y = 0, z = 0, w = 0;

  Vec4() = default;
  Vec4(double x_, double y_, double z_, double w_)
      : x(float(x_)), y(float(y_)), z(float(z_)), w(float(w_)) {}

  // Most operations act on x, y, z and carry w along unchanged.
  void add(const Vec4& b) {
    x = float(double(x) + b.x);
    y = float(double(y) + b.y);
    z = float(double(z) + b.z);
  }
  void subtract(const Vec4& b) {
    x = float(double(x) - b.x);
    y = float(double(y) - b.y);
    z = float(double(z) - b.z);
  }
  Vec4 difference(const Vec4& b) const { return Vec4(double(x) - b.x, double(y) - b.y, double(z) - b.z, w); }
  Vec4 scaled(double k) const { return Vec4(k * x, k * y, k * z, w); }
  Vec4 negated() const { return Vec4(-double(x), -double(y), -double(z), w); }
  double length() const { return std::sqrt(double(x) * x + double(y) * y + double(z) * z); }

  // Returns the length it found; vectors no longer than 1e-8 are left as they are.
  double normalise() {
    const double len = length();
    if (len > 1e-8) {
      const double inv = 1.0 / len;
      x = float(x * inv);
      y = float(y * inv);
      z = float(z * inv);
    }
    return len;
  }

  // (1 - f) * a + f * b on all four components.
  static Vec4 blend(const Vec4& a, const Vec4& b, double f) {
    const double g = 1.0 - f;
    return Vec4(g * a.x + f * b.x, g * a.y + f * b.y, g * a.z + f * b.z, g * a.w + f * b.w);
  }
};

struct TexCoord {
  double s = 0, t = 0;

  static TexCoord blend(const TexCoord& a, const TexCoord& b, double f) {
    return TexCoord{(1.0 - f) * a.s + f * b.s, (1.0 - f) * a.t + f * b.t};
  }
};
