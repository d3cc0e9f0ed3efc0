// The Wayland run's picture where the compositor offers no capture protocol (GNOME): the whole
// desktop through the screenshot portal, cut into the outputs' copies.
#include <cstdio>

#include "capture_portal.h"
#include "posix_clock.h"
#include "wayland_run.h"

namespace waylandrun {
namespace {

// The user reads the portal's question and answers it: time for that, and no more.
constexpr std::int64_t kAnswerTimeout = 120 * kNanosecondsPerSecond;

}  // namespace

void WaylandRun::captureThroughPortal(std::int64_t timeout) {
  std::vector<Output*> described;
  std::vector<LayoutRect> places;
  for (auto& o : outputs_) {
    if (o->stage != OutputStage::described) continue;
    described.push_back(o.get());
    places.push_back(o->place());
  }
  if (described.empty()) return;
  const bool ask = options_.askScreenshotPermission;
  const PortalShot shot = takePortalScreenshot(ask, ask ? kAnswerTimeout : timeout, portalPicture_);
  if (shot == PortalShot::noPortal) {
    std::fprintf(stderr, "%s: the compositor offers no screen capture: the pieces show untextured\n", kProgram);
  }
  if (shot != PortalShot::taken) return;
  std::vector<OutputCapture> captures;
  if (!cutPortalPicture(portalPicture_, places, captures)) {
    std::fprintf(stderr, "%s: the portal's picture is %dx%d, not of this layout: the pieces show untextured\n",
                 kProgram, portalPicture_.width, portalPicture_.height);
    portalPicture_.clear();
    return;
  }
  for (std::size_t i = 0; i < described.size(); ++i) {
    described[i]->captured = captures[i];
    described[i]->stage = OutputStage::captured;
  }
}

}  // namespace waylandrun
