// Words are compared ignoring ASCII case, as Windows users type them.
#include "setup/setup_arguments.h"

const wchar_t kDefaultPrinterDriver[] = L"Microsoft Print to PDF";

namespace {

bool IsWord(const wchar_t* argument, const wchar_t* word) {
  for (; *word != L'\0'; ++argument, ++word) {
    wchar_t a = *argument >= L'A' && *argument <= L'Z' ? static_cast<wchar_t>(*argument + 32) : *argument;
    if (a != *word) return false;
  }
  return *argument == L'\0';
}

}  // namespace

SetupArguments ParseSetupArguments(int count, const wchar_t* const* arguments) {
  SetupArguments parsed = {kSetupUsage, kDefaultPrinterDriver, false, false};
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
  for (int i = 2; i < count; ++i) {
    if (arguments[i] == nullptr) return parsed;
    if (IsWord(arguments[i], L"--shared") && !parsed.shared) {
      parsed.shared = true;
    } else if (IsWord(arguments[i], L"--driver") && !driverGiven && i + 1 < count && arguments[i + 1] != nullptr &&
               arguments[i + 1][0] != L'\0') {
      driverGiven = true;
      parsed.driver = arguments[++i];
    } else {
      parsed.shared = false;
      parsed.driver = kDefaultPrinterDriver;
      return parsed;
    }
  }
  parsed.action = kSetupInstall;
  return parsed;
}
