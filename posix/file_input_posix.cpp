// POSIX file input of the renderer: open / read / close / stamp.
//  [x] open existing, read-only; one read() per request, retried on EINTR
//  [x] stamp: device and inode, size and modification time of the open file
//  [ ] the sequential-scan hint (the kernel's read-ahead does this on its own)
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "file_input.h"

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

bool stamp(File* file, Stamp& out) {
  struct stat info;
  if (fstat(file->fd, &info) != 0) return false;
  out.volume = std::uint64_t(info.st_dev);
  out.index = std::uint64_t(info.st_ino);
  out.size = std::uint64_t(info.st_size);
  out.lastWrite = std::int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  return true;
}

}  // namespace fileio
