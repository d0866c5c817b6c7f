// Filing a print under a final name, all or nothing, and the outcome of one
// run as the log reports it.
#ifndef TOLLIVANE_DELIVERY_FILING_H
#define TOLLIVANE_DELIVERY_FILING_H

#include "delivery/settings.h"

enum DeliveryResult {
  kFiled,
  kCancelled,
  kNotFiled,
};

struct DeliveryOutcome {
  DeliveryResult result;
  const char* reason;  // in words, when not filed
  DWORD error;         // the system's error number, 0 when there is none
  char filedPath[MAX_PATH];
};

enum FilingResult {
  kFilingDone,
  kFilingNameTaken,  // only when not replacing: the name was taken meanwhile
  kFilingFailed,
};

// Where a run reads its print from: the file the printer's port handed it
// (read from its start, whatever its name is by now), or else a path.
struct PrintSource {
  HANDLE file;  // INVALID_HANDLE_VALUE: read `path`
  const char* path;
};

PrintSource PrintAtPath(const char* path);

// Takes the print: a complete copy of the spool file in a new temporary file
// in `folder` (`takenPath`, MAX_PATH), so that a job arriving meanwhile
// cannot change what this run files. False, with nothing left, when it could not.
bool TakePrint(const char* folder, char* takenPath, DeliveryOutcome* outcome);

// Takes a copy of `source` into a new temporary file in `folder`.
bool TakeCopyOf(const PrintSource* source, const char* folder, char* takenPath, DeliveryOutcome* outcome);

// Renames a taken print onto `destination`, in the same folder. A name
// taken meanwhile keeps the print for another name; any other failure
// deletes it.
FilingResult PlaceTakenPrint(const char* takenPath, const char* destination, bool replaceExisting,
                             DeliveryOutcome* outcome);

// Copies `source` into a temporary file beside `destination` and renames it
// onto `destination`, replacing an existing file only when asked. Anything
// but success leaves no file behind and records why in `outcome`.
FilingResult FileCopyAs(const PrintSource* source, const char* destination, bool replaceExisting,
                        DeliveryOutcome* outcome);

// FileCopyAs from the spool file.
FilingResult FileSpoolAs(const char* destination, bool replaceExisting, DeliveryOutcome* outcome);

void SetOutcomeFailed(DeliveryOutcome* outcome, const char* reason, DWORD error);

#endif
