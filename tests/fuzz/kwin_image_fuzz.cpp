// KWin's screenshot answers under fuzzing: the answer's fields come from the input's first
// bytes, the rest is what the pipe carried. An accepted answer must describe exactly the bytes
// it reads, and composing the copy must stay within them; one that lies is refused with a
// reason.
#include "desktop_picture.h"
#include "fuzz_support.h"
#include "kwin_image.h"

namespace {

const char kTarget[] = "kwin_image";
// The formats Qt names, so that most cases reach the size checks; a raw number otherwise.
const std::uint64_t kFormats[] = {4, 5, 6, 7, 13, 16, 17, 18, 23, 24, 25, 26, 29, 3, 0};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  InputReader in(data, size);
  const std::uint8_t flags = in.u8();  // 1-16 fields present, 32 big-endian host, 64 kind not raw
  KwinImageReply reply;
  reply.haveType = flags & 1, reply.haveWidth = flags & 2, reply.haveHeight = flags & 4;
  reply.haveStride = flags & 8, reply.haveFormat = flags & 16;
  reply.type = flags & 64 ? "png" : "raw";
  const bool bigEndian = flags & 32;
  // Small sizes as one byte each unless the top bit asks for a raw 64-bit value.
  auto size64 = [&in]() -> std::uint64_t {
    const std::uint8_t b = in.u8();
    return b & 0x80 ? in.u64() : b;
  };
  reply.width = size64();
  reply.height = size64();
  reply.stride = size64();
  const std::uint8_t format = in.u8();
  reply.format = format < sizeof kFormats / sizeof kFormats[0] ? kFormats[format] : format;
  const std::vector<std::uint8_t> pipe = in.rest();

  std::string why;
  const std::uint64_t bytes = kwinImageBytes(reply, bigEndian, why);
  require((bytes == 0) == !why.empty(), kTarget, "a refusal without a reason, or a reason with an image");
  OutputCapture capture;
  why.clear();
  const bool accepted = kwinCapture(reply, bigEndian, pipe.data(), pipe.size(), capture, why);
  require(accepted == (bytes > 0 && pipe.size() >= bytes), kTarget, "accepted an answer its bytes do not hold");
  if (!accepted) {
    require(!why.empty() && capture.data == nullptr, kTarget, "a refused copy was filled in");
    return 0;
  }
  require(capture.size == bytes && std::uint64_t(capture.stride) * std::uint64_t(capture.height) == bytes,
          kTarget, "the copy spans other bytes than the image");
  // Read through the path every copy takes; a read past the pipe's bytes is caught by ASan.
  capture.logical = {0, 0, capture.width < 64 ? capture.width : 64, capture.height < 64 ? capture.height : 64};
  std::vector<std::uint32_t> pixels;
  require(composeDesktop({capture}, capture.logical, 1, pixels), kTarget, "a small copy was refused");
  return 0;
}
