// The run window's two music timers as deadlines on a clock, for a front-end that has no
// window timers: it calls tick() whenever nextDue() has come.
#pragma once

#include "run_hooks.h"

class TimedMusicRun : public RunTimers {
 public:
  explicit TimedMusicRun(RunHooks& hooks) : hooks_(hooks) {}

  // The run's load: the hooks start the music and turn on the timer that watches it.
  void load(double now);
  // Each timer that is on and due fires once, however late the call (a timer does not catch
  // up on missed ticks), and is due again one interval after now.
  void tick(double now);
  // The time of the next tick that has work; infinite while no timer is on.
  double nextDue() const;
  void end();

  void setEnabled(RunTimer timer, bool enabled) override;
  bool isEnabled(RunTimer timer) const override;

 private:
  struct Timer {
    double interval;
    bool on = false;
    double due = 0;
  };
  Timer& timer(RunTimer which) { return which == RunTimer::Timer1 ? timer1_ : timer2_; }
  const Timer& timer(RunTimer which) const { return which == RunTimer::Timer1 ? timer1_ : timer2_; }

  RunHooks& hooks_;
  double now_ = 0;
  Timer timer1_{1.0};  // watches a music file
  Timer timer2_{0.2};  // polls the audio CD
};
