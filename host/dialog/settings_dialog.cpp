#include "settings_dialog.h"

#include <cmath>

#include "last_api_result.h"
#include "music_settings.h"
#include "numbers.h"
#include "settings.h"
#include "twips.h"

namespace dialog {

const char kFontName[] = "ＭＳ Ｐゴシック";
const char kHomePage[] = "https://glassfall.example.org/";
const char* const kModeText[3] = {"なし", "音楽CD", "MP3、WAV"};
const char kRepeatText[] = "曲目をﾘﾋﾟｰﾄ";
const char kFileButtonText[] = "...";
const char kSetText[] = "設定";
const char kCancelText[] = "ｷｬﾝｾﾙ";

namespace {
const char kFilterDescription[] = "BGMﾌｧｲﾙ (MP3 WAV)";
const char kFilterPattern[] = "*.MP3;*.WAV";
const char kChooserTitle[] = "ﾌｧｲﾙを開く";
const int kChooserBuffer = 255;
}  // namespace

int pixelsAt(int twips, int dpi) {
  const long long d = dpi > 0 ? dpi : kBaseDpi;
  const long long t = twips < 0 ? -(long long)twips : twips;
  const int whole = int((t * d + kTwipsPerInch / 2) / kTwipsPerInch);
  return twips < 0 ? -whole : whole;
}

Box boxAt(const Place& p, int dpi) {
  return {pixelsAt(p.left, dpi), pixelsAt(p.top, dpi), pixelsAt(p.width, dpi), pixelsAt(p.height, dpi)};
}

namespace {
int scaled(int pixels, int dpi) {
  const long long d = dpi > 0 ? dpi : kBaseDpi;
  return int((pixels * d + kBaseDpi / 2) / kBaseDpi);
}
}  // namespace

PictureSize markPictureSize(int dpi) { return {scaled(kMarkSize, dpi), scaled(kMarkSize, dpi)}; }
PictureSize bannerPictureSize(int dpi) { return {scaled(kBannerWidth, dpi), scaled(kBannerHeight, dpi)}; }

std::string formatRepeat(int value) { return value == 0 ? std::string() : std::to_string(value); }

std::int16_t repeatFromText(const std::string& text) {
  double number = 0;
  if (!strictNumber(text, number)) return 0;
  std::int32_t whole = 0;
  // The box is a 16-bit value: a number that does not fit saves as "no track" rather than
  // wrapping round to some other track.
  if (!roundToInt32(number, whole) || whole < -32768 || whole > 32767) return 0;
  return std::int16_t(whole);
}

Point placement(int screenWidth, int screenHeight, int windowWidth, int windowHeight) {
  return {(screenWidth - windowWidth) / 2, (screenHeight - windowHeight) / 3};
}

BannerShow bannerStep(std::int16_t& frame) {
  frame = std::int16_t(frame + 1);
  if (frame >= 1 && frame <= kBannerFrames) return {0, frame};
  if (frame > kBannerFrames && frame <= 2 * kBannerFrames) return {1, frame - kBannerFrames};
  if (frame >= 2 * kBannerFrames + 1) frame = 0;
  return {-1, 0};
}

// ------------------------------------------------------------------ events

void SettingsDialog::showModeMarks(int mode) {
  for (int i = 0; i < 3; ++i) site_.showMark(i, false);
  if (mode >= 0 && mode <= 2) site_.showMark(mode, true);
}

void SettingsDialog::load() {
  BannerFrame = 0;

  int screenW = 0, screenH = 0, windowW = 0, windowH = 0;
  site_.screenSizeTwips(screenW, screenH);
  site_.windowSizeTwips(windowW, windowH);
  const Point at = placement(screenW, screenH, windowW, windowH);
  site_.moveWindowTwips(at.x, at.y);

  site_.moveShape1Twips(kShape0.left + 15, kShape0.top + 15);

  site_.setRepeatEnabled(false);
  showModeMarks(BgmMode);
  if (BgmMode == 1) site_.setRepeatEnabled(true);
  site_.setFileButtonEnabled(BgmMode == 2);

  site_.setRepeatText(formatRepeat(BgmRepeat));
  for (int n = 0; n < kRepeatEntries; ++n) site_.addRepeatEntry(formatRepeat(n));

  site_.setFileLabel(BgmFile);

  int x = 0, y = 0;
  EffectPoint = site_.cursorPos(x, y) ? Point{x, y} : Point{0, 0};
  site_.animateRects(pointRect(EffectPoint), site_.windowRect());
  site_.setHourglass(false);
}

void SettingsDialog::chooseMode(int index) {
  BgmMode = std::int16_t(index);
  site_.setFileButtonEnabled(false);
  site_.setRepeatEnabled(false);
  showModeMarks(index);
  if (index == 1) site_.setRepeatEnabled(true);
  if (index == 2) site_.setFileButtonEnabled(true);
}

void SettingsDialog::chooseFile() {
  const FileRequest request{kFilterDescription, kFilterPattern, BgmFolder, kChooserTitle, kChooserBuffer,
                            kChooserBuffer};
  std::string chosen;
  LastApiResult = site_.openFileName(request, chosen);
  if (LastApiResult <= 0) return;
  BgmFile = chosen.substr(0, chosen.find('\0'));
  site_.setFileLabel(BgmFile);
  BgmFolder = FolderOf(BgmFile);
}

void SettingsDialog::save() {
  WriteIni(files_, kSettingsSection, kKeyBgmMode, std::to_string(BgmMode), kSettingsFile);
  BgmRepeat = repeatFromText(site_.repeatText());
  WriteIni(files_, kSettingsSection, kKeyBgmRepeat, std::to_string(BgmRepeat), kSettingsFile);
  WriteIni(files_, kSettingsSection, kKeyBgmFile, BgmFile, kSettingsFile);
  site_.close();
}

void SettingsDialog::cancel() { site_.close(); }

void SettingsDialog::openHomePage() {
  site_.setHourglass(true);
  site_.openAddress(kHomePage);
  site_.setHourglass(false);
}

void SettingsDialog::timerTick() {
  const BannerShow show = bannerStep(BannerFrame);
  if (show.box >= 0) site_.showBanner(show.box, show.picture);
}

void SettingsDialog::closeRequested() { site_.stopTimer(); }

void SettingsDialog::unloading() { site_.animateRects(site_.windowRect(), pointRect(EffectPoint)); }

}  // namespace dialog
