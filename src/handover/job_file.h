// The file a job's bytes are written to, beside the spool file, and its
// hand-over as the spool file. Job files are made by the spooler itself in
// the protected spool folder, readable by SYSTEM and Administrators alone;
// the run that files one reads it through a handle the port gives it. Their
// names are kept where only administrators can write, so that the file of a
// job killed half-way is removed by a later one, and nothing else is.
#ifndef TOLLIVANE_HANDOVER_JOB_FILE_H
#define TOLLIVANE_HANDOVER_JOB_FILE_H

#include "handover/port_state.h"

// C:\Kestrin and its spool folder, held open while the port works in them:
// neither can be renamed or replaced meanwhile.
struct SpoolFolders {
  HANDLE kestrin;
  HANDLE print;
};

// Opens both folders without following a link and checks, through the
// handles, that they are folders owned by administrators whose lists grant
// users nothing beyond the setup's table. False with `reason` and the error
// set, holding nothing.
bool HoldSpoolFolders(SpoolFolders* folders, const char** reason);
void ReleaseSpoolFolders(SpoolFolders* folders);

// Creates a new job file for the port; false with the error set when it
// cannot. The spool folders must be held.
bool CreateJobFile(PortState* port);

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

// Under the port lock, with the folders held: the job's file becomes the
// spool file. The spool file it replaces is renamed aside and goes once
// the last run reading it lets it go. `print` is a handle for reading the
// job's file, to be given to the run. False with `reason` and the error set.
bool PutJobInPlace(PortState* port, HANDLE* print, const char** reason);

// Removes the files of jobs that are gone, by the names kept for them, but
// the port's own: a job still writing holds its file open and is skipped,
// one between closing and handing over holds the port lock, as the caller does.
void RemoveLeftJobFiles(const PortState* port);

#endif
