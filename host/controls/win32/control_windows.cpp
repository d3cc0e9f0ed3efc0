#include "control_windows.h"

#include <commctrl.h>
#include <windowsx.h>

#include <optional>

#include "gdi_surface.h"
#include "library_function.h"
#include "window_dpi.h"

namespace controls {

const wchar_t kFrameClass[] = L"GFXFrameX";
const wchar_t kButtonClass[] = L"ccXPButton";

namespace {

// What a control window is created with (CREATESTRUCT's parameter).
struct Creation {
  const PropertyStore* stored;
  Colour ambientBack;
};

double twipsPerPixel(int dpi) { return 1440.0 / (dpi > 0 ? dpi : 96); }

SIZE clientSize(HWND window) {
  RECT rc{};
  GetClientRect(window, &rc);
  return {rc.right, rc.bottom};
}

// The control's retained picture: a memory bitmap the size of the client area that keeps
// what was last drawn. A resize keeps the old content in the new bitmap's top-left corner.
class Retained {
 public:
  ~Retained() { release(); }
  HDC ensure(HWND window) {
    const SIZE size = clientSize(window);
    if (dc_ && size.cx == width_ && size.cy == height_) return dc_;
    HDC windowDc = GetDC(window);
    HDC dc = CreateCompatibleDC(windowDc);
    HBITMAP bitmap = CreateCompatibleBitmap(windowDc, size.cx > 0 ? size.cx : 1, size.cy > 0 ? size.cy : 1);
    ReleaseDC(window, windowDc);
    if (!dc || !bitmap) {
      if (dc) DeleteDC(dc);
      if (bitmap) DeleteObject(bitmap);
      return dc_;
    }
    HGDIOBJ old = SelectObject(dc, bitmap);
    if (dc_) BitBlt(dc, 0, 0, width_, height_, dc_, 0, 0, SRCCOPY);
    release();
    dc_ = dc;
    bitmap_ = bitmap;
    oldBitmap_ = old;
    width_ = size.cx;
    height_ = size.cy;
    return dc_;
  }
  void show(HDC target) const {
    if (dc_) BitBlt(target, 0, 0, width_, height_, dc_, 0, 0, SRCCOPY);
  }
  void showOn(HWND window) const {
    HDC dc = GetDC(window);
    if (!dc) return;
    show(dc);
    ReleaseDC(window, dc);
  }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  void release() {
    if (!dc_) return;
    SelectObject(dc_, oldBitmap_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
    dc_ = nullptr;
  }
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ oldBitmap_ = nullptr;
  int width_ = 0, height_ = 0;
};

void paintRetained(HWND window, const Retained& retained) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  retained.show(dc);
  EndPaint(window, &ps);
}

// --------------------------------------------------------------------------- frame

struct FrameWindow : FrameSite {
  FrameWindow(HWND w, const Creation& c) : hwnd(w), ambient(c.ambientBack), dpiNow(windowDpi(w)) {
    if (c.stored) store = *c.stored;
  }
  Colour ambientBackColour() const override { return ambient; }
  void propertyChanged(const std::string&) override { control.writeProperties(store); }
  double twipsPerPixelX() const override { return twipsPerPixel(dpiNow); }
  double widthTwips() const override { return clientSize(hwnd).cx * twipsPerPixel(dpiNow); }
  double heightTwips() const override { return clientSize(hwnd).cy * twipsPerPixel(dpiNow); }
  int dpi() const override { return dpiNow; }
  Surface* beginDraw() override {
    HDC dc = retained.ensure(hwnd);
    if (!dc) return nullptr;
    surface.emplace(dc, retained.width(), retained.height(), nullptr, dpiNow);
    return &*surface;
  }
  void endDraw() override {
    surface.reset();
    retained.showOn(hwnd);
  }

  HWND hwnd;
  Colour ambient;
  int dpiNow;  // the monitor's, as the holder last said
  PropertyStore store;
  bool loaded = false;
  Retained retained;
  std::optional<GdiSurface> surface;
  FrameControl control{*this};
};

FrameWindow* frameOf(HWND w) { return reinterpret_cast<FrameWindow*>(GetWindowLongPtrW(w, GWLP_USERDATA)); }

LRESULT CALLBACK frameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    const Creation none{nullptr, kDefaultAmbientBack};
    const auto* c = static_cast<const Creation*>(cs->lpCreateParams);
    auto* state = new FrameWindow(hwnd, c ? *c : none);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  FrameWindow* state = frameOf(hwnd);
  if (!state) return DefWindowProcW(hwnd, msg, wp, lp);
  switch (msg) {
    case WM_CREATE:
      state->control.readProperties(state->store);
      state->loaded = true;
      return 0;
    case WM_SIZE:
      if (state->loaded) state->control.resized();
      return 0;
    case WM_SYSCOLORCHANGE:
      state->control.ambientChanged("BackColor");
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      paintRetained(hwnd, state->retained);
      return 0;
    case WM_COMMAND:
      // The frame is a container: its children's notifications belong to the holder.
      return SendMessageW(GetParent(hwnd), msg, wp, lp);
    case WM_NCDESTROY:
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      delete state;
      return DefWindowProcW(hwnd, msg, wp, lp);
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

// --------------------------------------------------------------------------- button

LRESULT CALLBACK holderProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);

// Window subclassing of the common controls, loaded with the first control that needs it.
// Without it a button sees no activation of its window and no Alt+letter, but still works.
struct Subclassing {
  decltype(&SetWindowSubclass) set = libraryFunction<decltype(&SetWindowSubclass)>(L"comctl32.dll",
                                                                                  "SetWindowSubclass");
  decltype(&RemoveWindowSubclass) remove =
      libraryFunction<decltype(&RemoveWindowSubclass)>(L"comctl32.dll", "RemoveWindowSubclass");
  decltype(&DefSubclassProc) next = libraryFunction<decltype(&DefSubclassProc)>(L"comctl32.dll", "DefSubclassProc");
};

const Subclassing& subclass() {
  static const Subclassing functions;
  return functions;
}

struct ButtonWindow : ButtonSite {
  ButtonWindow(HWND w, const Creation& c) : hwnd(w), ambient(c.ambientBack), dpiNow(windowDpi(w)) {
    if (c.stored) store = *c.stored;
  }

  Surface* beginDraw() override {
    HDC dc = retained.ensure(hwnd);
    if (!dc) return nullptr;
    surface.emplace(dc, retained.width(), retained.height(), hwnd, dpiNow);
    return &*surface;
  }
  void endDraw() override {
    surface.reset();
    retained.showOn(hwnd);
  }
  Colour backColour() const override { return ambient; }
  void propertyChanged(const std::string& name) override {
    control.writeProperties(store);
    if (name == "Caption") SetWindowTextW(hwnd, toWide(control.Caption()).c_str());
  }
  bool displayAsDefault() const override { return isDefault; }
  bool userMode() const override { return true; }
  void setAccessKey(const std::string& key) override { accessKey = key; }
  void sendTab(bool backwards) override {
    HWND next = GetNextDlgTabItem(GetAncestor(hwnd, GA_ROOT), hwnd, backwards ? TRUE : FALSE);
    if (next && next != hwnd) SetFocus(next);
  }
  void processPendingMessages() override {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message == WM_QUIT) {
        PostQuitMessage(int(m.wParam));
        break;
      }
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
  }
  double widthTwips() const override { return extent().cx * twipsPerPixel(dpiNow); }
  double heightTwips() const override { return extent().cy * twipsPerPixel(dpiNow); }
  void setWidthTwips(double twips) override { resize(pixelsFromTwips(twips, twipsPerPixel(dpiNow)), extent().cy); }
  void setHeightTwips(double twips) override { resize(extent().cx, pixelsFromTwips(twips, twipsPerPixel(dpiNow))); }
  int clientWidth() const override { return clientSize(hwnd).cx; }
  int clientHeight() const override { return clientSize(hwnd).cy; }
  void enableWindow(bool enabled) override { EnableWindow(hwnd, enabled ? TRUE : FALSE); }
  void trackMouseLeave() override {
    TRACKMOUSEEVENT t{sizeof(t), TME_LEAVE, hwnd, 0};
    TrackMouseEvent(&t);
  }
  void startIntercepting() override {
    holder = GetAncestor(hwnd, GA_ROOT);
    if (!holder || holder == hwnd) return;
    if (subclass().set)
      subclass().set(holder, holderProc, reinterpret_cast<UINT_PTR>(hwnd), reinterpret_cast<DWORD_PTR>(this));
  }
  void stopIntercepting() override {
    if (holder && subclass().remove) subclass().remove(holder, holderProc, reinterpret_cast<UINT_PTR>(hwnd));
    holder = nullptr;
  }
  bool clientOriginOnScreen(int& x, int& y) const override {
    POINT p{0, 0};
    if (!ClientToScreen(hwnd, &p)) return false;
    x = p.x;
    y = p.y;
    return true;
  }
  void setCursorPos(int x, int y) override { SetCursorPos(x, y); }
  void Click() override { notify(BN_CLICKED); }
  void DblClick() override { notify(BN_DOUBLECLICKED); }
  void MouseMove(int, int, float, float) override {}
  void FormActivate(int) override {}

  SIZE extent() const {
    RECT r{};
    GetWindowRect(hwnd, &r);
    return {r.right - r.left, r.bottom - r.top};
  }
  void resize(int w, int h) {
    SetWindowPos(hwnd, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  void notify(WORD code) {
    SendMessageW(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), code), reinterpret_cast<LPARAM>(hwnd));
  }
  bool isAccessKey(WPARAM ch) const {
    if (accessKey.size() != 1 || ch == 0 || ch > 0x7F) return false;
    const char c = char(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
    return c == accessKey[0];
  }

  HWND hwnd;
  Colour ambient;
  int dpiNow;  // the monitor's, as the holder last said
  HWND holder = nullptr;
  PropertyStore store;
  std::string accessKey;
  bool isDefault = false;
  bool loaded = false;
  Retained retained;
  std::optional<GdiSurface> surface;
  ButtonControl control{*this};  // last: destroyed first, while the rest still stands
};

ButtonWindow* buttonOf(HWND w) { return reinterpret_cast<ButtonWindow*>(GetWindowLongPtrW(w, GWLP_USERDATA)); }

// The holding window, after its own procedure: activation for every button on it, and
// Alt+letter (which reaches the top-level window as SC_KEYMENU) for the button whose key it is.
LRESULT CALLBACK holderProc(HWND w, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR data) {
  auto* b = reinterpret_cast<ButtonWindow*>(data);
  if (msg == WM_SYSCOMMAND && (wp & 0xFFF0) == SC_KEYMENU && b->isAccessKey(WPARAM(lp)) &&
      IsWindowVisible(b->hwnd)) {
    b->control.accessKeyPressed();
    return 0;
  }
  const LRESULT result = subclass().next(w, msg, wp, lp);
  const bool mdiChild = (GetWindowLongPtrW(w, GWL_EXSTYLE) & WS_EX_MDICHILD) != 0;
  if ((msg == WM_ACTIVATE && !mdiChild) || (msg == WM_NCACTIVATE && mdiChild)) {
    b->control.formActivated(LOWORD(wp) != 0);
  } else if (msg == WM_NCDESTROY) {
    subclass().remove(w, holderProc, id);
    b->holder = nullptr;
  }
  return result;
}

int mouseButtons(WPARAM wp) {
  return ((wp & MK_LBUTTON) ? 1 : 0) | ((wp & MK_RBUTTON) ? 2 : 0) | ((wp & MK_MBUTTON) ? 4 : 0);
}
int shiftState(WPARAM wp) {
  return ((wp & MK_SHIFT) ? 1 : 0) | ((wp & MK_CONTROL) ? 2 : 0) | (GetKeyState(VK_MENU) < 0 ? 4 : 0);
}

LRESULT CALLBACK buttonProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    const Creation none{nullptr, kDefaultAmbientBack};
    const auto* c = static_cast<const Creation*>(cs->lpCreateParams);
    auto* state = new ButtonWindow(hwnd, c ? *c : none);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  ButtonWindow* b = buttonOf(hwnd);
  if (!b) return DefWindowProcW(hwnd, msg, wp, lp);
  ButtonControl& c = b->control;
  switch (msg) {
    case WM_CREATE:
      c.readProperties(b->store);
      b->loaded = true;
      // Made inside a window that is already active: no activation message will come.
      if (b->holder && GetActiveWindow() == b->holder) c.formActivated(true);
      return 0;
    case WM_SIZE:
      if (b->loaded) c.resized();
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      paintRetained(hwnd, b->retained);
      return 0;
    case WM_SETFOCUS:
      c.gotFocus();
      return 0;
    case WM_KILLFOCUS:
      c.lostFocus();
      return 0;
    case WM_LBUTTONDOWN:
      if (GetFocus() != hwnd) SetFocus(hwnd);
      SetCapture(hwnd);
      c.mouseDown(kLeftButton);
      return 0;
    case WM_RBUTTONDOWN:
      c.mouseDown(2);
      return 0;
    case WM_MBUTTONDOWN:
      c.mouseDown(4);
      return 0;
    case WM_LBUTTONDBLCLK:
      SetCapture(hwnd);
      c.doubleClick();
      return 0;
    case WM_LBUTTONUP:
      // Released first: a Click handler may open a modal window.
      if (GetCapture() == hwnd) ReleaseCapture();
      c.mouseUp(kLeftButton);
      return 0;
    case WM_RBUTTONUP:
      c.mouseUp(2);
      return 0;
    case WM_MOUSEMOVE:
      c.mouseMove(mouseButtons(wp), shiftState(wp), float(GET_X_LPARAM(lp)), float(GET_Y_LPARAM(lp)));
      return 0;
    case WM_MOUSELEAVE:
      c.mouseLeave();
      return 0;
    case WM_KEYDOWN:
      c.keyDown(int(wp));
      return 0;
    case WM_KEYUP:
      c.keyUp(int(wp));
      return 0;
    case BM_CLICK:
      // How a dialog's message handling reports a mnemonic it matched to our caption.
      c.accessKeyPressed();
      return 0;
    case WM_GETDLGCODE: {
      const MSG* m = reinterpret_cast<const MSG*>(lp);
      const bool enter = m && m->message == WM_KEYDOWN && m->wParam == VK_RETURN;
      return DLGC_WANTARROWS | DLGC_BUTTON | (enter ? DLGC_WANTMESSAGE : 0);
    }
    case WM_NCDESTROY:
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      delete b;
      return DefWindowProcW(hwnd, msg, wp, lp);
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace

bool registerControlClasses(HINSTANCE instance) {
  WNDCLASSEXW frame{};
  frame.cbSize = sizeof(frame);
  frame.lpfnWndProc = frameProc;
  frame.hInstance = instance;
  frame.hCursor = LoadCursor(nullptr, IDC_ARROW);
  frame.lpszClassName = kFrameClass;
  WNDCLASSEXW button = frame;
  button.style = CS_DBLCLKS;
  button.lpfnWndProc = buttonProc;
  button.lpszClassName = kButtonClass;
  const bool a = RegisterClassExW(&frame) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  const bool b = RegisterClassExW(&button) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  return a && b;
}

HWND createFrame(HWND parent, int id, int x, int y, int width, int height, const PropertyStore* stored,
                 Colour ambientBack) {
  Creation creation{stored, ambientBack};
  return CreateWindowExW(WS_EX_CONTROLPARENT, kFrameClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                         x, y, width, height, parent, reinterpret_cast<HMENU>(INT_PTR(id)),
                         GetModuleHandleW(nullptr), &creation);
}

HWND createButton(HWND parent, int id, int x, int y, int width, int height, const PropertyStore* stored,
                  Colour ambientBack) {
  Creation creation{stored, ambientBack};
  return CreateWindowExW(0, kButtonClass, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS, x, y, width,
                         height, parent, reinterpret_cast<HMENU>(INT_PTR(id)), GetModuleHandleW(nullptr),
                         &creation);
}

FrameControl* frameControl(HWND frame) {
  FrameWindow* f = frameOf(frame);
  return f ? &f->control : nullptr;
}

ButtonControl* buttonControl(HWND button) {
  ButtonWindow* b = buttonOf(button);
  return b ? &b->control : nullptr;
}

namespace {
bool isClass(HWND control, const wchar_t* cls) {
  wchar_t name[32] = {};
  GetClassNameW(control, name, 32);
  return !lstrcmpW(name, cls);
}
bool isFrame(HWND control) { return isClass(control, kFrameClass); }
bool isButton(HWND control) { return isClass(control, kButtonClass); }
}  // namespace

const PropertyStore* controlStore(HWND control) {
  if (isFrame(control)) return frameOf(control) ? &frameOf(control)->store : nullptr;
  if (isButton(control)) return buttonOf(control) ? &buttonOf(control)->store : nullptr;
  return nullptr;
}

void setAmbientBackColour(HWND frame, Colour colour) {
  if (FrameWindow* f = frameOf(frame)) {
    f->ambient = colour;
    f->control.ambientChanged("BackColor");
  }
}

void setControlDpi(HWND control, int dpi) {
  if (dpi <= 0) return;
  if (FrameWindow* f = isFrame(control) ? frameOf(control) : nullptr) {
    if (f->dpiNow == dpi) return;
    f->dpiNow = dpi;
    if (f->loaded) f->control.Refresh();
  } else if (ButtonWindow* b = isButton(control) ? buttonOf(control) : nullptr) {
    if (b->dpiNow == dpi) return;
    b->dpiNow = dpi;
    if (b->loaded) b->control.Draw(b->control.lState);  // the caption's font follows
  }
}

void setDisplayAsDefault(HWND button, bool isDefault) {
  if (ButtonWindow* b = buttonOf(button)) {
    b->isDefault = isDefault;
    b->control.ambientChanged("DisplayAsDefault");
  }
}

}  // namespace controls
