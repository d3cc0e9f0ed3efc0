// Start-up and mode dispatch: what the program does with its command line before any
// window handles messages.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "glassfall_contract.h"

#include "screen_area.h"

class HostFiles;

extern const char kRunWindowTitle[];     // Glassfall_Main
extern const char kDialogWindowTitle[];  // ■Glassfall■
using contract::kRendererWindowTitle;  // Glassfall_VC
extern const char kRendererFileName[];     // Glassfall.dll
extern const char kProgramTitle[];
extern const char kMissingRendererMessage[];

// Program-wide values that start-up sets and the run reads.
struct HostState {
  std::string argument;                   // argument text
  std::string mode;                       // mode letter
  std::optional<std::int32_t> cursorCount;  // CursorCount; set only when a run hides the cursor
  std::string programFolder;              // without a trailing "\"
};
extern HostState host;

// The system calls start-up makes, so that tests can watch their order.
class StartupSystem {
 public:
  virtual ~StartupSystem() = default;
  // Failing drives (an empty removable drive named in the settings) fail quietly, without a
  // box asking for a disk while the screensaver starts.
  virtual void quietCriticalErrors() = 0;
  virtual bool windowExists(const std::string& title) = 0;
  // Takes the program-wide lock held for the rest of the process; false when another process
  // holds it (a start that passed the title checks at the same moment as ours).
  virtual bool takeInstanceLock() = 0;
  virtual void createFolder(const std::string& path) = 0;
  virtual std::int32_t showCursor(bool show) = 0;
  virtual void messageBox(const std::string& text, const std::string& title) = 0;
  // The run's area (runScreenArea of the system's metrics).
  virtual ScreenArea screenArea() = 0;
  // Each returns true when it left a window open that keeps the program alive.
  virtual bool startPreview(std::int32_t parentHandle) = 0;
  virtual void showSettingsDialogModal() = 0;
  virtual bool createRunWindow() = 0;
};

enum class StartupOutcome {
  EndProgram,   // end at once: nothing is left open
  KeepRunning,  // a window was left open; the program lives while it exists
};

// The renderer beside the program: its folder and "\Glassfall.dll".
std::string rendererPath(const std::string& programFolder);

// Decides the mode from state.argument and carries it out up to the window it leaves open.
StartupOutcome runStartup(HostState& state, StartupSystem& system, HostFiles& files);
