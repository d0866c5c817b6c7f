// Names of the files that jobs are written to beside the spool file: drawn
// at random, so that nobody can create a job's file before the job does, and
// recognisable, so that one left by a crash can be found and removed later.
#ifndef TOLLIVANE_MONITOR_JOB_FILE_NAME_H
#define TOLLIVANE_MONITOR_JOB_FILE_NAME_H

#include <stdint.h>

// "File.pdf.<32 hex digits>.job": the spool file's name, 128 random bits,
// ".job".
const int kJobFileRandomBytes = 16;
const int kJobFileNameSize = 46;

// Writes the name into `name` (kJobFileNameSize bytes).
void FormatJobFileName(const uint8_t* random, char* name);

// True only for a name FormatJobFileName could have written (any hex case).
bool IsJobFileName(const char* name);

#endif
