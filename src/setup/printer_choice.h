// Which of Tollivane's two printers setup installs, and what check says of
// the one a machine has, decided from plain facts so host tests drive every
// case. The port-monitor printer runs inside the Print Spooler, which
// Windows protected print mode closes to every monitor but its own; the IPP
// printer (a service of its own that Windows' IPP class driver prints to)
// works either way. Windows' own answer (its API, on Windows 11 24H2 and
// later) comes first, then the documented policy value; the mode value
// Windows also keeps there is taken as a hint, and said to be one.
#ifndef TOLLIVANE_SETUP_PRINTER_CHOICE_H
#define TOLLIVANE_SETUP_PRINTER_CHOICE_H

#include "setup/check_rules.h"

enum PrinterKind {
  kNoPrinter,
  kMonitorPrinter,
  kIppPrinter,
};

enum ProtectedPrintReading {
  kProtectedPrintOff,
  kProtectedPrintOn,        // Windows' API, or where it has none the documented policy, says so
  kProtectedPrintHintedOn,  // only the undocumented mode value says so
};

ProtectedPrintReading ReadProtectedPrintFacts(const ProtectedPrintFacts* facts);

struct PrinterChoice {
  PrinterKind kind;
  const wchar_t* why;  // one sentence for setup's output
};

// `askedForIpp`: install --ipp; otherwise the mode decides.
PrinterChoice ChoosePrinterKind(bool askedForIpp, ProtectedPrintReading mode);

// What an install of `wanted` takes away first: never two printers named
// "Tollivane", never a service or a monitor left behind.
struct SwitchPlan {
  bool removePrinter;  // the other kind's "Tollivane"
  bool removeMonitor;  // the port monitor, its DLL and its program record
  bool removeService;  // the IPP printer's service and its program
};

SwitchPlan PlanSwitch(PrinterKind installed, PrinterKind wanted);

// What check says of the printer a machine has: null when all is well,
// else the problem and what to do.
const wchar_t* JudgeInstalledKind(PrinterKind installed, ProtectedPrintReading mode);

#endif
