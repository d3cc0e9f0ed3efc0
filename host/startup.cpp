#include "startup.h"

#include "command_line.h"
#include "music_settings.h"
#include "settings.h"

const char kRunWindowTitle[] = "Glassfall_Main";
const char kDialogWindowTitle[] = "■Glassfall■";
const char kRendererFileName[] = "Glassfall.dll";
const char kProgramTitle[] = "Glassfall (ScreenSaver)";
const char kMissingRendererMessage[] = "Glassfall.dll が同じﾌｫﾙﾀﾞに見つかりません！";

HostState host;

std::string rendererPath(const std::string& programFolder) {
  return programFolder + "\\" + kRendererFileName;
}

StartupOutcome runStartup(HostState& state, StartupSystem& system, HostFiles& files) {
  system.quietCriticalErrors();
  if (system.windowExists(kRunWindowTitle) || system.windowExists(kDialogWindowTitle)) {
    return StartupOutcome::EndProgram;
  }
  state.mode = modeLetter(state.argument);
  if (state.mode == "P") {
    return system.startPreview(previewHandle(state.argument)) ? StartupOutcome::KeepRunning
                                                               : StartupOutcome::EndProgram;
  }

  // The title checks race with a start made at the same moment, before either has its window;
  // the lock decides. A preview may run beside anything, so it takes none.
  if (!system.takeInstanceLock()) return StartupOutcome::EndProgram;
  system.createFolder(kTempFolder);
  LoadMusicSettings(files, state.programFolder);
  if (!FileExists(files, rendererPath(state.programFolder))) {
    system.messageBox(kMissingRendererMessage, kProgramTitle);
    return StartupOutcome::EndProgram;
  }
  if (state.mode == "C") {
    system.showSettingsDialogModal();
    return StartupOutcome::EndProgram;
  }
  if (!state.argument.empty() && state.mode != "S") return StartupOutcome::EndProgram;

  if (state.mode == "S") state.cursorCount = system.showCursor(false);
  writeScreenArea(files, system.screenArea());
  return system.createRunWindow() ? StartupOutcome::KeepRunning : StartupOutcome::EndProgram;
}
