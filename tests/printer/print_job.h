// One RAW print job through the print API, as an application's print would
// send it, and the installing of Wine's PostScript driver under a name of
// the tests' own (standing in for the PDF driver Windows ships).
#ifndef TOLLIVANE_TESTS_PRINTER_PRINT_JOB_H
#define TOLLIVANE_TESTS_PRINTER_PRINT_JOB_H

#include <windows.h>

#include <string>

struct PrintOutcome {
  bool started = false;  // the printer was opened and the document started
  bool written = false;  // every byte was taken by WritePrinter
  bool ended = false;    // EndDocPrinter succeeded
  DWORD error = 0;       // the first failure's error number
};

// Under Wine each process numbers its jobs from 1, and the number names the
// spooler's file of the job: processes printing at once each start at a
// `firstJob` of their own. `pauseMs` waits after each piece written.
PrintOutcome PrintBytes(const std::wstring& printer, const std::string& bytes, long firstJob, DWORD pauseMs = 0,
                        const std::wstring& documentName = L"test print");

// Installs the driver whole: its description copied into the driver folder
// first (Wine copies a driver's files only from there, and reports success
// when a copy fails), then every file the installed driver names checked.
// False with what went wrong, naming a missing file, in `failure`.
bool InstallTestDriver(const std::wstring& name, const std::wstring& ppdPath, std::string* failure);

// A page with one line of text through GDI, as an application prints: a DC
// of the printer, StartDoc, the page, EndDoc. False with the failing step.
bool PrintTextPage(const std::wstring& printer, const std::string& text, std::string* failure);

#endif
