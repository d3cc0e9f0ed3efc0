// GFXFrameX: the decorative panel — filled body, one-pixel outline, square or rounded
// corners, and a soft shadow of concentric rings towards the lower right.
#pragma once

#include <cstdint>
#include <string>

#include "colour.h"
#include "dpi_scale.h"
#include "property_store.h"
#include "surface.h"

namespace controls {

constexpr std::int16_t kTrue = -1, kFalse = 0;

// Everything one redraw needs, already resolved from the properties and the container.
struct FrameLook {
  int width = 0, height = 0;  // pixels
  Colour background = 0;      // raw: a system-colour reference stays one
  std::int32_t frameStyle = 1;
  std::int16_t shadowOpacity = 50;
  bool showShadow = true;
  std::int16_t shadowDepth = 5;
  std::int16_t cornerDepth = 10;
  Colour fillColour = 0;
  Colour borderColour = 0;
};

void drawFrame(Surface& s, const FrameLook& look);
// Steps of drawFrame with the shadow on: the background and the rings (returns the depth
// used), then the smoothing of style 0 and the body.
int drawBackgroundAndRings(Surface& s, const FrameLook& look);
// Fills the background-coloured gaps the concentric rounded outlines leave near the
// shadow's corners with the rounded average of their four neighbours.
void smoothShadowCorners(Surface& s, Colour background, int width, int height, int cornerDepth,
                         int shadowDepth);

// What the frame needs from its container and window.
class FrameSite {
 public:
  virtual ~FrameSite() = default;
  virtual Colour ambientBackColour() const = 0;
  virtual void propertyChanged(const std::string& name) = 0;
  virtual double twipsPerPixelX() const = 0;
  // The DPI of the monitor the frame stands on: the shadow and the corners are laid out for 96.
  virtual int dpi() const { return kBaseDpi; }
  virtual double widthTwips() const = 0;
  virtual double heightTwips() const = 0;
  // The retained surface to redraw, or null when there is none yet; endDraw shows it.
  virtual Surface* beginDraw() = 0;
  virtual void endDraw() = 0;
};

class FrameControl {
 public:
  explicit FrameControl(FrameSite& site) : site_(site) {}

  void initProperties();  // a new instance: defaults, no drawing
  void readProperties(const PropertyStore& store);
  void writeProperties(PropertyStore& store) const;
  void Refresh();
  void resized() { Refresh(); }
  void ambientChanged(const std::string&) { Refresh(); }

  std::int32_t FrameStyle() const { return frameStyle_; }
  std::int16_t ShadowOpacity() const { return shadowOpacity_; }
  std::int16_t ShowShadow() const { return showShadow_; }
  std::int16_t ShadowDepth() const { return shadowDepth_; }
  Colour FillColour() const { return fillColour_; }
  Colour BackColour() const { return backColour_; }
  std::int32_t BackColourIs() const { return backColourIs_; }
  Colour BorderColour() const { return borderColour_; }
  std::int16_t CornerDepth() const { return cornerDepth_; }

  void setFrameStyle(std::int32_t v);
  void setShadowOpacity(int v);
  void setShowShadow(std::int16_t v);
  void setShadowDepth(int v);
  void setFillColour(Colour v);
  void setBackColour(Colour v);
  void setBackColourIs(std::int32_t v);
  void setBorderColour(Colour v);
  void setCornerDepth(int v);

  // The look a redraw would paint now; the stored depths are scaled to the site's DPI.
  FrameLook look() const;

 private:
  void changed(const char* name);

  FrameSite& site_;
  std::int32_t frameStyle_ = 1;
  std::int16_t shadowOpacity_ = 50;
  std::int16_t showShadow_ = kTrue;
  std::int16_t shadowDepth_ = 5;
  Colour fillColour_ = 0;
  Colour backColour_ = 0;
  std::int32_t backColourIs_ = 0;
  Colour borderColour_ = 0;
  std::int16_t cornerDepth_ = 10;
};

}  // namespace controls
