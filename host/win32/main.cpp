// Win32 entry of the screensaver host Glassfall.scr.
//  [x] start-up and mode dispatch over the real system, the hidden run window and its loop
//  [x] run hooks for the background music (program_hooks.cpp)
//  [x] preview window and settings dialog, reached through the start-up system
//  [x] multi-monitor: the run photographs and covers the whole virtual screen, and follows
//      it when monitors come and go during the run
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "host_system.h"
#include "preview_window.h"
#include "program_hooks.h"
#include "services.h"
#include "settings_window.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  host.argument = programArgumentText();
  host.programFolder = programFolder();

  Win32HostFiles files;
  const auto showSettingsDialog = [&files] {
    int width = 0, height = 0;
    primaryScreenPixels(width, height);
    dialog::showSettingsDialog(files, width, height);
  };
  Win32StartupSystem system(host, programRunHooks(), HostWindows{startPreviewWindow, showSettingsDialog});
  if (runStartup(host, system, files) == StartupOutcome::EndProgram) endProgram();
  runMessageLoop();
  endProgram();
}
