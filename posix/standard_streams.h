// A daemon may start the program with standard input, output or error closed; the first
// file or socket opened would then take that number, and a line meant for stderr would go
// into the X connection or a sound file.
#pragma once

namespace standardstreams {

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed; false if one cannot be.
bool ensureOpen();

}  // namespace standardstreams
