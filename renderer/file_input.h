// The renderer's file input: read-only, sequential access to one file, the only file
// calls the renderer makes. Each platform implements these three functions in its own
// file (renderer/win32/file_input_win32.cpp); the unit tests link a stand-in that serves
// files from memory.
#pragma once

#include <cstddef>

namespace fileio {

struct File;  // opaque platform handle

// Opens an existing file for reading, letting others read it too; nullptr when it cannot
// be opened (missing, a folder, locked by another program).
File* openForReading(const char* path);

// One read of up to `count` bytes; returns how many arrived (0 at the end or on an error).
std::size_t read(File* file, void* buffer, std::size_t count);

void close(File* file);

}  // namespace fileio
