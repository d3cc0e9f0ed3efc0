// Our surface over one output: a layer-shell surface on the overlay layer (all edges, the
// keyboard ours), or without layer-shell a fullscreen xdg_toplevel on that output.
#pragma once

#include "wayland_connection.h"
#include "wayland_output.h"

class SurfaceEvents {
 public:
  // The compositor sized the surface (logical pixels; 0 leaves the size to us).
  virtual void onSurfaceConfigured(Output& output, int width, int height) = 0;
  // The compositor prefers another scale for the surface (drawScale() says which now).
  virtual void onSurfaceRescaled(Output& output) = 0;
  // The compositor took the surface away.
  virtual void onSurfaceClosed(Output& output) = 0;
  // The user asked the window to close (the fullscreen fallback).
  virtual void onCloseAsked() = 0;

 protected:
  ~SurfaceEvents() = default;
};

// Makes and commits the surface over `output` (stage covered); its events go to `events`.
void coverOutput(const Globals& globals, Output& output, SurfaceEvents& events, const char* appId);
// Puts the surface's scale and size for the next commit: the integer buffer scale, or once the
// compositor prefers a fractional scale, buffer scale 1 and a viewport to the logical size.
void scaleSurface(Output& output);
// Lets the surface's shell objects and the wl_surface go (the EGL parts must be gone first).
void uncoverOutput(Output& output);
