// The setup's side of folder security: C:\Kestrin, its spool folder and the
// settings folder made the printer's own (owner Administrators, the access
// lists of the access rules), a link in their place refused, and a warning
// when the setup itself runs from a folder that users can change.
#ifndef TOLLIVANE_SETUP_FOLDER_SECURITY_H
#define TOLLIVANE_SETUP_FOLDER_SECURITY_H

#include <windows.h>

#include "monitor/access_rules.h"

struct FoldersMade {
  bool created[kProtectedFolderCount];
};

// False, saying which and what to do, when one of the folders is a link or
// a file: nothing has been changed then.
bool CheckSettingsFolders(void);

// Creates the folders that are missing and sets owner and access list on
// each, parent first.
bool SecureSettingsFolders(FoldersMade* made);

// Removes the folders this run created, when they are still empty.
void RemoveFoldersMade(const FoldersMade* made);

// One line of warning when users other than administrators can change `folder`.
void WarnIfWritableByOthers(const wchar_t* folder);

#endif
