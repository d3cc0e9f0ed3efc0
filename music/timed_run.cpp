#include "timed_run.h"

#include <algorithm>
#include <limits>

void TimedMusicRun::load(double now) {
  now_ = now;
  hooks_.onLoad(*this);
}

void TimedMusicRun::tick(double now) {
  now_ = now;
  if (timer1_.on && now >= timer1_.due) {
    timer1_.due = now + timer1_.interval;
    hooks_.onTimer1(*this);
  }
  if (timer2_.on && now >= timer2_.due) {
    timer2_.due = now + timer2_.interval;
    hooks_.onTimer2(*this);
  }
}

double TimedMusicRun::nextDue() const {
  const double never = std::numeric_limits<double>::infinity();
  return std::min(timer1_.on ? timer1_.due : never, timer2_.on ? timer2_.due : never);
}

void TimedMusicRun::end() { hooks_.onEnd(*this); }

void TimedMusicRun::setEnabled(RunTimer which, bool enabled) {
  Timer& t = timer(which);
  // Turning on a timer that is off starts its interval; one already on keeps its time.
  if (enabled && !t.on) t.due = now_ + t.interval;
  t.on = enabled;
}

bool TimedMusicRun::isEnabled(RunTimer which) const { return timer(which).on; }
