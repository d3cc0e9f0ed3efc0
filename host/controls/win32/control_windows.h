// Win32 windows of the dialog controls: the GFXFrameX panel and the ccXPButton push button.
//  [x] window classes, per-window state from WM_NCCREATE to WM_NCDESTROY
//  [x] retained off-screen surface per control, shown on WM_PAINT, never repainted there
//  [x] button input: mouse with capture, TrackMouseEvent leave, keys, focus, double click
//  [x] holding window subclassed for WM_ACTIVATE (WM_NCACTIVATE for MDI children) and Alt+key;
//      BM_CLICK (a dialog loop's matched mnemonic) is the access key too
//  [x] Click / DblClick reach the holder as WM_COMMAND BN_CLICKED / BN_DOUBLECLICKED
//      (a frame passes its children's WM_COMMAND on to its own parent)
//  [x] per-monitor DPI: fonts, twips and the frame's depths at the DPI the holder gives
//  [ ] design-time placement (new-instance captions): a running program only loads
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "button.h"
#include "frame.h"
#include "property_store.h"

namespace controls {

extern const wchar_t kFrameClass[];   // L"GFXFrameX"
extern const wchar_t kButtonClass[];  // L"ccXPButton"

bool registerControlClasses(HINSTANCE instance);

constexpr Colour kDefaultAmbientBack = 0x8000000Fu;  // the system's button face

// Children of `parent`; `stored` holds the persisted properties (null: all defaults) and
// `ambientBack` is the holder's back colour, which the frame's colour defaults come from.
// The window keeps its own copy of the store and writes every changed property back into it.
HWND createFrame(HWND parent, int id, int x, int y, int width, int height, const PropertyStore* stored,
                 Colour ambientBack = kDefaultAmbientBack);
HWND createButton(HWND parent, int id, int x, int y, int width, int height, const PropertyStore* stored,
                  Colour ambientBack = kDefaultAmbientBack);

FrameControl* frameControl(HWND frame);
ButtonControl* buttonControl(HWND button);
const PropertyStore* controlStore(HWND control);

// The container's ambient values.
void setAmbientBackColour(HWND frame, Colour colour);
void setDisplayAsDefault(HWND button, bool isDefault);
// The DPI of the monitor the holder now stands on (WM_DPICHANGED); the control draws again at
// it. A control starts with its window's DPI.
void setControlDpi(HWND control, int dpi);

}  // namespace controls
