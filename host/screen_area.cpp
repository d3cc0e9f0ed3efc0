#include "screen_area.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "settings.h"

namespace {

int fitInt16(int value) { return std::clamp<int>(value, INT16_MIN, INT16_MAX); }

}  // namespace

ScreenArea runScreenArea(const ScreenArea& virtualScreen, const ScreenArea& primaryScreen) {
  ScreenArea area = virtualScreen;
  if (area.width < 1 || area.height < 1) area = {0, 0, primaryScreen.width, primaryScreen.height};
  area.left = fitInt16(area.left);
  area.top = fitInt16(area.top);
  area.width = fitInt16(area.width);
  area.height = fitInt16(area.height);
  return area;
}

void writeScreenArea(HostFiles& files, const ScreenArea& area) {
  const std::pair<const char*, int> values[] = {
      {kKeyWidth, area.width}, {kKeyHeight, area.height}, {kKeyLeft, area.left}, {kKeyTop, area.top}};
  for (const auto& [key, value] : values) {
    WriteIni(files, kSettingsSection, key, std::to_string(std::int16_t(value)), kSettingsFile);
  }
}
