// The steps of installing, each saying in one line what it did. A failing
// install takes back, in reverse order, every step this run did, so that a
// failure leaves the machine as it found it; what was there before is kept.
// What runs for the printer comes from places only administrators can
// change: the monitor from the system folder, the program from its copy
// under Program Files.
#include "setup/install_steps.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <winspool.h>

#include "monitor/monitor_names.h"
#include "setup/check_steps.h"
#include "setup/folder_security.h"
#include "setup/ipp_steps.h"
#include "setup/printer_choice.h"
#include "setup/setup_places.h"
#include "setup/setup_output.h"

namespace {

const wchar_t kDefaultSettingsName[] = L"Kestrin.ini";

struct InstallDone {
  bool dllCopied;
  bool monitorAdded;
  FoldersMade folders;
  bool programFolderCreated;
  bool programCopied;
  bool settingsCopied;
  bool printerAdded;
  wchar_t dllPath[MAX_PATH];
  wchar_t programFolder[MAX_PATH];
  wchar_t programPath[MAX_PATH];
};

// A 32-bit setup on 64-bit Windows would put the DLL where the 64-bit
// spooler never looks.
bool IsWow64(void) {
  BOOL wow = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow) && wow;
}

// A DLL the spooler has loaded, or a program still running, can be neither
// replaced nor deleted, but it can be renamed; the renamed file goes at the
// next restart.
bool MoveAsideLoadedFile(const wchar_t* path) {
  // The suffix takes at most 15 characters: a longer path is not cut to fit.
  if (lstrlenW(path) >= MAX_PATH - 16) return false;
  wchar_t aside[MAX_PATH];
  lstrcpynW(aside, path, MAX_PATH);
  Line suffix = {};
  Append(&suffix, L".");
  AppendNumber(&suffix, GetTickCount());
  Append(&suffix, L".old");
  lstrcpynW(aside + lstrlenW(aside), suffix.text, 16);
  if (!MoveFileExW(path, aside, MOVEFILE_REPLACE_EXISTING)) return false;
  MoveFileExW(aside, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return true;
}

// Copies `source` to `target`: nothing when they are the same already; a
// file in use in the way is moved aside. `copiedNew` tells whether there was
// none before, `inUse` whether the one replaced is still loaded.
bool CopyIntoPlace(const wchar_t* step, const wchar_t* source, const wchar_t* target, bool* copiedNew, bool* inUse) {
  bool existed = PathFileExistsW(target) != FALSE;
  const wchar_t* name = PathFindFileNameW(target);
  *inUse = false;
  if (existed && SameContents(source, target)) {
    Say(name, L" is already in place: ", target);
    return true;
  }
  if (!CopyFileW(source, target, FALSE)) {
    DWORD error = GetLastError();
    if (!existed || !MoveAsideLoadedFile(target) || !CopyFileW(source, target, FALSE)) return Fail(step, error);
    *inUse = true;
  }
  *copiedNew = !existed;
  Line line = {};
  Append(&line, existed ? L"Replaced " : L"Copied ");
  Append(&line, name);
  Append(&line, existed ? L" at " : L" to ");
  Append(&line, target);
  Say(line.text);
  return true;
}

bool CopyDll(InstallDone* done) {
  const wchar_t step[] = L"copying TollivanePort.dll into the system folder";
  wchar_t source[MAX_PATH];
  if (!FindBesideSetup(TOLLIVANE_MONITOR_DLL, false, source)) return Fail(step, ERROR_FILE_NOT_FOUND);
  if (!SystemPath(TOLLIVANE_MONITOR_DLL, done->dllPath)) return Fail(step, ERROR_FILENAME_EXCED_RANGE);
  bool loaded = false;
  if (!CopyIntoPlace(step, source, done->dllPath, &done->dllCopied, &loaded)) return false;
  // The spooler keeps the monitor it loaded: the new one runs from its next start.
  if (loaded)
    Say(L"The Print Spooler still runs the previous TollivanePort.dll: restart the Print Spooler service (or "
        L"Windows) when no job is printing, and the new one runs");
  return true;
}

bool InstallProgram(InstallDone* done) {
  const wchar_t step[] = L"copying Tollivane.exe into Program Files";
  wchar_t source[MAX_PATH];
  if (!FindBesideSetup(kProgramName, true, source)) return Fail(step, ERROR_FILE_NOT_FOUND);
  if (!ProgramFolder(done->programFolder) || !JoinPath(done->programPath, done->programFolder, kProgramName))
    return Fail(step, ERROR_PATH_NOT_FOUND);
  done->programFolderCreated = CreateDirectoryW(done->programFolder, nullptr) != FALSE;
  if (!done->programFolderCreated && GetLastError() != ERROR_ALREADY_EXISTS) return Fail(step, GetLastError());
  bool running = false;
  return CopyIntoPlace(step, source, done->programPath, &done->programCopied, &running);
}

bool AddMonitor(InstallDone* done) {
  MONITOR_INFO_2W info = {};
  info.pName = const_cast<LPWSTR>(TOLLIVANE_MONITOR_NAME);
  info.pDLLName = const_cast<LPWSTR>(TOLLIVANE_MONITOR_DLL);
  if (AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info))) {
    done->monitorAdded = true;
    Say(L"Registered the port monitor \"" TOLLIVANE_MONITOR_NAME L"\"");
    return true;
  }
  DWORD error = GetLastError();
  if (error == ERROR_PRINT_MONITOR_ALREADY_INSTALLED) {
    Say(L"The port monitor \"" TOLLIVANE_MONITOR_NAME L"\" is already registered");
    return true;
  }
  return Fail(L"registering the port monitor (Windows may refuse monitors other than its own)", error);
}

// The port's key is where the spooler looks for the monitor's ports; the
// program's place is what the monitor starts.
bool RecordProgram(const wchar_t* program) {
  const wchar_t step[] = L"recording where Tollivane.exe is";
  HKEY key = nullptr;
  LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                                TOLLIVANE_MONITORS_KEY TOLLIVANE_MONITOR_NAME L"\\Ports\\" TOLLIVANE_PORT_NAME, 0,
                                nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return Fail(step, static_cast<DWORD>(status));
  RegCloseKey(key);
  status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, TOLLIVANE_MONITORS_KEY TOLLIVANE_MONITOR_NAME, 0, KEY_SET_VALUE, &key);
  if (status == ERROR_SUCCESS) {
    status = RegSetValueExW(key, TOLLIVANE_PROGRAM_VALUE, 0, REG_SZ, reinterpret_cast<const BYTE*>(program),
                            static_cast<DWORD>(lstrlenW(program) + 1) * static_cast<DWORD>(sizeof(wchar_t)));
    RegCloseKey(key);
  }
  if (status != ERROR_SUCCESS) return Fail(step, static_cast<DWORD>(status));
  Say(L"The port starts ", program);
  return true;
}

bool CopyDefaultSettings(InstallDone* done) {
  if (PathFileExistsW(kSettingsFile)) {
    Say(L"Kept the settings in ", kSettingsFile);
    return true;
  }
  const wchar_t step[] = L"copying the default settings";
  wchar_t source[MAX_PATH];
  if (!FindBesideSetup(kDefaultSettingsName, true, source)) return Fail(step, ERROR_FILE_NOT_FOUND);
  if (!CopyFileW(source, kSettingsFile, TRUE)) return Fail(step, GetLastError());
  done->settingsCopied = true;
  Say(L"Copied the default settings to ", kSettingsFile);
  return true;
}

// Where check and a later install read which kind this is.
bool RecordInstallKind(bool shared) {
  HKEY key = nullptr;
  DWORD value = shared ? 1 : 0;
  LONG status =
      RegCreateKeyExW(HKEY_LOCAL_MACHINE, TOLLIVANE_PRODUCT_KEY, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
  if (status == ERROR_SUCCESS) {
    status =
        RegSetValueExW(key, TOLLIVANE_SHARED_VALUE, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
  }
  if (status != ERROR_SUCCESS) return Fail(L"recording the kind of install", static_cast<DWORD>(status));
  if (shared)
    Say(L"Shared install: only administrators can change the settings; each user's prints go where they say, "
        L"%USERPROFILE% and other variables naming each user's own folder");
  else
    Say(L"One-user install: every user of this machine can change where everybody's prints go; on a machine several "
        L"people use, run setup.cmd install --shared");
  return true;
}

bool PrinterExists(void) {
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(kPrinterName), &printer, nullptr)) return false;
  ClosePrinter(printer);
  return true;
}

bool AddPrinter(const wchar_t* driver, InstallDone* done) {
  if (PrinterExists()) {
    Say(L"The printer \"Tollivane\" is already there");
    return true;
  }
  PRINTER_INFO_2W info = {};
  info.pPrinterName = const_cast<LPWSTR>(kPrinterName);
  info.pPortName = const_cast<LPWSTR>(TOLLIVANE_PORT_NAME);
  info.pDriverName = const_cast<LPWSTR>(driver);
  info.pPrintProcessor = const_cast<LPWSTR>(L"winprint");
  info.pDatatype = const_cast<LPWSTR>(L"RAW");
  info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
  HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
  if (printer == nullptr) {
    Line step = {};
    Append(&step, L"adding the printer \"Tollivane\" with the driver \"");
    Append(&step, driver);
    Append(&step, L"\"");
    return Fail(step.text, GetLastError());
  }
  ClosePrinter(printer);
  done->printerAdded = true;
  Say(L"Added the printer \"Tollivane\" on " TOLLIVANE_PORT_NAME L" with the driver ", driver);
  return true;
}

// Returns the error, 0 when the printer was removed or was not there. A
// paused printer cannot be deleted, and one with jobs is only marked for
// deletion: it is resumed and its queue purged first. A job the port is
// printing ends on its own; the printer goes with it.
DWORD DeleteTollivanePrinter(void) {
  PRINTER_DEFAULTSW access = {nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(kPrinterName), &printer, &access)) {
    DWORD error = GetLastError();
    return error == ERROR_INVALID_PRINTER_NAME ? 0 : error;
  }
  SetPrinterW(printer, 0, nullptr, PRINTER_CONTROL_RESUME);
  if (SetPrinterW(printer, 0, nullptr, PRINTER_CONTROL_PURGE)) Say(L"The printer's queue is purged");
  DWORD error = DeletePrinter(printer) ? 0 : GetLastError();
  ClosePrinter(printer);
  return error;
}

DWORD DeleteTollivaneMonitor(void) {
  if (DeleteMonitorW(nullptr, nullptr, const_cast<LPWSTR>(TOLLIVANE_MONITOR_NAME))) return 0;
  DWORD error = GetLastError();
  return error == ERROR_UNKNOWN_PRINT_MONITOR ? 0 : error;
}

// Deleted now, or at the next restart when it is in use.
DWORD DeleteInstalledFile(const wchar_t* path) {
  if (DeleteFileW(path)) return 0;
  DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return 0;
  return MoveAsideLoadedFile(path) ? 0 : error;
}

void UndoInstall(const InstallDone* done) {
  if (done->printerAdded && DeleteTollivanePrinter() == 0) Say(L"Undone: the printer \"Tollivane\" is removed");
  if (done->settingsCopied && DeleteFileW(kSettingsFile)) Say(L"Undone: the default settings are removed");
  if (done->programCopied && DeleteInstalledFile(done->programPath) == 0) Say(L"Undone: Tollivane.exe is removed");
  if (done->programFolderCreated) RemoveDirectoryW(done->programFolder);
  RemoveFoldersMade(&done->folders);
  if (done->monitorAdded && DeleteTollivaneMonitor() == 0) Say(L"Undone: the port monitor is unregistered");
  if (done->dllCopied && DeleteInstalledFile(done->dllPath) == 0) Say(L"Undone: TollivanePort.dll is removed");
}

// What setup installs comes from its own folder: one a user could change
// could have had it swapped.
bool RefuseIfWritableByOthers(const wchar_t* folder) {
  if (!IsWritableByOthers(folder)) return true;
  Say(L"Failed: users other than administrators can change ", folder,
      L": what setup would install from it could have been swapped. Unpack the zip where only administrators can "
      L"write (under Program Files, say), then run setup from there");
  return false;
}

bool CheckCanInstall(void) {
  if (IsWow64()) {
    Say(L"Failed: this is 64-bit Windows: run setup.cmd, or x64\\TollivaneSetup.exe");
    return false;
  }
  if (!IsAdministrator())
    return Fail(L"checking the rights: not an administrator: run it as administrator", ERROR_ACCESS_DENIED);
  wchar_t program[MAX_PATH];
  if (!FindBesideSetup(kProgramName, true, program)) return Fail(L"finding Tollivane.exe", ERROR_FILE_NOT_FOUND);
  if (!CheckSettingsFolders()) return false;
  wchar_t setupFolder[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, setupFolder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH || !PathRemoveFileSpecW(setupFolder))
    return Fail(L"finding setup's own folder", ERROR_FILENAME_EXCED_RANGE);
  PathRemoveFileSpecW(program);
  return RefuseIfWritableByOthers(setupFolder) && RefuseIfWritableByOthers(program);
}

// The other kind's printer goes first, with all it ran: never two printers
// named "Tollivane", never a monitor or a service left behind.
bool RemoveOtherPrinter(PrinterKind installed, PrinterKind wanted) {
  SwitchPlan plan = PlanSwitch(installed, wanted);
  if (plan.removePrinter && PrinterExists()) {
    DWORD error = DeleteTollivanePrinter();
    if (error != 0) return Fail(L"removing the other printer \"Tollivane\"", error);
    Say(installed == kIppPrinter ? L"Switching: the IPP printer \"Tollivane\" is removed"
                                 : L"Switching: the port monitor's printer \"Tollivane\" is removed");
  }
  wchar_t folder[MAX_PATH];
  if (plan.removeService && !(ProgramFolder(folder) && RemoveIppService(folder))) return false;
  if (plan.removeMonitor) {
    DWORD error = DeleteTollivaneMonitor();
    wchar_t dll[MAX_PATH];
    if (error == 0)
      error = SystemPath(TOLLIVANE_MONITOR_DLL, dll) ? DeleteInstalledFile(dll) : ERROR_FILENAME_EXCED_RANGE;
    if (error != 0) return Fail(L"removing the port monitor", error);
    Say(L"Switching: the port monitor and TollivanePort.dll are removed");
  }
  return true;
}

// The IPP printer: its program and service in place, answering, then the
// printer on its URL. A failure takes back the service only when this run
// registered it; a printer Windows cannot add leaves the rest in place and
// says so.
int InstallIppPrinter(bool shared, int port) {
  InstallDone done = {};
  bool registered = false;
  bool installed = SecureSettingsFolders(shared, &done.folders) && MakeFirstSpoolFile() && InstallProgram(&done) &&
                   CopyDefaultSettings(&done) && SecureSettingsFile(shared) && RecordInstallKind(shared) &&
                   InstallIppService(done.programFolder, port, &registered);
  if (!installed) {
    if (registered) RemoveIppService(done.programFolder);
    UndoInstall(&done);
    return 1;
  }
  RecordPrinterKind(kIppPrinter, port);
  if (!AddIppPrinter(port)) return 1;
  Say(L"Installed: print to \"Tollivane\" (the IPP printer)");
  return 0;
}

int InstallMonitorPrinter(const wchar_t* driver, bool shared) {
  InstallDone done = {};
  bool installed = CopyDll(&done) && AddMonitor(&done) && SecureSettingsFolders(shared, &done.folders) &&
                   MakeFirstSpoolFile() && InstallProgram(&done) && RecordProgram(done.programPath) &&
                   CopyDefaultSettings(&done) && SecureSettingsFile(shared) && RecordInstallKind(shared) &&
                   AddPrinter(driver, &done);
  if (installed) {
    RecordPrinterKind(kMonitorPrinter, 0);
    Say(L"Installed: print to \"Tollivane\"");
    return 0;
  }
  UndoInstall(&done);
  return 1;
}

}  // namespace

int InstallPrinter(const wchar_t* driver, bool shared, bool askedForIpp, int port) {
  if (!CheckCanInstall()) return 1;
  ProtectedPrintFacts facts = ReadProtectedPrint();
  PrinterChoice choice = ChoosePrinterKind(askedForIpp, ReadProtectedPrintFacts(&facts));
  Say(choice.why);
  if (!RemoveOtherPrinter(InstalledPrinterKind(), choice.kind)) return 1;
  return choice.kind == kIppPrinter ? InstallIppPrinter(shared, port) : InstallMonitorPrinter(driver, shared);
}

int UninstallPrinter(void) {
  if (!IsAdministrator()) {
    Fail(L"checking the rights: not an administrator: run it as administrator", ERROR_ACCESS_DENIED);
    return 1;
  }
  DWORD error = DeleteTollivanePrinter();
  if (error != 0) return Fail(L"removing the printer \"Tollivane\"", error), 1;
  Say(L"The printer \"Tollivane\" is removed");
  wchar_t programFolder[MAX_PATH];
  if (!ProgramFolder(programFolder) || !RemoveIppService(programFolder)) return 1;
  error = DeleteTollivaneMonitor();
  if (error != 0) return Fail(L"unregistering the port monitor", error), 1;
  Say(L"The port monitor is unregistered");
  wchar_t dll[MAX_PATH];
  error = SystemPath(TOLLIVANE_MONITOR_DLL, dll) ? DeleteInstalledFile(dll) : ERROR_FILENAME_EXCED_RANGE;
  if (error != 0) return Fail(L"removing TollivanePort.dll from the system folder", error), 1;
  Say(L"TollivanePort.dll is removed");
  wchar_t folder[MAX_PATH];
  wchar_t program[MAX_PATH];
  error = ProgramFolder(folder) && JoinPath(program, folder, kProgramName) ? DeleteInstalledFile(program)
                                                                           : ERROR_FILENAME_EXCED_RANGE;
  if (error != 0) return Fail(L"removing Tollivane.exe from Program Files", error), 1;
  if (PathFileExistsW(folder) && !RemoveDirectoryW(folder)) MoveFileExW(folder, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, TOLLIVANE_PRODUCT_KEY, TOLLIVANE_SHARED_VALUE);
  RecordPrinterKind(kNoPrinter, 0);
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, TOLLIVANE_PRODUCT_KEY TOLLIVANE_RECORD_SUBKEY);
  Say(L"Tollivane.exe is removed from ", folder, L"; the settings, the spool folder and the prints are kept");
  return 0;
}
