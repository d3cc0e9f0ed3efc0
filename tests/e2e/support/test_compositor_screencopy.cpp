// The test compositor's wlr-screencopy (offered with --capture screencopy or both): the program's
// older capture path, served from the same pictures, held and failed by the same commands.
#include <cstring>

#include "test_compositor.h"
#include "wlr-screencopy-unstable-v1-server-protocol.h"

namespace tc {
namespace {

struct Frame {
  Output* output = nullptr;
  wl_resource* buffer = nullptr;  // the copy's, until served or destroyed
  wl_listener bufferGone;
  bool copied = false;
};

Frame* frameOf(wl_resource* r) { return static_cast<Frame*>(wl_resource_get_user_data(r)); }

void detachBuffer(Frame& f) {
  wl_list_remove(&f.bufferGone.link);
  wl_list_init(&f.bufferGone.link);
  f.buffer = nullptr;
}
void bufferGone(wl_listener* listener, void*) {
  Frame* f = wl_container_of(listener, f, bufferGone);
  detachBuffer(*f);
}

void destroyResource(wl_client*, wl_resource* resource) { wl_resource_destroy(resource); }

void copy(wl_client*, wl_resource* r, wl_resource* buffer) {
  Frame* f = frameOf(r);
  if (f->copied) {
    wl_resource_post_error(r, ZWLR_SCREENCOPY_FRAME_V1_ERROR_ALREADY_USED, "copied twice");
    return;
  }
  f->copied = true;
  f->buffer = buffer;
  wl_resource_add_destroy_listener(buffer, &f->bufferGone);
  if (f->output->held && !f->output->removed) {
    f->output->heldFrames.push_back(r);
  } else {
    serveScreencopy(r);
  }
}
const struct zwlr_screencopy_frame_v1_interface kFrameImpl = {copy, destroyResource, copy};
void frameGone(wl_resource* r) {
  forgetHeld(r);
  detachBuffer(*frameOf(r));
  delete frameOf(r);
}

void captureOutput(wl_client* client, wl_resource* manager, std::uint32_t id, std::int32_t, wl_resource* output) {
  auto* f = new Frame;
  wl_list_init(&f->bufferGone.link);
  f->bufferGone.notify = bufferGone;
  f->output = static_cast<Output*>(wl_resource_get_user_data(output));
  wl_resource* r = wl_resource_create(client, &zwlr_screencopy_frame_v1_interface, wl_resource_get_version(manager), id);
  wl_resource_set_implementation(r, &kFrameImpl, f, frameGone);
  if (f->output->removed) {
    zwlr_screencopy_frame_v1_send_failed(r);
    return;
  }
  const Output& o = *f->output;
  zwlr_screencopy_frame_v1_send_buffer(r, WL_SHM_FORMAT_XRGB8888, std::uint32_t(o.width), std::uint32_t(o.height),
                                       std::uint32_t(o.width) * 4);
  if (wl_resource_get_version(r) >= ZWLR_SCREENCOPY_FRAME_V1_BUFFER_DONE_SINCE_VERSION) {
    zwlr_screencopy_frame_v1_send_buffer_done(r);
  }
}
void captureRegion(wl_client* client, wl_resource* manager, std::uint32_t id, std::int32_t cursor, wl_resource* output,
                   std::int32_t, std::int32_t, std::int32_t, std::int32_t) {
  captureOutput(client, manager, id, cursor, output);  // the whole output: nothing here asks for less
}
const struct zwlr_screencopy_manager_v1_interface kManagerImpl = {captureOutput, captureRegion, destroyResource};
void bindManager(wl_client* client, void*, std::uint32_t version, std::uint32_t id) {
  wl_resource* r = wl_resource_create(client, &zwlr_screencopy_manager_v1_interface, int(version), id);
  wl_resource_set_implementation(r, &kManagerImpl, nullptr, nullptr);
}

}  // namespace

void offerScreencopy() { wl_global_create(server.display, &zwlr_screencopy_manager_v1_interface, 3, nullptr, bindManager); }

bool isScreencopyFrame(wl_resource* frame) {
  return std::strcmp(wl_resource_get_class(frame), zwlr_screencopy_frame_v1_interface.name) == 0;
}

void serveScreencopy(wl_resource* r) {
  Frame* f = frameOf(r);
  Output& o = *f->output;
  wl_resource* buffer = f->buffer;
  detachBuffer(*f);
  if (o.removed || o.failCaptures || !buffer || !copyPicture(o, buffer)) {
    zwlr_screencopy_frame_v1_send_failed(r);
    return;
  }
  ++o.screencopiesServed;
  zwlr_screencopy_frame_v1_send_flags(r, 0);
  zwlr_screencopy_frame_v1_send_ready(r, 0, 0, 0);
}

}  // namespace tc
