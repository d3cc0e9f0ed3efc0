#include "program_hooks.h"

#include "winmm_multimedia.h"

// The music module installs its run hooks on this one line.
RunHooks& programRunHooks() { return musicRunHooks(); }
