// Where a piece lands in the window, by the very transforms setupView and Piece::draw give the
// GL (the camera 6 units back, a 19-degree square perspective, the piece's move and turn),
// computed on our side so that a frame can leave out what cannot change.
#pragma once

#include "damage.h"
#include "piece.h"

// The view volume of setupView: the eye 6 units in front of the picture, the field's half
// angle (degrees), the near and far planes.
constexpr double kEyeDistance = 6.0, kHalfFieldDegrees = 9.5, kNear = 1.0, kFar = 20.0;

// The piece's corners where GL places them before the camera: turned by glRotatef about the
// spin axis, then moved to the position. False where that cannot be vouched for (no axis to
// turn about, a corner not at w = 1, a number gone infinite).
bool placedCorners(const Piece& piece, double placed[4][3]);

// Every window pixel the piece may cover in `viewport` (the GL viewport as a rectangle), grown
// by a pixel against rounding: empty when it lies wholly outside, the whole viewport where the
// projection cannot bound it (a corner at or behind the near plane, corners not vouched for).
ScreenRect pieceOnScreen(const Piece& piece, const ScreenRect& viewport);
