#include "program_hooks.h"

#include "last_api_result.h"
#include "music_settings.h"
#include "winmm_multimedia.h"

// The music module installs its run hooks on this one line.
RunHooks& programRunHooks() { return musicRunHooks(HostMusic, LastApiResult); }
