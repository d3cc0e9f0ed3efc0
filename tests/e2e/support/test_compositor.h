// The e2e tests' own compositor (test code, never shipped): its state, shared by its three files.
#pragma once

#include <wayland-server.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tc {

// Pixels as RGB bytes, rows from the top.
struct Rgb {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> data;
};

struct LayerSurface;

struct Output {
  int index = 0;  // 1, 2, ... in the order made; never reused
  int width = 0;  // mode: buffer pixels
  int height = 0;
  int x = 0;  // logical position
  int y = 0;
  int scale = 1;
  int transform = 0;  // wl_output's: 1-3 turned 90, 180, 270 counter-clockwise, 4-7 mirrored first
  Rgb picture;        // what a capture of it copies: the mode's size, in the buffer's orientation
  wl_global* global = nullptr;
  bool removed = false;
  // Captures.
  bool failCaptures = false;
  bool staleSize = false;  // the next session's first constraints give half the size
  bool held = false;
  wl_event_source* holdTimer = nullptr;
  std::vector<wl_resource*> heldFrames;
  int capturesServed = 0;      // through ext-image-copy-capture
  int screencopiesServed = 0;  // through wlr-screencopy
  int bound = 0;               // wl_output objects clients made of it
  // What our layer surfaces on it showed last.
  Rgb shown;
  int commits = 0;  // buffers committed by layer surfaces on it, all told
  int closedSent = 0;
};

struct Surface {
  wl_resource* resource = nullptr;
  wl_resource* pendingBuffer = nullptr;
  wl_listener pendingBufferGone;
  std::vector<wl_resource*> pendingCallbacks;
  LayerSurface* layer = nullptr;
};

struct LayerSurface {
  wl_resource* resource = nullptr;
  Surface* surface = nullptr;
  Output* output = nullptr;
  bool configured = false;
  bool closed = false;
};

struct Compositor {
  wl_display* display = nullptr;
  wl_event_loop* loop = nullptr;
  std::vector<std::unique_ptr<Output>> outputs;
  std::vector<LayerSurface*> layers;
  std::vector<wl_resource*> frameCallbacks;  // answered on the next tick
  std::vector<wl_resource*> keyboards;
  std::string keymap;
  bool offerImageCopy = true;
  bool offerScreencopy = false;
  int nextIndex = 1;
};

extern Compositor server;

// Outputs (test_compositor.cpp).
Output* outputByIndex(int index);
Output* addOutput(const std::string& spec, std::string& error);
void removeOutput(Output& output);
// Surfaces, layer shell, seat (test_compositor_surfaces.cpp).
void offerSurfaces();
int closeLayerSurfaces(Output& output);
int liveLayerSurfaces(const Output& output);
bool sendKey(const std::string& name);
// Captures (test_compositor_capture.cpp).
void offerCapture();
void releaseHeldFrames(Output& output);
// A frame gone: no longer waiting on any output.
void forgetHeld(wl_resource* frame);
// The output's picture into a wl_shm buffer of its mode size, XRGB8888 or ARGB8888.
bool copyPicture(const Output& output, wl_resource* buffer);
// wlr-screencopy (test_compositor_screencopy.cpp).
void offerScreencopy();
bool isScreencopyFrame(wl_resource* frame);
void serveScreencopy(wl_resource* frame);
// Reads a wl_shm buffer of a 32-bit format into RGB; false for anything else.
bool readShmBuffer(wl_resource* buffer, Rgb& into);

}  // namespace tc
