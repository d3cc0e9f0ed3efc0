// A function of a system library, looked up at its first use instead of imported. The host
// takes the libraries of the settings dialog (common dialogs, shell, common controls) and of
// the music (winmm) this way: imported, they are all loaded and initialised before the
// program's first line runs, which under Wine puts about 120 ms before a screensaver run's
// first frame, for libraries a run without music never calls.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

// Null when the library or the function is missing; the caller treats that as the call failing.
// The library stays loaded for the life of the process.
template <typename Function>
Function libraryFunction(const wchar_t* library, const char* name) {
  HMODULE module = GetModuleHandleW(library);
  if (!module) module = LoadLibraryW(library);
  if (!module) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
