// Whatever runs beside the animation for the life of a run (the music): a window-system
// front-end starts it once its picture can be seen and stops it on every way out.
#pragma once

class RunCompanions {
 public:
  virtual void start() = 0;
  virtual void stop() = 0;

 protected:
  ~RunCompanions() = default;
};
