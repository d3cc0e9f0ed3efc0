// The settings dialog Glassfall_P: its layout, and what each of its events does to the music
// values, its controls and the settings file. Plain logic: the window and the system calls
// are reached through DialogSite, so the same steps run under a stand-in in the tests.
#pragma once

#include <cstdint>
#include <string>

class HostFiles;

namespace dialog {

extern const char kFontName[];
constexpr double kFontPoints = 9.75;
constexpr int kFontCharset = 128;  // Shift-JIS
constexpr std::uint32_t kBackground = 0x00E0E0E0;  // RGB(224, 224, 224)
extern const char kHomePage[];

// Left, top, width, height in twips; inside the frame they count from the frame's corner.
struct Place {
  int left, top, width, height;
};
constexpr int kClientWidth = 7455, kClientHeight = 3990;
constexpr Place kFrame{180, 180, 7155, 2595};
constexpr int kFrameShadowDepth = 7;
constexpr Place kHeading{300, 300, 1665, 195};      // lbl(15) "BGM"
constexpr Place kShape0{300, 240, 1695, 315};       // Sh(0), black; Sh(1) white, same size
constexpr Place kMark[3] = {{420, 1080, 195, 195}, {420, 780, 195, 195}, {420, 1380, 195, 195}};
constexpr Place kModeLabel[3] = {{660, 1080, 330, 195}, {660, 780, 645, 195}, {660, 1380, 900, 195}};
constexpr Place kRepeatBox{1440, 720, 615, 300};
constexpr Place kRepeatLabel{2100, 780, 990, 195};  // lbl(14)
constexpr Place kFileButton{360, 1680, 675, 375};
constexpr Place kFileLabel{1080, 1680, 5595, 495};
constexpr Place kSetButton{2100, 2880, 1575, 495};
constexpr Place kCancelButton{3780, 2880, 1515, 495};
constexpr Place kBannerBox[2] = {{180, 2880, 1845, 780}, {5400, 2880, 1845, 780}};
extern const char* const kModeText[3];  // by mode number
extern const char kRepeatText[];
extern const char kFileButtonText[];
extern const char kSetText[];
extern const char kCancelText[];

constexpr int kBannerFrames = 24;
constexpr int kBannerWidth = 120, kBannerHeight = 50;
constexpr int kMarkSize = 12;
constexpr int kBannerIntervalMs = 100;
constexpr int kRepeatEntries = 31;

// The layout at the DPI of the monitor the dialog stands on. Integer arithmetic rounding to
// the nearest pixel, halves up: at 96 DPI every length is its twips divided by 15 exactly.
constexpr int kBaseDpi = 96;
int pixelsAt(int twips, int dpi);
struct Box {
  int left, top, width, height;  // pixels
  bool operator==(const Box& o) const {
    return left == o.left && top == o.top && width == o.width && height == o.height;
  }
};
Box boxAt(const Place& p, int dpi);
// The stored pictures are drawn for 96 DPI: a mark 12 x 12, a banner frame 120 x 50 pixels;
// at another DPI they are shown stretched to these sizes.
struct PictureSize {
  int width, height;
};
PictureSize markPictureSize(int dpi);
PictureSize bannerPictureSize(int dpi);

// "##": decimal digits without leading zeros, the empty text for 0.
std::string formatRepeat(int value);
// The repeat box text as a track number: a number rounded half to even; the empty text,
// anything that is not a number, and a number beyond 16 bits give 0.
std::int16_t repeatFromText(const std::string& text);

struct Point {
  int x, y;
};
// Centred across and one third of the free height down, truncating like integer division.
Point placement(int screenWidth, int screenHeight, int windowWidth, int windowHeight);

struct ScreenRect {
  int left, top, right, bottom;
};
inline bool operator==(const ScreenRect& a, const ScreenRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
// The empty rectangle the zoom effect starts from and ends in.
inline ScreenRect pointRect(Point p) { return {p.x, p.y, p.x, p.y}; }

// What one banner tick shows: picture (1..24) in box (0 left, 1 right), or nothing (box -1).
struct BannerShow {
  int box, picture;
};
// Advances the banner counter (0..49) by one tick and says what that tick shows.
BannerShow bannerStep(std::int16_t& frame);

// The arguments the file chooser gets that do not depend on the window.
struct FileRequest {
  std::string filterDescription;  // BGMﾌｧｲﾙ (MP3 WAV)
  std::string filterPattern;      // *.MP3;*.WAV
  std::string initialFolder;
  std::string title;  // ﾌｧｲﾙを開く
  int fileBufferLength;
  int titleBufferLength;
};

// The window, its controls and the system calls the dialog makes. Texts are UTF-8.
class DialogSite {
 public:
  virtual ~DialogSite() = default;
  virtual void screenSizeTwips(int& width, int& height) const = 0;
  virtual void windowSizeTwips(int& width, int& height) const = 0;
  virtual void moveWindowTwips(int left, int top) = 0;
  virtual void moveShape1Twips(int left, int top) = 0;
  virtual void setRepeatEnabled(bool enabled) = 0;
  virtual void setFileButtonEnabled(bool enabled) = 0;
  virtual void showMark(int index, bool selected) = 0;
  virtual void setRepeatText(const std::string& text) = 0;
  virtual std::string repeatText() const = 0;
  virtual void addRepeatEntry(const std::string& text) = 0;
  virtual void setFileLabel(const std::string& text) = 0;
  virtual void showBanner(int box, int picture) = 0;
  virtual void stopTimer() = 0;
  virtual void close() = 0;
  // GetCursorPos; false when the position cannot be read.
  virtual bool cursorPos(int& x, int& y) = 0;
  // GetWindowRect of the dialog.
  virtual ScreenRect windowRect() const = 0;
  // DrawAnimatedRects with IDANI_CAPTION.
  virtual void animateRects(const ScreenRect& from, const ScreenRect& to) = 0;
  // GetOpenFileNameA; its result, and on success the chosen path.
  virtual std::int32_t openFileName(const FileRequest& request, std::string& chosen) = 0;
  // ShellExecuteA "open" with SW_SHOWNORMAL.
  virtual void openAddress(const std::string& address) = 0;
  virtual void setHourglass(bool hourglass) = 0;
};

class SettingsDialog {
 public:
  SettingsDialog(DialogSite& site, HostFiles& files) : site_(site), files_(files) {}

  void load();
  void chooseMode(int index);  // a mouse button on a mark or its label
  void chooseFile();           // Cmd_File
  void save();                 // Cmd_Set
  void cancel();               // Cmd_Can
  void openHomePage();         // either banner box
  void timerTick();            // Timer1
  void closeRequested();       // any cause: the timer stops
  void unloading();            // the window goes: the close effect

  std::int16_t bannerFrame() const { return BannerFrame; }
  Point effectPoint() const { return EffectPoint; }

 private:
  void showModeMarks(int mode);

  DialogSite& site_;
  HostFiles& files_;
  std::int16_t BannerFrame = 0;
  Point EffectPoint{0, 0};
};

}  // namespace dialog
