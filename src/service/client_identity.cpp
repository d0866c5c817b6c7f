// The client's process is found in the system's TCP table: the row whose
// local end is the connection's remote one. The process is then opened and
// the table asked again: while the handle is held its id cannot be reused,
// so a process that ended meanwhile is never mistaken for a new one.
#include "service/client_identity.h"

#include <iphlpapi.h>
#include <ws2tcpip.h>
#include <wtsapi32.h>

#include "handover/job_owner.h"

namespace {

const int kMaxSessions = 64;
const int kNameSize = 128;

bool SameEnd(DWORD address, DWORD port, const sockaddr_in* end) {
  return address == end->sin_addr.s_addr && static_cast<u_short>(port) == end->sin_port;
}

bool SameEnd6(const UCHAR* address, DWORD port, const sockaddr_in6* end) {
  return memcmp(address, &end->sin6_addr, 16) == 0 && static_cast<u_short>(port) == end->sin6_port;
}

DWORD FindOwningProcess(const void* table, int family, const sockaddr_storage* mine, const sockaddr_storage* theirs) {
  if (family == AF_INET) {
    const MIB_TCPTABLE_OWNER_PID* rows = static_cast<const MIB_TCPTABLE_OWNER_PID*>(table);
    const sockaddr_in* client = reinterpret_cast<const sockaddr_in*>(theirs);
    const sockaddr_in* server = reinterpret_cast<const sockaddr_in*>(mine);
    for (DWORD i = 0; i < rows->dwNumEntries; ++i) {
      const MIB_TCPROW_OWNER_PID& row = rows->table[i];
      if (SameEnd(row.dwLocalAddr, row.dwLocalPort, client) && SameEnd(row.dwRemoteAddr, row.dwRemotePort, server))
        return row.dwOwningPid;
    }
    return 0;
  }
  const MIB_TCP6TABLE_OWNER_PID* rows = static_cast<const MIB_TCP6TABLE_OWNER_PID*>(table);
  const sockaddr_in6* client = reinterpret_cast<const sockaddr_in6*>(theirs);
  const sockaddr_in6* server = reinterpret_cast<const sockaddr_in6*>(mine);
  for (DWORD i = 0; i < rows->dwNumEntries; ++i) {
    const MIB_TCP6ROW_OWNER_PID& row = rows->table[i];
    if (SameEnd6(row.ucLocalAddr, row.dwLocalPort, client) && SameEnd6(row.ucRemoteAddr, row.dwRemotePort, server))
      return row.dwOwningPid;
  }
  return 0;
}

// The id of the process at the client's end; 0 when none is found.
DWORD ClientProcessId(SOCKET connection) {
  sockaddr_storage mine = {};
  sockaddr_storage theirs = {};
  int mineSize = sizeof mine;
  int theirsSize = sizeof theirs;
  if (getsockname(connection, reinterpret_cast<sockaddr*>(&mine), &mineSize) != 0 ||
      getpeername(connection, reinterpret_cast<sockaddr*>(&theirs), &theirsSize) != 0 ||
      mine.ss_family != theirs.ss_family)
    return 0;
  int family = mine.ss_family;
  DWORD size = 0;
  void* table = nullptr;
  DWORD status = ERROR_INSUFFICIENT_BUFFER;
  // The table may grow between the call that sizes it and the one that fills it.
  for (int attempt = 0; attempt < 4 && status == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
    if (table != nullptr) HeapFree(GetProcessHeap(), 0, table);
    table = size > 0 ? HeapAlloc(GetProcessHeap(), 0, size) : nullptr;
    if (size > 0 && table == nullptr) return 0;
    status = GetExtendedTcpTable(table, &size, FALSE, static_cast<ULONG>(family), TCP_TABLE_OWNER_PID_CONNECTIONS, 0);
    size += 16 * sizeof(MIB_TCP6ROW_OWNER_PID);
  }
  DWORD process = status == NO_ERROR && table != nullptr ? FindOwningProcess(table, family, &mine, &theirs) : 0;
  if (table != nullptr) HeapFree(GetProcessHeap(), 0, table);
  return process;
}

struct TokenUserBuffer {
  alignas(8) BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
};

PSID TokenUserSid(HANDLE token, TokenUserBuffer* buffer) {
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenUser, buffer->bytes, sizeof buffer->bytes, &size)) return nullptr;
  return reinterpret_cast<TOKEN_USER*>(buffer->bytes)->User.Sid;
}

bool IsServiceUser(PSID user) {
  HANDLE own = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own)) return false;
  TokenUserBuffer buffer;
  PSID sid = TokenUserSid(own, &buffer);
  bool same = sid != nullptr && EqualSid(sid, user);
  CloseHandle(own);
  return same;
}

bool RunsUnderWine(void) {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

void CopyUpper(wchar_t* out, const wchar_t* text) {
  lstrcpynW(out, text != nullptr ? text : L"", kNameSize);
  CharUpperW(out);
}

// A logged-on user's token, of the session the request names "DOMAIN\user".
HANDLE OpenNamedUserToken(const char* requestedUser) {
  wchar_t requested[kNameSize];
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, requestedUser, -1, requested, kNameSize) == 0) return nullptr;
  CharUpperW(requested);
  WTS_SESSION_INFOW* list = nullptr;
  DWORD count = 0;
  if (!WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &list, &count)) return nullptr;
  static_assert(sizeof(wchar_t) * kNameSize * 2 * kMaxSessions <= 64 * 1024, "the names fit the stack");
  wchar_t domains[kMaxSessions][kNameSize];
  wchar_t users[kMaxSessions][kNameSize];
  SessionAccount accounts[kMaxSessions];
  int known = 0;
  for (DWORD i = 0; i < count && known < kMaxSessions; ++i) {
    wchar_t* domain = nullptr;
    wchar_t* user = nullptr;
    DWORD bytes = 0;
    if (WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, list[i].SessionId, WTSDomainName, &domain, &bytes) &&
        WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, list[i].SessionId, WTSUserName, &user, &bytes)) {
      CopyUpper(domains[known], domain);
      CopyUpper(users[known], user);
      accounts[known] = SessionAccount{list[i].SessionId, list[i].State == WTSActive, domains[known], users[known]};
      ++known;
    }
    if (domain != nullptr) WTSFreeMemory(domain);
    if (user != nullptr) WTSFreeMemory(user);
  }
  WTSFreeMemory(list);
  int found = FindNamedSession(accounts, known, requested);
  HANDLE token = nullptr;
  if (found < 0 || !WTSQueryUserToken(accounts[found].id, &token)) return nullptr;
  return token;
}

}  // namespace

void IdentifyClient(SOCKET connection, bool asService, ClientIdentity* client) {
  *client = ClientIdentity{};
  client->facts = ClientFacts{asService, RunsUnderWine(), kClientUnknown, false};
  // Wine has one user and no SYSTEM: in the foreground every client comes
  // out as the service's own user, so its costly table is not asked.
  if (!asService && client->facts.underWine) return;
  DWORD id = ClientProcessId(connection);
  HANDLE process = id != 0 ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id) : nullptr;
  if (process == nullptr) return;
  HANDLE token = nullptr;
  TokenUserBuffer buffer;
  PSID user = nullptr;
  if (ClientProcessId(connection) == id && OpenProcessToken(process, TOKEN_QUERY | TOKEN_DUPLICATE, &token))
    user = TokenUserSid(token, &buffer);
  if (user != nullptr) {
    client->token = token;
    client->facts.client = IsWellKnownSid(user, WinLocalSystemSid) ? kClientSystem : kClientAccount;
    client->facts.clientIsServiceUser = IsServiceUser(user);
  } else if (token != nullptr) {
    CloseHandle(token);
  }
  CloseHandle(process);
}

void ReleaseClient(ClientIdentity* client) {
  if (client->token != nullptr) CloseHandle(client->token);
  *client = ClientIdentity{};
}

HANDLE OpenJobOwner(const ClientIdentity* client, const char* requestedUser, const char** reason) {
  HANDLE owner = nullptr;
  switch (ChooseOwnerSource(&client->facts)) {
    case kOwnerIsServiceUser:
      owner = OpenJobOwnerToken();
      *reason = "The service's own user could not be read: nothing was filed.";
      break;
    case kOwnerIsClientUser:
      if (!DuplicateHandle(GetCurrentProcess(), client->token, GetCurrentProcess(), &owner, 0, FALSE,
                           DUPLICATE_SAME_ACCESS))
        owner = nullptr;
      *reason = "The client's user could not be read: nothing was filed.";
      break;
    case kOwnerNamedInRequest:
      owner = OpenNamedUserToken(requestedUser);
      *reason = "No such user logged on: nothing was filed.";
      break;
    case kOwnerCannotBeKnown:
      *reason = client->facts.client == kClientUnknown
                    ? "The client's process could not be named: nothing was filed."
                    : "The printer takes only its own user's prints: nothing was filed.";
      break;
  }
  return owner;
}

void NameClientUser(const ClientIdentity* client, const char* requestedUser, char* user, int size) {
  lstrcpynA(user, requestedUser, size);
  if (client->token == nullptr || client->facts.client != kClientAccount) return;
  TokenUserBuffer buffer;
  PSID sid = TokenUserSid(client->token, &buffer);
  wchar_t name[kNameSize];
  wchar_t domain[kNameSize];
  DWORD nameLength = kNameSize;
  DWORD domainLength = kNameSize;
  SID_NAME_USE use;
  if (sid == nullptr || !LookupAccountSidW(nullptr, sid, name, &nameLength, domain, &domainLength, &use)) {
    lstrcpynA(user, "unknown", size);
    return;
  }
  wchar_t full[2 * kNameSize + 2];
  wsprintfW(full, L"%s\\%s", domain, name);
  if (WideCharToMultiByte(CP_UTF8, 0, full, -1, user, size, nullptr, nullptr) == 0) lstrcpynA(user, "unknown", size);
}
