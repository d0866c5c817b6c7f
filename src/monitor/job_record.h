// What the monitor saw of the last job, kept where only administrators can
// read it, so that `TollivaneSetup check` shows on a real machine what the
// spooler did: whose token each port call carried, how the program was
// started and how the job ended. The text is made from plain facts and
// builds without the Windows headers.
#ifndef TOLLIVANE_MONITOR_JOB_RECORD_H
#define TOLLIVANE_MONITOR_JOB_RECORD_H

#include <stdint.h>

#include "monitor/launch_decision.h"
#include "monitor/owner_rules.h"

enum ImpersonationLevel {
  kLevelNone,  // a primary token: the process's own
  kLevelAnonymous,
  kLevelIdentification,
  kLevelImpersonation,
  kLevelDelegation,
};

enum LaunchRecorded {
  kNotLaunched,
  kLaunchedDirectly,
  kLaunchedAsOwner,
};

struct JobRecordFacts {
  uint16_t year, month, day, hour, minute, second;
  bool ownerKnown;
  char ownerSid[192];
  OwnerFacts owner;
  ImpersonationLevel level;
  bool startImpersonating;  // StartDocPort's thread carried a token
  bool endImpersonating;    // EndDocPort's did
  uint32_t monitorSession;  // the session of the monitor's process
  bool monitorInService;
  LaunchRecorded launch;
  bool tookSignal;     // the program said it had taken its print
  bool filed;          // handed over and done
  const char* reason;  // otherwise why not
  uint32_t error;
};

const int kJobRecordSize = 1024;

// Lines ending in CRLF; cut to fit, always terminated.
void FormatJobRecord(const JobRecordFacts* facts, char* text, int size);

// "Tollivane: <reason>", the job's status in the print queue.
void FormatJobStatus(const char* reason, char* text, int size);

#endif
