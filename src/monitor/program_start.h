// Starts the program for a finished job: as the user who printed, on that
// user's desktop with that user's environment, never as the spooler's own
// account.
#ifndef TOLLIVANE_MONITOR_PROGRAM_START_H
#define TOLLIVANE_MONITOR_PROGRAM_START_H

#include "monitor/port_state.h"

// Starts `program` for the port's job, whose owner the port knows. Called
// as the spooler itself. Returns the process, or null with `reason` and the
// error set.
HANDLE StartProgramForJob(const PortState* port, const wchar_t* program, const char** reason);

#endif
