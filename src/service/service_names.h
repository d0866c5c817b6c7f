// The IPP printer's names as Windows knows them, shared by the service and
// the setup that installs it.
#ifndef TOLLIVANE_SERVICE_SERVICE_NAMES_H
#define TOLLIVANE_SERVICE_SERVICE_NAMES_H

#define TOLLIVANE_SERVICE_NAME L"TollivanePrintService"
#define TOLLIVANE_SERVICE_DISPLAY_NAME L"Tollivane Print Service"
#define TOLLIVANE_SERVICE_DESCRIPTION                                                                             \
  L"Tollivane's IPP printer on this computer's loopback address: files every print to the printer \"Tollivane\" " \
  L"as a numbered PDF. Without it that printer does not print."
#define TOLLIVANE_SERVICE_EXE L"TollivaneService.exe"
// Under the product's key: which printer setup installed, and the IPP
// printer's port.
#define TOLLIVANE_PRINTER_KIND_VALUE L"Printer"
#define TOLLIVANE_IPP_PORT_VALUE L"IppPort"
#define TOLLIVANE_DEFAULT_IPP_PORT 8631

#endif
