#include "capture_image_copy.h"

#include "ext-image-capture-source-v1-client-protocol.h"
#include "ext-image-copy-capture-v1-client-protocol.h"

namespace {

// A frame failed for a buffer that no longer fits the constraints is asked again with the new
// ones, this many times in all; a compositor whose constraints keep changing gets no more.
constexpr int kMostTries = 3;

void dropFrame(Output& o) {
  if (o.captureFrame) ext_image_copy_capture_frame_v1_destroy(o.captureFrame);
  o.captureFrame = nullptr;
}

void finish(Output& o, bool ok) {
  if (ok && o.capture) {
    o.captured.data = static_cast<const unsigned char*>(o.capture->data);
    o.captured.size = o.capture->size;
  }
  o.stage = OutputStage::captured;
  releaseImageCopy(o);
}

void frameTransform(void* data, ext_image_copy_capture_frame_v1*, std::uint32_t transform) {
  static_cast<Output*>(data)->captured.transform = transform & 7;
}
void frameDamage(void*, ext_image_copy_capture_frame_v1*, std::int32_t, std::int32_t, std::int32_t, std::int32_t) {}
void framePresented(void*, ext_image_copy_capture_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {}
void frameReady(void* data, ext_image_copy_capture_frame_v1*) {
  auto* o = static_cast<Output*>(data);
  if (o->stage == OutputStage::capturing) finish(*o, true);
}
void startFrame(Output& o);
void frameFailed(void* data, ext_image_copy_capture_frame_v1*, std::uint32_t reason) {
  auto* o = static_cast<Output*>(data);
  dropFrame(*o);
  o->capture.reset();
  if (o->stage != OutputStage::capturing) return;
  if (reason != EXT_IMAGE_COPY_CAPTURE_FRAME_V1_FAILURE_REASON_BUFFER_CONSTRAINTS || o->captureTries >= kMostTries) {
    finish(*o, false);
  } else if (o->constraints.complete) {
    startFrame(*o);
  }
  // Else the new constraints are still coming: their done asks again.
}
const ext_image_copy_capture_frame_v1_listener kFrameListener = {frameTransform, frameDamage, framePresented,
                                                                 frameReady, frameFailed};

// One frame into a buffer of the session's latest constraints.
void startFrame(Output& o) {
  BufferShape shape;
  if (shapeBuffer(o.constraints, shape)) o.capture = makeCaptureBuffer(o.shm, shape.format, shape.width, shape.height,
                                                                     shape.stride);
  if (!o.capture) {
    finish(o, false);  // nothing we can read was offered
    return;
  }
  o.captured.width = std::int32_t(shape.width);
  o.captured.height = std::int32_t(shape.height);
  o.captured.stride = shape.stride;
  o.captured.format = shape.format;
  o.captured.yInverted = false;  // rows always come top first here
  // The output's own until the frame says which transform the copy has.
  o.captured.transform = o.transform;
  ++o.captureTries;
  o.captureFrame = ext_image_copy_capture_session_v1_create_frame(o.captureSession);
  ext_image_copy_capture_frame_v1_add_listener(o.captureFrame, &kFrameListener, &o);
  ext_image_copy_capture_frame_v1_attach_buffer(o.captureFrame, o.capture->buffer);
  ext_image_copy_capture_frame_v1_damage_buffer(o.captureFrame, 0, 0, std::int32_t(shape.width),
                                                std::int32_t(shape.height));
  ext_image_copy_capture_frame_v1_capture(o.captureFrame);
}

void sessionBufferSize(void* data, ext_image_copy_capture_session_v1*, std::uint32_t width, std::uint32_t height) {
  static_cast<Output*>(data)->constraints.onBufferSize(width, height);
}
void sessionShmFormat(void* data, ext_image_copy_capture_session_v1*, std::uint32_t format) {
  static_cast<Output*>(data)->constraints.onShmFormat(format);
}
void sessionDmabufDevice(void* data, ext_image_copy_capture_session_v1*, wl_array*) {
  static_cast<Output*>(data)->constraints.onDmabuf();
}
void sessionDmabufFormat(void* data, ext_image_copy_capture_session_v1*, std::uint32_t, wl_array*) {
  static_cast<Output*>(data)->constraints.onDmabuf();
}
void sessionDone(void* data, ext_image_copy_capture_session_v1*) {
  auto* o = static_cast<Output*>(data);
  o->constraints.onDone();
  // A frame under way keeps its buffer: should it no longer fit, the frame fails and is asked
  // again with these constraints.
  if (o->stage == OutputStage::capturing && !o->captureFrame) startFrame(*o);
}
void sessionStopped(void* data, ext_image_copy_capture_session_v1*) {
  auto* o = static_cast<Output*>(data);
  if (o->stage == OutputStage::capturing) {
    finish(*o, false);
  } else {
    releaseImageCopy(*o);
  }
}
void sessionPreferredDone(void*, ext_image_copy_capture_session_v1*) {}
const ext_image_copy_capture_session_v1_listener kSessionListener = {
    sessionBufferSize, sessionShmFormat, sessionDmabufDevice, sessionDmabufFormat,
    sessionDone,       sessionStopped,   sessionPreferredDone};

}  // namespace

void requestImageCopy(ext_image_copy_capture_manager_v1* manager, ext_output_image_capture_source_manager_v1* sources,
                      wl_shm* shm, Output& output) {
  output.shm = shm;
  output.stage = OutputStage::capturing;
  output.constraints.clear();
  output.captureTries = 0;
  output.captureSource = ext_output_image_capture_source_manager_v1_create_source(sources, output.output);
  // No cursor in the picture: the pieces would carry it as part of the desktop.
  output.captureSession = ext_image_copy_capture_manager_v1_create_session(manager, output.captureSource, 0);
  ext_image_copy_capture_session_v1_add_listener(output.captureSession, &kSessionListener, &output);
}

void releaseImageCopy(Output& output) {
  dropFrame(output);
  if (output.captureSession) ext_image_copy_capture_session_v1_destroy(output.captureSession);
  output.captureSession = nullptr;
  if (output.captureSource) ext_image_capture_source_v1_destroy(output.captureSource);
  output.captureSource = nullptr;
}
