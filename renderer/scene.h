// The scene: the fixed table of pieces, its reset, cut schedule, motion and drawing.
#pragma once

#include <ctime>

#include "piece.h"

constexpr int kMaxPieces = 100;

extern Piece pieces[kMaxPieces];
extern int pieceCount;
extern float lastCutTime;
extern float gravity;
extern Random sceneRandom;

// Source of the reset's seed; tests replace it to pin the calendar second.
extern std::time_t (*sceneCalendarTime)();

bool resetScene();
void renderFrame();
void splitAll();
void toggleGravity();

// Viewport, projection and camera, established by every reset.
void setupView();
