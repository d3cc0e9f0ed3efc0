// Where the renderer's window goes: the rectangle the host wrote to the settings file, made
// safe to open. Platform-free, so the rules are tested without a window.
#pragma once

#include <string>

#include "glassfall_contract.h"

// The same rectangle the host writes.
using WindowRect = contract::ScreenRect;

// The settings as stored: each value's text, empty when its key is missing.
struct PlacementSettings {
  std::string width, height, left, top;
};

// A whole decimal number, blanks around it allowed; beyond the int range it saturates (it
// is still a size too large, not a wrong one). False for anything else ("wide", "1e9", "").
bool settingsInteger(const std::string& text, int& value);

// The window rectangle. Left and Top default to 0; a width or height that is missing, not a
// number or below 1 takes the default (1024 x 768). The result is clipped to the virtual
// screen, since a window far larger than every monitor only costs memory or fails to open;
// one that would lie wholly off screen covers the virtual screen instead. A virtual screen
// of no size (unknown) clips nothing.
WindowRect windowPlacement(const PlacementSettings& settings, const WindowRect& virtualScreen);

// Where the picture taken over `picture` (screen coordinates) lies in a window over `window`
// once the screen changed under a run: its viewport in GL's window coordinates (origin at the
// lower left), so that each monitor's part stays over that monitor.
WindowRect pictureViewport(const WindowRect& picture, const WindowRect& window);
