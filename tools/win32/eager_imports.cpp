// Linked into the "eager" host benchmark build only: references one function of each library
// the host now loads on demand, so that the program imports them as it once did, and the
// benchmark can time a start with them loaded up front beside one without.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <mmsystem.h>
#include <shellapi.h>

extern "C" const void* const glassfallEagerImports[] = {
    reinterpret_cast<const void*>(&GetOpenFileNameA), reinterpret_cast<const void*>(&ShellExecuteA),
    reinterpret_cast<const void*>(&SetWindowSubclass), reinterpret_cast<const void*>(&mciSendStringA)};
