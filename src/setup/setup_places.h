// Where the setup finds what it installs and where it puts it, shared by
// installing, removing and checking the printer.
#ifndef TOLLIVANE_SETUP_SETUP_PLACES_H
#define TOLLIVANE_SETUP_SETUP_PLACES_H

#include <windows.h>

extern const wchar_t kPrinterName[];
extern const wchar_t kProgramName[];
extern const wchar_t kSettingsFile[];
extern const wchar_t kSpoolFile[];

bool JoinPath(wchar_t* path, const wchar_t* folder, const wchar_t* name);
// `name` in the system folder.
bool SystemPath(const wchar_t* name, wchar_t* path);
// `name` in the setup's own folder, else (`folderAboveToo`) in the one above.
bool FindBesideSetup(const wchar_t* name, bool folderAboveToo, wchar_t* path);
bool IsAdministrator(void);
bool SameContents(const wchar_t* first, const wchar_t* second);
// Where the setup puts the program: Program Files (x86)\Tollivane.
bool ProgramFolder(wchar_t* folder);

#endif
