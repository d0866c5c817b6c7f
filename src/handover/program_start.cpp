// The Windows side of starting the program; which way it is started is
// ChooseLaunchWay's decision. Under the spooler service the job's owner is
// the token impersonated at the job's start: nobody is matched by name.
#include "handover/program_start.h"

#include <userenv.h>
#include <wtsapi32.h>

#include "delivery/run_handover.h"
#include "handover/job_owner.h"
#include "monitor/launch_decision.h"

namespace {

const DWORD kSidBufferSize = 128;

// What the run inherits: the two handles, made inheritable copies for the
// moment of its start and named in an attribute list, so that no other
// handle of the spooler goes with them.
struct Inheritance {
  HANDLE handles[2];
  LPPROC_THREAD_ATTRIBUTE_LIST list;
  STARTUPINFOEXW startup;
};

struct CommandLine {
  wchar_t text[MAX_PATH + 3 + kRunArgumentsSize];
  wchar_t folder[MAX_PATH];
};

bool BuildCommandLine(const wchar_t* program, const Inheritance* inherit, CommandLine* line) {
  int length = lstrlenW(program);
  if (length <= 0 || length >= MAX_PATH) return false;
  RunHandleValues values = {reinterpret_cast<uintptr_t>(inherit->handles[0]),
                            reinterpret_cast<uintptr_t>(inherit->handles[1])};
  char arguments[kRunArgumentsSize];
  if (!FormatRunArguments(&values, arguments, sizeof arguments)) return false;
  line->text[0] = L'"';
  lstrcpynW(line->text + 1, program, MAX_PATH);
  lstrcpynW(line->text + 1 + length, L"\"", 2);
  wchar_t* tail = line->text + 2 + length;
  for (int i = 0; i < kRunArgumentsSize && (i == 0 || arguments[i - 1] != '\0'); ++i)
    tail[i] = static_cast<wchar_t>(static_cast<unsigned char>(arguments[i]));
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

void ReleaseInheritance(Inheritance* inherit) {
  for (HANDLE& handle : inherit->handles)
    if (handle != nullptr) CloseHandle(handle);
  if (inherit->list != nullptr) {
    DeleteProcThreadAttributeList(inherit->list);
    HeapFree(GetProcessHeap(), 0, inherit->list);
  }
  *inherit = Inheritance{};
}

// Where the list cannot be made, only a monitor in the printing user's own
// process (Wine) starts the run inheriting all it may: nothing of the
// spooler's is there.
bool PrepareInheritance(HANDLE print, HANDLE taken, Inheritance* inherit) {
  *inherit = Inheritance{};
  HANDLE self = GetCurrentProcess();
  if (!DuplicateHandle(self, print, self, &inherit->handles[0], FILE_GENERIC_READ, TRUE, 0) ||
      !DuplicateHandle(self, taken, self, &inherit->handles[1], EVENT_MODIFY_STATE, TRUE, 0)) {
    DWORD error = GetLastError();
    ReleaseInheritance(inherit);
    SetLastError(error);
    return false;
  }
  inherit->startup.StartupInfo.cb = sizeof inherit->startup;
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  inherit->list = size > 0 ? static_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(HeapAlloc(GetProcessHeap(), 0, size)) : nullptr;
  if (inherit->list != nullptr && !InitializeProcThreadAttributeList(inherit->list, 1, 0, &size)) {
    HeapFree(GetProcessHeap(), 0, inherit->list);
    inherit->list = nullptr;
  }
  if (inherit->list != nullptr &&
      UpdateProcThreadAttribute(inherit->list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherit->handles,
                                sizeof inherit->handles, nullptr, nullptr)) {
    inherit->startup.lpAttributeList = inherit->list;
    return true;
  }
  if (MonitorRunsInService()) {
    ReleaseInheritance(inherit);
    SetLastError(ERROR_NOT_SUPPORTED);
    return false;
  }
  return true;
}

DWORD StartFlags(const Inheritance* inherit) {
  return CREATE_SUSPENDED | (inherit->startup.lpAttributeList != nullptr ? EXTENDED_STARTUPINFO_PRESENT : 0);
}

bool StartDirectly(CommandLine* line, const wchar_t* program, Inheritance* inherit, PROCESS_INFORMATION* started) {
  return CreateProcessW(program, line->text, nullptr, nullptr, TRUE, StartFlags(inherit), nullptr, line->folder,
                        &inherit->startup.StartupInfo, started) != FALSE;
}

bool StartWithToken(HANDLE primary, CommandLine* line, const wchar_t* program, Inheritance* inherit,
                    PROCESS_INFORMATION* started) {
  void* environment = nullptr;
  if (!CreateEnvironmentBlock(&environment, primary, FALSE)) return false;
  wchar_t desktop[] = L"winsta0\\default";
  inherit->startup.StartupInfo.lpDesktop = desktop;
  BOOL ok = CreateProcessAsUserW(primary, program, line->text, nullptr, nullptr, TRUE,
                                 CREATE_UNICODE_ENVIRONMENT | StartFlags(inherit), environment, line->folder,
                                 &inherit->startup.StartupInfo, started);
  inherit->startup.StartupInfo.lpDesktop = nullptr;
  DWORD error = GetLastError();
  DestroyEnvironmentBlock(environment);
  SetLastError(error);
  return ok != FALSE;
}

// In the spooler's own account: the session user's token can only be had
// as LocalSystem.
bool StartAsOwner(const PortState* port, DWORD session, CommandLine* line, const wchar_t* program, Inheritance* inherit,
                  const char** reason, PROCESS_INFORMATION* started) {
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
    ok = StartWithToken(primary, line, program, inherit, started);
  }
  DWORD error = GetLastError();
  if (primary != nullptr) CloseHandle(primary);
  if (user != nullptr) CloseHandle(user);
  SetLastError(error);
  return ok;
}

bool StartOnce(PortState* port, const wchar_t* program, CommandLine* line, Inheritance* inherit, const char** reason,
               PROCESS_INFORMATION* started) {
  LaunchFacts facts = {};
  DWORD ownerSession = 0;
  GatherLaunchFacts(port, &facts, &ownerSession);
  switch (ChooseLaunchWay(&facts)) {
    case kLaunchDirectly:
      if (!StartDirectly(line, program, inherit, started)) {
        *reason = "program not started";
        return false;
      }
      port->record.launch = kLaunchedDirectly;
      return true;
    case kLaunchAsOwner:
      if (!StartAsOwner(port, ownerSession, line, program, inherit, reason, started)) return false;
      port->record.launch = kLaunchedAsOwner;
      return true;
    case kRefuseNoSession:
      break;
  }
  *reason = "no interactive session for the job's owner";
  SetLastError(ERROR_NO_SUCH_LOGON_SESSION);
  return false;
}

}  // namespace

bool StartProgramForJob(PortState* port, const wchar_t* program, HANDLE print, HANDLE taken, const char** reason,
                        PROCESS_INFORMATION* started) {
  Inheritance inherit;
  if (!PrepareInheritance(print, taken, &inherit)) {
    *reason = "program not started";
    return false;
  }
  CommandLine line;
  bool begun = false;
  if (!BuildCommandLine(program, &inherit, &line)) {
    *reason = "program path too long";
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
  } else {
    begun = StartOnce(port, program, &line, &inherit, reason, started);
  }
  DWORD error = GetLastError();
  ReleaseInheritance(&inherit);
  SetLastError(error);
  return begun;
}
