// Each folder is secured through a handle opened without following a link,
// so a junction swapped in after the check gets no new access list.
#include "setup/folder_security.h"

#include <aclapi.h>
#include <sddl.h>

#include "platform/security_facts.h"
#include "setup/folder_trust.h"
#include "setup/setup_output.h"
#include "setup/setup_places.h"

namespace {

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

bool SecureFolder(const ProtectedFolder* folder, bool shared, bool* created) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const char* sddl = shared && folder->sharedSddl != nullptr ? folder->sharedSddl : folder->sddl;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr))
    return FailFolder(folder->path, GetLastError());
  SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
  *created = CreateDirectoryA(folder->path, &security) != FALSE;
  DWORD error = GetLastError();
  bool secured = (*created || error == ERROR_ALREADY_EXISTS) ? SetFolderSecurity(folder->path, descriptor)
                                                             : FailFolder(folder->path, error);
  LocalFree(descriptor);
  return secured;
}

// A user's folder goes aside whole, under a name of its own beside it: the
// handles that user kept open on it keep their access to it, and nothing
// the printer uses is in it any more. Renaming fails while such a handle
// does not share deletion; nothing has changed then.
bool MoveFolderAside(const char* path) {
  char aside[MAX_PATH];
  char number[24];
  int digits = 0;
  for (ULONGLONG tick = GetTickCount64(); digits == 0 || tick != 0; tick /= 10)
    number[digits++] = static_cast<char>('0' + tick % 10);
  lstrcpynA(aside, path, MAX_PATH - 40);
  lstrcatA(aside, ".moved-aside-");
  int at = lstrlenA(aside);
  while (digits > 0) aside[at++] = number[--digits];
  aside[at] = '\0';
  if (MoveFileExA(path, aside, 0)) {
    Line line = {};
    AppendBytes(&line, path);
    Append(&line, L" was made by a user, not by an administrator: moved aside to ");
    AppendBytes(&line, aside);
    Append(&line, L"; setup makes it anew");
    Say(line.text);
    return true;
  }
  DWORD error = GetLastError();
  Line step = {};
  Append(&step, L"moving aside ");
  AppendBytes(&step, path);
  Append(&step, L", made by a user (close what has it open, or remove it, then run setup again)");
  return Fail(step.text, error);
}

TrusteeKind FolderOwner(const char* path) {
  wchar_t wide[MAX_PATH];
  SecurityFacts facts;
  if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH) == 0 || !ReadPathSecurityFacts(wide, &facts))
    return kTrusteeOther;
  return facts.folder.owner;
}

bool SetFileSecurity(const wchar_t* path, const char* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr)) return false;
  HANDLE file = CreateFileW(path, READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  DWORD status = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_INVALID_SECURITY_DESCR;
  PSID owner = nullptr;
  PACL dacl = nullptr;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  if (file != INVALID_HANDLE_VALUE && GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) &&
      GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) && present)
    status =
        SetSecurityInfo(file, SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                        owner, nullptr, dacl, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  LocalFree(descriptor);
  SetLastError(status);
  return status == ERROR_SUCCESS;
}

}  // namespace

bool CheckSettingsFolders(void) {
  for (int i = 0; i < kProtectedFolderCount; ++i) {
    FolderAdoption adoption = DecideFolderAdoption(GetFileAttributesA(kProtectedFolders[i].path), kTrusteeSystem);
    if (adoption == kRefuseLinkFolder)
      return FolderFailed(kProtectedFolders[i].path,
                          L" is a link (a junction or symbolic link), not a folder: remove it, then run setup again");
    if (adoption == kRefuseFileFolder)
      return FolderFailed(kProtectedFolders[i].path, L" is a file, not a folder: remove it, then run setup again");
  }
  return true;
}

// Parent first: a child of a folder moved aside is gone with it.
bool SecureSettingsFolders(bool shared, FoldersMade* made) {
  for (int i = 0; i < kProtectedFolderCount; ++i) {
    const char* path = kProtectedFolders[i].path;
    DWORD attributes = GetFileAttributesA(path);
    FolderAdoption adoption =
        DecideFolderAdoption(attributes, attributes == INVALID_FILE_ATTRIBUTES ? kTrusteeSystem : FolderOwner(path));
    if (adoption == kRefuseLinkFolder || adoption == kRefuseFileFolder) return CheckSettingsFolders();
    if (adoption == kMoveFolderAside && !MoveFolderAside(path)) return false;
    if (!SecureFolder(&kProtectedFolders[i], shared, &made->created[i])) return false;
  }
  Say(L"Secured C:\\Kestrin, its spool folder Print and the settings folder Config: only administrators may change "
      L"them");
  return true;
}

bool SecureSettingsFile(bool shared) {
  if (GetFileAttributesW(kSettingsFile) == INVALID_FILE_ATTRIBUTES) return true;
  if (SetFileSecurity(kSettingsFile, shared ? kSharedSettingsFileSddl : kSettingsFileSddl)) return true;
  return Fail(L"securing the settings file", GetLastError());
}

// Made with the job files' list; an empty file is never filed (the port
// puts every job in its place before the program runs).
bool MakeFirstSpoolFile(void) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kJobFileSddl, SDDL_REVISION_1, &descriptor, nullptr))
    return Fail(L"making the spool file", GetLastError());
  SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
  SecurityFacts facts;
  if (ReadPathSecurityFacts(kSpoolFile, &facts) && !IsTrustedOwner(facts.folder.owner) && DeleteFileW(kSpoolFile))
    Say(L"Removed a spool file that a user had made");
  HANDLE spool = CreateFileW(kSpoolFile, GENERIC_WRITE, 0, &security, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  DWORD error = GetLastError();
  LocalFree(descriptor);
  if (spool != INVALID_HANDLE_VALUE) {
    CloseHandle(spool);
    return true;
  }
  return error == ERROR_FILE_EXISTS || Fail(L"making the spool file", error);
}

void RemoveFoldersMade(const FoldersMade* made) {
  for (int i = kProtectedFolderCount - 1; i >= 0; --i)
    if (made->created[i]) RemoveDirectoryA(kProtectedFolders[i].path);
}

bool IsWritableByOthers(const wchar_t* folder) {
  SecurityFacts facts;
  return !ReadPathSecurityFacts(folder, &facts) || IsFolderWritableByOthers(&facts.folder);
}
