// The Win32 operations the rest of the program calls, by the names the
// platform gives them. Windows builds get the system's own declarations; a
// native build gets a stand-in with the same names and results, so the
// delivery job and its tests compile and run unchanged on both.
#ifndef TOLLIVANE_PLATFORM_PLATFORM_H
#define TOLLIVANE_PLATFORM_PLATFORM_H

#ifdef _WIN32
#include <windows.h>
#include <commdlg.h>
#include <shlwapi.h>
#else
#include "host/win32_standin.h"
#endif

#endif
