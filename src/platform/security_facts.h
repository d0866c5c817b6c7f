// An object's owner and access list read into the plain facts that the
// folder rules decide on, for the setup and the port monitor alike.
#ifndef TOLLIVANE_PLATFORM_SECURITY_FACTS_H
#define TOLLIVANE_PLATFORM_SECURITY_FACTS_H

#include <windows.h>
#include <accctrl.h>

#include "setup/folder_trust.h"

const int kMaxAceFacts = 64;

struct SecurityFacts {
  FolderFacts folder;
  AceFacts aces[kMaxAceFacts];
};

// SYSTEM, Administrators, TrustedInstaller, CREATOR OWNER, this process's
// own user (kTrusteeSetupUser), or anyone else.
TrusteeKind KindOfTrustee(PSID sid);

// The owner and allowing entries of the object `handle` is open on (with
// READ_CONTROL). False with the error set when they cannot be read, or the
// list has more entries than are kept.
bool ReadSecurityFacts(HANDLE handle, SE_OBJECT_TYPE type, SecurityFacts* facts);

// The same for a file or folder by its path (a link is followed).
bool ReadPathSecurityFacts(const wchar_t* path, SecurityFacts* facts);

#endif
