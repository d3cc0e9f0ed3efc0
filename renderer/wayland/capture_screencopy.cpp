#include "capture_screencopy.h"

#include "wlr-screencopy-unstable-v1-client-protocol.h"

namespace {

void finish(Output& o, zwlr_screencopy_frame_v1* frame, bool ok) {
  if (ok && o.capture) {
    o.captured.data = static_cast<const unsigned char*>(o.capture->data);
    o.captured.size = o.capture->size;
  }
  o.stage = OutputStage::captured;
  zwlr_screencopy_frame_v1_destroy(frame);
  o.frame = nullptr;
}

void frameBuffer(void* data, zwlr_screencopy_frame_v1* frame, std::uint32_t format, std::uint32_t width,
                 std::uint32_t height, std::uint32_t stride) {
  auto* o = static_cast<Output*>(data);
  if (o->capture) return;  // one wl_shm offer is all a frame makes
  int bits = 0;
  std::uint32_t r, g, b;
  if (!describeShmFormat(format, bits, r, g, b) || width == 0 || height == 0 || stride < width * unsigned(bits / 8)) {
    return;
  }
  o->capture = makeCaptureBuffer(o->shm, format, width, height, stride);
  if (!o->capture) return;
  o->captured.width = std::int32_t(width);
  o->captured.height = std::int32_t(height);
  o->captured.stride = stride;
  o->captured.format = format;
  o->captured.transform = o->transform;
  // Before version 3 no buffer_done follows: the one offer is the answer.
  if (zwlr_screencopy_frame_v1_get_version(frame) < 3) zwlr_screencopy_frame_v1_copy(frame, o->capture->buffer);
}
void frameFlags(void* data, zwlr_screencopy_frame_v1*, std::uint32_t flags) {
  static_cast<Output*>(data)->captured.yInverted = flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT;
}
void frameReady(void* data, zwlr_screencopy_frame_v1* frame, std::uint32_t, std::uint32_t, std::uint32_t) {
  finish(*static_cast<Output*>(data), frame, true);
}
void frameFailed(void* data, zwlr_screencopy_frame_v1* frame) { finish(*static_cast<Output*>(data), frame, false); }
void frameDamage(void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
void frameDmabuf(void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {}
void frameBufferDone(void* data, zwlr_screencopy_frame_v1* frame) {
  auto* o = static_cast<Output*>(data);
  if (o->capture) {
    zwlr_screencopy_frame_v1_copy(frame, o->capture->buffer);
  } else {
    finish(*o, frame, false);  // nothing we can read was offered
  }
}
const zwlr_screencopy_frame_v1_listener kFrameListener = {frameBuffer, frameFlags,  frameReady,     frameFailed,
                                                          frameDamage, frameDmabuf, frameBufferDone};

}  // namespace

void requestScreencopy(zwlr_screencopy_manager_v1* manager, wl_shm* shm, Output& output) {
  output.shm = shm;
  output.stage = OutputStage::capturing;
  output.frame = zwlr_screencopy_manager_v1_capture_output(manager, 0, output.output);
  zwlr_screencopy_frame_v1_add_listener(output.frame, &kFrameListener, &output);
}
