// What the frame and button windows share: what they are created with, their retained
// picture, and the entries each window's file offers the functions common to both kinds.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "colour.h"
#include "property_store.h"

namespace controls {

// What a control window is created with (CREATESTRUCT's parameter).
struct Creation {
  const PropertyStore* stored;
  Colour ambientBack;
};

// The parameter of WM_NCCREATE's CREATESTRUCT; all defaults for a window made without one.
Creation creationOf(LPARAM createStruct);
HWND createControl(const wchar_t* className, DWORD exStyle, DWORD style, HWND parent, int id, int x, int y,
                   int width, int height, const PropertyStore* stored, Colour ambientBack);
// A window class of ours, also when it is already there.
bool registerControlClass(HINSTANCE instance, const wchar_t* className, WNDPROC proc, UINT style);

double twipsPerPixel(int dpi);
SIZE clientSize(HWND window);

// The control's retained picture: a memory bitmap the size of the client area that keeps
// what was last drawn. A resize keeps the old content in the new bitmap's top-left corner.
class Retained {
 public:
  Retained() = default;
  ~Retained() { release(); }
  Retained(const Retained&) = delete;
  Retained& operator=(const Retained&) = delete;

  HDC ensure(HWND window);
  void show(HDC target) const;
  void showOn(HWND window) const;
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  void release();
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ oldBitmap_ = nullptr;
  int width_ = 0, height_ = 0;
};

// WM_PAINT: the retained picture, never drawn anew.
void paintRetained(HWND window, const Retained& retained);

// Each kind's part of the functions that take either kind; they trust the caller to have
// looked at the window's class.
bool registerFrameClass(HINSTANCE instance);
bool registerButtonClass(HINSTANCE instance);
const PropertyStore* frameStore(HWND frame);
const PropertyStore* buttonStore(HWND button);
void setFrameDpi(HWND frame, int dpi);
void setButtonDpi(HWND button, int dpi);

}  // namespace controls
