// Filing the spool file under a final name, all or nothing, and the outcome
// of one run as the log reports it.
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

// Copies the spool file into a temporary file beside `destination` and
// renames it onto `destination`, replacing an existing file only when asked.
// Anything but success leaves no file behind and records why in `outcome`.
FilingResult FileSpoolAs(const char* destination, bool replaceExisting, DeliveryOutcome* outcome);

void SetOutcomeFailed(DeliveryOutcome* outcome, const char* reason, DWORD error);

#endif
