// GNOME's idle monitor (org.gnome.Mutter.IdleMonitor) as an idle source, without the bus: what
// its watches mean and when an inhibitor holds the run back. The calls themselves are
// linux/gnome_idle_source.cpp's.
#pragma once

#include <cstdint>

#include "idle_mode.h"

// The session bus calls the GNOME source makes.
class MutterIdleBus {
 public:
  virtual ~MutterIdleBus() = default;
  // A watch's id, 0 when the monitor refused it or did not answer.
  virtual std::uint32_t addIdleWatch(std::uint64_t milliseconds) = 0;
  virtual std::uint32_t addUserActiveWatch() = 0;
  virtual void removeWatch(std::uint32_t id) = 0;
  // How long the user has been idle; false when the monitor does not say.
  virtual bool idleTime(std::uint64_t& milliseconds) = 0;
  // org.gnome.SessionManager's inhibitors of these flags; false when none or no session manager.
  virtual bool isInhibited(std::uint32_t flags) = 0;
};

class GnomeIdleWatches {
 public:
  static constexpr std::uint32_t kInhibitIdle = 8;  // the session manager's flag for "idle"

  GnomeIdleWatches(MutterIdleBus& bus, std::uint64_t milliseconds) : bus_(bus), milliseconds_(milliseconds) {}
  // Puts the idle watch in place; false when the monitor refuses it. `initial` is idle when the
  // user has been idle that long already (the watch fires only when the time is crossed).
  bool start(IdleSource::Event& initial);
  // What a WatchFired signal for `id` means: idle, active, none (not ours, or the user came
  // back before the active watch stood), or gone (no active watch can be had).
  IdleSource::Event fired(std::uint32_t id);
  bool mayStart() { return !bus_.isInhibited(kInhibitIdle); }
  void stop();

 private:
  // Idle now, with a watch in place for the user's return.
  IdleSource::Event becameIdle();

  MutterIdleBus& bus_;
  std::uint64_t milliseconds_;
  std::uint32_t idleWatch_ = 0;
  std::uint32_t activeWatch_ = 0;
};
