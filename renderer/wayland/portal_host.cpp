// The portal client's side of its own process: its bus, its app id, the file handed back.
#include "portal_host.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "capture_portal.h"

namespace {
constexpr std::size_t kMostFileBytes = std::size_t(1) << 30;
}

std::string sessionBusAddress() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address && *address) return address;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  struct stat st;
  if (!runtime || !*runtime) return {};
  const std::string socket = std::string(runtime) + "/bus";
  return stat(socket.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) ? "unix:path=" + socket : std::string();
}

// For a program outside a sandbox the portal hands back GNOME Shell's own file,
// ~/Pictures/Screenshot*.png, and nobody else would ever remove it.
bool readShot(const char* uri, std::time_t asked, std::vector<unsigned char>& bytes) {
  gchar* path = g_filename_from_uri(uri, nullptr, nullptr);
  if (!path) return false;
  const int fd = open(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  struct stat st;
  bool ok = fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && std::size_t(st.st_size) <= kMostFileBytes;
  if (ok) {
    bytes.resize(std::size_t(st.st_size));
    std::size_t got = 0;
    while (got < bytes.size()) {
      const ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
      if (n <= 0) break;
      got += std::size_t(n);
    }
    ok = got == bytes.size();
    if (st.st_uid == getuid() && st.st_mtime + 2 >= asked) unlink(path);
  }
  if (fd >= 0) close(fd);
  g_free(path);
  return ok;
}

std::string portalAppIdOf(const std::string& cgroupText) {
  // sd_pid_get_user_unit's answer: the first unit below the user's service manager that is not
  // a slice.
  std::istringstream cgroup(cgroupText);
  std::string line, unit;
  while (unit.empty() && std::getline(cgroup, line)) {
    const std::size_t user = line.find("/user@");
    const std::size_t manager = user == std::string::npos ? user : line.find(".service/", user);
    if (line.compare(0, 3, "0::") != 0 || manager == std::string::npos) continue;
    for (std::size_t at = manager + 9; at < line.size() && unit.empty();) {
      const std::size_t end = std::min(line.find('/', at), line.size());
      const std::string part = line.substr(at, end - at);
      if (part.size() < 6 || part.compare(part.size() - 6, 6, ".slice") != 0) unit = part;
      at = end + 1;
    }
  }
  // xdg-desktop-portal 1.16's own rule for the app id in a unit's name.
  std::string found;
  if (unit.compare(0, 4, "app-") != 0) return found;
  GRegex* rule = g_regex_new("^app-(?:[[:alnum:]]+\\-)?(.+?\\..+?\\..+?)(?:[@\\-][[:alnum:]]*)?(?:-autostart)?"
                             "(?:\\.scope|\\.service|\\.slice)$", GRegexCompileFlags(0), GRegexMatchFlags(0), nullptr);
  GMatchInfo* match = nullptr;
  if (rule && g_regex_match(rule, unit.c_str(), GRegexMatchFlags(0), &match)) {
    gchar* fetched = g_match_info_fetch(match, 1);
    found = fetched ? fetched : "";
    g_free(fetched);
  }
  if (match) g_match_info_free(match);
  if (rule) g_regex_unref(rule);
  return found;
}

const char* portalAppId() {
  static const std::string id = [] {
    std::ifstream file("/proc/self/cgroup");
    std::ostringstream text;
    text << file.rdbuf();
    return portalAppIdOf(text.str());
  }();
  return id.c_str();
}
