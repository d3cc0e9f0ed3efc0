// The Wayland front-end's run: the state of one run on one compositor, and the interfaces its
// parts report to. Internal to renderer/wayland.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "desktop_picture.h"
#include "egl_context.h"
#include "frame_driver.h"
#include "overlay_surface.h"
#include "portal_picture.h"
#include "run_companions.h"
#include "run_options.h"
#include "screen_picture.h"
#include "stop_signals.h"
#include "texture.h"
#include "watchdog.h"
#include "wayland_connection.h"
#include "wayland_input.h"
#include "wayland_output.h"

namespace waylandrun {

constexpr char kProgram[] = "glassfall";
// An output whose surface the compositor keeps closing is given up after this many tries.
constexpr int kMostCovers = 3;

// The run on one compositor: every listener's news lands here (wayland_events.cpp), the start
// and the drawing loop are in wayland_front.cpp.
class WaylandRun : RegistryEvents, OutputEvents, SurfaceEvents, InputEvents, FrameViews {
 public:
  explicit WaylandRun(const RunOptions& options);
  ~WaylandRun() { close(); }
  WaylandRun(const WaylandRun&) = delete;
  WaylandRun& operator=(const WaylandRun&) = delete;

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
  void onSurfaceRescaled(Output& output) override;
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
  int bufferAge(std::size_t index) override { return egl_.bufferAge(*views_[index]); }
  void presentView(std::size_t index, const ScreenRect& changed) override;

  void captureOutputs();
  // No capture protocol: the screenshot portal's picture, held in portalPicture_ (wayland_portal.cpp).
  void captureThroughPortal(std::int64_t timeout);
  void composePicture(bool textureOfOwnSize);
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
  FractionalScale pictureScale_;
  HeldPicture picture_;
  PortalPicture portalPicture_;  // the portal's desktop, until the picture is composed
  PictureRows pictureRows_;
  FrameDriver driver_;
  bool driving_ = false;
  bool covering_ = false;  // past the capture: new outputs get a surface at once
  bool keyed_ = false;     // a scene key since the last frame
  bool quit_ = false;
};

}  // namespace waylandrun
