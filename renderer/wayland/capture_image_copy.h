// The copy of an output through ext-image-copy-capture (the capture protocol wlroots and
// others are moving to), from an ext-image-capture-source output source into wl_shm, before
// anything of ours shows on it.
#pragma once

#include "wayland_output.h"

struct ext_image_copy_capture_manager_v1;
struct ext_output_image_capture_source_manager_v1;

// Asks for a copy of the output: its stage becomes capturing, then captured when the copy is
// over (its pixels in `captured`, or none when the compositor failed it, stopped the session or
// offered no wl_shm format we can read).
void requestImageCopy(ext_image_copy_capture_manager_v1* manager, ext_output_image_capture_source_manager_v1* sources,
                      wl_shm* shm, Output& output);
// Lets the output's source, session and frame go.
void releaseImageCopy(Output& output);
