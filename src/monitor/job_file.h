// The file a job's bytes are written to, beside the spool file. It is made
// by the spooler itself in the protected spool folder, readable by the job's
// owner alone, and held open without delete sharing while the job runs, so
// that the clean-up of files left by crashed jobs cannot remove it.
#ifndef TOLLIVANE_MONITOR_JOB_FILE_H
#define TOLLIVANE_MONITOR_JOB_FILE_H

#include "monitor/port_state.h"

// True when C:\Kestrin and its spool folder are folders and not links: the
// monitor makes, renames and deletes files only then.
bool IsSpoolFolderSafe(void);
extern const char kUnsafeSpoolFolderReason[];

// Creates a new job file for the port, private to the owner `ownerSid`;
// false with the error set when it cannot.
bool CreateJobFile(PortState* port, const char* ownerSid);

// Buffers and writes the job's bytes. The first failure is kept in
// writeError, and the rest of the job is discarded.
void AppendToJobFile(PortState* port, const BYTE* bytes, DWORD count);

// Writes what is buffered; records a failure in writeError. The file stays
// open, and so protected from the clean-up, until it is handed over.
void FlushJobFile(PortState* port);

// Flushes and closes the file; only under the port lock.
void CloseJobFile(PortState* port);

// Closes (if open) and removes the job file: the job will not be filed.
void DiscardJobFile(PortState* port);

// Removes job files of jobs that are gone. A job still writing holds its
// file open and is skipped; one between closing and handing over holds the
// port lock, which the caller holds too, for its own job file `keep`. Only
// the monitor's own files go: a file a user made under such a name stays.
void RemoveAbandonedJobFiles(const char* keep);

#endif
