// The desktop's picture as a desktop portal hands it over (GNOME: one PNG of the whole layout),
// decoded and cut into the outputs' copies that composeDesktop takes. No D-Bus call here: the
// rules are tested alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "desktop_picture.h"

// A decoded picture: rows top first, each pixel 3 bytes B, G, R (wl_shm's RGB888).
struct PortalPicture {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<unsigned char> pixels;

  void clear() {
    width = height = 0;
    pixels = {};
  }
};

// Decodes PNG bytes. False, leaving `picture` empty, for bytes that are no PNG, a damaged one,
// or a picture beyond the scene's limit or of more than `maxBytes` decoded.
bool decodePortalPng(const unsigned char* bytes, std::size_t size, PortalPicture& picture,
                     std::uint64_t maxBytes = UINT64_MAX);

// The parts of `picture`, which shows the whole layout around `places` (logical pixels), that
// lie under each place: one capture for each place, in the same order, of no pixels where the
// picture does not cover it. GNOME draws the layout at the finest scale of its monitors, so
// the picture's scale is read from its size. False when the picture's sides do not keep the
// layout's proportions (it is then of some other layout than ours): nothing cut.
bool cutPortalPicture(const PortalPicture& picture, const std::vector<LayoutRect>& places,
                      std::vector<OutputCapture>& captures);
