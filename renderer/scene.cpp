#include "scene.h"

#include <algorithm>
#include <cmath>

#include "frame_loop.h"
#include "gl_api.h"
#include "screen_bounds.h"
#include "texture.h"

namespace {
std::time_t calendarNow() { return std::time(nullptr); }

constexpr float kCutInterval = 1.4f;
constexpr float kGravity = 0.2f;

// Set by a reset: the next frame is the whole picture's first on the screen, and its still
// moment counts from that frame's clock, not from before the picture's load.
bool firstFrameOfPicture = false;

const PictureRows* memoryPicture = nullptr;
// The texture holds memoryPicture as it was handed over: a restart need not build it again.
bool memoryPictureBuilt = false;

// Beyond a plane by less than this (a fraction of a pixel) counts as touching it.
constexpr double kPlaneMargin = 1e-3;

// True when the piece cannot put a pixel on the screen: its four corners, where GL places
// them, lie beyond the same plane of the view volume. Whatever it cannot vouch for counts as
// in view.
bool outOfView(const Piece& piece) {
  static const double halfField = std::tan(kHalfFieldDegrees * 3.14159265358979323846 / 180.0);
  double placed[4][3];
  if (!placedCorners(piece, placed)) return false;
  int beyond[6] = {};
  for (const double* p : placed) {
    const double ex = p[0], ey = p[1], depth = kEyeDistance - p[2];
    beyond[0] += ex < -halfField * depth - kPlaneMargin;
    beyond[1] += ex > halfField * depth + kPlaneMargin;
    beyond[2] += ey < -halfField * depth - kPlaneMargin;
    beyond[3] += ey > halfField * depth + kPlaneMargin;
    beyond[4] += depth < kNear - kPlaneMargin;
    beyond[5] += depth > kFar + kPlaneMargin;
  }
  for (int n : beyond)
    if (n == 4) return true;
  return false;
}

// The viewport as useView gives it to the GL.
ScreenRect viewRect() {
  return {viewLeft, viewBottom, viewLeft + screenWidth, viewBottom + (screenHeight ? screenHeight : 1)};
}
}  // namespace

Piece pieces[kMaxPieces];
int pieceCount = 1;
float lastCutTime = 0;
float gravity = kGravity;
Random sceneRandom;
Texture snapshotTexture;

std::time_t (*sceneCalendarTime)() = calendarNow;
SceneView lastDrawnView = SceneView::moving;

void usePictureFromMemory(const PictureRows* picture) {
  memoryPicture = picture;
  memoryPictureBuilt = false;
}

void setupView() {
  glViewport(viewLeft, viewBottom, screenWidth, screenHeight);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(19.0, 1.0, 1.0, 20.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(0.0f, 0.0f, -6.0f);
  glEnable(GL_DEPTH_TEST);
}

bool resetScene() {
  sceneRandom.seed(std::uint32_t(sceneCalendarTime()));

  Piece& whole = pieces[0];
  whole.construct();
  whole.corners[0] = Vec4(-1, -1, 0, 1);
  whole.corners[1] = Vec4(-1, 1, 0, 1);
  whole.corners[2] = Vec4(1, 1, 0, 1);
  whole.corners[3] = Vec4(1, -1, 0, 1);
  pieceCount = 1;

  setupView();

  // An unreadable snapshot leaves the fresh texture empty: the pieces show untextured. An
  // unchanged file keeps the texture already built, so a restart does not freeze the picture.
  if (memoryPicture) {
    if (!memoryPictureBuilt || snapshotTexture.glName == 0) {
      snapshotTexture.fill(*memoryPicture);
      memoryPictureBuilt = true;
    }
  } else {
    snapshotTexture.refresh(kSnapshotPath);
  }
  glEnable(GL_TEXTURE_2D);
  snapshotTexture.bind();

  lastCutTime = elapsedTime;
  firstFrameOfPicture = true;
  lastDrawnView = SceneView::moving;  // the picture may be another one now
  return true;
}

void splitAll() {
  const int n = pieceCount;
  for (int i = 0; i < n; ++i) {
    if (pieceCount >= kMaxPieces) break;
    pieces[i].split(pieces[pieceCount], sceneRandom);
    ++pieceCount;
  }
}

void toggleGravity() { gravity = (gravity == 0.0f) ? kGravity : 0.0f; }

void advanceScene() {
  if (firstFrameOfPicture) {
    // However long the load took, the whole picture stands for its full moment.
    firstFrameOfPicture = false;
    lastCutTime = elapsedTime;
  } else if (elapsedTime - lastCutTime > kCutInterval) {
    lastCutTime = elapsedTime;
    if (pieceCount == 1) {
      pieces[0].velocity = Vec4(0, 0, 0.1, 1.0);
      for (int pass = 0; pass < 4; ++pass) splitAll();
    }
    if (pieceCount < kMaxPieces) {
      splitAll();
      splitAll();
    }
  }

  for (int i = 0; i < pieceCount; ++i) {
    Piece& piece = pieces[i];
    if (pieceCount > 1) piece.velocity.y = float(double(piece.velocity.y) - double(frameTime) * gravity);
    piece.update(frameTime);
  }
}

void drawScene() { drawScene(kEverywhere, true); }

void drawScene(const ScreenRect& region, bool leaveOut) {
  const bool whole = region == kEverywhere;
  if (!whole) {
    glEnable(GL_SCISSOR_TEST);
    glScissor(region.left, region.bottom, region.width(), region.height());
  }
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glDepthFunc(GL_LESS);
  // Nearer pieces first: the depth test then spares the texturing of what they hide. Pieces
  // never cover a pixel at one and the same depth, so the order changes no pixel.
  int order[kMaxPieces];
  int count = 0;
  const ScreenRect view = viewRect();
  for (int i = 0; i < pieceCount; ++i) {
    // A piece whose every pixel the GL would clip or scissor away is not sent.
    if (leaveOut && intersect(pieceOnScreen(pieces[i], view), region).empty()) continue;
    order[count++] = i;
  }
  std::sort(order, order + count, [](int a, int b) {
    const float za = pieces[a].position.z, zb = pieces[b].position.z;
    return za > zb || (za == zb && a < b);
  });
  for (int i = 0; i < count; ++i) pieces[order[i]].draw();
  if (!whole) glDisable(GL_SCISSOR_TEST);
  lastDrawnView = sceneView();
}

ScreenRect sceneOnScreen() {
  const ScreenRect view = viewRect();
  ScreenRect covered;
  for (int i = 0; i < pieceCount; ++i) covered = unite(covered, pieceOnScreen(pieces[i], view));
  return covered;
}

void renderFrame() {
  advanceScene();
  drawScene();
}

SceneView sceneView() {
  const Piece& first = pieces[0];
  // One piece is the whole picture as the reset made it: no cut has moved or turned it.
  if (pieceCount == 1 && first.velocity.x == 0 && first.velocity.y == 0 && first.velocity.z == 0 &&
      first.spinSpeed == 0)
    return SceneView::restingPicture;
  for (int i = 0; i < pieceCount; ++i)
    if (!outOfView(pieces[i])) return SceneView::moving;
  return SceneView::nothingInView;
}

bool sceneLooksAsLastDrawn() {
  return lastDrawnView != SceneView::moving && sceneView() == lastDrawnView;
}
