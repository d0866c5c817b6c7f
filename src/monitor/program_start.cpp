// The Windows side of starting the program; which way it is started is
// ChooseLaunchWay's decision. Under the spooler service the job's owner is
// found by the impersonation token of the job's start or, failing that, by
// the job's user name among the logged-on sessions.
#include "monitor/program_start.h"

#include <userenv.h>
#include <wtsapi32.h>

#include "monitor/launch_decision.h"

namespace {

const DWORD kJobInfoBufferSize = 2048;
const DWORD kSidBufferSize = 128;

struct CommandLine {
  wchar_t text[MAX_PATH + 3];
  wchar_t folder[MAX_PATH];
};

bool BuildCommandLine(const wchar_t* program, CommandLine* line) {
  int length = lstrlenW(program);
  if (length <= 0 || length >= MAX_PATH) return false;
  line->text[0] = L'"';
  lstrcpynW(line->text + 1, program, MAX_PATH);
  lstrcpynW(line->text + 1 + length, L"\"", 2);
  lstrcpynW(line->folder, program, MAX_PATH);
  wchar_t* slash = nullptr;
  for (wchar_t* at = line->folder; *at != L'\0'; ++at)
    if (*at == L'\\') slash = at;
  if (slash != nullptr) *slash = L'\0';
  return true;
}

bool TokenUserSid(HANDLE token, BYTE* buffer) {
  DWORD size = 0;
  return GetTokenInformation(token, TokenUser, buffer, kSidBufferSize, &size) != FALSE;
}

bool IsServiceAccount(void) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return true;
  alignas(8) BYTE buffer[kSidBufferSize];
  bool service = true;
  if (TokenUserSid(token, buffer)) {
    PSID sid = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
    service = IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinLocalServiceSid) ||
              IsWellKnownSid(sid, WinNetworkServiceSid);
  }
  CloseHandle(token);
  return service;
}

bool IsSessionActive(DWORD session) {
  LPWSTR state = nullptr;
  DWORD bytes = 0;
  if (!WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, session, WTSConnectState, &state, &bytes)) return false;
  bool active =
      bytes >= sizeof(WTS_CONNECTSTATE_CLASS) && *reinterpret_cast<WTS_CONNECTSTATE_CLASS*>(state) == WTSActive;
  WTSFreeMemory(state);
  return active;
}

// The job's user name, as the spooler keeps it.
bool JobUserName(const PortState* port, wchar_t* name, int capacity) {
  if (port->printer == nullptr) return false;
  alignas(8) BYTE buffer[kJobInfoBufferSize];
  DWORD needed = 0;
  if (!GetJobW(port->printer, port->jobId, 1, buffer, sizeof buffer, &needed)) return false;
  const JOB_INFO_1W* job = reinterpret_cast<const JOB_INFO_1W*>(buffer);
  if (job->pUserName == nullptr) return false;
  lstrcpynW(name, job->pUserName, capacity);
  return true;
}

// The active session where the job's user is logged on.
bool FindSessionOfJobUser(const PortState* port, DWORD* session) {
  wchar_t user[256];
  if (!JobUserName(port, user, 256)) return false;
  WTS_SESSION_INFOW* sessions = nullptr;
  DWORD count = 0;
  if (!WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &sessions, &count)) return false;
  bool found = false;
  for (DWORD i = 0; i < count && !found; ++i) {
    if (sessions[i].State != WTSActive) continue;
    LPWSTR name = nullptr;
    DWORD bytes = 0;
    if (!WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, sessions[i].SessionId, WTSUserName, &name, &bytes))
      continue;
    if (lstrcmpiW(name, user) == 0) {
      *session = sessions[i].SessionId;
      found = true;
    }
    WTSFreeMemory(name);
  }
  WTSFreeMemory(sessions);
  return found;
}

void GatherLaunchFacts(const PortState* port, LaunchFacts* facts, DWORD* ownerSession) {
  facts->processIsServiceAccount = IsServiceAccount();
  DWORD processSession = 0;
  ProcessIdToSessionId(GetCurrentProcessId(), &processSession);
  facts->processSessionId = processSession;
  facts->ownerTokenKnown = false;
  *ownerSession = 0;
  DWORD size = 0;
  if (port->ownerToken != nullptr)
    facts->ownerTokenKnown =
        GetTokenInformation(port->ownerToken, TokenSessionId, ownerSession, sizeof *ownerSession, &size) != FALSE;
  if (!facts->ownerTokenKnown && !facts->processIsServiceAccount) return;
  if (!facts->ownerTokenKnown) facts->ownerTokenKnown = FindSessionOfJobUser(port, ownerSession);
  facts->ownerSessionId = *ownerSession;
  facts->ownerSessionActive = facts->ownerTokenKnown && IsSessionActive(*ownerSession);
}

bool SameUser(HANDLE first, HANDLE second) {
  alignas(8) BYTE a[kSidBufferSize];
  alignas(8) BYTE b[kSidBufferSize];
  return TokenUserSid(first, a) && TokenUserSid(second, b) &&
         EqualSid(reinterpret_cast<TOKEN_USER*>(a)->User.Sid, reinterpret_cast<TOKEN_USER*>(b)->User.Sid);
}

HANDLE StartDirectly(CommandLine* line, const wchar_t* program) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started = {};
  if (!CreateProcessW(program, line->text, nullptr, nullptr, FALSE, 0, nullptr, line->folder, &startup, &started))
    return nullptr;
  CloseHandle(started.hThread);
  return started.hProcess;
}

HANDLE StartWithToken(HANDLE primary, CommandLine* line, const wchar_t* program) {
  void* environment = nullptr;
  if (!CreateEnvironmentBlock(&environment, primary, FALSE)) return nullptr;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  wchar_t desktop[] = L"winsta0\\default";
  startup.lpDesktop = desktop;
  PROCESS_INFORMATION started = {};
  BOOL ok = CreateProcessAsUserW(primary, program, line->text, nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                                 environment, line->folder, &startup, &started);
  DWORD error = GetLastError();
  DestroyEnvironmentBlock(environment);
  SetLastError(error);
  if (!ok) return nullptr;
  CloseHandle(started.hThread);
  return started.hProcess;
}

// Runs in the spooler's own account (the session user's token can only be
// had as LocalSystem), then goes back to impersonating whoever it was.
HANDLE StartAsOwner(const PortState* port, DWORD session, CommandLine* line, const wchar_t* program,
                    const char** reason) {
  HANDLE impersonated = nullptr;
  if (OpenThreadToken(GetCurrentThread(), TOKEN_IMPERSONATE, TRUE, &impersonated)) RevertToSelf();
  HANDLE process = nullptr;
  HANDLE user = nullptr;
  HANDLE primary = nullptr;
  *reason = "program not started";
  if (!WTSQueryUserToken(session, &user)) {
    *reason = "no interactive session for the job's owner";
  } else if (port->ownerToken != nullptr && !SameUser(user, port->ownerToken)) {
    *reason = "no interactive session for the job's owner";
    SetLastError(ERROR_NO_SUCH_LOGON_SESSION);
  } else if (DuplicateTokenEx(user, MAXIMUM_ALLOWED, nullptr, SecurityIdentification, TokenPrimary, &primary)) {
    process = StartWithToken(primary, line, program);
  }
  DWORD error = GetLastError();
  if (primary != nullptr) CloseHandle(primary);
  if (user != nullptr) CloseHandle(user);
  if (impersonated != nullptr) {
    SetThreadToken(nullptr, impersonated);
    CloseHandle(impersonated);
  }
  SetLastError(error);
  return process;
}

}  // namespace

HANDLE CaptureOwnerToken(void) {
  HANDLE token = nullptr;
  if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY | TOKEN_DUPLICATE, TRUE, &token)) return nullptr;
  return token;
}

HANDLE StartProgramForJob(const PortState* port, const wchar_t* program, const char** reason) {
  CommandLine line;
  if (!BuildCommandLine(program, &line)) {
    *reason = "program path too long";
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  LaunchFacts facts = {};
  DWORD ownerSession = 0;
  GatherLaunchFacts(port, &facts, &ownerSession);
  switch (ChooseLaunchWay(&facts)) {
    case kLaunchDirectly: {
      HANDLE process = StartDirectly(&line, program);
      if (process == nullptr) *reason = "program not started";
      return process;
    }
    case kLaunchAsOwner:
      return StartAsOwner(port, ownerSession, &line, program, reason);
    case kRefuseNoSession:
      break;
  }
  *reason = "no interactive session for the job's owner";
  SetLastError(ERROR_NO_SUCH_LOGON_SESSION);
  return nullptr;
}
