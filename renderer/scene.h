// The scene: the fixed table of pieces, its reset, cut schedule, motion and drawing.
#pragma once

#include <ctime>

#include "damage.h"
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
// Resets keep the texture built from it; hand the picture over again when it has changed.
void usePictureFromMemory(const PictureRows* picture);

bool resetScene();
// advanceScene, then drawScene.
void renderFrame();
// The frame's step of the scene: the cut event, then the motion. Makes no GL call.
void advanceScene();
// The frame's picture: clear, depth function, every piece, nearest first.
void drawScene();
// The same, cleared and drawn only inside `region` (kEverywhere: the whole window), the rest
// of the buffer left as it is; `leaveOut`: pieces with no pixel there are not sent to the GL.
void drawScene(const ScreenRect& region, bool leaveOut);
// The window pixels the pieces as they stand may cover in the current view (empty: none).
ScreenRect sceneOnScreen();
void splitAll();
void toggleGravity();

// Viewport, projection and camera, established by every reset.
void setupView();

// What a frame shows, so far as the scene's state alone proves two frames alike.
enum class SceneView {
  moving,          // anything else: no promise
  restingPicture,  // one piece, the whole picture, at rest
  nothingInView,   // every piece wholly outside the view volume: only the cleared background
};
SceneView sceneView();

// The view of the last drawn frame; `moving` until one is drawn after a reset or a new
// viewport, since either may change the picture.
extern SceneView lastDrawnView;

// True when the scene as it stands would draw exactly the last drawn frame again.
bool sceneLooksAsLastDrawn();
