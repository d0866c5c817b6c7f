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

// Renames the file that `file` is open on (opened with DELETE access) to
// `newPath`, replacing what has that name: the file renamed is the one held,
// whatever has its old name by now. FALSE with the error set when it cannot.
BOOL RenameOpenFile(HANDLE file, LPCSTR newPath);

// GetSaveFileNameA, with the dialog kept in front of other programs' windows.
BOOL ShowSaveDialogInFront(OPENFILENAMEA* request);

#endif
