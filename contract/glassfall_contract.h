// What the host and the renderer agree on, in one place: the folder and files they meet
// through, the renderer's window title (the host watches for it), the keys of the screen area
// in the settings file, and the rectangle both speak of.
#pragma once

namespace contract {

constexpr char kTempFolder[] = "C:\\velk_temp";
constexpr char kSettingsFile[] = "C:\\velk_temp\\Glassfall.ini";
constexpr char kSnapshotFile[] = "C:\\velk_temp\\Glassfall.alo";
constexpr char kRendererWindowTitle[] = "Glassfall_VC";

constexpr char kSettingsSection[] = "Settings";
constexpr char kKeyWidth[] = "Width";
constexpr char kKeyHeight[] = "Height";
constexpr char kKeyLeft[] = "Left";
constexpr char kKeyTop[] = "Top";

// A rectangle of the screen in physical pixels: where the run photographs, where the
// renderer's window goes.
struct ScreenRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

inline bool operator==(const ScreenRect& a, const ScreenRect& b) {
  return a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height;
}

}  // namespace contract
