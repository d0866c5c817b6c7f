// Each folder is secured through a handle opened without following a link,
// so a junction swapped in after the check gets no new access list.
#include "setup/folder_security.h"

#include <aclapi.h>
#include <sddl.h>

#include "setup/folder_trust.h"
#include "setup/setup_output.h"

namespace {

const int kMaxAces = 64;
const char kTrustedInstallerSid[] = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

bool FolderFailed(const char* path, const wchar_t* what) {
  Line line = {};
  Append(&line, L"Failed: ");
  AppendBytes(&line, path);
  Append(&line, what);
  Say(line.text);
  return false;
}

bool FailFolder(const char* path, DWORD error) {
  Line step = {};
  Append(&step, L"securing ");
  AppendBytes(&step, path);
  return Fail(step.text, error);
}

// The folder as it is now, through a handle: a link is not followed.
bool SetFolderSecurity(const char* path, PSECURITY_DESCRIPTOR descriptor) {
  HANDLE folder = CreateFileA(path, READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return FailFolder(path, GetLastError());
  BY_HANDLE_FILE_INFORMATION information;
  bool plain = GetFileInformationByHandle(folder, &information) && IsSafeFolderAttributes(information.dwFileAttributes);
  PSID owner = nullptr;
  PACL dacl = nullptr;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  DWORD status = ERROR_INVALID_SECURITY_DESCR;
  if (plain && GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) &&
      GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) && present)
    status =
        SetSecurityInfo(folder, SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                        owner, nullptr, dacl, nullptr);
  CloseHandle(folder);
  if (!plain) return FolderFailed(path, L" was replaced by a link while setup ran: run setup again");
  return status == ERROR_SUCCESS || FailFolder(path, status);
}

bool SecureFolder(const ProtectedFolder* folder, bool* created) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(folder->sddl, SDDL_REVISION_1, &descriptor, nullptr))
    return FailFolder(folder->path, GetLastError());
  SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
  *created = CreateDirectoryA(folder->path, &security) != FALSE;
  DWORD error = GetLastError();
  bool secured = (*created || error == ERROR_ALREADY_EXISTS) ? SetFolderSecurity(folder->path, descriptor)
                                                             : FailFolder(folder->path, error);
  LocalFree(descriptor);
  return secured;
}

bool IsSidString(PSID sid, const char* text) {
  LPSTR made = nullptr;
  if (!ConvertSidToStringSidA(sid, &made)) return false;
  bool same = lstrcmpiA(made, text) == 0;
  LocalFree(made);
  return same;
}

bool IsSetupUser(PSID sid) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  alignas(8) BYTE buffer[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];
  DWORD needed = 0;
  bool same = GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &needed) &&
              EqualSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, sid);
  CloseHandle(token);
  return same;
}

TrusteeKind KindOfTrustee(PSID sid) {
  if (IsWellKnownSid(sid, WinLocalSystemSid)) return kTrusteeSystem;
  if (IsWellKnownSid(sid, WinBuiltinAdministratorsSid)) return kTrusteeAdministrators;
  if (IsWellKnownSid(sid, WinCreatorOwnerSid)) return kTrusteeCreatorOwner;
  if (IsSidString(sid, kTrustedInstallerSid)) return kTrusteeInstaller;
  if (IsSetupUser(sid)) return kTrusteeSetupUser;
  return kTrusteeOther;
}

int ReadAces(PACL dacl, AceFacts* aces) {
  ACL_SIZE_INFORMATION size = {};
  if (!GetAclInformation(dacl, &size, sizeof size, AclSizeInformation)) return -1;
  int count = 0;
  for (DWORD i = 0; i < size.AceCount && count < kMaxAces; ++i) {
    ACE_HEADER* header = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) return -1;
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    ACCESS_ALLOWED_ACE* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
    aces[count++] = {true, ace->Mask, KindOfTrustee(&ace->SidStart)};
  }
  return size.AceCount > kMaxAces ? -1 : count;
}

}  // namespace

bool CheckSettingsFolders(void) {
  for (int i = 0; i < kProtectedFolderCount; ++i) {
    DWORD attributes = GetFileAttributesA(kProtectedFolders[i].path);
    if (attributes == INVALID_FILE_ATTRIBUTES) continue;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
      return FolderFailed(kProtectedFolders[i].path,
                          L" is a link (a junction or symbolic link), not a folder: remove it, then run setup again");
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
      return FolderFailed(kProtectedFolders[i].path, L" is a file, not a folder: remove it, then run setup again");
  }
  return true;
}

bool SecureSettingsFolders(FoldersMade* made) {
  for (int i = 0; i < kProtectedFolderCount; ++i)
    if (!SecureFolder(&kProtectedFolders[i], &made->created[i])) return false;
  Say(L"Secured C:\\Kestrin, its spool folder Print and the settings folder Config: only administrators may change "
      L"them; users may add files");
  return true;
}

void RemoveFoldersMade(const FoldersMade* made) {
  for (int i = kProtectedFolderCount - 1; i >= 0; --i)
    if (made->created[i]) RemoveDirectoryA(kProtectedFolders[i].path);
}

void WarnIfWritableByOthers(const wchar_t* folder) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                            nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
    return;
  AceFacts aces[kMaxAces];
  int count = dacl != nullptr ? ReadAces(dacl, aces) : 0;
  FolderFacts facts = {owner != nullptr ? KindOfTrustee(owner) : kTrusteeOther, dacl != nullptr, aces,
                       count < 0 ? 0 : count};
  bool writable = count < 0 || IsFolderWritableByOthers(&facts);
  LocalFree(descriptor);
  if (writable)
    Say(L"Warning: users other than administrators can change ", folder,
        L": what setup installs from it could have been swapped. Keep it where only administrators can write, or "
        L"delete it after setup.");
}
