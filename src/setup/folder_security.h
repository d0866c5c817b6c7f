// The setup's side of folder security: C:\Kestrin, its spool folder and the
// settings folder made the printer's own (owner Administrators, the access
// lists of the access rules), never adopted from a user who made them
// first, a link in their place refused, the settings file's list set for
// the kind of install, the first spool file made, and a refusal when the
// setup itself runs from a folder that users can change.
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

// Moves aside each folder a user made (with all it holds), creates what is
// missing and sets owner and access list on each, parent first; `shared`
// picks the settings folder's list. The settings file, when there is one,
// gets the list of its kind too.
bool SecureSettingsFolders(bool shared, FoldersMade* made);

// Makes an empty spool file, the printer's own, where none is, so that no
// user can make one first.
bool MakeFirstSpoolFile(void);

// Sets the settings file's owner and list for the kind of install.
bool SecureSettingsFile(bool shared);

// Removes the folders this run created, when they are still empty.
void RemoveFoldersMade(const FoldersMade* made);

// True when users other than administrators (and the user running setup)
// can change `folder`.
bool IsWritableByOthers(const wchar_t* folder);

#endif
