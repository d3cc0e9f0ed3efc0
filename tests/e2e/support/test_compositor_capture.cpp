// The test compositor's ext-image-copy-capture: each output's session offers XRGB8888 and
// ARGB8888 at the output's mode size, and a frame copies the output's known picture in the
// buffer's orientation, with the output's transform. Captures of either protocol can be held or
// made to fail by command.
#include <algorithm>

#include "ext-image-capture-source-v1-server-protocol.h"
#include "ext-image-copy-capture-v1-server-protocol.h"
#include "test_compositor.h"

namespace tc {
namespace {

constexpr std::uint32_t kArgb8888 = WL_SHM_FORMAT_ARGB8888;
constexpr std::uint32_t kXrgb8888 = WL_SHM_FORMAT_XRGB8888;

struct Frame;

struct Session {
  wl_resource* resource = nullptr;
  Output* output = nullptr;
  bool stale = false;  // its constraints gave the wrong size: put right at the next capture
  std::vector<Frame*> frames;
};

struct Frame {
  wl_resource* resource = nullptr;
  Session* session = nullptr;  // nullptr once the session is gone
  Output* output = nullptr;    // its session's; outputs live as long as the compositor
  wl_resource* buffer = nullptr;
  wl_listener bufferGone;
  bool captured = false;
};

void destroyResource(wl_client*, wl_resource* resource) { wl_resource_destroy(resource); }

Frame* frameOf(wl_resource* r) { return static_cast<Frame*>(wl_resource_get_user_data(r)); }

void detachBuffer(Frame& f) {
  wl_list_remove(&f.bufferGone.link);
  wl_list_init(&f.bufferGone.link);
  f.buffer = nullptr;
}
void frameBufferGone(wl_listener* listener, void*) {
  Frame* f = wl_container_of(listener, f, bufferGone);
  detachBuffer(*f);
}

}  // namespace

bool copyPicture(const Output& o, wl_resource* buffer) {
  wl_shm_buffer* shm = wl_shm_buffer_get(buffer);
  if (!shm || wl_shm_buffer_get_width(shm) != o.width || wl_shm_buffer_get_height(shm) != o.height) return false;
  const std::uint32_t format = wl_shm_buffer_get_format(shm);
  const std::int32_t stride = wl_shm_buffer_get_stride(shm);
  if ((format != kArgb8888 && format != kXrgb8888) || stride < o.width * 4) return false;
  wl_shm_buffer_begin_access(shm);
  auto* rows = static_cast<std::uint8_t*>(wl_shm_buffer_get_data(shm));
  for (int y = 0; y < o.height; ++y) {
    std::uint8_t* out = rows + std::size_t(y) * std::size_t(stride);
    const std::uint8_t* in = &o.picture.data[std::size_t(y) * o.width * 3];
    for (int x = 0; x < o.width; ++x, out += 4, in += 3) {
      // 0xAARRGGBB, little-endian.
      out[0] = in[2], out[1] = in[1], out[2] = in[0], out[3] = 0xff;
    }
  }
  wl_shm_buffer_end_access(shm);
  return true;
}

namespace {

void serve(Frame& f) {
  Output* o = f.output;
  if (!o || o->removed) {
    ext_image_copy_capture_frame_v1_send_failed(f.resource, EXT_IMAGE_COPY_CAPTURE_FRAME_V1_FAILURE_REASON_STOPPED);
  } else if (o->failCaptures) {
    ext_image_copy_capture_frame_v1_send_failed(f.resource, EXT_IMAGE_COPY_CAPTURE_FRAME_V1_FAILURE_REASON_UNKNOWN);
  } else if (!f.buffer || !copyPicture(*o, f.buffer)) {
    ext_image_copy_capture_frame_v1_send_failed(f.resource,
                                                EXT_IMAGE_COPY_CAPTURE_FRAME_V1_FAILURE_REASON_BUFFER_CONSTRAINTS);
  } else {
    ++o->capturesServed;
    ext_image_copy_capture_frame_v1_send_transform(f.resource, std::uint32_t(o->transform));
    ext_image_copy_capture_frame_v1_send_damage(f.resource, 0, 0, o->width, o->height);
    ext_image_copy_capture_frame_v1_send_presentation_time(f.resource, 0, 0, 0);
    ext_image_copy_capture_frame_v1_send_ready(f.resource);
  }
}

template <typename T>
void forget(std::vector<T*>& list, T* item) {
  list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

void sendConstraints(Session& s) {
  const Output& o = *s.output;
  const int shrink = s.stale ? 2 : 1;
  ext_image_copy_capture_session_v1_send_shm_format(s.resource, kXrgb8888);
  ext_image_copy_capture_session_v1_send_shm_format(s.resource, kArgb8888);
  ext_image_copy_capture_session_v1_send_buffer_size(s.resource, std::uint32_t(o.width / shrink),
                                                     std::uint32_t(o.height / shrink));
  ext_image_copy_capture_session_v1_send_done(s.resource);
}

void frameAttach(wl_client*, wl_resource* r, wl_resource* buffer) {
  Frame* f = frameOf(r);
  if (f->captured) {
    wl_resource_post_error(r, EXT_IMAGE_COPY_CAPTURE_FRAME_V1_ERROR_ALREADY_CAPTURED, "attach after capture");
    return;
  }
  detachBuffer(*f);
  f->buffer = buffer;
  wl_resource_add_destroy_listener(buffer, &f->bufferGone);
}
void frameDamage(wl_client*, wl_resource* r, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) {
  if (x < 0 || y < 0 || w <= 0 || h <= 0) {
    wl_resource_post_error(r, EXT_IMAGE_COPY_CAPTURE_FRAME_V1_ERROR_INVALID_BUFFER_DAMAGE, "invalid damage");
  }
}
void frameCapture(wl_client*, wl_resource* r) {
  Frame* f = frameOf(r);
  if (!f->buffer) {
    wl_resource_post_error(r, EXT_IMAGE_COPY_CAPTURE_FRAME_V1_ERROR_NO_BUFFER, "capture without a buffer");
    return;
  }
  if (f->captured) {
    wl_resource_post_error(r, EXT_IMAGE_COPY_CAPTURE_FRAME_V1_ERROR_ALREADY_CAPTURED, "captured twice");
    return;
  }
  f->captured = true;
  if (f->session && f->session->stale) {
    // The output "changed mode" under the frame: the right constraints, then the frame fails.
    f->session->stale = false;
    sendConstraints(*f->session);
  }
  Output* o = f->output;
  if (o && o->held && !o->removed) {
    o->heldFrames.push_back(r);
  } else {
    serve(*f);
  }
}
const struct ext_image_copy_capture_frame_v1_interface kFrameImpl = {destroyResource, frameAttach, frameDamage,
                                                                     frameCapture};
void frameGone(wl_resource* r) {
  Frame* f = frameOf(r);
  if (f->session) forget(f->session->frames, f);
  forgetHeld(r);
  detachBuffer(*f);
  delete f;
}

Session* sessionOf(wl_resource* r) { return static_cast<Session*>(wl_resource_get_user_data(r)); }
void createFrame(wl_client* client, wl_resource* r, std::uint32_t id) {
  auto* f = new Frame;
  f->session = sessionOf(r);
  f->session->frames.push_back(f);
  f->output = f->session->output;
  f->resource = wl_resource_create(client, &ext_image_copy_capture_frame_v1_interface, 1, id);
  wl_list_init(&f->bufferGone.link);
  f->bufferGone.notify = frameBufferGone;
  wl_resource_set_implementation(f->resource, &kFrameImpl, f, frameGone);
}
const struct ext_image_copy_capture_session_v1_interface kSessionImpl = {createFrame, destroyResource};
void sessionGone(wl_resource* r) {
  Session* s = sessionOf(r);
  for (Frame* f : s->frames) f->session = nullptr;
  delete s;
}

void startSession(wl_client* client, wl_resource* manager, std::uint32_t id, Output* output) {
  auto* s = new Session;
  s->output = output;
  s->resource = wl_resource_create(client, &ext_image_copy_capture_session_v1_interface,
                                   wl_resource_get_version(manager), id);
  wl_resource_set_implementation(s->resource, &kSessionImpl, s, sessionGone);
  if (!output || output->removed) {
    ext_image_copy_capture_session_v1_send_stopped(s->resource);
    return;
  }
  s->stale = output->staleSize;
  output->staleSize = false;
  sendConstraints(*s);
}

void createSession(wl_client* client, wl_resource* manager, std::uint32_t id, wl_resource* source,
                   std::uint32_t options) {
  if (options & ~std::uint32_t(EXT_IMAGE_COPY_CAPTURE_MANAGER_V1_OPTIONS_PAINT_CURSORS)) {
    wl_resource_post_error(manager, EXT_IMAGE_COPY_CAPTURE_MANAGER_V1_ERROR_INVALID_OPTION, "unknown options");
    return;
  }
  startSession(client, manager, id, static_cast<Output*>(wl_resource_get_user_data(source)));
}

// Cursor sessions: there is no cursor here, so their capture session is stopped at once.
void cursorCaptureSession(wl_client* client, wl_resource* r, std::uint32_t id) {
  startSession(client, r, id, nullptr);
}
const struct ext_image_copy_capture_cursor_session_v1_interface kCursorImpl = {destroyResource, cursorCaptureSession};
void createCursorSession(wl_client* client, wl_resource*, std::uint32_t id, wl_resource*, wl_resource*) {
  wl_resource* r = wl_resource_create(client, &ext_image_copy_capture_cursor_session_v1_interface, 1, id);
  wl_resource_set_implementation(r, &kCursorImpl, nullptr, nullptr);
}
const struct ext_image_copy_capture_manager_v1_interface kManagerImpl = {createSession, createCursorSession,
                                                                         destroyResource};
void bindManager(wl_client* client, void*, std::uint32_t version, std::uint32_t id) {
  wl_resource* r = wl_resource_create(client, &ext_image_copy_capture_manager_v1_interface, int(version), id);
  wl_resource_set_implementation(r, &kManagerImpl, nullptr, nullptr);
}

// Output sources: their user data is the output, which lives as long as the compositor.
const struct ext_image_capture_source_v1_interface kSourceImpl = {destroyResource};
void createSource(wl_client* client, wl_resource*, std::uint32_t id, wl_resource* output) {
  wl_resource* r = wl_resource_create(client, &ext_image_capture_source_v1_interface, 1, id);
  wl_resource_set_implementation(r, &kSourceImpl, wl_resource_get_user_data(output), nullptr);
}
const struct ext_output_image_capture_source_manager_v1_interface kSourcesImpl = {createSource, destroyResource};
void bindSources(wl_client* client, void*, std::uint32_t version, std::uint32_t id) {
  wl_resource* r = wl_resource_create(client, &ext_output_image_capture_source_manager_v1_interface, int(version), id);
  wl_resource_set_implementation(r, &kSourcesImpl, nullptr, nullptr);
}

}  // namespace

void offerCapture() {
  if (server.offerImageCopy) {
    wl_global_create(server.display, &ext_image_copy_capture_manager_v1_interface, 1, nullptr, bindManager);
    wl_global_create(server.display, &ext_output_image_capture_source_manager_v1_interface, 1, nullptr, bindSources);
  }
  if (server.offerScreencopy) offerScreencopy();
}

void releaseHeldFrames(Output& output) {
  output.held = false;
  const std::vector<wl_resource*> due = output.heldFrames;
  output.heldFrames.clear();
  for (wl_resource* frame : due) {
    if (isScreencopyFrame(frame)) {
      serveScreencopy(frame);
    } else {
      serve(*frameOf(frame));
    }
  }
}

void forgetHeld(wl_resource* frame) {
  for (auto& o : server.outputs) {
    o->heldFrames.erase(std::remove(o->heldFrames.begin(), o->heldFrames.end(), frame), o->heldFrames.end());
  }
}

bool readShmBuffer(wl_resource* buffer, Rgb& into) {
  wl_shm_buffer* shm = buffer ? wl_shm_buffer_get(buffer) : nullptr;
  if (!shm) return false;
  const std::uint32_t format = wl_shm_buffer_get_format(shm);
  const bool bgr = format == WL_SHM_FORMAT_ABGR8888 || format == WL_SHM_FORMAT_XBGR8888;
  if (format != kArgb8888 && format != kXrgb8888 && !bgr) return false;
  const int width = wl_shm_buffer_get_width(shm), height = wl_shm_buffer_get_height(shm);
  const std::int32_t stride = wl_shm_buffer_get_stride(shm);
  into.width = width;
  into.height = height;
  into.data.resize(std::size_t(width) * height * 3);
  wl_shm_buffer_begin_access(shm);
  const auto* rows = static_cast<const std::uint8_t*>(wl_shm_buffer_get_data(shm));
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* in = rows + std::size_t(y) * std::size_t(stride);
    std::uint8_t* out = &into.data[std::size_t(y) * width * 3];
    for (int x = 0; x < width; ++x, in += 4, out += 3) {
      out[0] = bgr ? in[0] : in[2], out[1] = in[1], out[2] = bgr ? in[2] : in[0];
    }
  }
  wl_shm_buffer_end_access(shm);
  return true;
}

}  // namespace tc
