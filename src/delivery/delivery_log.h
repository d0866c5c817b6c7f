// The optional log: one line per run, for whoever wants to know why a print
// is missing.
#ifndef TOLLIVANE_DELIVERY_DELIVERY_LOG_H
#define TOLLIVANE_DELIVERY_DELIVERY_LOG_H

#include "delivery/filing.h"

enum { kLogLineSize = MAX_PATH + 160 };

// "2026-12-09 14:03:07 automatic filed C:\Prints\File002.pdf" and the like,
// with CRLF; `lockHeld` false adds that the run went on without the job lock.
void FormatLogLine(const SYSTEMTIME* time, bool automatic, const DeliveryOutcome* outcome, bool lockHeld, char* line);

// Appends the line for this run to `logPath`; an empty path writes nothing.
// A log past 1 MiB is first renamed to "<name>.old". Failures change nothing.
void WriteDeliveryLog(const char* logPath, bool automatic, const DeliveryOutcome* outcome, bool lockHeld);

#endif
