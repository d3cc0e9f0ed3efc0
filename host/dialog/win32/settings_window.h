// The settings dialog Glassfall_P as a real window, titled ■Glassfall■.
//  [x] the layout in twips at the screen's real DPI; frame and buttons are the dialog controls
//  [x] labels drawn through the Unicode forms; file chooser, settings and shell in ANSI
//  [x] banner timer, zoom effect from and into the mouse position, the banner boxes' cursor
//  [x] Escape closes without saving, as the close box does
//  [ ] tab order: the system's default over the windowed controls
#pragma once

class HostFiles;

namespace dialog {

// Opens the settings dialog unowned and returns when it is gone; a save writes the settings
// through `files`. The dialog is placed on a primary screen of the given size in pixels.
void showSettingsDialog(HostFiles& files, int screenWidth, int screenHeight);

}  // namespace dialog
