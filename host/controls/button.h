// ccXPButton: the themed push button's properties, persisted form, events and the state
// machine that picks one of its five looks from mouse, keyboard, focus and activation.
// Plain logic: the window, the container and the events are reached through ButtonSite.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "button_paint.h"
#include "property_store.h"
#include "surface.h"

namespace controls {

// The letter after the first single ampersand, lower-cased (UTF-8), or "" for none.
std::string AccessKeyOf(const std::string& caption);
// "&OK", "&Cancel", "&Apply", then the new button's own name.
std::string ChooseNewCaption(const std::vector<std::string>& captionsOnForm, const std::string& ownName);

FontSpec defaultButtonFont();
std::string fontToText(const FontSpec& f);
bool fontFromText(const std::string& text, FontSpec& f);

class ButtonSite {
 public:
  virtual ~ButtonSite() = default;
  // Drawing: the retained surface (null for none), shown again by endDraw.
  virtual Surface* beginDraw() = 0;
  virtual void endDraw() = 0;
  virtual Colour backColour() const = 0;
  // Container.
  virtual void propertyChanged(const std::string& name) = 0;
  virtual bool displayAsDefault() const = 0;
  virtual bool userMode() const = 0;
  virtual void setAccessKey(const std::string& key) = 0;
  virtual void sendTab(bool backwards) = 0;
  virtual void processPendingMessages() = 0;
  // Window.
  virtual double widthTwips() const = 0;
  virtual double heightTwips() const = 0;
  virtual void setWidthTwips(double twips) = 0;
  virtual void setHeightTwips(double twips) = 0;
  virtual int clientWidth() const = 0;  // pixels
  virtual int clientHeight() const = 0;
  virtual void enableWindow(bool enabled) = 0;
  virtual void trackMouseLeave() = 0;
  virtual void startIntercepting() = 0;
  virtual void stopIntercepting() = 0;
  virtual bool clientOriginOnScreen(int& x, int& y) const = 0;
  virtual void setCursorPos(int x, int y) = 0;
  // Events.
  virtual void Click() = 0;
  virtual void DblClick() = 0;
  virtual void MouseMove(int button, int shift, float x, float y) = 0;
  virtual void FormActivate(int state) = 0;
};

constexpr int kLeftButton = 1;
constexpr int kVkReturn = 13, kVkSpace = 32, kVkLeft = 37, kVkUp = 38, kVkRight = 39, kVkDown = 40;

class ButtonControl {
 public:
  explicit ButtonControl(ButtonSite& site);  // creation: drawing locked until the first Enabled
  ~ButtonControl();
  ButtonControl(const ButtonControl&) = delete;
  ButtonControl& operator=(const ButtonControl&) = delete;

  void initProperties(const std::vector<std::string>& captionsOnForm, const std::string& ownName);
  void readProperties(const PropertyStore& store);
  void writeProperties(PropertyStore& store) const;

  // Properties.
  const std::string& Caption() const { return caption_; }
  bool Enabled() const { return enabled_; }
  Colour ForeColor() const { return foreColor_; }
  const FontSpec& Font() const { return pFONT; }
  bool FocusRect() const { return focusRect_; }
  void setCaption(const std::string& text);
  void setEnabled(bool v);
  void setForeColor(Colour c);
  void setFocusRect(bool v);
  void setFont(const FontSpec& f);
  void fontChanged();  // the font object itself changed
  void SnapMouseTo();

  void Draw(int s);

  // Inputs.
  void gotFocus();
  void lostFocus();
  void mouseDown(int button);
  void mouseMove(int button, int shift, float x, float y);
  void mouseUp(int button);
  void doubleClick();
  void keyDown(int key);
  void keyUp(int key);
  void accessKeyPressed();
  void ambientChanged(const std::string& name);
  void mouseLeave();
  void formActivated(bool active);
  void resized();

  // State, for the window layer and tests.
  int lState = kDisabled;
  bool bHover = false, bFocused = false, bPressed = false, bMouseDown = false, bSpaceDown = false;
  bool bFormActive = false, bIsDefault = false, bDrawLocked = true;
  std::int16_t iLastButton = 0;

 private:
  void drawUnless(int s) {
    if (lState != s) Draw(s);
  }

  ButtonSite& site_;
  std::string caption_;
  bool enabled_ = true;
  Colour foreColor_ = 0;
  bool focusRect_ = true;
  FontSpec pFONT;
  bool intercepting_ = false;
};

}  // namespace controls
