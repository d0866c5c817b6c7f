// TollivaneSetup.exe: installs, removes or checks the printer "Tollivane",
// with its port monitor or as the IPP printer. Run as administrator.
#include <windows.h>

#include "setup/check_steps.h"
#include "setup/install_steps.h"
#include "setup/setup_arguments.h"

namespace {

const char kUsage[] =
    "usage: TollivaneSetup.exe install [--shared] [--driver \"NAME\"] [--ipp] [--port N]\r\n"
    "         (default driver: Microsoft Print to PDF; --shared: only administrators change the settings;\r\n"
    "          --ipp: the IPP printer, which protected print mode chooses by itself; --port: its port, 8631)\r\n"
    "       TollivaneSetup.exe uninstall\r\n"
    "       TollivaneSetup.exe check [--print]   (what is installed, and what the last job saw)\r\n";

}  // namespace

// Every DLL loaded from here on, the print spooler's first among them (a
// delayed import), comes from the system folder: none planted beside the
// setup is ever run.
int wmain(int count, wchar_t** arguments) {
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  SetupArguments parsed = ParseSetupArguments(count, arguments);
  switch (parsed.action) {
    case kSetupInstall:
      return InstallPrinter(parsed.driver, parsed.shared, parsed.ipp, parsed.port);
    case kSetupUninstall:
      return UninstallPrinter();
    case kSetupCheck:
      return CheckPrinter(parsed.sendTestPrint);
    case kSetupUsage:
      break;
  }
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), kUsage, sizeof kUsage - 1, &written, nullptr);
  return 2;
}
