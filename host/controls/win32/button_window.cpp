// The button control's window, ccXPButton: mouse, keys and focus for the control, and its
// holding window subclassed for activation and the access key.
#include "control_windows.h"  // windows.h first, for the common-controls headers

#include <commctrl.h>
#include <windowsx.h>

#include <optional>

#include "control_window_parts.h"
#include "gdi_surface.h"
#include "library_function.h"
#include "text_win32.h"
#include "window_dpi.h"

namespace controls {

const wchar_t kButtonClass[] = L"ccXPButton";

namespace {

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
    auto* state = new ButtonWindow(hwnd, creationOf(lp));
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

bool registerButtonClass(HINSTANCE instance) {
  return registerControlClass(instance, kButtonClass, buttonProc, CS_DBLCLKS);
}

HWND createButton(HWND parent, int id, int x, int y, int width, int height, const PropertyStore* stored,
                  Colour ambientBack) {
  return createControl(kButtonClass, 0, WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS, parent, id, x, y,
                       width, height, stored, ambientBack);
}

ButtonControl* buttonControl(HWND button) {
  ButtonWindow* b = buttonOf(button);
  return b ? &b->control : nullptr;
}

const PropertyStore* buttonStore(HWND button) { return buttonOf(button) ? &buttonOf(button)->store : nullptr; }

void setDisplayAsDefault(HWND button, bool isDefault) {
  if (ButtonWindow* b = buttonOf(button)) {
    b->isDefault = isDefault;
    b->control.ambientChanged("DisplayAsDefault");
  }
}

void setButtonDpi(HWND button, int dpi) {
  ButtonWindow* b = buttonOf(button);
  if (!b || b->dpiNow == dpi) return;
  b->dpiNow = dpi;
  if (b->loaded) b->control.Draw(b->control.lState);  // the caption's font follows
}

}  // namespace controls
