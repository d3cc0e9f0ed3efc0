#include "wayland_output.h"

#include <algorithm>

#include <unistd.h>

#include "capture_image_copy.h"
#include "xdg-output-unstable-v1-client-protocol.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"

CaptureBuffer::~CaptureBuffer() {
  if (buffer) wl_buffer_destroy(buffer);
  if (data != MAP_FAILED) munmap(data, size);
}

std::unique_ptr<CaptureBuffer> makeCaptureBuffer(wl_shm* shm, std::uint32_t format, std::uint32_t width,
                                                 std::uint32_t height, std::uint32_t stride) {
  auto buffer = std::make_unique<CaptureBuffer>();
  buffer->size = std::size_t(stride) * height;
  if (buffer->size == 0 || buffer->size > std::size_t(INT32_MAX)) return nullptr;
  const int fd = memfd_create("glassfall-capture", MFD_CLOEXEC);
  if (fd < 0) return nullptr;
  if (ftruncate(fd, off_t(buffer->size)) == 0) {
    buffer->data = mmap(nullptr, buffer->size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  }
  if (buffer->data != MAP_FAILED) {
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, std::int32_t(buffer->size));
    buffer->buffer = wl_shm_pool_create_buffer(pool, 0, std::int32_t(width), std::int32_t(height),
                                               std::int32_t(stride), format);
    wl_shm_pool_destroy(pool);
  }
  ::close(fd);
  if (!buffer->buffer) return nullptr;
  return buffer;
}

LayoutRect Output::place() const {
  LayoutRect r = logical;
  if (!haveLogicalSize) {
    // The mode is the buffer's size: a quarter turn swaps its sides on the screen.
    const int s = scale > 0 ? scale : 1;
    const bool swapped = transformSwapsSides(transform);
    r.width = (swapped ? modeHeight : modeWidth) / s;
    r.height = (swapped ? modeWidth : modeHeight) / s;
  }
  if (!haveLogicalPosition) {
    r.x = geometryX;
    r.y = geometryY;
  }
  return r;
}

FractionalScale Output::density() const {
  if (!haveLogicalSize) return FractionalScale{(scale > 0 ? scale : 1) * kScaleDenominator};
  return outputDensity(modeWidth, modeHeight, logical.width, logical.height, transformSwapsSides(transform), scale);
}

FractionalScale Output::drawScale() const {
  if (preferredScale > 0 && viewport) return FractionalScale{preferredScale};
  return FractionalScale{bufferScale * kScaleDenominator};
}

FractionalScale Output::viewScale() const {
  const LayoutRect r = place();
  if (width <= 0 || r.width <= 0) return drawScale();
  const std::int64_t n = (std::int64_t(bufferWidth()) * kScaleDenominator + r.width / 2) / r.width;
  return n > 0 ? FractionalScale{int(std::min<std::int64_t>(n, 16 * kScaleDenominator))} : drawScale();
}

namespace {

void described(Output& o) {
  if (!o.wlDone || (o.xdgOutput && !o.haveLogicalSize)) return;
  if (o.stage == OutputStage::announced) o.stage = OutputStage::described;
  o.events->onOutputDescribed(o);
}

void outputGeometry(void* data, wl_output*, std::int32_t x, std::int32_t y, std::int32_t, std::int32_t,
                    std::int32_t, const char*, const char*, std::int32_t transform) {
  auto* o = static_cast<Output*>(data);
  o->geometryX = x;
  o->geometryY = y;
  o->transform = std::uint32_t(transform) & 7;
}
void outputMode(void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height, std::int32_t) {
  auto* o = static_cast<Output*>(data);
  if (flags & WL_OUTPUT_MODE_CURRENT) {
    o->modeWidth = width;
    o->modeHeight = height;
  }
}
void outputDone(void* data, wl_output*) {
  auto* o = static_cast<Output*>(data);
  o->wlDone = true;
  described(*o);
}
void outputScale(void* data, wl_output*, std::int32_t factor) { static_cast<Output*>(data)->scale = factor; }
void outputName(void* data, wl_output*, const char* name) { static_cast<Output*>(data)->connector = name ? name : ""; }
void outputText(void*, wl_output*, const char*) {}
const wl_output_listener kOutputListener = {outputGeometry, outputMode, outputDone,
                                            outputScale,    outputName, outputText};

void xdgOutputPosition(void* data, zxdg_output_v1*, std::int32_t x, std::int32_t y) {
  auto* o = static_cast<Output*>(data);
  o->logical.x = x;
  o->logical.y = y;
  o->haveLogicalPosition = true;
}
void xdgOutputSize(void* data, zxdg_output_v1*, std::int32_t width, std::int32_t height) {
  auto* o = static_cast<Output*>(data);
  o->logical.width = width;
  o->logical.height = height;
  o->haveLogicalSize = true;
}
void xdgOutputDone(void* data, zxdg_output_v1*) { described(*static_cast<Output*>(data)); }
void xdgOutputName(void* data, zxdg_output_v1*, const char* name) {
  auto* o = static_cast<Output*>(data);
  if (o->connector.empty() && name) o->connector = name;  // wl_output's own name, where it gave one, is the same
}
void xdgOutputText(void*, zxdg_output_v1*, const char*) {}
const zxdg_output_v1_listener kXdgOutputListener = {xdgOutputPosition, xdgOutputSize, xdgOutputDone, xdgOutputName,
                                                    xdgOutputText};

}  // namespace

void listenToOutput(Output& output, zxdg_output_manager_v1* xdgOutputs) {
  wl_output_add_listener(output.output, &kOutputListener, &output);
  listenToXdgOutput(output, xdgOutputs);
}

void listenToXdgOutput(Output& output, zxdg_output_manager_v1* xdgOutputs) {
  if (!xdgOutputs || output.xdgOutput) return;
  output.xdgOutput = zxdg_output_manager_v1_get_xdg_output(xdgOutputs, output.output);
  zxdg_output_v1_add_listener(output.xdgOutput, &kXdgOutputListener, &output);
}

void cancelCapture(Output& output) {
  if (output.frame) zwlr_screencopy_frame_v1_destroy(output.frame);
  output.frame = nullptr;
  releaseImageCopy(output);
  output.capture.reset();
  output.copied.clear();
  output.captured.data = nullptr;
  if (output.stage == OutputStage::capturing) output.stage = OutputStage::captured;
}

void releaseOutput(Output& output) {
  cancelCapture(output);
  if (output.xdgOutput) zxdg_output_v1_destroy(output.xdgOutput);
  output.xdgOutput = nullptr;
  if (output.output) {
    if (wl_output_get_version(output.output) >= WL_OUTPUT_RELEASE_SINCE_VERSION) {
      wl_output_release(output.output);
    } else {
      wl_output_destroy(output.output);
    }
  }
  output.output = nullptr;
}
