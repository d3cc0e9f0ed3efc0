// What KWin's screenshot interface answers about an image it writes to our pipe (a map of
// width, height, stride and a QImage format), checked and turned into an output's copy. No
// D-Bus call here: the rules are tested alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "desktop_picture.h"

// The fields of the answer that say what the pipe carries, as they came (absent ones false).
struct KwinImageReply {
  bool haveType = false, haveWidth = false, haveHeight = false, haveStride = false, haveFormat = false;
  std::string type;  // "raw" is the only kind written as pixels
  std::uint64_t width = 0;
  std::uint64_t height = 0;
  std::uint64_t stride = 0;
  std::uint64_t format = 0;  // a QImage::Format number
};

// The wl_shm format whose pixels lie in memory as the QImage format's on this host, false for
// one we do not read. QImage's 32-bit RGB formats are whole words in the host's byte order,
// the others bytes in a fixed order.
bool shmFormatOfQImage(std::uint64_t qimageFormat, bool bigEndianHost, std::uint32_t& shmFormat);

// The bytes the pipe must carry for the image the reply describes: 0 when the reply cannot
// describe an image we read (a field missing, a size of 0 or beyond the picture limit, rows
// narrower than their pixels, an unknown format or kind). `why` then says which, in words.
std::uint64_t kwinImageBytes(const KwinImageReply& reply, bool bigEndianHost, std::string& why);

// The copy as composeDesktop takes it: its size, rows and format from the reply, its pixels the
// `size` bytes read at `data`. False, leaving `capture` untouched, when the reply does not
// describe an image or the bytes read fall short of it.
bool kwinCapture(const KwinImageReply& reply, bool bigEndianHost, const unsigned char* data, std::size_t size,
                 OutputCapture& capture, std::string& why);
