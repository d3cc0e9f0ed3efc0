// GNOME's idle monitor on the session bus as an idle source (GDBus). Every D-Bus call of the
// program is in this folder.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "idle_mode.h"

// nullptr when there is no session bus or no org.gnome.Mutter.IdleMonitor on it (`note` says which).
std::unique_ptr<IdleSource> openGnomeIdleSource(std::uint64_t milliseconds, std::string& note);
