// The Windows side of the owner rules: tokens read into plain facts, and the
// thread's identity switched and always put back, whichever path is taken.
#include "handover/job_owner.h"

#include <sddl.h>

namespace {

const DWORD kTokenInfoSize = 1024;
const DWORD kOwnerTokenAccess = TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_IMPERSONATE;

bool inService = true;  // until known: the stricter rules

bool ReadTokenUser(HANDLE token, BYTE* buffer, DWORD size) {
  DWORD needed = 0;
  return GetTokenInformation(token, TokenUser, buffer, size, &needed) != FALSE;
}

bool IsServiceSid(PSID sid) {
  return IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinLocalServiceSid) ||
         IsWellKnownSid(sid, WinNetworkServiceSid);
}

OwnerKind KindOfSid(PSID sid) {
  if (IsWellKnownSid(sid, WinLocalSystemSid)) return kOwnerSystem;
  if (IsWellKnownSid(sid, WinLocalServiceSid)) return kOwnerLocalService;
  if (IsWellKnownSid(sid, WinNetworkServiceSid)) return kOwnerNetworkService;
  if (IsWellKnownSid(sid, WinAnonymousSid)) return kOwnerAnonymous;
  return kOwnerUser;
}

// A token's groups take as much room as the user has groups: hundreds for
// a domain user in a large organisation.
const uint32_t kTokenGroupsLimit = 1024 * 1024;

bool ReadTokenGroups(void* token, void* buffer, uint32_t size, uint32_t* needed) {
  DWORD wanted = 0;
  BOOL read = GetTokenInformation(static_cast<HANDLE>(token), TokenGroups, buffer, size, &wanted);
  *needed = read || GetLastError() != ERROR_INSUFFICIENT_BUFFER ? 0 : wanted;
  return read != FALSE;
}

void* AllocateOnHeap(uint32_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }
void ReleaseToHeap(void* block) { HeapFree(GetProcessHeap(), 0, block); }
const MemoryFunctions kProcessHeap = {AllocateOnHeap, ReleaseToHeap};

bool HoldsInteractiveGroup(HANDLE token) {
  void* block = ReadIntoGrownBlock(ReadTokenGroups, token, kTokenGroupsLimit, &kProcessHeap);
  if (block == nullptr) return false;
  const TOKEN_GROUPS* groups = static_cast<const TOKEN_GROUPS*>(block);
  bool interactive = false;
  for (DWORD i = 0; i < groups->GroupCount && !interactive; ++i)
    interactive = (groups->Groups[i].Attributes & SE_GROUP_ENABLED) != 0 &&
                  IsWellKnownSid(groups->Groups[i].Sid, WinInteractiveSid);
  ReleaseToHeap(block);
  return interactive;
}

bool CanImpersonate(HANDLE token) {
  TOKEN_TYPE type = TokenPrimary;
  DWORD needed = 0;
  if (!GetTokenInformation(token, TokenType, &type, sizeof type, &needed)) return false;
  if (type == TokenPrimary) return true;
  SECURITY_IMPERSONATION_LEVEL level = SecurityAnonymous;
  return GetTokenInformation(token, TokenImpersonationLevel, &level, sizeof level, &needed) &&
         level >= SecurityImpersonation;
}

// The thread's impersonation token, or null when it has none; false when
// it cannot be read, so it could not be put back.
bool SaveIdentity(SavedIdentity* saved) {
  saved->token = nullptr;
  if (OpenThreadToken(GetCurrentThread(), TOKEN_IMPERSONATE, TRUE, &saved->token)) return true;
  saved->token = nullptr;
  return GetLastError() == ERROR_NO_TOKEN;
}

}  // namespace

void InitJobOwners(void) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
  alignas(8) BYTE buffer[kTokenInfoSize];
  if (ReadTokenUser(token, buffer, sizeof buffer))
    inService = IsServiceSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
  CloseHandle(token);
}

bool MonitorRunsInService(void) { return inService; }

HANDLE OpenJobOwnerToken(void) {
  HANDLE token = nullptr;
  BOOL opened = inService ? OpenThreadToken(GetCurrentThread(), kOwnerTokenAccess, TRUE, &token)
                          : OpenProcessToken(GetCurrentProcess(), kOwnerTokenAccess, &token);
  return opened ? token : nullptr;
}

void ReadOwnerFacts(HANDLE token, OwnerFacts* facts) {
  *facts = {};
  alignas(8) BYTE buffer[kTokenInfoSize];
  if (token == nullptr || !ReadTokenUser(token, buffer, sizeof buffer)) return;
  facts->kind = KindOfSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
  DWORD session = 0;
  DWORD needed = 0;
  if (GetTokenInformation(token, TokenSessionId, &session, sizeof session, &needed)) facts->sessionId = session;
  facts->interactive = HoldsInteractiveGroup(token);
  facts->canImpersonate = CanImpersonate(token);
}

ImpersonationLevel ReadImpersonationLevel(HANDLE token) {
  TOKEN_TYPE type = TokenPrimary;
  DWORD needed = 0;
  SECURITY_IMPERSONATION_LEVEL level = SecurityAnonymous;
  if (!GetTokenInformation(token, TokenType, &type, sizeof type, &needed) || type == TokenPrimary ||
      !GetTokenInformation(token, TokenImpersonationLevel, &level, sizeof level, &needed))
    return kLevelNone;
  switch (level) {
    case SecurityAnonymous:
      return kLevelAnonymous;
    case SecurityIdentification:
      return kLevelIdentification;
    case SecurityImpersonation:
      return kLevelImpersonation;
    case SecurityDelegation:
      return kLevelDelegation;
  }
  return kLevelNone;
}

bool ThreadIsImpersonating(void) {
  HANDLE token = nullptr;
  if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) return false;
  CloseHandle(token);
  return true;
}

bool TokenUserSidString(HANDLE token, char* sid, int size) {
  alignas(8) BYTE buffer[kTokenInfoSize];
  LPSTR text = nullptr;
  if (!ReadTokenUser(token, buffer, sizeof buffer) ||
      !ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text))
    return false;
  bool fits = lstrlenA(text) < size;
  if (fits) lstrcpynA(sid, text, size);
  LocalFree(text);
  return fits;
}

bool ActAsSpooler(SavedIdentity* saved) {
  if (!SaveIdentity(saved)) return false;
  if (saved->token != nullptr && !RevertToSelf()) {
    DWORD error = GetLastError();
    CloseHandle(saved->token);
    saved->token = nullptr;
    SetLastError(error);
    return false;
  }
  return true;
}

bool ActAsOwner(HANDLE owner, SavedIdentity* saved) {
  if (!SaveIdentity(saved)) return false;
  if (ImpersonateLoggedOnUser(owner)) return true;
  DWORD error = GetLastError();
  RestoreIdentity(saved);
  SetLastError(error);
  return false;
}

void RestoreIdentity(SavedIdentity* saved) {
  DWORD error = GetLastError();
  // SetThreadToken with null ends impersonation: the thread was itself.
  if (!SetThreadToken(nullptr, saved->token)) RevertToSelf();
  if (saved->token != nullptr) CloseHandle(saved->token);
  saved->token = nullptr;
  SetLastError(error);
}
