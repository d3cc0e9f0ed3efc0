// The preview window Glassfall_R: the fixed picture inside the display settings' monitor.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

// Shows the preview as a child of `parent` and returns at once; the program then lives
// until the preview window is gone (its parent destroyed, or the preview closed).
// A handle that names no window ends nothing here: it returns false and the caller ends.
bool startPreviewWindow(HWND parent);
