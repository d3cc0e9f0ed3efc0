// The scene: the fixed table of pieces, its reset, cut schedule, motion and drawing.
#pragma once

#include <ctime>

#include "piece.h"
#include "texture.h"

constexpr int kMaxPieces = 100;

extern Piece pieces[kMaxPieces];
extern int pieceCount;
extern float lastCutTime;
extern float gravity;
extern Random sceneRandom;

// Source of the reset's seed; tests replace it to pin the calendar second.
extern std::time_t (*sceneCalendarTime)();

// Where every reset takes its picture from: the snapshot file, unless a front-end that holds
// the picture in memory hands it over here (it must outlive the scene; nullptr goes back to
// the file). A picture without data gives untextured pieces, as an unreadable file does.
void usePictureFromMemory(const PictureRows* picture);

bool resetScene();
void renderFrame();
void splitAll();
void toggleGravity();

// Viewport, projection and camera, established by every reset.
void setupView();
