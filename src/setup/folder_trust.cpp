// Rights that let a holder change a folder's contents or its protection
// (on a file, the first two are writing and appending).
#include "setup/folder_trust.h"

namespace {

const uint32_t kChangingRights = 0x00000002     // FILE_ADD_FILE
                                 | 0x00000004   // FILE_ADD_SUBDIRECTORY
                                 | 0x00000040   // FILE_DELETE_CHILD
                                 | 0x00010000   // DELETE
                                 | 0x00040000   // WRITE_DAC
                                 | 0x00080000   // WRITE_OWNER
                                 | 0x02000000   // MAXIMUM_ALLOWED
                                 | 0x10000000   // GENERIC_ALL
                                 | 0x40000000;  // GENERIC_WRITE

bool IsTrusted(TrusteeKind trustee) { return trustee != kTrusteeOther; }

}  // namespace

bool IsTrustedOwner(TrusteeKind owner) { return IsTrusted(owner) && owner != kTrusteeCreatorOwner; }

bool IsFolderWritableByOthers(const FolderFacts* facts) {
  if (!IsTrusted(facts->owner) || !facts->hasDacl) return true;
  for (int i = 0; i < facts->aceCount; ++i) {
    const AceFacts& ace = facts->aces[i];
    if (ace.allows && !IsTrusted(ace.trustee) && (ace.mask & kChangingRights) != 0) return true;
  }
  return false;
}

bool IsSpoolFolderSecured(const FolderFacts* facts, uint32_t usersMay, bool processUserTrusted) {
  bool ownerTrusted = facts->owner == kTrusteeSystem || facts->owner == kTrusteeAdministrators ||
                      facts->owner == kTrusteeInstaller || (processUserTrusted && facts->owner == kTrusteeSetupUser);
  if (!ownerTrusted || !facts->hasDacl) return false;
  for (int i = 0; i < facts->aceCount; ++i) {
    const AceFacts& ace = facts->aces[i];
    bool trustee = ace.trustee == kTrusteeSystem || ace.trustee == kTrusteeAdministrators ||
                   ace.trustee == kTrusteeInstaller || (processUserTrusted && ace.trustee == kTrusteeSetupUser);
    if (ace.allows && !trustee && (ace.mask & ~usersMay) != 0) return false;
  }
  return true;
}

FolderAdoption DecideFolderAdoption(uint32_t attributes, TrusteeKind owner) {
  const uint32_t kMissing = 0xFFFFFFFF;
  const uint32_t kDirectory = 0x10;
  const uint32_t kReparsePoint = 0x400;
  if (attributes == kMissing) return kCreateFolder;
  if ((attributes & kReparsePoint) != 0) return kRefuseLinkFolder;
  if ((attributes & kDirectory) == 0) return kRefuseFileFolder;
  return IsTrustedOwner(owner) ? kAdoptFolder : kMoveFolderAside;
}
