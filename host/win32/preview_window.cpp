// Win32 preview window: a borderless black child of the system's window showing the
// embedded 152 x 112 picture at its own size from the top-left corner.
#include "preview_window.h"

#include <memory>

#include "preview.h"
#include "preview_resource.h"
#include "window_win32.h"

namespace {

constexpr UINT kParentWatchMs = 250;

class PreviewWindow : public Window {
 public:
  explicit PreviewWindow(HWND parent) : parent_(parent), watch_(*this, kParentWatchMs, [this] { watchParent(); }) {}

  bool open() {
    RECT r = {};
    GetWindowRect(parent_, &r);
    placement_ = placePreview(r.left, r.top, r.right, r.bottom);
    if (!create(L"Glassfall_R", "Preview Window", WS_POPUP)) return false;
    HWND self = handle();
    SetWindowLongA(self, GWL_STYLE, LONG(previewChildStyle(DWORD(GetWindowLongA(self, GWL_STYLE)))));
    SetParent(self, parent_);
    setBoundsPixels(0, 0, placement_.width, placement_.height);
    picture_ = HBITMAP(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kPreviewPictureResource), IMAGE_BITMAP,
                                  0, 0, LR_CREATEDIBSECTION));
    watch_.setEnabled(true);
    showModeless();
    return true;
  }

 protected:
  bool onMessage(UINT message, WPARAM, LPARAM, LRESULT& result) override {
    if (message == WM_ERASEBKGND) {
      result = 1;  // all of it is painted below, black where the picture does not reach
      return true;
    }
    if (message != WM_PAINT) return false;
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(handle(), &ps);
    FillRect(dc, &ps.rcPaint, HBRUSH(GetStockObject(BLACK_BRUSH)));
    if (picture_) {
      HDC memory = CreateCompatibleDC(dc);
      HGDIOBJ old = SelectObject(memory, picture_);
      BitBlt(dc, 0, 0, placement_.shownWidth, placement_.shownHeight, memory, 0, 0, SRCCOPY);
      SelectObject(memory, old);
      DeleteDC(memory);
    }
    EndPaint(handle(), &ps);
    result = 0;
    return true;
  }

  void onUnload() override {
    watch_.setEnabled(false);
    if (picture_) DeleteObject(picture_);
    picture_ = nullptr;
    PostQuitMessage(0);
  }

 private:
  // A parent in another process may go without taking its children along; end with it.
  void watchParent() {
    if (!IsWindow(parent_)) requestClose();
  }

  HWND parent_;
  WindowTimer watch_;
  PreviewPlacement placement_;
  HBITMAP picture_ = nullptr;
};

std::unique_ptr<PreviewWindow> preview;

}  // namespace

bool startPreviewWindow(HWND parent) {
  // A handle of 0 or one that names no window would leave an invisible process nobody can end.
  if (parent == nullptr || !IsWindow(parent)) return false;
  preview.reset(new PreviewWindow(parent));
  if (preview->open()) return true;
  preview.reset();
  return false;
}
