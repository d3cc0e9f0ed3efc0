#include "button.h"

#include <cstdlib>
#include <sstream>

#include "colour.h"

namespace controls {

namespace {

// Caption split into characters (UTF-8 sequences), so positions count characters.
std::vector<std::string> characters(const std::string& text) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    std::size_t n = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 1;
    if (i + n > text.size()) n = text.size() - i;
    out.push_back(text.substr(i, n));
    i += n;
  }
  return out;
}

std::string lowerCased(const std::string& ch) {
  if (ch.size() == 1 && ch[0] >= 'A' && ch[0] <= 'Z') return std::string(1, char(ch[0] - 'A' + 'a'));
  // Full-width Latin capitals (U+FF21..U+FF3A: EF BC A1..BA) to their small forms (EF BD 81..9A).
  if (ch.size() == 3 && static_cast<unsigned char>(ch[0]) == 0xEF && static_cast<unsigned char>(ch[1]) == 0xBC) {
    const unsigned char c = static_cast<unsigned char>(ch[2]);
    if (c >= 0xA1 && c <= 0xBA) return std::string{char(0xEF), char(0xBD), char(c - 0xA1 + 0x81)};
  }
  return ch;
}

constexpr long kStoredTrue = -1;

}  // namespace

std::string AccessKeyOf(const std::string& caption) {
  const std::vector<std::string> chars = characters(caption);
  const std::size_t len = chars.size();
  if (len == 0) return "";
  std::size_t p = 1;  // positions from 1
  while (p + 1 < len) {
    std::size_t amp = 0;
    for (std::size_t i = p; i <= len; ++i) {
      if (chars[i - 1] == "&") {
        amp = i;
        break;
      }
    }
    if (amp == 0 || amp == len) return "";
    const std::string next = lowerCased(chars[amp]);
    if (next == "&") {
      p = amp + 2;
      continue;
    }
    return next;
  }
  return "";
}

std::string ChooseNewCaption(const std::vector<std::string>& captionsOnForm, const std::string& ownName) {
  std::string list = "|";
  for (const std::string& c : captionsOnForm) list += c + "|";
  for (const char* candidate : {"&OK", "&Cancel", "&Apply"}) {
    if (list.find(std::string("|") + candidate + "|") == std::string::npos) return candidate;
  }
  return ownName;
}

FontSpec defaultButtonFont() { return {"Verdana", 8.25, 400, 0}; }

std::string fontToText(const FontSpec& f) {
  std::ostringstream out;
  out << f.name << '|' << f.points << '|' << f.weight << '|' << f.charset;
  return out.str();
}

bool fontFromText(const std::string& text, FontSpec& f) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t bar; (bar = text.find('|', start)) != std::string::npos; start = bar + 1)
    parts.push_back(text.substr(start, bar - start));
  parts.push_back(text.substr(start));
  if (parts.size() != 4 || parts[0].empty()) return false;
  char* end = nullptr;
  const double points = std::strtod(parts[1].c_str(), &end);
  if (*end || !(points > 0 && points < 1000)) return false;
  const long weight = std::strtol(parts[2].c_str(), &end, 10);
  if (*end || weight < 0 || weight > 1000) return false;
  const long charset = std::strtol(parts[3].c_str(), &end, 10);
  if (*end || charset < 0 || charset > 255) return false;
  f = {parts[0], points, int(weight), int(charset)};
  return true;
}

// --------------------------------------------------------------------------- control

ButtonControl::ButtonControl(ButtonSite& site) : site_(site), pFONT(defaultButtonFont()) {}

ButtonControl::~ButtonControl() {
  if (intercepting_) site_.stopIntercepting();
}

void ButtonControl::initProperties(const std::vector<std::string>& captionsOnForm, const std::string& ownName) {
  setCaption(ChooseNewCaption(captionsOnForm, ownName));
  setForeColor(0);
  setEnabled(true);
  setFocusRect(true);
}

void ButtonControl::readProperties(const PropertyStore& store) {
  // Every value is read before any is applied: each setter's change notification writes the
  // whole state back into the store, which would overwrite values not yet read.
  const std::string caption = store.read("Caption", "&OK");
  const Colour foreColor = Colour(std::int32_t(store.readLong("ForeColor", 0)));
  FontSpec font = pFONT;
  if (store.has("Font") && !fontFromText(store.read("Font", ""), font)) font = pFONT;
  const bool focusRect = store.readLong("FocusRect", kStoredTrue) != 0;
  const bool enabled = store.readLong("Enabled", kStoredTrue) != 0;
  setCaption(caption);
  setForeColor(foreColor);
  setFont(font);
  setFocusRect(focusRect);
  setEnabled(enabled);
  if (site_.userMode() && !intercepting_) {
    site_.startIntercepting();
    intercepting_ = true;
  }
  bDrawLocked = false;
  Draw(lState);
}

void ButtonControl::writeProperties(PropertyStore& store) const {
  store.write("Caption", caption_, "&OK");
  store.writeLong("Enabled", enabled_ ? kStoredTrue : 0, kStoredTrue);
  store.writeLong("ForeColor", std::int32_t(foreColor_), 0);
  store.write("Font", fontToText(pFONT), "");  // never equal to its default, so always kept
  store.writeLong("FocusRect", focusRect_ ? kStoredTrue : 0, kStoredTrue);
}

void ButtonControl::setCaption(const std::string& text) {
  caption_ = text;
  site_.setAccessKey(AccessKeyOf(text));
  Draw(lState);
  site_.propertyChanged("Caption");
}

void ButtonControl::setEnabled(bool v) {
  enabled_ = v;
  site_.enableWindow(v);
  bDrawLocked = false;
  if (bHover && v) Draw(kHot);
  else if (bIsDefault && v) Draw(kFocused);
  else if (lState != (v ? kNormal : kDisabled)) Draw(v ? kNormal : kDisabled);
  site_.propertyChanged("Enabled");
}

void ButtonControl::setForeColor(Colour c) {
  foreColor_ = c;
  Draw(lState);
  site_.propertyChanged("ForeColor");
}

void ButtonControl::setFocusRect(bool v) {
  focusRect_ = v;
  if (bFocused) Draw(lState);
  site_.propertyChanged("FocusRect");
}

void ButtonControl::setFont(const FontSpec& f) {
  pFONT = f;
  fontChanged();
}

void ButtonControl::fontChanged() {
  Draw(lState);
  site_.propertyChanged("Font");
}

void ButtonControl::SnapMouseTo() {
  int x = 0, y = 0;
  if (!site_.clientOriginOnScreen(x, y)) return;
  site_.setCursorPos(int(roundHalfEven(x + site_.clientWidth() / 2.0)),
                     int(roundHalfEven(y + site_.clientHeight() / 2.0)));
}

void ButtonControl::Draw(int s) {
  if (bDrawLocked) return;
  lState = s;
  Surface* surface = site_.beginDraw();
  if (surface) paintButtonFace(*surface, s, site_.backColour());
  bDrawLocked = true;
  if (surface) {
    CaptionLook c{caption_, enabled_, foreColor_, pFONT, bFocused && focusRect_ && s > kNormal};
    paintButtonCaption(*surface, c);
    site_.endDraw();
  }
  bDrawLocked = false;
}

void ButtonControl::gotFocus() {
  bFocused = true;
  if (bHover) {
    if (lState != kHot && lState != kPressed) Draw(kHot);
  } else if (!bPressed) {
    Draw(kFocused);
  }
}

void ButtonControl::lostFocus() {
  bFocused = bPressed = bSpaceDown = false;
  if (!enabled_) return;
  if (!bFormActive) drawUnless(kNormal);
  else if (bHover) drawUnless(kHot);
  else if (bIsDefault) Draw(kFocused);
  else drawUnless(kNormal);
}

void ButtonControl::mouseDown(int button) {
  iLastButton = std::int16_t(button);
  if (button != kLeftButton) return;
  bFocused = bPressed = bMouseDown = true;
  drawUnless(kPressed);
}

void ButtonControl::mouseMove(int button, int shift, float x, float y) {
  bHover = x >= 0 && x <= site_.clientWidth() && y >= 0 && y <= site_.clientHeight();
  if (bHover) site_.trackMouseLeave();
  if (!bFormActive || bSpaceDown) return;
  if (bHover) drawUnless(bPressed ? kPressed : kHot);
  else if (bFocused) drawUnless(kFocused);
  else drawUnless(kNormal);
  site_.MouseMove(button, shift, x, y);
}

void ButtonControl::mouseUp(int button) {
  if (button != kLeftButton) return;
  if (bFormActive) {
    if (bHover) drawUnless(kHot);
    else if (bFocused) Draw(kFocused);
    if (bHover && bFocused && bPressed) site_.Click();
  }
  bPressed = bMouseDown = false;
}

void ButtonControl::doubleClick() {
  if (iLastButton != kLeftButton) return;
  Draw(kPressed);
  site_.DblClick();
}

void ButtonControl::keyDown(int key) {
  switch (key) {
    case kVkReturn:
      site_.Click();
      break;
    case kVkSpace:
      if (!bMouseDown) {
        bSpaceDown = bPressed = true;
        drawUnless(kPressed);
      }
      break;
    case kVkLeft:
    case kVkUp:
      site_.sendTab(true);
      break;
    case kVkRight:
    case kVkDown:
      site_.sendTab(false);
      break;
    default:
      break;
  }
}

void ButtonControl::keyUp(int key) {
  if (key != kVkSpace || bMouseDown) return;
  if (bHover) drawUnless(kHot);
  else Draw(kFocused);
  if (bPressed) site_.Click();
  bSpaceDown = bPressed = false;
}

void ButtonControl::accessKeyPressed() {
  if (!enabled_) return;
  if (bSpaceDown) {
    bSpaceDown = bPressed = false;
    if (bHover) drawUnless(kHot);
    else Draw(kFocused);
    return;
  }
  site_.processPendingMessages();
  site_.Click();
}

void ButtonControl::ambientChanged(const std::string& name) {
  bIsDefault = site_.displayAsDefault();
  if (enabled_ && !bHover && name == "DisplayAsDefault") {
    if (bIsDefault) Draw(kFocused);
    else drawUnless(kNormal);
  }
}

void ButtonControl::mouseLeave() {
  bHover = false;
  if (bSpaceDown || lState == kDisabled) return;
  if (bFocused || bIsDefault) {
    if (lState == kPressed) Draw(bPressed ? kFocused : kNormal);
    else if (lState != kFocused && bFormActive) Draw(kFocused);
  } else {
    drawUnless(kNormal);
  }
}

void ButtonControl::formActivated(bool active) {
  if (active) {
    bFormActive = true;
    if (enabled_) {
      if (bHover) drawUnless(kHot);
      else if (bFocused || bIsDefault) Draw(kFocused);
    }
    site_.FormActivate(1);
  } else {
    bFormActive = bPressed = bMouseDown = bSpaceDown = false;
    if (enabled_) drawUnless(kNormal);
    site_.FormActivate(0);
  }
}

void ButtonControl::resized() {
  if (site_.heightTwips() < 100) {
    bDrawLocked = true;
    site_.setHeightTwips(100);
  }
  if (site_.widthTwips() < 100) {
    bDrawLocked = true;
    site_.setWidthTwips(100);
  }
  if (!bDrawLocked) Draw(lState);
}

}  // namespace controls
