#include "scene.h"

#include "frame_loop.h"
#include "gl_api.h"
#include "texture.h"

namespace {
std::time_t calendarNow() { return std::time(nullptr); }

constexpr float kCutInterval = 1.4f;
constexpr float kGravity = 0.2f;

const PictureRows* memoryPicture = nullptr;
}  // namespace

Piece pieces[kMaxPieces];
int pieceCount = 1;
float lastCutTime = 0;
float gravity = kGravity;
Random sceneRandom;
Texture snapshotTexture;

std::time_t (*sceneCalendarTime)() = calendarNow;

void usePictureFromMemory(const PictureRows* picture) { memoryPicture = picture; }

void setupView() {
  glViewport(0, 0, screenWidth, screenHeight);
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

  // An unreadable snapshot leaves the fresh texture empty: the pieces show untextured.
  if (memoryPicture) {
    snapshotTexture.fill(*memoryPicture);
  } else {
    snapshotTexture.load(kSnapshotPath);
  }
  glEnable(GL_TEXTURE_2D);
  snapshotTexture.bind();

  lastCutTime = elapsedTime;
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

void renderFrame() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glDepthFunc(GL_LESS);

  if (elapsedTime - lastCutTime > kCutInterval) {
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

  for (int i = 0; i < pieceCount; ++i) pieces[i].draw();
}
