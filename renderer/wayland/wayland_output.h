// One output of the compositor through the run: what it tells of itself, the copy of it taken
// before we cover it, and our surface over it, as one explicit stage of its life.
#pragma once

#include <EGL/egl.h>
#include <sys/mman.h>
#include <wayland-client.h>
#include <wayland-egl.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capture_choice.h"
#include "desktop_picture.h"

struct zxdg_output_v1;
struct zxdg_output_manager_v1;
struct zwlr_screencopy_frame_v1;
struct ext_image_capture_source_v1;
struct ext_image_copy_capture_session_v1;
struct ext_image_copy_capture_frame_v1;
struct zwlr_layer_surface_v1;
struct xdg_surface;
struct xdg_toplevel;
struct wp_fractional_scale_v1;
struct wp_viewport;

// Where an output is in its life with us. The capture stages come only before the run shows;
// an output announced later goes from described straight to covered.
enum class OutputStage {
  announced,   // bound; its description not complete yet
  described,   // its place, size and scale known
  capturing,   // a copy of it asked for
  captured,    // the copy is over (with its pixels, or failed)
  covered,     // our surface made, waiting for the compositor to size it
  configured,  // sized: ready for its EGL surface
  drawing,     // frames go to it
  closed,      // the compositor took our surface away; covered again while the output stays
};

// A wl_shm buffer the compositor copies one output into.
struct CaptureBuffer {
  wl_buffer* buffer = nullptr;
  void* data = MAP_FAILED;
  std::size_t size = 0;

  ~CaptureBuffer();
};

// A wl_shm buffer of `height` rows of `stride` bytes in `format`; nullptr when it cannot be made.
std::unique_ptr<CaptureBuffer> makeCaptureBuffer(wl_shm* shm, std::uint32_t format, std::uint32_t width,
                                                 std::uint32_t height, std::uint32_t stride);

class OutputEvents {
 public:
  // The output finished telling where it is (at start, or again after a change).
  virtual void onOutputDescribed(struct Output& output) = 0;

 protected:
  ~OutputEvents() = default;
};

struct Output {
  OutputEvents* events = nullptr;
  wl_shm* shm = nullptr;  // where its copy is made
  std::uint32_t name = 0;
  wl_output* output = nullptr;
  std::string connector;  // the compositor's name for it ("DP-1"), when it tells

  zxdg_output_v1* xdgOutput = nullptr;
  OutputStage stage = OutputStage::announced;
  int scale = 1;
  std::uint32_t transform = WL_OUTPUT_TRANSFORM_NORMAL;
  int modeWidth = 0;
  int modeHeight = 0;
  int geometryX = 0;
  int geometryY = 0;
  LayoutRect logical;
  bool haveLogicalPosition = false;
  bool haveLogicalSize = false;
  bool wlDone = false;  // wl_output.done seen

  // The copy taken before we cover it: a screencopy frame, or an image-copy session and frame.
  zwlr_screencopy_frame_v1* frame = nullptr;
  ext_image_capture_source_v1* captureSource = nullptr;
  ext_image_copy_capture_session_v1* captureSession = nullptr;
  ext_image_copy_capture_frame_v1* captureFrame = nullptr;
  BufferConstraints constraints;  // the session's, since its last done
  int captureTries = 0;           // frames asked of the session
  std::unique_ptr<CaptureBuffer> capture;
  OutputCapture captured;
  std::vector<unsigned char> copied;  // a copy read from a pipe rather than made in wl_shm (KWin)

  // Our surface over it.
  wl_surface* surface = nullptr;
  zwlr_layer_surface_v1* layerSurface = nullptr;
  xdg_surface* xdgSurface = nullptr;
  xdg_toplevel* toplevel = nullptr;
  wl_egl_window* eglWindow = nullptr;
  EGLSurface eglSurface = EGL_NO_SURFACE;
  int width = 0;  // logical, as the compositor configured the surface
  int height = 0;
  int bufferScale = 1;  // the integer scale drawn at until the compositor prefers a fractional one
  int preferredScale = 0;  // 120ths, from wp_fractional_scale_v1; 0 before it says
  wp_fractional_scale_v1* fractionalScale = nullptr;
  wp_viewport* viewport = nullptr;
  int timesClosed = 0;
  bool mustDraw = true;  // shown nothing yet, or resized

  // Its rectangle in the layout, logical pixels.
  LayoutRect place() const;
  // Its pixels per logical pixel (mode over logical size): the picture's scale over it.
  FractionalScale density() const;
  // The scale our surface is drawn at, and its buffer's size at that scale.
  FractionalScale drawScale() const;
  int bufferWidth() const { return int(scaledLength(width, drawScale())); }
  int bufferHeight() const { return int(scaledLength(height, drawScale())); }
  // Pixels of our buffer per unit of the layout over it, once our surface is sized (else its
  // draw scale): its scale, except where the layout counts pixels already (GNOME without
  // fractional scaling lays a 2x monitor out at its full pixel size: one pixel a unit there).
  FractionalScale viewScale() const;
  bool hasSurface() const { return stage == OutputStage::covered || stage == OutputStage::configured ||
                                   stage == OutputStage::drawing; }
};

// Listens to the output (and its xdg-output, when the manager is there).
void listenToOutput(Output& output, zxdg_output_manager_v1* xdgOutputs);
// The xdg-output of an output announced before the manager.
void listenToXdgOutput(Output& output, zxdg_output_manager_v1* xdgOutputs);
// Lets a copy under way go, whichever protocol it uses, and its buffer: an output still
// capturing ends captured, without pixels.
void cancelCapture(Output& output);
// Lets the output's objects go (not its surface).
void releaseOutput(Output& output);
