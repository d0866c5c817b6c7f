// Whether a folder's access list lets anyone but administrators change what
// is in it: the setup installs the monitor and the program from its own
// folder, so such a folder would let a user swap what gets installed.
// Decided from plain facts about the list, built without the Windows headers.
#ifndef TOLLIVANE_SETUP_FOLDER_TRUST_H
#define TOLLIVANE_SETUP_FOLDER_TRUST_H

#include <stdint.h>

enum TrusteeKind {
  kTrusteeSystem,
  kTrusteeAdministrators,
  kTrusteeInstaller,     // TrustedInstaller
  kTrusteeSetupUser,     // the administrator running the setup
  kTrusteeCreatorOwner,  // stands for the owner of what is created, not a user
  kTrusteeOther,         // users, everyone, a user account, ...
};

struct AceFacts {
  bool allows;    // an access-allowed entry (a deny is ignored: it could be lifted by a later grant)
  uint32_t mask;  // also counted when it only passes to what the folder holds: the files to install
  TrusteeKind trustee;
};

struct FolderFacts {
  TrusteeKind owner;  // an owner may always rewrite the list
  bool hasDacl;       // a missing list lets everyone do everything
  const AceFacts* aces;
  int aceCount;
};

bool IsFolderWritableByOthers(const FolderFacts* facts);

// SYSTEM, Administrators, TrustedInstaller or the user running the setup.
bool IsTrustedOwner(TrusteeKind owner);

// The port's check of C:\Kestrin and its spool folder before each use: owned
// by SYSTEM, Administrators or TrustedInstaller (or the process's own user,
// `processUserTrusted`, where the monitor runs in the printing user's own
// process), and granting anyone else nothing beyond `usersMay`.
bool IsSpoolFolderSecured(const FolderFacts* facts, uint32_t usersMay, bool processUserTrusted);

// What the setup does with one of its folders as it finds it.
enum FolderAdoption {
  kCreateFolder,      // not there: made anew
  kAdoptFolder,       // made by an administrator: its list is set again
  kMoveFolderAside,   // made by a user, whose open handles would keep their access
  kRefuseLinkFolder,  // a junction or link: nothing is changed
  kRefuseFileFolder,  // a file in its place: nothing is changed
};

// `attributes` as GetFileAttributes gives them (INVALID_FILE_ATTRIBUTES:
// missing), `owner` the folder's owner. The setup's own user counts as an
// administrator: the setup runs elevated.
FolderAdoption DecideFolderAdoption(uint32_t attributes, TrusteeKind owner);

#endif
