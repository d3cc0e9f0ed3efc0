#include "looks_catalogue.h"

#include "button_paint.h"
#include "frame.h"

namespace controls {

namespace {

constexpr Colour kDialogGrey = hex(0xD4D0C8);

FrameLook frame(int w, int h, Colour background, std::int32_t style, int depth) {
  FrameLook l;
  l.width = w;
  l.height = h;
  l.background = background;
  l.fillColour = background;
  l.frameStyle = style;
  l.shadowDepth = std::int16_t(depth);
  return l;
}

void button(Surface& s, int look, const char* caption, bool focused) {
  paintButtonFace(s, look, kDialogGrey);
  paintButtonCaption(s, {caption, look != kDisabled, 0, {"Verdana", 8.25, 400, 0}, focused && look > kNormal});
}

}  // namespace

const std::vector<Scene>& looksCatalogue() {
  static const std::vector<Scene> scenes = {
      {"frame_dialog", 477, 173, [](Surface& s) { drawFrame(s, frame(477, 173, kDialogGrey, 1, 7)); }},
      {"frame_rings5", 200, 100, [](Surface& s) { drawFrame(s, frame(200, 100, kDialogGrey, 1, 5)); }},
      {"frame_opacity100", 160, 90,
       [](Surface& s) {
         FrameLook l = frame(160, 90, kDialogGrey, 1, 6);
         l.shadowOpacity = 100;
         drawFrame(s, l);
       }},
      {"frame_opacity0_white", 160, 90,
       [](Surface& s) {
         FrameLook l = frame(160, 90, hex(0xFFFFFF), 1, 6);
         l.shadowOpacity = 0;
         l.borderColour = hex(0x3060C0);
         drawFrame(s, l);
       }},
      {"frame_dark", 160, 90, [](Surface& s) { drawFrame(s, frame(160, 90, hex(0x402010), 1, 8)); }},
      {"frame_system_colour", 160, 90,
       [](Surface& s) { drawFrame(s, frame(160, 90, 0x8000000Fu, 1, 5)); }},
      {"frame_rounded", 200, 120, [](Surface& s) { drawFrame(s, frame(200, 120, kDialogGrey, 0, 5)); }},
      {"frame_rounded_deep", 240, 160,
       [](Surface& s) {
         FrameLook l = frame(240, 160, hex(0xE0F0FF), 0, 12);
         l.cornerDepth = 30;
         l.fillColour = hex(0xFFFFFF);
         drawFrame(s, l);
       }},
      {"frame_style2", 120, 60, [](Surface& s) { drawFrame(s, frame(120, 60, hex(0x88AACC), 2, 5)); }},
      {"frame_no_shadow", 120, 60,
       [](Surface& s) {
         FrameLook l = frame(120, 60, kDialogGrey, 1, 5);
         l.showShadow = false;
         l.fillColour = hex(0xFFFFF0);
         drawFrame(s, l);
       }},
      {"frame_stored_depth0", 120, 60, [](Surface& s) { drawFrame(s, frame(120, 60, kDialogGrey, 1, 0)); }},
      {"frame_depth40", 200, 150, [](Surface& s) { drawFrame(s, frame(200, 150, kDialogGrey, 1, 40)); }},
      {"frame_tiny", 12, 9, [](Surface& s) { drawFrame(s, frame(12, 9, kDialogGrey, 1, 7)); }},
      {"button_look0", 100, 30, [](Surface& s) { button(s, kDisabled, "", false); }},
      {"button_look1", 100, 30, [](Surface& s) { button(s, kNormal, "", false); }},
      {"button_look2", 100, 30, [](Surface& s) { button(s, kFocused, "", false); }},
      {"button_look3", 100, 30, [](Surface& s) { button(s, kHot, "", false); }},
      {"button_look4", 100, 30, [](Surface& s) { button(s, kPressed, "", false); }},
      {"button_odd_look2", 57, 23, [](Surface& s) { button(s, kFocused, "", false); }},
      {"button_tall_look3", 40, 80, [](Surface& s) { button(s, kHot, "", false); }},
      {"button_smallest", 7, 7, [](Surface& s) { button(s, kNormal, "", false); }},
      {"button_caption_focus", 100, 30, [](Surface& s) { button(s, kHot, "&OK", true); }},
  };
  return scenes;
}

const std::vector<SmoothingCase>& smoothingCases() {
  static const std::vector<SmoothingCase> cases = [] {
    std::vector<SmoothingCase> c;
    c.push_back({"smooth_dialog_grey", frame(200, 120, kDialogGrey, 0, 5)});
    FrameLook deep = frame(240, 160, hex(0xE0F0FF), 0, 12);
    deep.cornerDepth = 30;
    c.push_back({"smooth_deep", deep});
    FrameLook white = frame(160, 90, hex(0xFFFFFF), 0, 8);
    white.cornerDepth = 20;
    white.shadowOpacity = 80;
    c.push_back({"smooth_white", white});
    // Regions reaching off the surface: the reads there are CLR_INVALID.
    c.push_back({"smooth_small", frame(30, 20, kDialogGrey, 0, 5)});
    return c;
  }();
  return cases;
}

}  // namespace controls
