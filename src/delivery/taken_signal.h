// How a run tells the printer's port that it has taken its print: an event
// named after the run's process, which the port creates before the run
// starts and which only that run's user may set. A run started any other way
// finds no such event and signals nothing.
#ifndef TOLLIVANE_DELIVERY_TAKEN_SIGNAL_H
#define TOLLIVANE_DELIVERY_TAKEN_SIGNAL_H

#include "platform/platform.h"

// "Global\TollivanePrintTaken-0000002a": visible from every session.
const int kTakenSignalNameSize = 40;
void FormatTakenSignalName(DWORD processId, char* name);

// Sets this process's event, when the port made one.
void AnnouncePrintTaken(void);

#endif
