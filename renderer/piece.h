// One shard of the picture: a textured quadrilateral with its own motion and spin.
#pragma once

#include "random.h"
#include "vec4.h"

class Piece {
 public:
  Vec4 corners[4];
  float angle = 0;
  float spinSpeed = 0;
  Vec4 spinAxis{0, 0, 1, 1};
  Vec4 position{0, 0, 0, 1};
  Vec4 velocity{0, 0, 0, 1};
  TexCoord texCoords[4] = {{1, 1}, {1, 0}, {0, 0}, {0, 1}};

  // Construction leaves the corners alone: a reset writes them right after.
  Piece() {}

  // Puts the constructed state back, corners untouched.
  void construct();

  Vec4 centroid() const;
  void recenter();
  double spinMass() const;
  Vec4 angularMomentum() const;
  void applySpin(const Vec4& impulse);
  void update(float dt);
  void draw() const;

  // Cuts this piece in two; `target` (a free slot) receives the other part.
  void split(Piece& target, Random& rng);
};
