// The facts are read as they are; nothing here changes the machine but the
// test print of `check --print` and, where the user has no split token, a
// probe file made and removed in the output folder.
#include "setup/check_steps.h"

#include "service/service_names.h"
#include "setup/ipp_steps.h"
#include "setup/printer_choice.h"

#include <windows.h>
#include <shlwapi.h>
#include <winspool.h>

#include "delivery/settings.h"
#include "monitor/monitor_names.h"
#include "platform/security_facts.h"
#include "setup/check_rules.h"
#include "setup/folder_security.h"
#include "setup/setup_output.h"
#include "setup/setup_places.h"

namespace {

const wchar_t kWppKey[] = L"SOFTWARE\\Policies\\Microsoft\\Windows NT\\Printers\\WPP";
const DWORD kInfoSize = 16 * 1024;
const char kTestPrint[] =
    "%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n2 0 obj<</Type/Pages/Kids[3 0 R]/Count 1>>endobj\n"
    "3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]>>endobj\ntrailer<</Root 1 0 R>>\n%%EOF\n";

int problems;

void Report(bool ok, const wchar_t* fact, const wchar_t* detail, const wchar_t* todo = L"") {
  Line line = {};
  Append(&line, ok ? L"ok       " : L"PROBLEM  ");
  Append(&line, fact);
  Append(&line, L": ");
  Append(&line, detail);
  if (!ok && todo[0] != L'\0') {
    Append(&line, L": ");
    Append(&line, todo);
  }
  Say(line.text);
  if (!ok) ++problems;
}

void ReportError(const wchar_t* fact, const wchar_t* what, DWORD error, const wchar_t* todo) {
  Line detail = {};
  Append(&detail, what);
  Append(&detail, L" (error ");
  AppendNumber(&detail, error);
  Append(&detail, L")");
  Report(false, fact, detail.text, todo);
}

bool ReadDword(HKEY root, const wchar_t* key, const wchar_t* value, DWORD* number) {
  DWORD size = sizeof *number;
  return RegGetValueW(root, key, value, RRF_RT_REG_DWORD, nullptr, number, &size) == ERROR_SUCCESS;
}

// The privileges the service keeps, as a list of narrow names.
void NarrowList(const wchar_t* wide, char* narrow, int size) {
  int used = 0;
  for (; wide != nullptr && *wide != L'\0' && used < size - 2; ++wide) {
    for (; *wide != L'\0' && used < size - 2; ++wide) narrow[used++] = static_cast<char>(*wide < 128 ? *wide : '?');
    narrow[used++] = '\0';
  }
  narrow[used] = '\0';
}

// When the running spooler started, to tell whether it loaded the DLL now in
// place; false when it does not run or cannot be looked at.
bool SpoolerStartTime(SC_HANDLE service, ULONGLONG* started) {
  SERVICE_STATUS_PROCESS status = {};
  DWORD needed = 0;
  if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                            &needed) ||
      status.dwCurrentState != SERVICE_RUNNING || status.dwProcessId == 0)
    return false;
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, status.dwProcessId);
  if (process == nullptr) return false;
  FILETIME created, exited, kernel, user;
  bool known = GetProcessTimes(process, &created, &exited, &kernel, &user) != FALSE;
  CloseHandle(process);
  *started = (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
  return known;
}

// A copy keeps its source's write time; its creation time is when it came.
ULONGLONG PlacedTime(const wchar_t* path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return 0;
  ULONGLONG created =
      (static_cast<ULONGLONG>(data.ftCreationTime.dwHighDateTime) << 32) | data.ftCreationTime.dwLowDateTime;
  ULONGLONG written =
      (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
  return created > written ? created : written;
}

ULONGLONG spoolerStarted;  // 0: not running, or not known

void CheckSpoolerService(void) {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service =
      manager != nullptr ? OpenServiceW(manager, L"Spooler", SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG) : nullptr;
  if (service == nullptr) {
    ReportError(L"Print Spooler", L"the service cannot be looked at", GetLastError(), L"run check as administrator");
    if (manager != nullptr) CloseServiceHandle(manager);
    return;
  }
  SERVICE_STATUS status = {};
  bool running = QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_RUNNING;
  Report(running, L"Print Spooler", running ? L"running" : L"not running", L"start the Print Spooler service");
  if (!SpoolerStartTime(service, &spoolerStarted)) spoolerStarted = 0;
  alignas(8) BYTE config[kInfoSize];
  DWORD needed = 0;
  bool system =
      QueryServiceConfigW(service, reinterpret_cast<QUERY_SERVICE_CONFIGW*>(config), sizeof config, &needed) &&
      reinterpret_cast<QUERY_SERVICE_CONFIGW*>(config)->lpServiceStartName != nullptr &&
      lstrcmpiW(reinterpret_cast<QUERY_SERVICE_CONFIGW*>(config)->lpServiceStartName, L"LocalSystem") == 0;
  alignas(8) BYTE privileges[kInfoSize] = {};
  char names[kInfoSize / 2];
  names[0] = '\0';
  if (QueryServiceConfig2W(service, SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO, privileges, sizeof privileges, &needed))
    NarrowList(reinterpret_cast<SERVICE_REQUIRED_PRIVILEGES_INFOW*>(privileges)->pmszRequiredPrivileges, names,
               sizeof names);
  uint32_t missing = MissingSpoolerPrivileges(system, names);
  Line detail = {};
  Append(&detail, system ? L"runs as LocalSystem" : L"does not run as LocalSystem");
  for (uint32_t privilege = 1; privilege <= kPrivilegeImpersonate; privilege <<= 1)
    if ((missing & privilege) != 0) {
      Append(&detail, L", lacks ");
      AppendBytes(&detail, PrivilegeName(privilege));
    }
  if (missing == 0) Append(&detail, L" with the privileges that starting Tollivane as the printing user takes");
  Report(missing == 0, L"spooler's account", detail.text,
         L"restore the Print Spooler service's account and privileges to Windows' defaults");
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
}

void CheckMonitor(void) {
  DWORD needed = 0;
  DWORD count = 0;
  alignas(8) BYTE buffer[kInfoSize];
  bool listed = false;
  if (EnumMonitorsW(nullptr, 2, buffer, sizeof buffer, &needed, &count)) {
    const MONITOR_INFO_2W* monitors = reinterpret_cast<const MONITOR_INFO_2W*>(buffer);
    for (DWORD i = 0; i < count; ++i) listed |= lstrcmpW(monitors[i].pName, TOLLIVANE_MONITOR_NAME) == 0;
  }
  Report(listed, L"port monitor", listed ? L"\"" TOLLIVANE_MONITOR_NAME L"\" is registered" : L"not registered",
         L"run setup.cmd as administrator");
  wchar_t installed[MAX_PATH];
  wchar_t shipped[MAX_PATH];
  if (!SystemPath(TOLLIVANE_MONITOR_DLL, installed) || !PathFileExistsW(installed)) {
    Report(false, L"monitor DLL", L"TollivanePort.dll is not in the system folder", L"run setup.cmd as administrator");
  } else if (!FindBesideSetup(TOLLIVANE_MONITOR_DLL, false, shipped)) {
    Report(true, L"monitor DLL", installed);
  } else {
    bool same = SameContents(installed, shipped);
    Report(same, L"monitor DLL", same ? L"the one this setup ships" : L"not the one this setup ships",
           L"run setup.cmd as administrator, then restart the Print Spooler service");
  }
  if (spoolerStarted != 0) {
    bool loaded = PlacedTime(installed) <= spoolerStarted;
    Report(loaded, L"monitor running",
           loaded ? L"the spooler started after the DLL was put in place"
                  : L"the DLL was replaced after the spooler started, which still runs the previous one",
           L"restart the Print Spooler service when no job is printing");
  }
}

// The port monitor's printer is a RAW queue on Tollivane's port; the IPP
// printer's has Windows' IPP class driver on the service's URL.
void CheckPrinterQueue(PrinterKind kind) {
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(kPrinterName), &printer, nullptr)) {
    ReportError(L"printer", L"\"Tollivane\" cannot be opened", GetLastError(),
                kind == kIppPrinter ? L"run setup.cmd install --ipp" : L"run setup.cmd as administrator");
    return;
  }
  alignas(8) BYTE buffer[kInfoSize];
  DWORD needed = 0;
  if (!GetPrinterW(printer, 2, buffer, sizeof buffer, &needed)) {
    ReportError(L"printer", L"its settings cannot be read", GetLastError(), L"run setup.cmd as administrator");
    ClosePrinter(printer);
    return;
  }
  const PRINTER_INFO_2W* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer);
  bool port = info->pPortName != nullptr && lstrcmpiW(info->pPortName, TOLLIVANE_PORT_NAME) == 0;
  bool raw = info->pDatatype != nullptr && lstrcmpiW(info->pDatatype, L"RAW") == 0;
  bool classDriver = info->pDriverName != nullptr && lstrcmpiW(info->pDriverName, L"Microsoft IPP Class Driver") == 0;
  Line detail = {};
  Append(&detail, L"\"Tollivane\" on ");
  Append(&detail, info->pPortName != nullptr ? info->pPortName : L"no port");
  Append(&detail, L", driver \"");
  Append(&detail, info->pDriverName != nullptr ? info->pDriverName : L"");
  Append(&detail, L"\", datatype ");
  Append(&detail, info->pDatatype != nullptr ? info->pDatatype : L"none");
  Report(kind == kIppPrinter ? classDriver : port && raw, L"printer", detail.text,
         kind == kIppPrinter ? L"run setup.cmd uninstall, then setup.cmd install --ipp"
                             : L"run setup.cmd uninstall, then setup.cmd, as administrator");
  bool paused = (info->Status & PRINTER_STATUS_PAUSED) != 0;
  Line queue = {};
  Append(&queue, paused ? L"paused, " : L"not paused, ");
  AppendNumber(&queue, info->cJobs);
  Append(&queue, L" job(s) queued");
  Report(!paused, L"print queue", queue.text, L"resume the printer in Printers & scanners");
  ClosePrinter(printer);
}

void CheckProgram(void) {
  wchar_t program[MAX_PATH] = {};
  DWORD size = sizeof program - sizeof(wchar_t);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, TOLLIVANE_MONITORS_KEY TOLLIVANE_MONITOR_NAME, TOLLIVANE_PROGRAM_VALUE,
                   RRF_RT_REG_SZ, nullptr, program, &size) != ERROR_SUCCESS) {
    Report(false, L"program", L"setup recorded no Tollivane.exe", L"run setup.cmd as administrator");
    return;
  }
  bool present = PathFileExistsW(program) != FALSE;
  Line detail = {};
  Append(&detail, L"the port starts ");
  Append(&detail, program);
  Append(&detail, present ? L"" : L", which is missing");
  Report(present, L"program", detail.text, L"run setup.cmd as administrator");
}

// The token of the user who ran check, without the elevation check runs
// with; null where there is none (no split token).
HANDLE LinkedToken(void) {
  HANDLE token = nullptr;
  HANDLE linked = nullptr;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    TOKEN_LINKED_TOKEN link = {};
    DWORD needed = 0;
    if (GetTokenInformation(token, TokenLinkedToken, &link, sizeof link, &needed)) linked = link.LinkedToken;
    CloseHandle(token);
  }
  return linked;
}

// The linked token is one of identification level, which can be asked
// about a folder's access list but not act on it.
bool TokenMayAddFile(HANDLE token, const char* folder, bool* asked) {
  alignas(8) BYTE descriptor[kInfoSize];
  DWORD needed = 0;
  *asked = false;
  if (!GetFileSecurityA(folder, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                        descriptor, sizeof descriptor, &needed))
    return false;
  GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
  PRIVILEGE_SET privileges = {};
  DWORD privilegesSize = sizeof privileges;
  DWORD granted = 0;
  BOOL allowed = FALSE;
  *asked = AccessCheck(descriptor, token, FILE_ADD_FILE, &mapping, &privileges, &privilegesSize, &granted, &allowed) !=
           FALSE;
  return *asked && allowed;
}

// Without a linked token: a probe file made and removed by this process.
bool ProbeFolder(const char* folder, DWORD* error) {
  char probe[MAX_PATH];
  lstrcpynA(probe, folder, MAX_PATH);
  if (!PathAppendA(probe, "tollivane-check.tmp")) return false;
  HANDLE file = CreateFileA(probe, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return false;
  }
  CloseHandle(file);
  return true;
}

// Whether the user who ran check may add a file to the output folder.
bool UserCanWriteFolder(const char* folder, DWORD* error) {
  *error = 0;
  HANDLE linked = LinkedToken();
  bool asked = false;
  bool allowed = linked != nullptr && TokenMayAddFile(linked, folder, &asked);
  if (linked != nullptr) CloseHandle(linked);
  if (asked) {
    if (!allowed) *error = ERROR_ACCESS_DENIED;
    return allowed;
  }
  return ProbeFolder(folder, error);
}

// The settings folder and file, by their lists: whether anyone but
// administrators and the user running check can change them.
bool SettingsWritableByOthers(void) {
  return IsWritableByOthers(L"C:\\Kestrin\\Print\\Config") || IsWritableByOthers(kSettingsFile);
}

void CheckInstallKind(void) {
  DWORD shared = 0;
  bool known = ReadDword(HKEY_LOCAL_MACHINE, TOLLIVANE_PRODUCT_KEY, TOLLIVANE_SHARED_VALUE, &shared);
  bool othersWrite = SettingsWritableByOthers();
  if (!known) {
    Report(false, L"kind of install", L"not recorded", L"run setup.cmd install (or install --shared) again");
  } else if (shared != 0) {
    Report(!othersWrite, L"kind of install",
           othersWrite ? L"shared, but users other than administrators can change the settings"
                       : L"shared: only administrators change the settings",
           L"run setup.cmd install --shared again");
  } else {
    Report(true, L"kind of install",
           L"one-user: every user of this machine can change where everybody's prints go (install --shared on a "
           L"machine several people use)");
  }
}

void ReportFolderNotProbed(const char* folder, FolderProbe probe) {
  Line detail = {};
  AppendBytes(&detail, folder);
  Append(&detail, probe == kNotProbedNetwork ? L": a network folder, not probed (check opens nothing the settings name "
                                               L"on another machine)"
                                             : L": not a folder on a local drive, not probed");
  Report(true, L"output folder", detail.text);
}

bool IsRemoteDrive(const char* path) {
  char root[4] = {path[0], ':', '\\', '\0'};
  return path[0] != '\0' && path[1] == ':' && GetDriveTypeA(root) == DRIVE_REMOTE;
}

void CheckSettings(void) {
  if (!PathFileExistsW(kSettingsFile)) {
    Report(false, L"settings", L"C:\\Kestrin\\Print\\Config\\Kestrin.ini is missing",
           L"run setup.cmd as administrator");
    return;
  }
  JobSettings job;
  char settingsPath[MAX_PATH];
  InitReservedChars();
  ReadJobSettings(&job, settingsPath);
  Line detail = {};
  Append(&detail, job.promptEachPrint == 1 ? L"prompt mode (the Save As dialog), " : L"automatic mode, ");
  Append(&detail, L"output folder ");
  AppendBytes(&detail, job.outputDir);
  Report(true, L"settings", detail.text);
  FolderProbe probe = DecideFolderProbe(job.outputDir, IsRemoteDrive(job.outputDir));
  if (probe != kProbeFolder) {
    ReportFolderNotProbed(job.outputDir, probe);
    return;
  }
  DWORD error = 0;
  bool writable = UserCanWriteFolder(job.outputDir, &error);
  Line folder = {};
  AppendBytes(&folder, job.outputDir);
  Append(&folder,
         writable ? L" can be written by the user who ran check" : L" cannot be written by the user who ran check");
  if (!writable) {
    Append(&folder, L" (error ");
    AppendNumber(&folder, error);
    Append(&folder, L")");
  }
  Report(writable, L"output folder", folder.text, L"set DefaultDir to a folder the printing users may write");
}

// The mode itself is no problem: the printer installed for it may be.
void CheckProtectedPrint(PrinterKind kind, ProtectedPrintReading mode) {
  Report(true, L"protected print mode",
         mode == kProtectedPrintOn         ? L"on (Windows says so): Windows loads no port monitor but its own"
         : mode == kProtectedPrintHintedOn ? L"looks on (WindowsProtectedPrintMode, a value Windows does not document)"
                                           : L"off");
  const wchar_t* problem = JudgeInstalledKind(kind, mode);
  Report(problem == nullptr, L"printer kind",
         kind == kIppPrinter
             ? L"the IPP printer: the service \"" TOLLIVANE_SERVICE_DISPLAY_NAME L"\" and Windows' IPP class driver"
         : kind == kMonitorPrinter ? L"the port monitor's printer, inside the Print Spooler"
                                   : L"none",
         problem != nullptr ? problem : L"");
}

void ReportLine(bool ok, const wchar_t* fact, const wchar_t* detail, const wchar_t* todo) {
  Report(ok, fact, detail, todo);
}

// The record is read back as wide text, whatever it was written as.
void ShowLastRecord(void) {
  wchar_t record[2048] = {};
  DWORD size = sizeof record - sizeof(wchar_t);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, TOLLIVANE_PRODUCT_KEY TOLLIVANE_RECORD_SUBKEY, L"" TOLLIVANE_RECORD_VALUE_A,
                   RRF_RT_REG_SZ, nullptr, record, &size) != ERROR_SUCCESS) {
    Say(L"last job: none recorded yet");
    return;
  }
  Say(L"last job, as the port monitor saw it:");
  for (wchar_t* line = record; *line != L'\0';) {
    wchar_t* end = line;
    while (*end != L'\0' && *end != L'\r' && *end != L'\n') ++end;
    wchar_t kept = *end;
    *end = L'\0';
    if (*line != L'\0') Say(L"  ", line);
    *end = kept;
    line = end;
    while (*line == L'\r' || *line == L'\n') ++line;
  }
}

// A small PDF as a RAW job, the way an application's print reaches the port.
void SendTestPrint(void) {
  HANDLE printer = nullptr;
  DOC_INFO_1W document = {const_cast<LPWSTR>(L"Tollivane check"), nullptr, const_cast<LPWSTR>(L"RAW")};
  DWORD written = 0;
  bool sent = OpenPrinterW(const_cast<LPWSTR>(kPrinterName), &printer, nullptr);
  bool started = sent && StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&document)) != 0;
  sent = started && WritePrinter(printer, const_cast<char*>(kTestPrint), sizeof kTestPrint - 1, &written) &&
         written == sizeof kTestPrint - 1;
  if (started) sent = EndDocPrinter(printer) && sent;
  DWORD error = sent ? 0 : GetLastError();
  if (printer != nullptr) ClosePrinter(printer);
  if (sent)
    Report(true, L"test print", L"sent to \"Tollivane\" and taken by its port");
  else
    ReportError(L"test print", L"not taken", error, L"see the print queue and the last job below");
}

}  // namespace

// Windows' own answer, WindowsProtectedPrintInfo.IsProtectedPrintEnabled,
// asked through the Windows Runtime's plain ABI where this Windows has the
// class (11 24H2 and later); false when it has not.
bool AskWindowsForProtectedPrint(bool* enabled) {
  typedef HRESULT(WINAPI * Initialize)(int);
  typedef void(WINAPI * Uninitialize)(void);
  typedef HRESULT(WINAPI * CreateString)(const wchar_t*, UINT32, void**);
  typedef HRESULT(WINAPI * DeleteString)(void*);
  typedef HRESULT(WINAPI * GetFactory)(void*, REFIID, void**);
  typedef HRESULT(WINAPI * GetEnabled)(void*, BYTE*);
  typedef ULONG(WINAPI * ReleaseFactory)(void*);
  // IWindowsProtectedPrintInfoStatics
  const IID kStatics = {0xa7d212f3, 0x4168, 0x5485, {0x98, 0xab, 0xd8, 0x9d, 0x04, 0x60, 0x3b, 0x40}};
  const wchar_t kClass[] = L"Windows.Graphics.Printing.ProtectedPrint.WindowsProtectedPrintInfo";
  HMODULE combase = LoadLibraryExW(L"combase.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (combase == nullptr) return false;
  Initialize initialize =
      reinterpret_cast<Initialize>(reinterpret_cast<void*>(GetProcAddress(combase, "RoInitialize")));
  Uninitialize uninitialize =
      reinterpret_cast<Uninitialize>(reinterpret_cast<void*>(GetProcAddress(combase, "RoUninitialize")));
  CreateString create =
      reinterpret_cast<CreateString>(reinterpret_cast<void*>(GetProcAddress(combase, "WindowsCreateString")));
  DeleteString remove =
      reinterpret_cast<DeleteString>(reinterpret_cast<void*>(GetProcAddress(combase, "WindowsDeleteString")));
  GetFactory factoryOf =
      reinterpret_cast<GetFactory>(reinterpret_cast<void*>(GetProcAddress(combase, "RoGetActivationFactory")));
  bool answered = false;
  if (initialize != nullptr && uninitialize != nullptr && create != nullptr && remove != nullptr &&
      factoryOf != nullptr && SUCCEEDED(initialize(1))) {  // RO_INIT_MULTITHREADED
    void* name = nullptr;
    void* statics = nullptr;
    if (SUCCEEDED(create(kClass, static_cast<UINT32>(lstrlenW(kClass)), &name)) &&
        SUCCEEDED(factoryOf(name, kStatics, &statics)) && statics != nullptr) {
      void** table = *static_cast<void***>(statics);
      BYTE value = 0;
      // IUnknown's three methods, IInspectable's three, then the property.
      answered = SUCCEEDED(reinterpret_cast<GetEnabled>(table[6])(statics, &value));
      *enabled = value != 0;
      reinterpret_cast<ReleaseFactory>(table[2])(statics);
    }
    if (name != nullptr) remove(name);
    uninitialize();
  }
  FreeLibrary(combase);
  return answered;
}

ProtectedPrintFacts ReadProtectedPrint(void) {
  ProtectedPrintFacts facts = {};
  DWORD number = 0;
  facts.policyStatePresent = ReadDword(HKEY_LOCAL_MACHINE, kWppKey, L"WindowsProtectedPrintGroupPolicyState", &number);
  facts.policyState = number;
  number = 0;
  facts.modePresent = ReadDword(HKEY_LOCAL_MACHINE, kWppKey, L"WindowsProtectedPrintMode", &number);
  facts.mode = number;
  facts.apiPresent = AskWindowsForProtectedPrint(&facts.apiEnabled);
  return facts;
}

int CheckPrinter(bool sendTestPrint) {
  problems = 0;
  Report(IsAdministrator(), L"rights", IsAdministrator() ? L"administrator" : L"not an administrator",
         L"run check as administrator to see everything");
  CheckSpoolerService();
  ProtectedPrintFacts facts = ReadProtectedPrint();
  PrinterKind kind = InstalledPrinterKind();
  CheckProtectedPrint(kind, ReadProtectedPrintFacts(&facts));
  if (kind == kIppPrinter) {
    CheckIppService(RecordedIppPort(), ReportLine);
    CheckPrinterQueue(kind);
  } else {
    CheckMonitor();
    CheckPrinterQueue(kind);
    CheckProgram();
  }
  CheckInstallKind();
  CheckSettings();
  if (sendTestPrint && SettingsWritableByOthers())
    Report(false, L"test print",
           L"not sent: users other than administrators can change the settings, so the print would go where they say",
           L"run setup.cmd install --shared, or print a page yourself");
  else if (sendTestPrint)
    SendTestPrint();
  ShowLastRecord();
  return problems == 0 ? 0 : 1;
}
