#include "kwin_image.h"

#include "bitmap.h"

namespace {

// QImage::Format numbers (stable across Qt 5 and 6).
enum QImageFormat : std::uint64_t {
  kQtRgb32 = 4,  // 0xffRRGGBB words
  kQtArgb32 = 5,
  kQtArgb32Premultiplied = 6,
  kQtRgb16 = 7,  // 5-6-5 words
  kQtRgb888 = 13,  // bytes R, G, B
  kQtRgbx8888 = 16,  // bytes R, G, B, X
  kQtRgba8888 = 17,
  kQtRgba8888Premultiplied = 18,
  kQtBgr30 = 23,  // 2-10-10-10 words, blue high
  kQtA2Bgr30Premultiplied = 24,
  kQtRgb30 = 25,  // red high
  kQtA2Rgb30Premultiplied = 26,
  kQtBgr888 = 29,  // bytes B, G, R
};

}  // namespace

bool shmFormatOfQImage(std::uint64_t qimageFormat, bool bigEndianHost, std::uint32_t& shmFormat) {
  // The desktop is opaque: alpha, premultiplied or not, leaves its colours as they are.
  switch (qimageFormat) {
    case kQtRgbx8888:
    case kQtRgba8888:
    case kQtRgba8888Premultiplied:
      shmFormat = shmformat::kXbgr8888;
      return true;
    case kQtRgb888:
      shmFormat = shmformat::kBgr888;
      return true;
    case kQtBgr888:
      shmFormat = shmformat::kRgb888;
      return true;
    default:
      break;
  }
  // wl_shm's formats are little-endian words: the word formats match only on such a host.
  if (bigEndianHost) return false;
  switch (qimageFormat) {
    case kQtRgb32:
    case kQtArgb32:
    case kQtArgb32Premultiplied:
      shmFormat = shmformat::kXrgb8888;
      return true;
    case kQtRgb16:
      shmFormat = shmformat::kRgb565;
      return true;
    case kQtBgr30:
    case kQtA2Bgr30Premultiplied:
      shmFormat = shmformat::kXbgr2101010;
      return true;
    case kQtRgb30:
    case kQtA2Rgb30Premultiplied:
      shmFormat = shmformat::kXrgb2101010;
      return true;
    default:
      return false;
  }
}

std::uint64_t kwinImageBytes(const KwinImageReply& reply, bool bigEndianHost, std::string& why) {
  if (!reply.haveWidth || !reply.haveHeight || !reply.haveStride || !reply.haveFormat) {
    why = "its answer leaves out the image's size or format";
    return 0;
  }
  if (reply.haveType && reply.type != "raw") {
    why = "it sent the image as '" + reply.type + "', not as pixels";
    return 0;
  }
  std::uint32_t shm = 0;
  int bits = 0;
  std::uint32_t r, g, b;
  if (!shmFormatOfQImage(reply.format, bigEndianHost, shm) || !describeShmFormat(shm, bits, r, g, b)) {
    why = "it sent the image in a pixel format we do not read (QImage format " + std::to_string(reply.format) + ")";
    return 0;
  }
  // Counted in 64 bits before any product: a lying size must not wrap.
  const std::uint64_t limit = kMaxPixelBytes;
  if (reply.width == 0 || reply.height == 0 || reply.width > limit || reply.height > limit ||
      reply.stride > limit || reply.stride < reply.width * std::uint64_t(bits / 8) ||
      reply.stride * reply.height > limit) {
    why = "it described an image of no size, too large or with rows narrower than their pixels";
    return 0;
  }
  return reply.stride * reply.height;
}

bool kwinCapture(const KwinImageReply& reply, bool bigEndianHost, const unsigned char* data, std::size_t size,
                 OutputCapture& capture, std::string& why) {
  const std::uint64_t bytes = kwinImageBytes(reply, bigEndianHost, why);
  if (bytes == 0) return false;
  if (!data || size < bytes) {
    why = "the image ended after " + std::to_string(size) + " of its " + std::to_string(bytes) + " bytes";
    return false;
  }
  std::uint32_t shm = 0;
  shmFormatOfQImage(reply.format, bigEndianHost, shm);
  capture.width = std::int32_t(reply.width);
  capture.height = std::int32_t(reply.height);
  capture.stride = std::int64_t(reply.stride);
  capture.format = shm;
  capture.yInverted = false;
  capture.transform = 0;  // KWin draws the screenshot as the user sees the output
  capture.data = data;
  capture.size = std::size_t(bytes);
  return true;
}
