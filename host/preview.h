// Where the preview window and its fixed picture go inside the system's little monitor.
#pragma once

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
