// POSIX file input of the renderer: open / read / close.
//  [x] open existing, read-only; one read() per request, retried on EINTR
//  [ ] the sequential-scan hint (the kernel's read-ahead does this on its own)
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "../file_input.h"

namespace fileio {

struct File {
  int fd;
};

File* openForReading(const char* path) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return new File{fd};
}

std::size_t read(File* file, void* buffer, std::size_t count) {
  ssize_t got;
  do {
    got = ::read(file->fd, buffer, count);
  } while (got < 0 && errno == EINTR);
  return got > 0 ? std::size_t(got) : 0;
}

void close(File* file) {
  ::close(file->fd);
  delete file;
}

}  // namespace fileio
