// The Windows side of starting the program; which way it is started is
// ChooseLaunchWay's decision. Under the spooler service the job's owner is
// the token impersonated at the job's start: nobody is matched by name.
#include "monitor/program_start.h"

#include <userenv.h>
#include <wtsapi32.h>

#include "monitor/job_owner.h"
#include "monitor/launch_decision.h"

namespace {

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

bool IsSessionActive(DWORD session) {
  LPWSTR state = nullptr;
  DWORD bytes = 0;
  if (!WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, session, WTSConnectState, &state, &bytes)) return false;
  bool active =
      bytes >= sizeof(WTS_CONNECTSTATE_CLASS) && *reinterpret_cast<WTS_CONNECTSTATE_CLASS*>(state) == WTSActive;
  WTSFreeMemory(state);
  return active;
}

void GatherLaunchFacts(const PortState* port, LaunchFacts* facts, DWORD* ownerSession) {
  facts->processIsServiceAccount = MonitorRunsInService();
  DWORD processSession = 0;
  ProcessIdToSessionId(GetCurrentProcessId(), &processSession);
  facts->processSessionId = processSession;
  facts->ownerTokenKnown = false;
  *ownerSession = 0;
  DWORD size = 0;
  if (port->ownerToken != nullptr)
    facts->ownerTokenKnown =
        GetTokenInformation(port->ownerToken, TokenSessionId, ownerSession, sizeof *ownerSession, &size) != FALSE;
  if (!facts->ownerTokenKnown) return;
  facts->ownerSessionId = *ownerSession;
  facts->ownerSessionActive = facts->ownerTokenKnown && IsSessionActive(*ownerSession);
}

bool SameUser(HANDLE first, HANDLE second) {
  alignas(8) BYTE a[kSidBufferSize];
  alignas(8) BYTE b[kSidBufferSize];
  return TokenUserSid(first, a) && TokenUserSid(second, b) &&
         EqualSid(reinterpret_cast<TOKEN_USER*>(a)->User.Sid, reinterpret_cast<TOKEN_USER*>(b)->User.Sid);
}

bool StartDirectly(CommandLine* line, const wchar_t* program, PROCESS_INFORMATION* started) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  return CreateProcessW(program, line->text, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, line->folder, &startup,
                        started) != FALSE;
}

bool StartWithToken(HANDLE primary, CommandLine* line, const wchar_t* program, PROCESS_INFORMATION* started) {
  void* environment = nullptr;
  if (!CreateEnvironmentBlock(&environment, primary, FALSE)) return false;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  wchar_t desktop[] = L"winsta0\\default";
  startup.lpDesktop = desktop;
  BOOL ok =
      CreateProcessAsUserW(primary, program, line->text, nullptr, nullptr, FALSE,
                           CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED, environment, line->folder, &startup, started);
  DWORD error = GetLastError();
  DestroyEnvironmentBlock(environment);
  SetLastError(error);
  return ok != FALSE;
}

// In the spooler's own account: the session user's token can only be had
// as LocalSystem.
bool StartAsOwner(const PortState* port, DWORD session, CommandLine* line, const wchar_t* program, const char** reason,
                  PROCESS_INFORMATION* started) {
  bool ok = false;
  HANDLE user = nullptr;
  HANDLE primary = nullptr;
  *reason = "program not started";
  if (!WTSQueryUserToken(session, &user)) {
    *reason = "no interactive session for the job's owner";
  } else if (!SameUser(user, port->ownerToken)) {
    *reason = "no interactive session for the job's owner";
    SetLastError(ERROR_NO_SUCH_LOGON_SESSION);
  } else if (DuplicateTokenEx(user, MAXIMUM_ALLOWED, nullptr, SecurityIdentification, TokenPrimary, &primary)) {
    ok = StartWithToken(primary, line, program, started);
  }
  DWORD error = GetLastError();
  if (primary != nullptr) CloseHandle(primary);
  if (user != nullptr) CloseHandle(user);
  SetLastError(error);
  return ok;
}

}  // namespace

bool StartProgramForJob(PortState* port, const wchar_t* program, const char** reason, PROCESS_INFORMATION* started) {
  CommandLine line;
  if (!BuildCommandLine(program, &line)) {
    *reason = "program path too long";
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  LaunchFacts facts = {};
  DWORD ownerSession = 0;
  GatherLaunchFacts(port, &facts, &ownerSession);
  switch (ChooseLaunchWay(&facts)) {
    case kLaunchDirectly:
      if (!StartDirectly(&line, program, started)) {
        *reason = "program not started";
        return false;
      }
      port->record.launch = kLaunchedDirectly;
      return true;
    case kLaunchAsOwner:
      if (!StartAsOwner(port, ownerSession, &line, program, reason, started)) return false;
      port->record.launch = kLaunchedAsOwner;
      return true;
    case kRefuseNoSession:
      break;
  }
  *reason = "no interactive session for the job's owner";
  SetLastError(ERROR_NO_SUCH_LOGON_SESSION);
  return false;
}
