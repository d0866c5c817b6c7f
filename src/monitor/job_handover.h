// The end of a job: its file becomes the spool file and the program files
// it, one job at a time across ports and processes.
#ifndef TOLLIVANE_MONITOR_JOB_HANDOVER_H
#define TOLLIVANE_MONITOR_JOB_HANDOVER_H

#include "monitor/port_state.h"

struct MonitorRegistry {
  PMONITORREG functions;  // may be null
  HANDLE root;
  HANDLE spooler;
};

// Makes the lock that orders jobs and the spooler's stop signal, once, when
// the spooler loads the monitor; the stop wakes every wait of a job's end.
void InitJobHandover(void);
void StopJobHandover(void);

// Ends the port's job: hands it to the program and waits until the program
// has taken its print (it says so) or has exited, or fails it. TRUE when the
// job is done (filed, or empty, or cancelled: nothing to do); FALSE with the
// error set when it could not be handed over. Every job of a known owner not
// handed over leaves a line in the log; every job's record is kept.
BOOL EndPortJob(PortState* port, const MonitorRegistry* registry);

// True when the spooler reports the port's job as deleted.
bool IsJobCancelled(PortState* port);

// One line in the program's log, when the settings name one the monitor may
// write: written as the job's owner, and only for an owner the monitor
// accepted.
void LogJobNotHandedOver(const PortState* port, const char* reason, DWORD error);

#endif
