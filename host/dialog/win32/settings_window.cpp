#include "settings_window.h"

#include "window_win32.h"  // windows.h first, for the common-dialog and shell headers

#include <commdlg.h>
#include <shellapi.h>

#include <vector>

#include "control_windows.h"
#include "dialog_parts.h"
#include "dialog_resource.h"
#include "library_function.h"
#include "property_store.h"
#include "startup.h"
#include "text_win32.h"
#include "settings_dialog.h"
#include "twips.h"
#include "window_dpi.h"

namespace dialog {

namespace {

const int kIdSet = 101, kIdCancel = 102, kIdFile = 103, kIdFrame = 104, kIdRepeat = 105;

const DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
const UINT kDpiChanged = 0x02E0;  // WM_DPICHANGED, sent to windows aware of each monitor's DPI

class SettingsWindow : public Window, private DialogSite {
 public:
  SettingsWindow(HostFiles& files, int screenWidth, int screenHeight)
      : dialog_(*this, files), screenWidth_(screenWidth), screenHeight_(screenHeight), timer1_(*this, kBannerIntervalMs, [this] { dialog_.timerTick(); }) {
    timer1_.setEnabled(true);  // running from load
  }
  ~SettingsWindow() override;

  // Titled as start-up looks for it, so no second copy starts while the dialog is open.
  bool open() { return create(L"Glassfall_P", kDialogWindowTitle, kStyle); }

 protected:
  void onLoad() override;
  bool onCloseRequest() override {
    dialog_.closeRequested();
    return true;
  }
  void onUnload() override { dialog_.unloading(); }
  bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  int px(int twips) const { return pixelsAt(twips, dpi_); }
  void createChildren();
  void makeFont();
  void loadPictures();
  // Every child at its place and size for dpi_, the pictures stretched to match.
  void layOut();
  void fitRepeatBox(const Box& box);
  // The monitor's DPI changed (the window moved, or the user set another scale): new font,
  // new layout, the client kept at its size in twips. `suggested` is the system's new rectangle.
  void changeDpi(int dpi, const RECT* suggested);
  void fitClient();

  // DialogSite
  void screenSizeTwips(int& width, int& height) const override;
  void windowSizeTwips(int& width, int& height) const override;
  void moveWindowTwips(int left, int top) override;
  void moveShape1Twips(int left, int top) override {
    shape1_ = {left, top};
    shape_[1].move(px(left), px(top));
  }
  void setRepeatEnabled(bool enabled) override { EnableWindow(repeat_, enabled); }
  void setFileButtonEnabled(bool enabled) override;
  void showMark(int index, bool selected) override { mark_[index].setPicture(markPicture_[selected ? 1 : 0]); }
  void setRepeatText(const std::string& text) override { SetWindowTextW(repeat_, toWide(text).c_str()); }
  std::string repeatText() const override;
  void addRepeatEntry(const std::string& text) override;
  void setFileLabel(const std::string& text) override { fileLabel_.setText(text); }
  void showBanner(int box, int picture) override { banner_[box].setPicture(bannerPicture_[picture - 1]); }
  void stopTimer() override { timer1_.setEnabled(false); }
  // After the click that asked for it has been handled, not from inside it.
  void close() override { PostMessageW(handle(), WM_CLOSE, 0, 0); }
  bool cursorPos(int& x, int& y) override;
  ScreenRect windowRect() const override;
  void animateRects(const ScreenRect& from, const ScreenRect& to) override;
  std::int32_t openFileName(const FileRequest& request, std::string& chosen) override;
  void openAddress(const std::string& address) override;
  void setHourglass(bool hourglass) override {
    setMousePointer(hourglass ? MousePointer::Hourglass : MousePointer::Default);
  }

  SettingsDialog dialog_;
  const int screenWidth_, screenHeight_;  // pixels
  WindowTimer timer1_;
  int dpi_ = kBaseDpi;
  Point shape1_{kShape0.left, kShape0.top};  // twips
  HFONT font_ = nullptr;
  HBRUSH background_ = nullptr;
  HICON icon_ = nullptr;
  HCURSOR bannerCursor_ = nullptr;
  HBITMAP markPicture_[2] = {};
  HBITMAP bannerPicture_[kBannerFrames] = {};
  HWND frame_ = nullptr, repeat_ = nullptr;
  HWND setButton_ = nullptr, cancelButton_ = nullptr, fileButton_ = nullptr;
  Part heading_{Part::Kind::Label, kBackground};
  Part repeatLabel_{Part::Kind::Label, kBackground};
  Part fileLabel_{Part::Kind::Label, kBackground};
  Part modeLabel_[3] = {{Part::Kind::Label, kBackground}, {Part::Kind::Label, kBackground},
                        {Part::Kind::Label, kBackground}};
  Part mark_[3] = {{Part::Kind::Image, kBackground}, {Part::Kind::Image, kBackground},
                   {Part::Kind::Image, kBackground}};
  Part shape_[2] = {{Part::Kind::Shape, kBackground}, {Part::Kind::Shape, kBackground}};
  Part banner_[2] = {{Part::Kind::PictureBox, kBackground}, {Part::Kind::PictureBox, kBackground}};
};

SettingsWindow::~SettingsWindow() {
  if (font_) DeleteObject(font_);
  if (background_) DeleteObject(background_);
  for (HBITMAP b : markPicture_) {
    if (b) DeleteObject(b);
  }
  for (HBITMAP b : bannerPicture_) {
    if (b) DeleteObject(b);
  }
  // The icon and the cursor come from LoadImage with LR_SHARED: the system keeps them.
}

void SettingsWindow::makeFont() {
  HFONT old = font_;
  LOGFONTW f = {};
  f.lfHeight = -MulDiv(int(kFontPoints * 100), dpi_, 7200);
  f.lfWeight = FW_NORMAL;
  f.lfCharSet = BYTE(kFontCharset);
  const std::wstring name = toWide(kFontName);
  lstrcpynW(f.lfFaceName, name.c_str(), LF_FACESIZE);
  font_ = CreateFontIndirectW(&f);
  for (Part* label : {&heading_, &repeatLabel_, &fileLabel_, &modeLabel_[0], &modeLabel_[1], &modeLabel_[2]}) {
    label->setFont(font_);
  }
  if (repeat_) SendMessageW(repeat_, WM_SETFONT, WPARAM(font_), TRUE);
  if (old) DeleteObject(old);
}

void SettingsWindow::loadPictures() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  auto bitmap = [instance](int id) {
    return HBITMAP(LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  };
  markPicture_[0] = bitmap(kMarkOffPicture);
  markPicture_[1] = bitmap(kMarkOnPicture);
  for (int i = 0; i < kBannerFrames; ++i) bannerPicture_[i] = bitmap(kBannerPictureFirst + i);
  icon_ = HICON(LoadImageW(instance, MAKEINTRESOURCEW(kDialogIcon), IMAGE_ICON, 32, 32, LR_SHARED));
  bannerCursor_ = HCURSOR(LoadImageW(instance, MAKEINTRESOURCEW(kBannerCursor), IMAGE_CURSOR, 32, 32, LR_SHARED));
}

void SettingsWindow::createChildren() {
  HWND self = handle();
  auto at = [this](const Place& p) { return RECT{px(p.left), px(p.top), px(p.width), px(p.height)}; };

  controls::registerControlClasses(GetModuleHandleW(nullptr));
  PropertyStore frameStore;
  frameStore.writeLong("ShadowDepth", kFrameShadowDepth, 5);
  RECT r = at(kFrame);
  frame_ = controls::createFrame(self, kIdFrame, r.left, r.top, r.right, r.bottom, &frameStore, kBackground);
  HWND inFrame = frame_ ? frame_ : self;

  auto label = [&](Part& part, const Place& p, const std::string& text) {
    const RECT lr = at(p);
    part.setFont(font_);
    part.create(inFrame, lr.left, lr.top, lr.right, lr.bottom);
    part.setText(text);
  };
  label(heading_, kHeading, "BGM");
  label(repeatLabel_, kRepeatLabel, kRepeatText);
  label(fileLabel_, kFileLabel, "");
  fileLabel_.setWrapping(true);  // two lines high: a long path goes on
  for (int i = 0; i < 3; ++i) {
    label(modeLabel_[i], kModeLabel[i], kModeText[i]);
    const RECT mr = at(kMark[i]);
    mark_[i].create(inFrame, mr.left, mr.top, mr.right, mr.bottom);
    modeLabel_[i].onMouseDown = mark_[i].onMouseDown = [this, i] { dialog_.chooseMode(i); };
  }
  // Sh(1) lies over Sh(0). The heading stands over both and shows their lines through its
  // background, as a label without a background of its own would.
  const RECT sr = at(kShape0);
  shape_[0].create(inFrame, sr.left, sr.top, sr.right, sr.bottom);
  shape_[0].setColour(RGB(0, 0, 0));
  shape_[1].create(inFrame, sr.left, sr.top, sr.right, sr.bottom);
  shape_[1].setColour(RGB(255, 255, 255));
  for (HWND top : {shape_[0].handle(), shape_[1].handle(), heading_.handle()}) {
    SetWindowPos(top, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  heading_.underlay = [this](HDC dc) {
    POINT origin = {0, 0};
    MapWindowPoints(heading_.handle(), GetParent(heading_.handle()), &origin, 1);
    for (Part& shape : shape_) {
      RECT box = {};
      GetWindowRect(shape.handle(), &box);
      MapWindowPoints(nullptr, GetParent(shape.handle()), reinterpret_cast<POINT*>(&box), 2);
      OffsetRect(&box, -origin.x, -origin.y);
      HBRUSH line = CreateSolidBrush(shape.colour());
      FrameRect(dc, &box, line);
      DeleteObject(line);
    }
  };

  // The drop-down list hangs below the 300-twip box; the box itself keeps the stated height.
  r = at(kRepeatBox);
  repeat_ = CreateWindowExW(0, L"COMBOBOX", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL,
                            r.left, r.top, r.right, r.bottom + px(3000), inFrame, HMENU(INT_PTR(kIdRepeat)),
                            GetModuleHandleW(nullptr), nullptr);
  SendMessageW(repeat_, WM_SETFONT, WPARAM(font_), FALSE);
  fitRepeatBox(boxAt(kRepeatBox, dpi_));

  const controls::FontSpec buttonFont{kFontName, kFontPoints, 400, kFontCharset};
  auto button = [&](HWND parent, int id, const Place& p, const std::string& caption) {
    PropertyStore store;
    store.write("Caption", caption, "&OK");
    store.write("Font", controls::fontToText(buttonFont), "");
    const RECT br = at(p);
    return controls::createButton(parent, id, br.left, br.top, br.right, br.bottom, &store, kBackground);
  };
  fileButton_ = button(inFrame, kIdFile, kFileButton, kFileButtonText);
  setButton_ = button(self, kIdSet, kSetButton, kSetText);
  cancelButton_ = button(self, kIdCancel, kCancelButton, kCancelText);

  for (int i = 0; i < 2; ++i) {
    const RECT br = at(kBannerBox[i]);
    banner_[i].create(self, br.left, br.top, br.right, br.bottom);
    banner_[i].setCursor(bannerCursor_);
    banner_[i].onClick = [this] { dialog_.openHomePage(); };
  }
}

// The drop-down list hangs below the box; the box itself keeps the stated height.
void SettingsWindow::fitRepeatBox(const Box& b) {
  RECT box = {};
  GetWindowRect(repeat_, &box);
  const int field = int(SendMessageW(repeat_, CB_GETITEMHEIGHT, WPARAM(-1), 0));
  const int extra = (box.bottom - box.top) - field;  // the edges round the selection field
  if (field > 0 && b.height - extra > 0) SendMessageW(repeat_, CB_SETITEMHEIGHT, WPARAM(-1), b.height - extra);
}

void SettingsWindow::layOut() {
  auto place = [this](Part& part, const Place& p) {
    const Box b = boxAt(p, dpi_);
    part.place(b.left, b.top, b.width, b.height);
  };
  auto placeWindow = [this](HWND w, const Place& p, int extraHeight = 0) {
    const Box b = boxAt(p, dpi_);
    if (w) SetWindowPos(w, nullptr, b.left, b.top, b.width, b.height + extraHeight, SWP_NOZORDER | SWP_NOACTIVATE);
  };
  placeWindow(frame_, kFrame);
  place(heading_, kHeading);
  place(repeatLabel_, kRepeatLabel);
  place(fileLabel_, kFileLabel);
  const PictureSize mark = markPictureSize(dpi_), banner = bannerPictureSize(dpi_);
  for (int i = 0; i < 3; ++i) {
    place(modeLabel_[i], kModeLabel[i]);
    place(mark_[i], kMark[i]);
    mark_[i].setPictureSize(mark.width, mark.height);
  }
  place(shape_[0], kShape0);
  place(shape_[1], {shape1_.x, shape1_.y, kShape0.width, kShape0.height});
  if (repeat_) {
    placeWindow(repeat_, kRepeatBox, px(3000));
    fitRepeatBox(boxAt(kRepeatBox, dpi_));
  }
  placeWindow(fileButton_, kFileButton);
  placeWindow(setButton_, kSetButton);
  placeWindow(cancelButton_, kCancelButton);
  for (int i = 0; i < 2; ++i) {
    place(banner_[i], kBannerBox[i]);
    banner_[i].setPictureSize(banner.width, banner.height);
  }
}

// The client keeps its size in twips whatever the frame round it measures at the new DPI.
void SettingsWindow::fitClient() {
  RECT window = {}, client = {};
  GetWindowRect(handle(), &window);
  GetClientRect(handle(), &client);
  const int w = px(kClientWidth), h = px(kClientHeight);
  if (client.right == w && client.bottom == h) return;
  SetWindowPos(handle(), nullptr, 0, 0, (window.right - window.left) - client.right + w,
               (window.bottom - window.top) - client.bottom + h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void SettingsWindow::changeDpi(int dpi, const RECT* suggested) {
  if (dpi <= 0 || dpi == dpi_) return;
  dpi_ = dpi;
  makeFont();
  for (HWND control : {frame_, fileButton_, setButton_, cancelButton_}) {
    if (control) controls::setControlDpi(control, dpi_);
  }
  if (suggested) {
    SetWindowPos(handle(), nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  fitClient();
  layOut();
  InvalidateRect(handle(), nullptr, TRUE);
}

void SettingsWindow::onLoad() {
  dpi_ = controls::windowDpi(handle());
  background_ = CreateSolidBrush(kBackground);
  makeFont();
  loadPictures();
  if (icon_) {
    SendMessageW(handle(), WM_SETICON, ICON_BIG, LPARAM(icon_));
    SendMessageW(handle(), WM_SETICON, ICON_SMALL, LPARAM(icon_));
  }
  RECT outer = {0, 0, px(kClientWidth), px(kClientHeight)};
  AdjustWindowRectEx(&outer, kStyle, FALSE, 0);
  setBoundsPixels(0, 0, outer.right - outer.left, outer.bottom - outer.top);
  createChildren();
  // Pictures at the monitor's scale; at 96 DPI they keep their own size, pixel for pixel.
  if (dpi_ != kBaseDpi) layOut();
  dialog_.load();
}

bool SettingsWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (message) {
    case WM_ERASEBKGND: {
      RECT client;
      GetClientRect(handle(), &client);
      FillRect(HDC(wParam), &client, background_);
      result = 1;
      return true;
    }
    case kDpiChanged:
      changeDpi(LOWORD(wParam), reinterpret_cast<const RECT*>(lParam));
      result = 0;
      return true;
    case WM_COMMAND: {
      const int id = LOWORD(wParam), code = HIWORD(wParam);
      if (id == IDCANCEL && lParam == 0) {  // Escape
        dialog_.cancel();
        return true;
      }
      if (code != BN_CLICKED) return false;
      if (id == kIdSet) dialog_.save();
      else if (id == kIdCancel) dialog_.cancel();
      else if (id == kIdFile) dialog_.chooseFile();
      else return false;
      return true;
    }
    default:
      return false;
  }
}

// ------------------------------------------------------------------ site

void SettingsWindow::screenSizeTwips(int& width, int& height) const {
  width = pixelsToTwips(screenWidth_, dpi_);
  height = pixelsToTwips(screenHeight_, dpi_);
}

void SettingsWindow::windowSizeTwips(int& width, int& height) const {
  RECT r = {};
  GetWindowRect(handle(), &r);
  width = pixelsToTwips(r.right - r.left, dpi_);
  height = pixelsToTwips(r.bottom - r.top, dpi_);
}

void SettingsWindow::moveWindowTwips(int left, int top) {
  SetWindowPos(handle(), nullptr, twipsToPixels(left, dpi_), twipsToPixels(top, dpi_), 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void SettingsWindow::setFileButtonEnabled(bool enabled) {
  if (controls::ButtonControl* b = fileButton_ ? controls::buttonControl(fileButton_) : nullptr) b->setEnabled(enabled);
}

std::string SettingsWindow::repeatText() const {
  const int n = GetWindowTextLengthW(repeat_);
  std::wstring text(std::size_t(n > 0 ? n : 0) + 1, L'\0');
  GetWindowTextW(repeat_, &text[0], n + 1);
  text.resize(std::size_t(n > 0 ? n : 0));
  return fromWide(text);
}

void SettingsWindow::addRepeatEntry(const std::string& text) {
  SendMessageW(repeat_, CB_ADDSTRING, 0, LPARAM(toWide(text).c_str()));
}

bool SettingsWindow::cursorPos(int& x, int& y) {
  POINT p;
  if (!GetCursorPos(&p)) return false;
  x = p.x;
  y = p.y;
  return true;
}

ScreenRect SettingsWindow::windowRect() const {
  RECT r = {};
  GetWindowRect(handle(), &r);
  return {r.left, r.top, r.right, r.bottom};
}

void SettingsWindow::animateRects(const ScreenRect& from, const ScreenRect& to) {
  const RECT a = {from.left, from.top, from.right, from.bottom};
  const RECT b = {to.left, to.top, to.right, to.bottom};
  DrawAnimatedRects(handle(), IDANI_CAPTION, &a, &b);
}

std::int32_t SettingsWindow::openFileName(const FileRequest& request, std::string& chosen) {
  // One filter entry, description and pattern, ended by the extra NUL of the list.
  std::string filter = toAnsi(request.filterDescription);
  filter += '\0';
  filter += toAnsi(request.filterPattern);
  filter += '\0';
  filter += '\0';
  std::vector<char> file(std::size_t(request.fileBufferLength) + 1, '\0');
  std::vector<char> fileTitle(std::size_t(request.titleBufferLength) + 1, '\0');
  const std::string folder = toAnsi(request.initialFolder);
  const std::string title = toAnsi(request.title);

  OPENFILENAMEA ofn = {};
  // The record's first (pre-2000) form; 76 bytes in a 32-bit program.
  ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
  ofn.hwndOwner = handle();
  ofn.hInstance = GetModuleHandleW(nullptr);
  ofn.lpstrFilter = filter.c_str();
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = DWORD(request.fileBufferLength);
  ofn.lpstrFileTitle = fileTitle.data();
  ofn.nMaxFileTitle = DWORD(request.titleBufferLength);
  ofn.lpstrInitialDir = folder.c_str();
  ofn.lpstrTitle = title.c_str();
  ofn.Flags = 0;
  // Common dialogs are loaded when the chooser is first opened; without them it is cancelled.
  static const auto getOpenFileName = libraryFunction<decltype(&GetOpenFileNameA)>(L"comdlg32.dll",
                                                                                  "GetOpenFileNameA");
  const BOOL result = getOpenFileName ? getOpenFileName(&ofn) : FALSE;
  if (result > 0) chosen = fromAnsi(std::string(file.data()));
  return std::int32_t(result);
}

void SettingsWindow::openAddress(const std::string& address) {
  static const auto shellExecute = libraryFunction<decltype(&ShellExecuteA)>(L"shell32.dll", "ShellExecuteA");
  if (shellExecute) shellExecute(handle(), "open", toAnsi(address).c_str(), "", "", SW_SHOWNORMAL);
}

}  // namespace

void showSettingsDialog(HostFiles& files, int screenWidth, int screenHeight) {
  SettingsWindow window(files, screenWidth, screenHeight);
  if (window.open()) window.showModal();
}

}  // namespace dialog
