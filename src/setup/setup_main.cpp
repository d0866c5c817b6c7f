// TollivaneSetup.exe: installs, removes or checks the printer "Tollivane"
// with its port monitor. Run as administrator.
#include <windows.h>

#include "setup/check_steps.h"
#include "setup/install_steps.h"
#include "setup/setup_arguments.h"

namespace {

const char kUsage[] =
    "usage: TollivaneSetup.exe install [--driver \"NAME\"]   (default driver: Microsoft Print to PDF)\r\n"
    "       TollivaneSetup.exe uninstall\r\n"
    "       TollivaneSetup.exe check [--print]   (what is installed, and what the last job saw)\r\n";

}  // namespace

int wmain(int count, wchar_t** arguments) {
  SetupArguments parsed = ParseSetupArguments(count, arguments);
  switch (parsed.action) {
    case kSetupInstall:
      return InstallPrinter(parsed.driver);
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
