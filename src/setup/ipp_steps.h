// The IPP printer's part of setup: its service beside the program under
// Program Files, registered with the service control manager, started and
// answering at its URL, and the printer "Tollivane" on that URL through
// Windows' IPP class driver; and their removal.
#ifndef TOLLIVANE_SETUP_IPP_STEPS_H
#define TOLLIVANE_SETUP_IPP_STEPS_H

#include <windows.h>

#include "setup/printer_choice.h"

// Which printer the machine has, from what setup recorded and what is there.
PrinterKind InstalledPrinterKind(void);
void RecordPrinterKind(PrinterKind kind, int port);
int RecordedIppPort(void);

// Each says in one line what it did; false when a step failed.
// `registered`: this run registered the service (it was not there before).
bool InstallIppService(const wchar_t* programFolder, int port, bool* registered);
bool AddIppPrinter(int port);
// Stops the service (its job in progress is finished or failed first),
// deletes it and its program; true when none is left.
bool RemoveIppService(const wchar_t* programFolder);

// True when something answers IPP's Get-Printer-Attributes at the port.
bool IppPrinterAnswers(int port);

// For check: the service's lines.
void CheckIppService(int port,
                     void (*report)(bool ok, const wchar_t* what, const wchar_t* state, const wchar_t* remedy));

#endif
