// Seam between the screensaver run and the background music. The run window calls these
// hooks at its load (snapshot saved, renderer started), on each tick of its two music
// timers and first thing at its end; each does nothing unless a module overrides it.
// The hooks in use are installed on one marked line of host/win32/program_hooks.cpp.
#pragma once

// The run window's music timers; both are off when the window is made.
enum class RunTimer {
  Timer1,  // 1000 ms, watches a music file
  Timer2,  // 200 ms, polls the audio CD
};

class RunTimers {
 public:
  virtual void setEnabled(RunTimer timer, bool enabled) = 0;
  virtual bool isEnabled(RunTimer timer) const = 0;

 protected:
  ~RunTimers() = default;
};

class RunHooks {
 public:
  virtual ~RunHooks() = default;
  // Last load step: start the music by BgmMode and turn on the timer that watches it.
  virtual void onLoad(RunTimers&) {}
  virtual void onTimer1(RunTimers&) {}
  virtual void onTimer2(RunTimers&) {}
  // First end steps: stop whatever onLoad started. The cursor and program end follow.
  virtual void onEnd(RunTimers&) {}
};
