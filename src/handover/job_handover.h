// The end of a job: its file becomes the spool file and the program files
// it, one job at a time across ports and processes.
#ifndef TOLLIVANE_HANDOVER_JOB_HANDOVER_H
#define TOLLIVANE_HANDOVER_JOB_HANDOVER_H

#include "handover/port_state.h"

// Where the program is recorded: the monitor's registry as the spooler
// gives it, else the monitor's key under HKLM; `besideProgram`, when set,
// is taken where setup recorded none (the IPP printer's program beside it).
struct MonitorRegistry {
  PMONITORREG functions;  // may be null
  HANDLE root;
  HANDLE spooler;
  const wchar_t* besideProgram;
};

// Makes the lock that orders jobs and the spooler's stop signal, once, when
// the spooler loads the monitor; the stop wakes every wait of a job's end.
void InitJobHandover(void);
void StopJobHandover(void);

// Ends the port's job: hands it to the program and waits until the run
// holds its print (it says so), for a bounded time, or fails it. TRUE when
// the job is done (handed over, or empty, or cancelled: nothing to do);
// FALSE with the error set when it could not be handed over. Every job's
// record is kept; a failed job shows its reason in the print queue.
BOOL EndPortJob(PortState* port, const MonitorRegistry* registry);

// True when the spooler reports the port's job as deleted.
bool IsJobCancelled(PortState* port);

#endif
