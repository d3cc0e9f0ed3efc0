// Where the preview window and its fixed picture go inside the system's little monitor.
#pragma once

#include <cstdint>

constexpr int kPreviewPictureWidth = 152;
constexpr int kPreviewPictureHeight = 112;

struct PreviewPlacement {
  int width = 0;   // the preview window and its image control: the parent's size
  int height = 0;
  int shownWidth = 0;   // the part of the picture that shows, drawn at its own size from (0, 0)
  int shownHeight = 0;
};

// From the parent's window rectangle (its position is not used); an empty or inverted
// rectangle gives an empty preview.
PreviewPlacement placePreview(int left, int top, int right, int bottom);

// Window style bits, as the system defines them.
constexpr std::uint32_t kStyleChild = 0x40000000;
constexpr std::uint32_t kStylePopup = 0x80000000;

// The preview window's style once it is put inside its parent: a child, and no longer a popup,
// which could take the activation from the settings page on a click.
std::uint32_t previewChildStyle(std::uint32_t style);
