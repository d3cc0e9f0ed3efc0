// The connection to the compositor: connecting, the globals we bind, reading and handling
// events with a time limit, and how the connection ended.
#pragma once

#include <wayland-client.h>

#include <cstdint>

struct zwlr_layer_shell_v1;
struct zwlr_screencopy_manager_v1;
struct ext_image_copy_capture_manager_v1;
struct ext_output_image_capture_source_manager_v1;
struct zxdg_output_manager_v1;
struct xdg_wm_base;
struct wp_fractional_scale_manager_v1;
struct wp_viewporter;

// What the registry announces that is more than a singleton to bind.
class RegistryEvents {
 public:
  virtual void onOutputAnnounced(std::uint32_t name, wl_output* output) = 0;
  virtual void onSeatAnnounced(wl_seat* seat) = 0;
  // An output (or another global) went away.
  virtual void onGlobalRemoved(std::uint32_t name) = 0;
  // The xdg-output manager came after some outputs.
  virtual void onXdgOutputManager(zxdg_output_manager_v1* manager) = 0;

 protected:
  ~RegistryEvents() = default;
};

struct Globals {
  wl_compositor* compositor = nullptr;
  wl_shm* shm = nullptr;
  zwlr_layer_shell_v1* layerShell = nullptr;
  zwlr_screencopy_manager_v1* screencopy = nullptr;
  ext_image_copy_capture_manager_v1* imageCopy = nullptr;
  ext_output_image_capture_source_manager_v1* outputSources = nullptr;
  zxdg_output_manager_v1* xdgOutputs = nullptr;
  xdg_wm_base* wmBase = nullptr;
  // Both or neither used: a fractional scale is drawn through a viewport.
  wp_fractional_scale_manager_v1* fractionalScale = nullptr;
  wp_viewporter* viewporter = nullptr;
};

class Connection {
 public:
  Connection(const char* program, RegistryEvents& events) : program_(program), events_(events) {}
  ~Connection() { close(); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Connects and learns the globals and what each output tells of itself, within a time limit;
  // false, said in one line, when that fails (see ended() and protocolError()), or when a stop
  // request comes meanwhile.
  bool open();
  // Reads and handles what the compositor sent, waiting up to the timeout for it or for a stop
  // request. False when the connection is over.
  bool dispatch(int timeoutMilliseconds);
  // The compositor is gone or broke the connection.
  bool ended() const { return ended_; }
  // It ended on a protocol error: a fault of ours, said in one line (exit 1).
  bool protocolError() const { return protocolError_; }

  wl_display* display() const { return display_; }
  const Globals& globals() const { return globals_; }

  // Listener entry points.
  void onGlobal(std::uint32_t name, const char* interface, std::uint32_t version);
  void onGlobalRemove(std::uint32_t name) { events_.onGlobalRemoved(name); }

  // Lets the globals go and disconnects (the outputs and the seat are their owners' to free).
  void close();

 private:
  // One round trip: everything sent so far answered. False when the time ran out, the
  // connection ended or a stop was asked for.
  bool roundtrip(std::int64_t deadline);
  bool fail();

  const char* program_;
  RegistryEvents& events_;
  wl_display* display_ = nullptr;
  wl_registry* registry_ = nullptr;
  Globals globals_;
  bool ended_ = false;
  bool protocolError_ = false;
};
