// The run hooks the host program installs. The shipped program links program_hooks.cpp;
// the host benchmark build links its own definition, which wraps the same hooks.
#pragma once

#include "run_hooks.h"

RunHooks& programRunHooks();
