#include "dialog_parts.h"

#include "text_win32.h"
#include "window_win32.h"

namespace dialog {

namespace {
const wchar_t kPartClass[] = L"Glassfall_P_Part";

bool registerPartClass(WNDPROC proc) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW existing = {};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(instance, kPartClass, &existing)) return true;
  WNDCLASSEXW c = {};
  c.cbSize = sizeof c;
  c.lpfnWndProc = proc;
  c.hInstance = instance;
  c.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  c.lpszClassName = kPartClass;
  return RegisterClassExW(&c) != 0;
}
}  // namespace

Part::~Part() {
  if (handle_) {
    SetWindowLongPtrW(handle_, GWLP_USERDATA, 0);
    DestroyWindow(handle_);
  }
}

bool Part::create(HWND parent, int x, int y, int w, int h) {
  if (!registerPartClass(windowProc)) return false;
  CreateWindowExW(0, kPartClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, x, y, w, h, parent, nullptr,
                  GetModuleHandleW(nullptr), this);
  if (handle_ && kind_ == Kind::Shape) cutToOutline(w, h, false);
  return handle_ != nullptr;
}

// Only the one-pixel outline belongs to the window; the system owns the region afterwards.
void Part::cutToOutline(int w, int h, bool redraw) {
  HRGN outer = CreateRectRgn(0, 0, w, h);
  HRGN inner = CreateRectRgn(1, 1, w - 1, h - 1);
  CombineRgn(outer, outer, inner, RGN_DIFF);
  DeleteObject(inner);
  if (!SetWindowRgn(handle_, outer, redraw ? TRUE : FALSE)) DeleteObject(outer);
}

void Part::place(int x, int y, int w, int h) {
  if (!handle_) return;
  SetWindowPos(handle_, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
  if (kind_ == Kind::Shape) cutToOutline(w, h, true);
  if (kind_ == Kind::Label && !wrap_) fitText();
  redraw();
}

void Part::setPictureSize(int w, int h) {
  pictureWidth_ = w;
  pictureHeight_ = h;
  redraw();
}

void Part::move(int x, int y) {
  if (handle_) SetWindowPos(handle_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Part::redraw() {
  if (handle_) InvalidateRect(handle_, nullptr, TRUE);
}

void Part::setText(const std::string& utf8) {
  text_ = toWide(utf8);
  if (handle_ && kind_ == Kind::Label && !wrap_) fitText();
  redraw();
}

// A one-line label whose text is wider in the font at hand than the layout allows grows to
// the right instead of cutting its last characters off (the stand-in fonts of other systems
// run a few pixels wider).
void Part::fitText() {
  RECT now = {};
  GetClientRect(handle_, &now);
  HDC dc = GetDC(handle_);
  HGDIOBJ oldFont = font_ ? SelectObject(dc, font_) : nullptr;
  RECT need = {0, 0, 0, 0};
  DrawTextW(dc, text_.c_str(), int(text_.size()), &need, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  if (oldFont) SelectObject(dc, oldFont);
  ReleaseDC(handle_, dc);
  if (need.right > now.right) {
    SetWindowPos(handle_, nullptr, 0, 0, need.right, now.bottom, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void Part::setColour(COLORREF colour) {
  colour_ = colour;
  redraw();
}

void Part::setPicture(HBITMAP picture) {
  picture_ = picture;
  redraw();
}

LRESULT CALLBACK Part::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<Part*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->handle_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, LONG_PTR(self));
  }
  auto* self = reinterpret_cast<Part*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  return self->handle(message, wParam, lParam);
}

LRESULT Part::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // painted whole in WM_PAINT
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(handle_, &ps);
      paint(dc);
      EndPaint(handle_, &ps);
      return 0;
    }
    case WM_LBUTTONDOWN:
      pressed_ = true;
      if (onClick) SetCapture(handle_);
      if (onMouseDown) onMouseDown();
      return 0;
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      if (onMouseDown) onMouseDown();
      return 0;
    case WM_LBUTTONUP: {
      const bool wasPressed = pressed_;
      pressed_ = false;
      if (GetCapture() == handle_) ReleaseCapture();
      RECT client;
      GetClientRect(handle_, &client);
      const POINT at = {short(LOWORD(lParam)), short(HIWORD(lParam))};
      if (wasPressed && PtInRect(&client, at) && onClick) onClick();
      return 0;
    }
    case WM_CAPTURECHANGED:
      pressed_ = false;
      return 0;
    case WM_SETCURSOR:
      // The program's hourglass wins over our own cursor; the default path shows it.
      if (cursor_ && LOWORD(lParam) == HTCLIENT && mousePointer() == MousePointer::Default) {
        SetCursor(cursor_);
        return TRUE;
      }
      break;
    case WM_NCDESTROY: {
      HWND window = handle_;
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      handle_ = nullptr;
      return DefWindowProcW(window, message, wParam, lParam);
    }
    default:
      break;
  }
  return DefWindowProcW(handle_, message, wParam, lParam);
}

void Part::paint(HDC dc) {
  RECT client;
  GetClientRect(handle_, &client);
  if (kind_ == Kind::Shape) {
    HBRUSH outline = CreateSolidBrush(colour_);
    FillRect(dc, &client, outline);  // the region leaves only the outline on screen
    DeleteObject(outline);
    return;
  }
  HBRUSH back = CreateSolidBrush(background_);
  FillRect(dc, &client, back);
  DeleteObject(back);
  if (kind_ == Kind::Label) {
    if (underlay) underlay(dc);
    HGDIOBJ oldFont = font_ ? SelectObject(dc, font_) : nullptr;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    // A long path breaks inside its names too, as an edit control would.
    const UINT flags = wrap_ ? DT_WORDBREAK | DT_EDITCONTROL : DT_SINGLELINE;
    DrawTextW(dc, text_.c_str(), int(text_.size()), &client, DT_LEFT | DT_NOPREFIX | flags);
    if (oldFont) SelectObject(dc, oldFont);
    return;
  }
  if (picture_) {
    BITMAP info = {};
    GetObjectW(picture_, sizeof info, &info);
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(source, picture_);
    const int w = pictureWidth_ > 0 ? pictureWidth_ : info.bmWidth;
    const int h = pictureHeight_ > 0 ? pictureHeight_ : info.bmHeight;
    if (w == info.bmWidth && h == info.bmHeight) {
      BitBlt(dc, 0, 0, w, h, source, 0, 0, SRCCOPY);
    } else {
      // Whole source pixels, no blending: the marks' edges and the banner's lines stay sharp.
      const int oldMode = SetStretchBltMode(dc, COLORONCOLOR);
      StretchBlt(dc, 0, 0, w, h, source, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
      SetStretchBltMode(dc, oldMode);
    }
    SelectObject(source, old);
    DeleteDC(source);
  }
}

}  // namespace dialog
