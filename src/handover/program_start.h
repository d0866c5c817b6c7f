// Starts the program for a finished job: as the user who printed, on that
// user's desktop with that user's environment, never as the spooler's own
// account.
#ifndef TOLLIVANE_HANDOVER_PROGRAM_START_H
#define TOLLIVANE_HANDOVER_PROGRAM_START_H

#include "handover/port_state.h"

// Starts `program` for the port's job, whose owner the port knows, with its
// first thread suspended. The run inherits `print` (for reading) and
// `taken` (to set), and no other handle; their values are on its command
// line. Called as the spooler itself. False with `reason` and the error set;
// the way it was started goes into the port's record.
bool StartProgramForJob(PortState* port, const wchar_t* program, HANDLE print, HANDLE taken, const char** reason,
                        PROCESS_INFORMATION* started);

#endif
