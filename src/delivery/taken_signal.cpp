// The name carries the process in hex, as the temporary files do.
#include "delivery/taken_signal.h"

void FormatTakenSignalName(DWORD processId, char* name) {
  const char prefix[] = "Global\\TollivanePrintTaken-";
  char* at = name;
  for (const char* p = prefix; *p != '\0'; ++p) *at++ = *p;
  for (int shift = 28; shift >= 0; shift -= 4) *at++ = "0123456789abcdef"[(processId >> shift) & 0xF];
  *at = '\0';
}

void AnnouncePrintTaken(void) {
  char name[kTakenSignalNameSize];
  FormatTakenSignalName(GetCurrentProcessId(), name);
  HANDLE taken = OpenEventA(EVENT_MODIFY_STATE, FALSE, name);
  if (taken == nullptr) return;
  SetEvent(taken);
  CloseHandle(taken);
}
