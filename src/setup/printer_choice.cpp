// The IPP printer is chosen wherever the mode may be on: it prints there and
// everywhere else, while the port monitor's printer prints only where the
// mode is off.
#include "setup/printer_choice.h"

ProtectedPrintReading ReadProtectedPrintFacts(const ProtectedPrintFacts* facts) {
  if (facts->apiPresent) return facts->apiEnabled ? kProtectedPrintOn : kProtectedPrintOff;
  if (facts->policyStatePresent) return facts->policyState != 0 ? kProtectedPrintOn : kProtectedPrintOff;
  return facts->modePresent && facts->mode != 0 ? kProtectedPrintHintedOn : kProtectedPrintOff;
}

PrinterChoice ChoosePrinterKind(bool askedForIpp, ProtectedPrintReading mode) {
  if (askedForIpp) return PrinterChoice{kIppPrinter, L"--ipp asks for the IPP printer"};
  switch (mode) {
    case kProtectedPrintOn:
      return PrinterChoice{kIppPrinter,
                           L"Windows protected print mode is on (Windows says so): Windows loads no port monitor "
                           L"but its own, so setup installs the IPP printer"};
    case kProtectedPrintHintedOn:
      return PrinterChoice{kIppPrinter,
                           L"Windows protected print mode looks on (WindowsProtectedPrintMode, a value Windows does "
                           L"not document, says so; its policy is not set): setup installs the IPP printer, which "
                           L"prints either way"};
    case kProtectedPrintOff:
      break;
  }
  return PrinterChoice{kMonitorPrinter,
                       L"Windows protected print mode is off: setup installs the port monitor's printer (install "
                       L"--ipp installs the IPP printer instead)"};
}

SwitchPlan PlanSwitch(PrinterKind installed, PrinterKind wanted) {
  SwitchPlan plan = {};
  if (installed == kNoPrinter || installed == wanted) return plan;
  plan.removePrinter = true;
  plan.removeMonitor = installed == kMonitorPrinter;
  plan.removeService = installed == kIppPrinter;
  return plan;
}

const wchar_t* JudgeInstalledKind(PrinterKind installed, ProtectedPrintReading mode) {
  if (installed == kMonitorPrinter && mode != kProtectedPrintOff)
    return L"the port monitor's printer cannot print while Windows protected print mode is on: run setup.cmd "
           L"install again, and it installs the IPP printer";
  if (installed == kNoPrinter) return L"no printer \"Tollivane\": run setup.cmd install";
  return nullptr;
}
