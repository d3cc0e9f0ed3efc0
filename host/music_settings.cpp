#include "music_settings.h"

#include <cmath>

#include "last_api_result.h"
#include "numbers.h"
#include "settings.h"

MusicChoice HostMusic;
std::int16_t& BgmMode = HostMusic.mode;
std::int16_t& BgmRepeat = HostMusic.repeat;
std::string& BgmFile = HostMusic.file;
std::string BgmFolder;
std::int32_t LastApiResult = 0;

namespace {

// Empty text is 0; a number is rounded down; anything else, or a number beyond 16 bits,
// leaves the value as it was.
void loadWholeNumber(const std::string& text, std::int16_t& value) {
  if (text.empty()) {
    value = 0;
    return;
  }
  double number = 0;
  if (!strictNumber(text, number)) return;
  const double whole = std::floor(number);
  if (whole < -32768.0 || whole > 32767.0) return;
  value = static_cast<std::int16_t>(whole);
}

}  // namespace

void LoadMusicSettings(HostFiles& files, const std::string& programFolder) {
  loadWholeNumber(ReadIni(files, kSettingsSection, kKeyBgmMode, kSettingsFile), BgmMode);
  loadWholeNumber(ReadIni(files, kSettingsSection, kKeyBgmRepeat, kSettingsFile), BgmRepeat);

  BgmFile = ReadIni(files, kSettingsSection, kKeyBgmFile, kSettingsFile);
  if (!BgmFile.empty() && !FileExists(files, BgmFile)) BgmFile.clear();
  if (BgmFile.empty() && BgmMode == 2) BgmMode = 0;

  BgmFolder = BgmFile.empty() ? programFolder : FolderOf(BgmFile);
}
