// The part of the desktop a run photographs and the renderer covers: the whole virtual
// screen, every monitor in one bounding rectangle, in physical pixels.
#pragma once

class HostFiles;

struct ScreenArea {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

inline bool operator==(const ScreenArea& a, const ScreenArea& b) {
  return a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height;
}

// The run's area from the system's metrics: the virtual screen, or the primary screen when
// the system reports no usable virtual screen. Every value fits the settings file's 16-bit
// numbers, so what is written is what the capture used.
ScreenArea runScreenArea(const ScreenArea& virtualScreen, const ScreenArea& primaryScreen);

// Hands the area to the renderer: "Width", "Height", "Left", "Top", in this order.
void writeScreenArea(HostFiles& files, const ScreenArea& area);
