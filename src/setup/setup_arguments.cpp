// Words are compared ignoring ASCII case, as Windows users type them.
#include "setup/setup_arguments.h"

#include "service/service_names.h"

const wchar_t kDefaultPrinterDriver[] = L"Microsoft Print to PDF";

namespace {

bool IsWord(const wchar_t* argument, const wchar_t* word) {
  for (; *word != L'\0'; ++argument, ++word) {
    wchar_t a = *argument >= L'A' && *argument <= L'Z' ? static_cast<wchar_t>(*argument + 32) : *argument;
    if (a != *word) return false;
  }
  return *argument == L'\0';
}

// A port from 1 to 65535, digits only; 0 when it is not one.
int PortNumber(const wchar_t* text) {
  int port = 0;
  for (; *text != L'\0'; ++text) {
    if (*text < L'0' || *text > L'9' || port > 6553) return 0;
    port = port * 10 + (*text - L'0');
  }
  return port <= 65535 ? port : 0;
}

}  // namespace

SetupArguments ParseSetupArguments(int count, const wchar_t* const* arguments) {
  SetupArguments parsed = {kSetupUsage, kDefaultPrinterDriver, false, false, false, TOLLIVANE_DEFAULT_IPP_PORT};
  if (count < 2 || arguments[1] == nullptr) return parsed;
  if (IsWord(arguments[1], L"check")) {
    if (count == 2 || (count == 3 && arguments[2] != nullptr && IsWord(arguments[2], L"--print"))) {
      parsed.action = kSetupCheck;
      parsed.sendTestPrint = count == 3;
    }
    return parsed;
  }
  if (IsWord(arguments[1], L"uninstall")) {
    if (count == 2) parsed.action = kSetupUninstall;
    return parsed;
  }
  if (!IsWord(arguments[1], L"install")) return parsed;
  bool driverGiven = false;
  bool portGiven = false;
  for (int i = 2; i < count; ++i) {
    if (arguments[i] == nullptr) return parsed;
    if (IsWord(arguments[i], L"--shared") && !parsed.shared) {
      parsed.shared = true;
    } else if (IsWord(arguments[i], L"--ipp") && !parsed.ipp) {
      parsed.ipp = true;
    } else if (IsWord(arguments[i], L"--port") && !portGiven && i + 1 < count && arguments[i + 1] != nullptr &&
               PortNumber(arguments[i + 1]) != 0) {
      portGiven = true;
      parsed.port = PortNumber(arguments[++i]);
    } else if (IsWord(arguments[i], L"--driver") && !driverGiven && i + 1 < count && arguments[i + 1] != nullptr &&
               arguments[i + 1][0] != L'\0') {
      driverGiven = true;
      parsed.driver = arguments[++i];
    } else {
      return SetupArguments{kSetupUsage, kDefaultPrinterDriver, false, false, false, TOLLIVANE_DEFAULT_IPP_PORT};
    }
  }
  // The port is the IPP printer's: it says which printer is wanted.
  if (portGiven) parsed.ipp = true;
  parsed.action = kSetupInstall;
  return parsed;
}
