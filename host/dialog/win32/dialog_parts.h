// The settings dialog's simple child windows over Win32.
//  [x] label: text in the dialog font on the dialog's background, Unicode drawing, mouse-down event
//  [x] image: a stored picture at its own size or stretched to a given one, mouse-down event
//  [x] shape: a rectangle outline one pixel wide; the window is cut to the outline, so what
//      lies inside shows through
//  [x] picture box: shows one picture at its origin (own or given size), its own mouse cursor, click event
//  [x] placed again (position and size) when the DPI changes
//  [ ] keyboard focus and tab order: none of these takes the focus
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <functional>
#include <string>

namespace dialog {

class Part {
 public:
  enum class Kind { Label, Image, Shape, PictureBox };

  Part(Kind kind, COLORREF background) : kind_(kind), background_(background) {}
  ~Part();
  Part(const Part&) = delete;
  Part& operator=(const Part&) = delete;

  // A child of parent at (x, y), w x h pixels.
  bool create(HWND parent, int x, int y, int w, int h);
  HWND handle() const { return handle_; }
  void move(int x, int y);
  // New position and size; a shape is cut to its new outline, a label fitted to its text again.
  void place(int x, int y, int w, int h);

  void setText(const std::string& utf8);
  const std::wstring& text() const { return text_; }
  void setFont(HFONT font) { font_ = font; }
  void setColour(COLORREF colour);   // shape outline
  COLORREF colour() const { return colour_; }
  void setWrapping(bool wrap) { wrap_ = wrap; }  // label: break lines at the width
  void setPicture(HBITMAP picture);  // image and picture box; not owned
  // The size the picture is shown at; 0 x 0 (the start) shows it at its own size, pixel for pixel.
  void setPictureSize(int w, int h);
  HBITMAP picture() const { return picture_; }
  void setCursor(HCURSOR cursor) { cursor_ = cursor; }

  std::function<void()> onMouseDown;  // any button
  std::function<void()> onClick;      // left button down and up on the part
  std::function<void(HDC)> underlay;  // label: drawn over the background, under the text

 private:
  static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
  void paint(HDC dc);
  void redraw();
  void fitText();
  void cutToOutline(int w, int h, bool redraw);

  Kind kind_;
  COLORREF background_;
  COLORREF colour_ = 0;
  HWND handle_ = nullptr;
  std::wstring text_;
  HFONT font_ = nullptr;
  HBITMAP picture_ = nullptr;
  HCURSOR cursor_ = nullptr;
  int pictureWidth_ = 0, pictureHeight_ = 0;
  bool pressed_ = false;
  bool wrap_ = false;
};

}  // namespace dialog
