// Points where a build can watch or loosen a front-end's frame loop. The programs link the
// plain hooks (renderer/loop_hooks.cpp): frames paced, nothing recorded. A benchmark build
// links its own definition of loopHooks() instead, so no front-end carries benchmark code.
#pragma once

#include <cstdint>

// What a frame may leave out while keeping every pixel; a benchmark build switches each off to
// measure it.
enum FrameCut : unsigned {
  kCutPieces = 1,   // pieces with no pixel in the part drawn are not sent to the GL
  kCutScissor = 2,  // clear and draw only where the frame can differ from its buffer
  kCutPresent = 4,  // show only where it differs from the frame on the screen
  kEveryCut = 7,
  // What the programs use. On Mesa's llvmpipe a scissored clear is drawn as a quad, where a
  // whole one is nearly free: the scissor cost more CPU than it saved at every size measured.
  kProductCuts = kCutPieces | kCutPresent,
};

class LoopHooks {
 public:
  virtual ~LoopHooks() = default;
  // False lets the loop draw as fast as it can: no swap interval, no frame deadline.
  virtual bool paced() const = 0;
  // False draws every frame, also one equal to the last drawn (to measure what that saves).
  virtual bool skipsEqualFrames() const { return true; }
  // The FrameCut bits in use.
  virtual unsigned cuts() const { return kProductCuts; }
  // After each frame is on the screen (and any restart it caused), with its counter value.
  virtual void onFrameShown(std::int64_t counter) = 0;
  // Once, when the window goes, while the GL context is still current.
  virtual void onLoopEnd() = 0;
  // At each milestone of the start-up, up to the first frame on the screen ("first frame").
  virtual void onStartupStep(const char* step) { (void)step; }
};

// The hooks this program was linked with.
LoopHooks& loopHooks();
