#include "overlay_surface.h"

// HACK: the generated header names an argument `namespace`, a C++ keyword.
#define namespace layerNamespace
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace
#include "xdg-shell-client-protocol.h"
#include "fractional-scale-v1-client-protocol.h"
#include "viewporter-client-protocol.h"

namespace {

// The listeners' user data: the output and whom to tell. One per surface, freed with it.
struct SurfaceOwner {
  Output* output;
  SurfaceEvents* events;
};

// Owners by surface: kept beside the output rather than in it, so the output knows no listener.
SurfaceOwner* ownerOf(Output& output) { return static_cast<SurfaceOwner*>(wl_surface_get_user_data(output.surface)); }

void layerConfigure(void* data, zwlr_layer_surface_v1* surface, std::uint32_t serial, std::uint32_t width,
                    std::uint32_t height) {
  auto* owner = static_cast<SurfaceOwner*>(data);
  zwlr_layer_surface_v1_ack_configure(surface, serial);
  owner->events->onSurfaceConfigured(*owner->output, int(width), int(height));
}
void layerClosed(void* data, zwlr_layer_surface_v1*) {
  auto* owner = static_cast<SurfaceOwner*>(data);
  owner->events->onSurfaceClosed(*owner->output);
}
const zwlr_layer_surface_v1_listener kLayerListener = {layerConfigure, layerClosed};

void xdgSurfaceConfigure(void* data, xdg_surface* surface, std::uint32_t serial) {
  auto* owner = static_cast<SurfaceOwner*>(data);
  xdg_surface_ack_configure(surface, serial);
  Output& o = *owner->output;
  // A fullscreen window the compositor left unsized takes the output's size.
  owner->events->onSurfaceConfigured(o, o.width ? o.width : o.place().width, o.height ? o.height : o.place().height);
}
const xdg_surface_listener kXdgSurfaceListener = {xdgSurfaceConfigure};

void toplevelConfigure(void* data, xdg_toplevel*, std::int32_t width, std::int32_t height, wl_array*) {
  Output& o = *static_cast<SurfaceOwner*>(data)->output;
  if (width > 0 && height > 0) {
    o.width = width;
    o.height = height;
  }
}
void toplevelClose(void* data, xdg_toplevel*) { static_cast<SurfaceOwner*>(data)->events->onCloseAsked(); }
void toplevelBounds(void*, xdg_toplevel*, std::int32_t, std::int32_t) {}
void toplevelCapabilities(void*, xdg_toplevel*, wl_array*) {}
const xdg_toplevel_listener kToplevelListener = {toplevelConfigure, toplevelClose, toplevelBounds, toplevelCapabilities};

void preferredScale(void* data, wp_fractional_scale_v1*, std::uint32_t scale) {
  auto* owner = static_cast<SurfaceOwner*>(data);
  Output& o = *owner->output;
  if (scale == 0 || scale > 16 * kScaleDenominator || int(scale) == o.preferredScale) return;
  o.preferredScale = int(scale);
  scaleSurface(o);
  owner->events->onSurfaceRescaled(o);
}
const wp_fractional_scale_v1_listener kFractionalListener = {preferredScale};

}  // namespace

void scaleSurface(Output& output) {
  if (!output.surface) return;
  if (output.viewport && output.preferredScale > 0) {
    wl_surface_set_buffer_scale(output.surface, 1);
    // Before the first configure the size is not known; it comes with that.
    if (output.width > 0 && output.height > 0) {
      wp_viewport_set_destination(output.viewport, output.width, output.height);
    }
  } else {
    wl_surface_set_buffer_scale(output.surface, output.bufferScale);
  }
}

void coverOutput(const Globals& globals, Output& output, SurfaceEvents& events, const char* appId) {
  auto* owner = new SurfaceOwner{&output, &events};
  output.surface = wl_compositor_create_surface(globals.compositor);
  wl_surface_set_user_data(output.surface, owner);
  output.bufferScale = output.scale > 0 ? output.scale : 1;
  output.preferredScale = 0;
  output.width = 0;
  output.height = 0;
  output.stage = OutputStage::covered;
  // Drawn at the output's own pixel size: sharp on a 2x output, and on a 1.5x one once the
  // compositor says so (until then at the integer scale it gives the output).
  if (globals.fractionalScale && globals.viewporter) {
    output.fractionalScale =
        wp_fractional_scale_manager_v1_get_fractional_scale(globals.fractionalScale, output.surface);
    wp_fractional_scale_v1_add_listener(output.fractionalScale, &kFractionalListener, owner);
    output.viewport = wp_viewporter_get_viewport(globals.viewporter, output.surface);
  }
  scaleSurface(output);
  // Opaque: the compositor need not blend what lies under it, and never shows it through.
  wl_region* opaque = wl_compositor_create_region(globals.compositor);
  wl_region_add(opaque, 0, 0, INT32_MAX, INT32_MAX);
  wl_surface_set_opaque_region(output.surface, opaque);
  wl_region_destroy(opaque);
  if (globals.layerShell) {
    output.layerSurface = zwlr_layer_shell_v1_get_layer_surface(globals.layerShell, output.surface, output.output,
                                                                ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, appId);
    zwlr_layer_surface_v1_add_listener(output.layerSurface, &kLayerListener, owner);
    zwlr_layer_surface_v1_set_anchor(output.layerSurface,
                                     ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                         ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_exclusive_zone(output.layerSurface, -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(output.layerSurface, 1);
  } else {
    output.xdgSurface = xdg_wm_base_get_xdg_surface(globals.wmBase, output.surface);
    xdg_surface_add_listener(output.xdgSurface, &kXdgSurfaceListener, owner);
    output.toplevel = xdg_surface_get_toplevel(output.xdgSurface);
    xdg_toplevel_add_listener(output.toplevel, &kToplevelListener, owner);
    xdg_toplevel_set_title(output.toplevel, "Glassfall");
    xdg_toplevel_set_app_id(output.toplevel, appId);
    xdg_toplevel_set_fullscreen(output.toplevel, output.output);
  }
  wl_surface_commit(output.surface);
}

void uncoverOutput(Output& output) {
  if (output.fractionalScale) wp_fractional_scale_v1_destroy(output.fractionalScale);
  output.fractionalScale = nullptr;
  if (output.viewport) wp_viewport_destroy(output.viewport);
  output.viewport = nullptr;
  if (output.layerSurface) zwlr_layer_surface_v1_destroy(output.layerSurface);
  output.layerSurface = nullptr;
  if (output.toplevel) xdg_toplevel_destroy(output.toplevel);
  output.toplevel = nullptr;
  if (output.xdgSurface) xdg_surface_destroy(output.xdgSurface);
  output.xdgSurface = nullptr;
  if (output.surface) {
    delete ownerOf(output);
    wl_surface_destroy(output.surface);
  }
  output.surface = nullptr;
}
