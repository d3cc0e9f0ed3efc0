// The part of the desktop a run photographs and the renderer covers: the whole virtual
// screen, every monitor in one bounding rectangle, in physical pixels.
#pragma once

#include "glassfall_contract.h"

class HostFiles;

using ScreenArea = contract::ScreenRect;

// The run's area from the system's metrics: the virtual screen, or the primary screen when
// the system reports no usable virtual screen. Every value fits the settings file's 16-bit
// numbers, so what is written is what the capture used.
ScreenArea runScreenArea(const ScreenArea& virtualScreen, const ScreenArea& primaryScreen);

// Hands the area to the renderer: "Width", "Height", "Left", "Top", in this order.
void writeScreenArea(HostFiles& files, const ScreenArea& area);
