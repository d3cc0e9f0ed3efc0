// What the screenshot portal's client needs of its own process and files: the session bus's
// address, the app id the portal gives us, the file it hands back. Internal to capture_portal.
#pragma once

#include <ctime>
#include <string>
#include <vector>

// The session bus's address, never one that would start a bus (autolaunch); "" for none.
std::string sessionBusAddress();

// The file at a file:// `uri` read whole (up to 1 GiB); removed when it is ours: a file of our
// user, written since `asked`.
bool readShot(const char* uri, std::time_t asked, std::vector<unsigned char>& bytes);

// The app id the portal gives a process of `cgroupText` (its /proc/PID/cgroup): the one in the
// name of the systemd user unit it runs in, else "" (capture_portal.h's portalAppId).
std::string portalAppIdOf(const std::string& cgroupText);
