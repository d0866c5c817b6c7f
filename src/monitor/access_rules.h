// What the printer's code may touch and who may touch what it makes: the
// folders' access lists, the job file's, the one the port lock gets where it
// has a name, and the paths the monitor may open. One place, so that each
// rule is read and tested once; built without the Windows headers.
#ifndef TOLLIVANE_MONITOR_ACCESS_RULES_H
#define TOLLIVANE_MONITOR_ACCESS_RULES_H

#include <stdint.h>

// A folder the setup creates or takes over, with its security descriptor:
// owner Administrators and a protected list, so nothing is inherited from C:\.
// Only the settings folder differs between the two kinds of install.
struct ProtectedFolder {
  const char* path;
  const char* sddl;        // a machine whose users trust each other
  const char* sharedSddl;  // a machine several people use: settings are the administrators'
  uint32_t usersMay;       // all that the list grants users on the folder itself
};

// Parent before child: each is secured while its parent can no longer be
// changed by users.
const int kProtectedFolderCount = 3;
extern const ProtectedFolder kProtectedFolders[kProtectedFolderCount];
const int kKestrinFolder = 0;
const int kSpoolFolder = 1;
const int kSettingsFolder = 2;

// The settings file's own list, set by the setup whatever the file had:
// users change it in a one-user install, only read it in a shared one.
extern const char kSettingsFileSddl[];
extern const char kSharedSettingsFileSddl[];

// A job file, and so the spool file it becomes: SYSTEM and Administrators
// only. The run that files it reads it through the handle the port gives
// it, so no user can open it, hold it or keep it from being replaced.
extern const char kJobFileSddl[];

// Room for a descriptor formatted with one SID string (at most 184
// characters for a SID of 15 sub-authorities).
const int kOwnerSddlSize = 320;

// The port lock where it must have a name (the monitor inside a user's
// process): only SYSTEM, Administrators and that user may open it.
bool FormatPortLockSddl(const char* userSid, char* sddl, int size);

// The port lock shared by the processes that run as SYSTEM (the spooler
// with the monitor, the IPP printer's service), and the private namespace
// it is named in: SYSTEM alone may open either.
extern const char kServicePortLockSddl[];

// The registry keys of the monitor's job records and of the job files it
// made: administrators only.
extern const char kRecordKeySddl[];

// A folder the monitor works in: present, a folder, and not a link or other
// reparse point (file attributes as GetFileAttributes returns them).
bool IsSafeFolderAttributes(uint32_t attributes);

#endif
