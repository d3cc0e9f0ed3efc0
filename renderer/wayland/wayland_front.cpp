// Wayland/EGL front-end of the native program `glassfall` (--wayland): the run.
//  [x] every output: a layer-shell surface on the overlay layer, all edges, keyboard focus;
//      without layer-shell a fullscreen xdg_toplevel per output (overlay_surface)
//  [x] picture: each output copied before anything shows, from the first the session offers:
//      ext-image-copy-capture (capture_image_copy) or wlr-screencopy (capture_screencopy) into
//      wl_shm, turned back from the copy's transform; KWin's screenshots on the session bus
//      (capture_kwin); the screenshot portal's picture where its permission is stored
//      (capture_portal, GNOME); all put together into one desktop picture; with none:
//      untextured pieces
//  [x] fractional scales (wp_fractional_scale_v1 + wp_viewporter): buffers of the output's
//      own pixel size, the picture as fine as the finest output
//  [x] one scene for the whole layout, each surface showing its output's part of it at the
//      output's buffer scale (one frame schedule, one picture, one texture, one GL context)
//  [x] outputs plugged in (surface within a second, black where no picture was taken) and
//      out (surface dropped) during the run; a surface the compositor closed is made again
//      while its output stays; a run with no surface left ends
//  [x] ends: a key other than g, r, s; the pointer moved or a button; SIGTERM/SIGINT; the
//      compositor gone (exit 0); a protocol error (exit 1); a drawing loop stuck for 3 s
//  [x] frames drawn only where they changed over a back buffer of known age (EGL_EXT_buffer_age),
//      swaps naming that part to the compositor (swap_buffers_with_damage)
//  [ ] the --fps corner (no font here)
#include "wayland_front.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "capture_image_copy.h"
#include "capture_kwin.h"
#include "capture_screencopy.h"
#include "frame_loop.h"
#include "loop_hooks.h"
#include "mipmap_chain.h"
#include "posix_clock.h"
#include "scene.h"
#include "wayland_run.h"

namespace waylandrun {
namespace {

// A capture not delivered by then will not be: that output's part stays black.
constexpr std::int64_t kCaptureTimeout = 5 * kNanosecondsPerSecond;
constexpr std::int64_t kConfigureTimeout = 2 * kNanosecondsPerSecond;
// A drawing loop that made no turn for this long is stuck in a call that will not return: an
// overlay holding the keyboard must not stay frozen on the screen.
constexpr Watchdog::Limits kStuck = {3 * kNanosecondsPerSecond, 1 * kNanosecondsPerSecond};

void endStuck() {
  static const char line[] = "glassfall: the drawing stopped for 3 s (the compositor takes no frames): ending\n";
  [[maybe_unused]] ssize_t n = write(2, line, sizeof line - 1);
  _exit(0);
}

bool stopAsked() { return stopsignals::requested(); }

}  // namespace

WaylandRun::WaylandRun(const RunOptions& options)
    : options_(options), connection_(kProgram, *this), input_(*this), egl_(kProgram),
      watchdog_(kStuck, monotonicNow, stopAsked, endStuck) {}

// ---- the run ----

// Every output as it is now, before anything of ours shows on it. Only the outputs asked for
// are waited for: one announced meanwhile is covered black with the rest.
void WaylandRun::captureOutputs() {
  const Globals& g = connection_.globals();
  const CaptureSource source = chooseCaptureSource(g.imageCopy, g.outputSources, g.screencopy);
  if (source == CaptureSource::none) {
    // KDE Plasma: KWin's screenshots on the session bus; else (GNOME) the desktop portal's,
    // which says so itself when there is none either.
    if (!captureThroughKwin(outputs_, monotonicNow() + kCaptureTimeout, kProgram) && !ending()) {
      captureThroughPortal(kCaptureTimeout);
    }
    return;
  }
  for (auto& o : outputs_) {
    if (o->stage != OutputStage::described) continue;
    if (source == CaptureSource::imageCopy) requestImageCopy(g.imageCopy, g.outputSources, g.shm, *o);
    if (source == CaptureSource::screencopy) requestScreencopy(g.screencopy, g.shm, *o);
  }
  const std::int64_t deadline = monotonicNow() + kCaptureTimeout;
  for (;;) {
    bool waiting = false;
    for (auto& o : outputs_) waiting = waiting || o->stage == OutputStage::capturing;
    if (!waiting || ending()) break;
    const std::int64_t left = deadline - monotonicNow();
    if (left <= 0) break;
    if (!connection_.dispatch(int(left / 1000000) + 1)) break;
  }
  // Given up: let go, so that a late answer can neither write into the buffer nor take the
  // output back from a later stage.
  for (auto& o : outputs_) {
    if (o->stage == OutputStage::capturing) cancelCapture(*o);
  }
}

// The picture: the whole layout as it was, at the finest scale of any output. A texture of the
// picture's own size draws it texel for pixel; one rounded to a power of two gets a finer
// picture first, so that the rounding takes none of its pixels away.
void WaylandRun::composePicture(bool textureOfOwnSize) {
  std::vector<LayoutRect> places;
  std::vector<OutputCapture> captures;
  for (auto& o : outputs_) {
    if (o->stage == OutputStage::announced) continue;
    places.push_back(o->place());
    // As fine as the finest output: every pixel of a 1.5x or 2x copy reaches the picture.
    if (o->density().n > pictureScale_.n) pictureScale_ = o->density();
    if (o->captured.data) {
      o->captured.logical = o->place();
      captures.push_back(o->captured);
    }
  }
  bounds_ = layoutBounds(places);
  if (bounds_.width <= 0) bounds_ = {0, 0, kDefaultWidth, kDefaultHeight};
  if (!captures.empty()) {
    std::vector<std::uint32_t> pixels;
    const FractionalScale finer =
        textureOfOwnSize ? pictureScale_
                         : pictureScaleFor(bounds_.width, bounds_.height, pictureScale_, mipmap::nearestPowerOfTwo);
    // The finer picture where it fits within the picture limit, else the output's own scale.
    const bool composed =
        composeDesktop(captures, bounds_, finer, pixels) && desktopPicture(pixels, bounds_, finer, picture_);
    if (!composed && !(composeDesktop(captures, bounds_, pictureScale_, pixels) &&
                       desktopPicture(pixels, bounds_, pictureScale_, picture_))) {
      std::fprintf(stderr, "%s: the desktop is too large to picture: the pieces show untextured\n", kProgram);
    }
  }
  for (auto& o : outputs_) {
    o->capture.reset();
    o->copied.clear();
    o->captured.data = nullptr;
  }
  portalPicture_.clear();
  pictureRows_ = picture_.rows();
}


bool WaylandRun::placeView(std::size_t index, Viewport& where) {
  const Output& o = *views_[index];
  where = outputViewport(bounds_, o.place(), o.viewScale());
  return true;
}

void WaylandRun::presentView(std::size_t index, const ScreenRect& changed) {
  Output& o = *views_[index];
  if (egl_.swap(o, changed)) {
    o.mustDraw = false;
  } else {
    failedSwaps_.push_back(&o);
  }
}

// One turn of the schedule over every surface that is drawing. Milliseconds to wait before
// the next turn.
std::uint32_t WaylandRun::drawFrame(std::int64_t now) {
  constexpr std::uint32_t kIdleWait = 100;  // no surface to draw on yet: only events to wait for
  views_.clear();
  bool mustDraw = keyed_;
  for (auto& o : outputs_) {
    if (o->stage != OutputStage::drawing) continue;
    views_.push_back(o.get());
    mustDraw = mustDraw || o->mustDraw;
  }
  if (views_.empty()) return kIdleWait;
  const FrameDriver::Frame frame = driver_.draw(now, mustDraw, *this);
  if (!frame.due) return frame.waitMilliseconds;
  keyed_ = false;
  // A surface whose swap failed is made again, as one the compositor closed.
  for (Output* o : failedSwaps_) onSurfaceClosed(*o);
  failedSwaps_.clear();
  driver_.shown(monotonicNow());
  return 0;
}

int WaylandRun::runToTheEnd(RunCompanions& companions) {
  LoopHooks& hooks = loopHooks();
  if (!connection_.open()) return status() != 0 || !(connection_.ended() || stopsignals::requested()) ? 1 : 0;
  hooks.onStartupStep("connected");
  captureOutputs();
  hooks.onStartupStep("captured");
  if (ending()) return status();
  if (!egl_.start(connection_.display())) return 1;
  hooks.onStartupStep("egl ready");
  composePicture(egl_.makeCurrentAlone() && mipmap::defaultOptions().ownSize);
  hooks.onStartupStep("picture composed");
  covering_ = true;
  for (auto& o : outputs_) {
    if (o->stage != OutputStage::announced) cover(*o);
  }
  // Every surface sized before the first frame, so the picture's still moment shows on all.
  const std::int64_t deadline = monotonicNow() + kConfigureTimeout;
  for (;;) {
    bool waiting = false;
    for (auto& o : outputs_) waiting = waiting || o->stage == OutputStage::covered;
    if (!waiting || ending() || monotonicNow() > deadline) break;
    if (!connection_.dispatch(50)) break;
  }
  tendSurfaces();
  hooks.onStartupStep("surfaces sized");
  if (ending()) return status();
  Output* first = nullptr;
  for (auto& o : outputs_) {
    if (!first && o->stage == OutputStage::drawing && egl_.makeCurrent(*o)) first = o.get();
  }
  if (!first) {
    std::fprintf(stderr, "%s: no output to draw on\n", kProgram);
    return 1;
  }

  FrameDriverOptions driving;
  driving.frequency = kNanosecondsPerSecond;
  driving.delay = std::int64_t(options_.delayMicroseconds) * 1000;
  const Viewport view = outputViewport(bounds_, first->place(), first->viewScale());
  ::placeView(view.left, view.bottom, view.width, view.height);
  driver_.init(driving, view.width, view.height, &pictureRows_, monotonicNow());
  driving_ = true;
  companions.start();
  watchdog_.arm();
  watchdog_.start(kNanosecondsPerSecond / 4);

  while (!ending()) {
    watchdog_.beat();
    if (!connection_.dispatch(0)) break;
    tendSurfaces();
    if (!anySurface()) {
      std::fprintf(stderr, "%s: no output left to show on: ending\n", kProgram);
      break;
    }
    if (ending()) break;
    const std::uint32_t wait = drawFrame(monotonicNow());
    // Nothing due: sleep until the next frame, an event or a stop request.
    if (wait > 0 && !connection_.dispatch(int(wait))) break;
  }
  watchdog_.stop();
  driver_.free();
  driving_ = false;
  companions.stop();
  return status();
}

void WaylandRun::close() {
  watchdog_.stop();
  // The texture belongs to the context: give it back while the context is current.
  if (egl_.makeCurrentAlone()) snapshotTexture.release();
  usePictureFromMemory(nullptr);
  for (auto& o : outputs_) {
    dropSurface(*o);
    releaseOutput(*o);
  }
  outputs_.clear();
  egl_.close();
  input_.close();
  connection_.close();
}

}  // namespace waylandrun

int runOnWayland(const RunOptions& options, RunCompanions& companions) {
  using waylandrun::kProgram;
  if (options.showFps) std::fprintf(stderr, "%s: --fps: no frame-rate corner on Wayland yet\n", kProgram);
  waylandrun::WaylandRun client(options);
  return client.run(companions);
}
