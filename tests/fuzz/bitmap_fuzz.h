// One fuzz case for the bitmap reader: runs it over the bytes and checks its promises.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bitmap.h"

struct FuzzVerdict {
  BitmapStatus status;
  std::size_t consumed;  // bytes an accepted picture used: headers, info block, pixels
};

// Aborts when the reader breaks a promise (a read past the data, an accepted buffer shorter
// than the upload reads, pixels that differ from the file's).
FuzzVerdict fuzzOneBitmap(const std::uint8_t* data, std::size_t size);
