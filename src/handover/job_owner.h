// Whose job this is, read from the token the port call carries, and the
// switches of the thread's identity around the monitor's own work: its files
// are made as the spooler itself, in folders only administrators can change;
// the log line a user's settings point to is written as that user.
#ifndef TOLLIVANE_HANDOVER_JOB_OWNER_H
#define TOLLIVANE_HANDOVER_JOB_OWNER_H

#include <windows.h>

#include "monitor/job_record.h"
#include "monitor/owner_rules.h"

// Decided once, when the spooler loads the monitor: true inside a service
// account's process (the Windows spooler), false inside the printing user's
// own process (Wine).
void InitJobOwners(void);
bool MonitorRunsInService(void);

// The job's owner: the token the spooler impersonates at the job's start, or
// this process's own where the monitor runs in the user's process. Null with
// the error set when there is none (ERROR_NO_TOKEN) or it cannot be read.
HANDLE OpenJobOwnerToken(void);

void ReadOwnerFacts(HANDLE token, OwnerFacts* facts);

// For the job's record: the token's impersonation level, and whether the
// calling thread carries a token at all.
ImpersonationLevel ReadImpersonationLevel(HANDLE token);
bool ThreadIsImpersonating(void);

// Room for a SID string: "S-1-" and up to 15 sub-authorities of 10 digits.
const int kSidStringSize = 192;

// The token's user as a SID string, for an access list.
bool TokenUserSidString(HANDLE token, char* sid, int size);

// What the thread was impersonating before a switch, to be put back.
struct SavedIdentity {
  HANDLE token;  // null: the thread was not impersonating
};

// False, with the error set and nothing changed, when the thread's current
// identity cannot be saved: the switch is not made.
bool ActAsSpooler(SavedIdentity* saved);
bool ActAsOwner(HANDLE owner, SavedIdentity* saved);
void RestoreIdentity(SavedIdentity* saved);

#endif
