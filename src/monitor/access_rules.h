// What the printer's code may touch and who may touch what it makes: the
// folders' access lists, the job file's, the one the port lock gets where it
// has a name, and the paths the monitor may open. One place, so that each
// rule is read and tested once; built without the Windows headers.
#ifndef TOLLIVANE_MONITOR_ACCESS_RULES_H
#define TOLLIVANE_MONITOR_ACCESS_RULES_H

#include <stdint.h>

// A folder the setup creates or takes over, with its security descriptor:
// owner Administrators and a protected list, so nothing is inherited from C:\.
struct ProtectedFolder {
  const char* path;
  const char* sddl;
};

// Parent before child: each is secured while its parent can no longer be
// changed by users.
const int kProtectedFolderCount = 3;
extern const ProtectedFolder kProtectedFolders[kProtectedFolderCount];

// Room for a descriptor formatted with one SID string (at most 184
// characters for a SID of 15 sub-authorities).
const int kOwnerSddlSize = 320;

// A job file: full control for SYSTEM and Administrators, read for the job's
// owner alone, so the spool file it becomes is private to that user.
bool FormatJobFileSddl(const char* ownerSid, char* sddl, int size);

// The port lock where it must have a name (the monitor inside a user's
// process): only SYSTEM, Administrators and that user may open it.
bool FormatPortLockSddl(const char* userSid, char* sddl, int size);

// The event by which a run the port started says it has taken its print:
// only that run's user may set it.
bool FormatTakenSignalSddl(const char* ownerSid, char* sddl, int size);

// The registry key of the monitor's job records: administrators only.
extern const char kRecordKeySddl[];

// A folder the monitor works in: present, a folder, and not a link or other
// reparse point (file attributes as GetFileAttributes returns them).
bool IsSafeFolderAttributes(uint32_t attributes);

// Where the monitor may append its log line, as the job's owner: a full path
// on a drive letter. Not a share (\\host\...), not a device or a raw path
// (\\.\, \\?\, \??\), not relative, no stream (a second colon).
bool IsMonitorLogPath(const char* path);

#endif
