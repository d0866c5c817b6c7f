// Only allowing entries count: a deny entry could be lifted by a later grant.
#include "platform/security_facts.h"

#include <aclapi.h>
#include <sddl.h>

namespace {

const char kTrustedInstallerSid[] = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

bool IsSidString(PSID sid, const char* text) {
  LPSTR made = nullptr;
  if (!ConvertSidToStringSidA(sid, &made)) return false;
  bool same = lstrcmpiA(made, text) == 0;
  LocalFree(made);
  return same;
}

bool IsProcessUser(PSID sid) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  alignas(8) BYTE buffer[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];
  DWORD needed = 0;
  bool same = GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &needed) &&
              EqualSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, sid);
  CloseHandle(token);
  return same;
}

bool ReadAces(PACL dacl, SecurityFacts* facts) {
  ACL_SIZE_INFORMATION size = {};
  if (!GetAclInformation(dacl, &size, sizeof size, AclSizeInformation)) return false;
  if (size.AceCount > kMaxAceFacts) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  int count = 0;
  for (DWORD i = 0; i < size.AceCount; ++i) {
    ACE_HEADER* header = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) return false;
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    ACCESS_ALLOWED_ACE* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
    facts->aces[count++] = {true, ace->Mask, KindOfTrustee(&ace->SidStart)};
  }
  facts->folder.aceCount = count;
  return true;
}

bool FillFacts(DWORD status, PSID owner, PACL dacl, PSECURITY_DESCRIPTOR descriptor, SecurityFacts* facts) {
  bool read = status == ERROR_SUCCESS;
  if (read) {
    facts->folder.owner = owner != nullptr ? KindOfTrustee(owner) : kTrusteeOther;
    facts->folder.hasDacl = dacl != nullptr;
    facts->folder.aces = facts->aces;
    facts->folder.aceCount = 0;
    read = dacl == nullptr || ReadAces(dacl, facts);
  }
  DWORD error = read ? 0 : (status != ERROR_SUCCESS ? status : GetLastError());
  if (descriptor != nullptr) LocalFree(descriptor);
  SetLastError(error);
  return read;
}

}  // namespace

TrusteeKind KindOfTrustee(PSID sid) {
  if (IsWellKnownSid(sid, WinLocalSystemSid)) return kTrusteeSystem;
  if (IsWellKnownSid(sid, WinBuiltinAdministratorsSid)) return kTrusteeAdministrators;
  if (IsWellKnownSid(sid, WinCreatorOwnerSid)) return kTrusteeCreatorOwner;
  if (IsSidString(sid, kTrustedInstallerSid)) return kTrusteeInstaller;
  if (IsProcessUser(sid)) return kTrusteeSetupUser;
  return kTrusteeOther;
}

bool ReadSecurityFacts(HANDLE handle, SE_OBJECT_TYPE type, SecurityFacts* facts) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD status = GetSecurityInfo(handle, type, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                                 &dacl, nullptr, &descriptor);
  return FillFacts(status, owner, dacl, descriptor, facts);
}

bool ReadPathSecurityFacts(const wchar_t* path, SecurityFacts* facts) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD status = GetNamedSecurityInfoW(path, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                       &owner, nullptr, &dacl, nullptr, &descriptor);
  return FillFacts(status, owner, dacl, descriptor, facts);
}
