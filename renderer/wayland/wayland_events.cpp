// The Wayland run's news from the compositor and the user: outputs coming and going, our
// surfaces sized and closed, keys and the pointer; and the upkeep of the surfaces.
#include "frame_loop.h"
#include "wayland_run.h"

namespace waylandrun {

// ---- the compositor's news ----

void WaylandRun::onOutputAnnounced(std::uint32_t name, wl_output* wlOutput) {
  auto output = std::make_unique<Output>();
  output->events = this;
  output->shm = connection_.globals().shm;
  output->name = name;
  output->output = wlOutput;
  listenToOutput(*output, connection_.globals().xdgOutputs);
  outputs_.push_back(std::move(output));
}

void WaylandRun::onXdgOutputManager(zxdg_output_manager_v1* manager) {
  // Outputs announced before the manager get theirs now.
  for (auto& o : outputs_) listenToXdgOutput(*o, manager);
}

void WaylandRun::onGlobalRemoved(std::uint32_t name) {
  for (auto it = outputs_.begin(); it != outputs_.end(); ++it) {
    if ((*it)->name != name) continue;
    dropSurface(**it);
    releaseOutput(**it);
    outputs_.erase(it);
    return;
  }
}

void WaylandRun::onOutputDescribed(Output& output) {
  // A new output while we run: covered as soon as we know where it is.
  if (covering_ && output.stage == OutputStage::described) cover(output);
}

void WaylandRun::onSurfaceConfigured(Output& output, int width, int height) {
  if (width <= 0 || height <= 0) {
    width = output.place().width;
    height = output.place().height;
  }
  if (output.stage == OutputStage::covered) {
    output.width = width;
    output.height = height;
    output.stage = OutputStage::configured;
    scaleSurface(output);  // a viewport waits for the size
    return;
  }
  if (width == output.width && height == output.height) return;
  output.width = width;
  output.height = height;
  scaleSurface(output);
  egl_.resize(output);
}

void WaylandRun::onSurfaceRescaled(Output& output) {
  if (output.stage == OutputStage::drawing) egl_.resize(output);
}

void WaylandRun::onSurfaceClosed(Output& output) {
  dropSurface(output);
  output.stage = OutputStage::closed;
  ++output.timesClosed;
}

void WaylandRun::onKeyTyped(int character) {
  if (!isSceneKey(character)) {
    quit_ = true;
    return;
  }
  if (driving_) {
    driver_.key(character);
    keyed_ = true;
  }
}

bool WaylandRun::placeOfSurface(wl_surface* surface, LayoutRect& place) {
  for (auto& o : outputs_) {
    if (o->surface && o->surface == surface) {
      place = o->place();
      return true;
    }
  }
  return false;
}


void WaylandRun::cover(Output& output) { coverOutput(connection_.globals(), output, *this, kProgram); }

void WaylandRun::dropSurface(Output& output) {
  input_.forgetSurface(output.surface);
  egl_.detach(output);
  uncoverOutput(output);
  if (output.hasSurface()) output.stage = OutputStage::described;
}

void WaylandRun::tendSurfaces() {
  for (auto& o : outputs_) {
    if (o->stage == OutputStage::closed && o->timesClosed <= kMostCovers) cover(*o);
    if (o->stage == OutputStage::configured && !egl_.attach(*o)) {
      // A surface EGL cannot draw on is no cover: given back, and tried again.
      onSurfaceClosed(*o);
    }
  }
}

bool WaylandRun::anySurface() const {
  for (auto& o : outputs_) {
    if (o->hasSurface()) return true;
  }
  return false;
}


}  // namespace waylandrun
