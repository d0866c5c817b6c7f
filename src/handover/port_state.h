// The state of one open port: the job being written and what is needed at
// its end. Allocated when the spooler opens the port, freed when it closes it.
#ifndef TOLLIVANE_HANDOVER_PORT_STATE_H
#define TOLLIVANE_HANDOVER_PORT_STATE_H

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include "monitor/job_record.h"

const DWORD kPortStateTag = 0x544C5650;  // "PVLT": a handle that is not ours is refused
const DWORD kJobBufferSize = 64 * 1024;

struct PortState {
  DWORD tag;
  LONG references;  // the spooler's handle, and a job's end while it runs
  HANDLE wake;      // set when the port closes: a wait of the job's end stops
  BYTE* jobInfo;    // GetJob's answer, grown to what it asks; freed with the port
  DWORD jobInfoSize;
  JobRecordFacts record;
  bool jobOpen;         // between StartDocPort and EndDocPort
  const char* refusal;  // why the job got no file (its data is dropped); null when it has one
  DWORD refusalError;
  HANDLE jobFile;  // INVALID_HANDLE_VALUE between jobs
  char jobPath[MAX_PATH];
  ULONGLONG jobBytes;
  DWORD writeError;  // the first failure to write the job file, 0 while none
  HANDLE printer;    // for the job's status; null when the spooler names no printer
  DWORD jobId;
  HANDLE ownerToken;  // the job's owner (see OpenJobOwnerToken), or null
  DWORD buffered;
  BYTE buffer[kJobBufferSize];
};

#endif
