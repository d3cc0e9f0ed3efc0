// The renderer's file input: read-only, sequential access to one file, the only file
// calls the renderer makes. Each platform implements these functions in its own
// file (renderer/win32/file_input_win32.cpp, native/posix/file_input_posix.cpp); the unit
// tests link a stand-in that serves files from memory.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fileio {

struct File;  // opaque platform handle

// Opens an existing file for reading, letting others read it too; nullptr when it cannot
// be opened (missing, a folder, locked by another program).
File* openForReading(const char* path);

// One read of up to `count` bytes; returns how many arrived (0 at the end or on an error).
std::size_t read(File* file, void* buffer, std::size_t count);

void close(File* file);

// What tells one state of a file from another without reading it: which file it is (a
// replaced file is another one), its size and its last-write time.
struct Stamp {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;  // the file within its volume
  std::uint64_t size = 0;
  std::int64_t lastWrite = 0;
  bool operator==(const Stamp& o) const {
    return volume == o.volume && index == o.index && size == o.size && lastWrite == o.lastWrite;
  }
  bool operator!=(const Stamp& o) const { return !(*this == o); }
};

// The stamp of an open file; false when the system cannot tell.
bool stamp(File* file, Stamp& out);

}  // namespace fileio
