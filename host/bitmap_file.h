// The snapshot's file form: an uncompressed 24-bit Windows bitmap, rows bottom-up, each row
// padded with zero bytes to a multiple of 4.
#pragma once

#include <cstdint>
#include <vector>

const int kBitmapHeaderBytes = 54;  // 14-byte file header + 40-byte information header

// Bytes in one stored row of a 24-bit picture `width` pixels wide.
std::uint32_t bitmapRowBytes(int width);

// File and information headers for a width x height picture.
std::vector<std::uint8_t> bitmapHeaders(int width, int height);
