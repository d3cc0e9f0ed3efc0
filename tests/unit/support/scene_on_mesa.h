// What the scene's Mesa tests share: a picture with detail everywhere, so that a piece drawn in
// another's place or a pixel left from an older frame shows, and the scene set up to draw it
// into a w x h window with a pinned random seed.
#pragma once

#include <cstddef>
#include <ctime>
#include <vector>

#include "frame_loop.h"
#include "scene.h"

class DetailedScene {
 public:
  DetailedScene(int w, int h, std::time_t (*seed)()) : bytes_(std::size_t((kSide * 3 + 3) / 4 * 4) * kSideH) {
    for (std::size_t i = 0; i < bytes_.size(); ++i) bytes_[i] = static_cast<unsigned char>((i * 2654435761u) >> 13);
    picture_ = PictureRows{kSide, kSideH, bytes_.data()};
    usePictureFromMemory(&picture_);
    sceneCalendarTime = seed;
    screenWidth = w;
    screenHeight = h;
  }
  ~DetailedScene() { usePictureFromMemory(nullptr); }
  DetailedScene(const DetailedScene&) = delete;
  DetailedScene& operator=(const DetailedScene&) = delete;

 private:
  static constexpr int kSide = 320, kSideH = 240;
  std::vector<unsigned char> bytes_;
  PictureRows picture_;
};
