#include "piece.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "gl_api.h"

namespace {

constexpr double kMaxSpinSpeed = 330.0;
constexpr double kPush = 0.05;

// Turns the angle back into [0, 360); a huge angle (a frame after a very long stall)
// is folded first so the subtraction loop cannot stall on float resolution.
float wrapAngle(float angle) {
  if (!(std::fabs(angle) < 360.0f * 1024.0f) && std::isfinite(angle)) {
    angle = float(std::fmod(double(angle), 360.0));
  }
  while (angle >= 360.0f) angle = float(double(angle) - 360.0);
  while (angle < 0.0f) angle = float(double(angle) + 360.0);
  return angle;
}

void pushAndRecenter(Piece& piece) {
  const Vec4 m = piece.centroid();
  Vec4 n = m;
  n.normalise();
  piece.velocity.add(n.scaled(kPush));
  piece.recenter();
}

}  // namespace

void Piece::construct() {
  // The member initialisers are the one statement of the constructed state.
  Piece fresh;
  std::copy(std::begin(corners), std::end(corners), fresh.corners);
  *this = fresh;
}

Vec4 Piece::centroid() const {
  Vec4 sum = corners[0];
  sum.add(corners[1]);
  sum.add(corners[2]);
  sum.add(corners[3]);
  return Vec4(sum.x * 0.25, sum.y * 0.25, sum.z * 0.25, corners[0].w);
}

void Piece::recenter() {
  const Vec4 m = centroid();
  position.add(m);
  for (Vec4& c : corners) c.subtract(m);
}

double Piece::spinMass() const {
  const Vec4 &c0 = corners[0], &c1 = corners[1], &c2 = corners[2], &c3 = corners[3];
  const double t3 = (double(c2.y) - c3.y) * (double(c0.y) - c3.y) - (double(c0.x) - c3.x) * (double(c2.x) - c3.x);
  const double t1 = (double(c2.y) - c1.y) * (double(c0.y) - c1.y) - (double(c0.x) - c1.x) * (double(c2.x) - c1.x);
  return 5.0 * 0.5 * (std::fabs(t3) + std::fabs(t1));
}

Vec4 Piece::angularMomentum() const {
  const double mass = spinMass();
  return Vec4(spinSpeed * (mass * spinAxis.x), spinSpeed * (mass * spinAxis.y),
              spinSpeed * (mass * spinAxis.z), spinAxis.w);
}

void Piece::applySpin(const Vec4& impulse) {
  const Vec4 h = angularMomentum();
  spinAxis = h;
  spinAxis.add(impulse);
  const double mass = spinMass();
  const double s = mass == 0.0 ? kMaxSpinSpeed : spinAxis.length() / mass;
  spinSpeed = float(s > kMaxSpinSpeed ? kMaxSpinSpeed : s);
  spinAxis.normalise();
}

void Piece::update(float dt) {
  angle = wrapAngle(float(double(angle) + double(dt) * spinSpeed));
  position.x = float(double(position.x) + float(double(dt) * velocity.x));
  position.y = float(double(position.y) + float(double(dt) * velocity.y));
  position.z = float(double(position.z) + float(double(dt) * velocity.z));
}

void Piece::draw() const {
  glPushMatrix();
  glTranslatef(position.x, position.y, position.z);
  glRotatef(angle, spinAxis.x, spinAxis.y, spinAxis.z);
  glBegin(GL_QUADS);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  for (int i = 0; i < 3; ++i) {
    glTexCoord2d(texCoords[i].s, texCoords[i].t);
    glVertex4f(corners[i].x, corners[i].y, corners[i].z, corners[i].w);
  }
  // The darker last corner stays current into the next piece; white is set again above.
  glColor4d(0.8, 0.8, 0.8, 1.0);
  glTexCoord2d(texCoords[3].s, texCoords[3].t);
  glVertex4f(corners[3].x, corners[3].y, corners[3].z, corners[3].w);
  glEnd();
  glPopMatrix();
}

void Piece::split(Piece& target, Random& rng) {
  target = *this;

  const Vec4 c0 = corners[0], c1 = corners[1], c2 = corners[2], c3 = corners[3];
  const TexCoord t0 = texCoords[0], t1 = texCoords[1], t2 = texCoords[2], t3 = texCoords[3];

  const double a = c1.difference(c0).length();
  const double e = c2.difference(c1).length();
  const double b = c2.difference(c3).length();
  const double d = c3.difference(c0).length();
  const double perimeter = (a + b) + (d + e);
  const double sideShare = (d + e) / perimeter;

  const double r1 = rng.draw();
  const double r2 = rng.draw();

  Vec4 start, end;
  if (sideShare > r1) {
    // Across the sides c0-c3 and c1-c2; the start fraction is the draw over the perimeter.
    const double f = r1 / perimeter;
    start = Vec4::blend(c0, c3, f);
    end = Vec4::blend(c2, c1, r2);
    const TexCoord ts = TexCoord::blend(t0, t3, f);
    const TexCoord te = TexCoord::blend(t2, t1, r2);
    corners[2] = end;
    corners[3] = start;
    texCoords[2] = te;
    texCoords[3] = ts;
    target.corners[0] = start;
    target.corners[1] = end;
    target.texCoords[0] = ts;
    target.texCoords[1] = te;
  } else {
    // Across the sides c0-c1 and c2-c3.
    start = Vec4::blend(c0, c1, r1);
    end = Vec4::blend(c2, c3, r2);
    const TexCoord ts = TexCoord::blend(t0, t1, r1);
    const TexCoord te = TexCoord::blend(t2, t3, r2);
    corners[1] = start;
    corners[2] = end;
    texCoords[1] = ts;
    texCoords[2] = te;
    target.corners[0] = start;
    target.corners[3] = end;
    target.texCoords[0] = ts;
    target.texCoords[3] = te;
  }

  pushAndRecenter(*this);
  pushAndRecenter(target);

  const Vec4 cut = end.difference(start);
  applySpin(cut);
  target.applySpin(cut.negated());
}
