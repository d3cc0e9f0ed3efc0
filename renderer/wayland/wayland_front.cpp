// Wayland/EGL front-end of the native program `glassfall` (--wayland): the run.
//  [x] every output: a layer-shell surface on the overlay layer, all edges, keyboard focus;
//      without layer-shell a fullscreen xdg_toplevel per output (overlay_surface)
//  [x] picture: each output copied through wlr-screencopy into wl_shm before anything shows
//      (capture_screencopy), turned back from the output's transform, put together into one
//      desktop picture; no capture protocol: untextured pieces
//  [x] one scene for the whole layout, each surface showing its output's part of it at the
//      output's buffer scale (one frame schedule, one picture, one texture, one GL context)
//  [x] outputs plugged in (surface within a second, black where no picture was taken) and
//      out (surface dropped) during the run; a surface the compositor closed is made again
//      while its output stays; a run with no surface left ends
//  [x] ends: a key other than g, r, s; the pointer moved or a button; SIGTERM/SIGINT; the
//      compositor gone (exit 0); a protocol error (exit 1); a drawing loop stuck for 3 s
//  [ ] ext-image-copy-capture, fractional scale, the --fps corner (no font here)
#include "wayland_front.h"

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "capture_screencopy.h"
#include "desktop_picture.h"
#include "egl_context.h"
#include "frame_driver.h"
#include "frame_loop.h"
#include "overlay_surface.h"
#include "posix_clock.h"
#include "scene.h"
#include "stop_signals.h"
#include "watchdog.h"
#include "wayland_connection.h"
#include "wayland_input.h"
#include "wayland_output.h"

namespace {

const char kProgram[] = "glassfall";
// A capture not delivered by then will not be: that output's part stays black.
constexpr std::int64_t kCaptureTimeout = 5 * kNanosecondsPerSecond;
constexpr std::int64_t kConfigureTimeout = 2 * kNanosecondsPerSecond;
// An output whose surface the compositor keeps closing is given up after this many tries.
constexpr int kMostCovers = 3;
// A drawing loop that made no turn for this long is stuck in a call that will not return: an
// overlay holding the keyboard must not stay frozen on the screen.
constexpr Watchdog::Limits kStuck = {3 * kNanosecondsPerSecond, 1 * kNanosecondsPerSecond};

void endStuck() {
  static const char line[] = "glassfall: the drawing stopped for 3 s (the compositor takes no frames): ending\n";
  [[maybe_unused]] ssize_t n = write(2, line, sizeof line - 1);
  _exit(0);
}

bool stopAsked() { return stopsignals::requested(); }

class Client : RegistryEvents, OutputEvents, SurfaceEvents, InputEvents, FrameViews {
 public:
  explicit Client(const RunOptions& options)
      : options_(options), connection_(kProgram, *this), input_(*this), egl_(kProgram),
        watchdog_(kStuck, monotonicNow, stopAsked, endStuck) {}
  ~Client() { close(); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  // The run's exit status: 1 when it could not show or broke the protocol, else 0. A stop asked
  // for while it was still starting is an ordinary end, whatever the start's last step said.
  int run(RunCompanions& companions) {
    const int status = runToTheEnd(companions);
    return status != 0 && stopsignals::requested() && !connection_.protocolError() ? 0 : status;
  }

 private:
  int runToTheEnd(RunCompanions& companions);
  // RegistryEvents
  void onOutputAnnounced(std::uint32_t name, wl_output* output) override;
  void onSeatAnnounced(wl_seat* seat) override { input_.useSeat(seat); }
  void onGlobalRemoved(std::uint32_t name) override;
  void onXdgOutputManager(zxdg_output_manager_v1* manager) override;
  // OutputEvents
  void onOutputDescribed(Output& output) override;
  // SurfaceEvents
  void onSurfaceConfigured(Output& output, int width, int height) override;
  void onSurfaceClosed(Output& output) override;
  void onCloseAsked() override { quit_ = true; }
  // InputEvents
  void onKeyTyped(int character) override;
  void onUserBack() override { quit_ = true; }
  bool placeOfSurface(wl_surface* surface, LayoutRect& place) override;
  // FrameViews: the outputs drawn on this frame.
  std::size_t viewCount() const override { return views_.size(); }
  bool placeView(std::size_t index, Viewport& where) override;
  bool selectView(std::size_t index) override { return egl_.makeCurrent(*views_[index]); }
  void presentView(std::size_t index) override;

  void captureOutputs();
  void composePicture();
  void cover(Output& output);
  void dropSurface(Output& output);
  // Each turn: surfaces sized get their EGL surface, closed ones are made again.
  void tendSurfaces();
  bool anySurface() const;
  std::uint32_t drawFrame(std::int64_t now);
  bool ending() const { return quit_ || connection_.ended() || stopsignals::requested(); }
  int status() const { return connection_.protocolError() ? 1 : 0; }
  void close();

  RunOptions options_;
  Connection connection_;
  Input input_;
  EglContext egl_;
  Watchdog watchdog_;
  std::vector<std::unique_ptr<Output>> outputs_;
  std::vector<Output*> views_;
  std::vector<Output*> failedSwaps_;

  LayoutRect bounds_;  // the layout the picture covers, fixed at the start
  int pictureScale_ = 1;
  HeldPicture picture_;
  PictureRows pictureRows_;
  FrameDriver driver_;
  bool driving_ = false;
  bool covering_ = false;  // past the capture: new outputs get a surface at once
  bool keyed_ = false;     // a scene key since the last frame
  bool quit_ = false;
};

// ---- the compositor's news ----

void Client::onOutputAnnounced(std::uint32_t name, wl_output* wlOutput) {
  auto output = std::make_unique<Output>();
  output->events = this;
  output->shm = connection_.globals().shm;
  output->name = name;
  output->output = wlOutput;
  listenToOutput(*output, connection_.globals().xdgOutputs);
  outputs_.push_back(std::move(output));
}

void Client::onXdgOutputManager(zxdg_output_manager_v1* manager) {
  // Outputs announced before the manager get theirs now.
  for (auto& o : outputs_) listenToXdgOutput(*o, manager);
}

void Client::onGlobalRemoved(std::uint32_t name) {
  for (auto it = outputs_.begin(); it != outputs_.end(); ++it) {
    if ((*it)->name != name) continue;
    dropSurface(**it);
    releaseOutput(**it);
    outputs_.erase(it);
    return;
  }
}

void Client::onOutputDescribed(Output& output) {
  // A new output while we run: covered as soon as we know where it is.
  if (covering_ && output.stage == OutputStage::described) cover(output);
}

void Client::onSurfaceConfigured(Output& output, int width, int height) {
  if (width <= 0 || height <= 0) {
    width = output.place().width;
    height = output.place().height;
  }
  if (output.stage == OutputStage::covered) {
    output.width = width;
    output.height = height;
    output.stage = OutputStage::configured;
    return;
  }
  if (width == output.width && height == output.height) return;
  output.width = width;
  output.height = height;
  egl_.resize(output);
}

void Client::onSurfaceClosed(Output& output) {
  dropSurface(output);
  output.stage = OutputStage::closed;
  ++output.timesClosed;
}

void Client::onKeyTyped(int character) {
  if (!isSceneKey(character)) {
    quit_ = true;
    return;
  }
  if (driving_) {
    driver_.key(character);
    keyed_ = true;
  }
}

bool Client::placeOfSurface(wl_surface* surface, LayoutRect& place) {
  for (auto& o : outputs_) {
    if (o->surface && o->surface == surface) {
      place = o->place();
      return true;
    }
  }
  return false;
}

// ---- the run ----

// Every output as it is now, before anything of ours shows on it. Only the outputs asked for
// are waited for: one announced meanwhile is covered black with the rest.
void Client::captureOutputs() {
  const Globals& g = connection_.globals();
  if (!g.screencopy) {
    std::fprintf(stderr, "%s: the compositor offers no screen capture: the pieces show untextured\n", kProgram);
    return;
  }
  for (auto& o : outputs_) {
    if (o->stage == OutputStage::described) requestScreencopy(g.screencopy, g.shm, *o);
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
  for (auto& o : outputs_) {
    if (o->stage == OutputStage::capturing) o->stage = OutputStage::captured;  // given up
  }
}

// The picture: the whole layout as it was, at the finest scale of any output.
void Client::composePicture() {
  std::vector<LayoutRect> places;
  std::vector<OutputCapture> captures;
  for (auto& o : outputs_) {
    if (o->stage == OutputStage::announced) continue;
    places.push_back(o->place());
    if (o->scale > pictureScale_) pictureScale_ = o->scale;
    if (o->captured.data) {
      o->captured.logical = o->place();
      captures.push_back(o->captured);
    }
  }
  bounds_ = layoutBounds(places);
  if (bounds_.width <= 0) bounds_ = {0, 0, kDefaultWidth, kDefaultHeight};
  if (!captures.empty()) {
    std::vector<std::uint32_t> pixels;
    if (!composeDesktop(captures, bounds_, pictureScale_, pixels) ||
        !desktopPicture(pixels, bounds_, pictureScale_, picture_)) {
      std::fprintf(stderr, "%s: the desktop is too large to picture: the pieces show untextured\n", kProgram);
    }
  }
  for (auto& o : outputs_) {
    o->capture.reset();
    o->captured.data = nullptr;
  }
  pictureRows_ = picture_.rows();
}

void Client::cover(Output& output) { coverOutput(connection_.globals(), output, *this, kProgram); }

void Client::dropSurface(Output& output) {
  input_.forgetSurface(output.surface);
  egl_.detach(output);
  uncoverOutput(output);
  if (output.hasSurface()) output.stage = OutputStage::described;
}

void Client::tendSurfaces() {
  for (auto& o : outputs_) {
    if (o->stage == OutputStage::closed && o->timesClosed <= kMostCovers) cover(*o);
    if (o->stage == OutputStage::configured && !egl_.attach(*o)) {
      // A surface EGL cannot draw on is no cover: given back, and tried again.
      onSurfaceClosed(*o);
    }
  }
}

bool Client::anySurface() const {
  for (auto& o : outputs_) {
    if (o->hasSurface()) return true;
  }
  return false;
}

bool Client::placeView(std::size_t index, Viewport& where) {
  const Output& o = *views_[index];
  where = outputViewport(bounds_, o.place(), o.bufferScale);
  return true;
}

void Client::presentView(std::size_t index) {
  Output& o = *views_[index];
  if (egl_.swap(o)) {
    o.mustDraw = false;
  } else {
    failedSwaps_.push_back(&o);
  }
}

// One turn of the schedule over every surface that is drawing. Milliseconds to wait before
// the next turn.
std::uint32_t Client::drawFrame(std::int64_t now) {
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

int Client::runToTheEnd(RunCompanions& companions) {
  if (!connection_.open()) return status() != 0 || !(connection_.ended() || stopsignals::requested()) ? 1 : 0;
  captureOutputs();
  if (ending()) return status();
  composePicture();

  if (!egl_.start(connection_.display())) return 1;
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
  const Viewport view = outputViewport(bounds_, first->place(), first->bufferScale);
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

void Client::close() {
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

}  // namespace

int runOnWayland(const RunOptions& options, RunCompanions& companions) {
  if (options.showFps) std::fprintf(stderr, "%s: --fps: no frame-rate corner on Wayland yet\n", kProgram);
  Client client(options);
  return client.run(companions);
}
