// The DPI of the monitor a window stands on, on any Windows and under Wine.
//  [x] GetDpiForWindow (Windows 10 1607 and later), looked up at run time
//  [x] GetDpiForMonitor of the window's monitor (Windows 8.1), looked up at run time
//  [x] the screen's LOGPIXELSX otherwise (one DPI for the whole system)
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace controls {

// 96 when nothing answers.
int windowDpi(HWND window);

}  // namespace controls
