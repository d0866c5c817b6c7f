// Names of the files that jobs are written to beside the spool file: unique
// per process and job, and recognisable, so that one left by a crash can be
// found and removed later.
#ifndef TOLLIVANE_MONITOR_JOB_FILE_NAME_H
#define TOLLIVANE_MONITOR_JOB_FILE_NAME_H

#include <stdint.h>

// "File.pdf.0000002a-00000007.job": the spool file's name, the process and a
// sequence number in hex, ".job".
const int kJobFileNameSize = 32;

// Writes the name into `name` (kJobFileNameSize bytes).
void FormatJobFileName(uint32_t processId, uint32_t sequence, char* name);

// True only for a name FormatJobFileName could have written (any hex case).
bool IsJobFileName(const char* name);

#endif
