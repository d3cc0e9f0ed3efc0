#include "gnome_idle.h"

bool GnomeIdleWatches::start(IdleSource::Event& initial) {
  initial = IdleSource::Event::none;
  idleWatch_ = bus_.addIdleWatch(milliseconds_);
  if (idleWatch_ == 0) return false;
  std::uint64_t idle = 0;
  if (bus_.idleTime(idle) && idle >= milliseconds_) initial = becameIdle();
  return initial != IdleSource::Event::gone;
}

IdleSource::Event GnomeIdleWatches::becameIdle() {
  if (activeWatch_ == 0) activeWatch_ = bus_.addUserActiveWatch();
  if (activeWatch_ == 0) return IdleSource::Event::gone;
  // The user may have come back between the idle watch firing and the active watch standing;
  // then the active watch would wait for the next input with the user at the keyboard.
  std::uint64_t idle = 0;
  if (bus_.idleTime(idle) && idle < milliseconds_) {
    bus_.removeWatch(activeWatch_);
    activeWatch_ = 0;
    return IdleSource::Event::none;
  }
  return IdleSource::Event::idle;
}

IdleSource::Event GnomeIdleWatches::fired(std::uint32_t id) {
  if (id == 0) return IdleSource::Event::none;
  if (id == idleWatch_) return becameIdle();
  if (id == activeWatch_) {
    activeWatch_ = 0;  // a user-active watch fires once and is gone
    return IdleSource::Event::active;
  }
  return IdleSource::Event::none;
}

void GnomeIdleWatches::stop() {
  if (activeWatch_ != 0) bus_.removeWatch(activeWatch_);
  if (idleWatch_ != 0) bus_.removeWatch(idleWatch_);
  activeWatch_ = idleWatch_ = 0;
}
