#include "process_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

ProcessLock::~ProcessLock() {
  if (fd_ >= 0) close(fd_);
}

bool ProcessLock::take() {
  if (held_) return true;
  if (fd_ < 0) {
    // Not followed through a link, and not handed on to children (the image helper).
    fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    struct stat info;
    if (fd_ >= 0 && (fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid())) {
      close(fd_);
      fd_ = -1;
    }
    if (fd_ < 0) return true;
  }
  if (flock(fd_, LOCK_EX | LOCK_NB) == 0) {
    held_ = true;
    return true;
  }
  // Locks that the file system cannot give elect nobody; go on.
  return errno != EWOULDBLOCK;
}

std::string runtimeLockPath(const std::string& stem) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') return std::string(runtime) + "/" + stem + ".lock";
  return "/tmp/" + stem + "-" + std::to_string(geteuid()) + ".lock";
}
