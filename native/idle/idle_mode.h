// The --idle mode's waiting, without a window system: the session idle for the time asked
// for starts a run; once the run is over the user must be active and then idle again before
// the next one starts, so it never starts while someone is at the keyboard.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Where the session's idleness comes from (a compositor's idle protocol, GNOME's idle monitor).
class IdleSource {
 public:
  enum class Event { none, idle, active, gone };

  virtual ~IdleSource() = default;
  // The next change, waiting up to `timeoutMilliseconds` for it or for a stop request (then
  // none). `gone` when the source can tell no more (its server went away); say why in reason().
  virtual Event wait(int timeoutMilliseconds) = 0;
  // No inhibitor (a playing video, a presentation) is held where the source cannot fold that
  // into its idle events itself.
  virtual bool mayStart() { return true; }
  virtual std::string name() const = 0;
  virtual std::string reason() const { return {}; }
};

// One screensaver run at a time.
class IdleRun {
 public:
  virtual ~IdleRun() = default;
  virtual bool start() = 0;
  // False once the run has ended (and was reaped).
  virtual bool running() = 0;
  virtual void stop() = 0;
};

class IdleMode {
 public:
  enum class State { waitingIdle, running, waitingActive, inhibited };

  // `now` gives milliseconds of a monotonic clock; `stopAsked` a stop request (SIGTERM).
  IdleMode(IdleSource& source, IdleRun& run, std::function<std::int64_t()> now, std::function<bool()> stopAsked,
           std::function<void(const std::string&)> say)
      : source_(source), run_(run), now_(std::move(now)), stopAsked_(std::move(stopAsked)), say_(std::move(say)) {}

  // Until a stop request (0, a running run stopped with it) or the source going away (1, said
  // in one line).
  int loop();

  State state() const { return state_; }

  // How often a run's end and a held inhibitor are looked at again.
  static constexpr int kRunPollMilliseconds = 200;
  static constexpr int kInhibitorPollMilliseconds = 5000;
  static constexpr int kWaitMilliseconds = 1000;

 private:
  void onEvent(IdleSource::Event event);
  void tryStart();
  int timeout() const;

  IdleSource& source_;
  IdleRun& run_;
  std::function<std::int64_t()> now_;
  std::function<bool()> stopAsked_;
  std::function<void(const std::string&)> say_;
  State state_ = State::waitingIdle;
  bool idle_ = false;  // the source's latest word
  std::int64_t nextInhibitorCheck_ = 0;
};
