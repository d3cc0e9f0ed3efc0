#include "idle_mode.h"

int IdleMode::timeout() const {
  switch (state_) {
    case State::running:
      return kRunPollMilliseconds;
    case State::inhibited: {
      const std::int64_t left = nextInhibitorCheck_ - now_();
      return left <= 0 ? 0 : int(left);
    }
    default:
      return kWaitMilliseconds;
  }
}

void IdleMode::tryStart() {
  if (!source_.mayStart()) {
    // Held while idle: looked at again until it goes or the user comes back.
    state_ = State::inhibited;
    nextInhibitorCheck_ = now_() + kInhibitorPollMilliseconds;
    return;
  }
  if (run_.start()) {
    state_ = State::running;
  } else {
    say_("cannot start the screensaver");
    state_ = State::waitingActive;
  }
}

void IdleMode::onEvent(IdleSource::Event event) {
  if (event == IdleSource::Event::idle) {
    idle_ = true;
    if (state_ == State::waitingIdle) tryStart();
  } else if (event == IdleSource::Event::active) {
    idle_ = false;
    // Activity while a run shows is what ends it; the run ends itself.
    if (state_ == State::waitingActive || state_ == State::inhibited) state_ = State::waitingIdle;
  }
}

int IdleMode::loop() {
  for (;;) {
    if (stopAsked_()) break;
    const IdleSource::Event event = source_.wait(timeout());
    if (stopAsked_()) break;
    if (event == IdleSource::Event::gone) {
      const std::string why = source_.reason();
      say_(source_.name() + (why.empty() ? "" : ": " + why) + ": the idle mode ends");
      run_.stop();
      return 1;
    }
    onEvent(event);
    if (state_ == State::running && !run_.running()) {
      // Ended by activity the source has already told of, the next idle starts the next run;
      // ended otherwise (by itself, or with the user still idle), only activity and a new idle.
      state_ = idle_ ? State::waitingActive : State::waitingIdle;
    }
    if (state_ == State::inhibited && now_() >= nextInhibitorCheck_) tryStart();
  }
  run_.stop();
  return 0;
}
