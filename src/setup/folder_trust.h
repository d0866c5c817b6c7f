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

#endif
