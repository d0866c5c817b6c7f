// How the printer's port hands a print to the run it starts: the run
// inherits a handle to the job's file, which it reads its print from, and
// an unnamed event it sets once it holds that print. Both are given to it on
// its command line by value, so nothing can be named, made first or swapped
// by another user; a run started any other way gets neither and takes its
// print from the spool file.
#ifndef TOLLIVANE_DELIVERY_RUN_HANDOVER_H
#define TOLLIVANE_DELIVERY_RUN_HANDOVER_H

#include <stdint.h>

#include "platform/platform.h"

// " --print=<hex> --taken=<hex>": what follows the program's quoted path.
const int kRunArgumentsSize = 48;

struct RunHandleValues {
  uint64_t print;  // the job's file, open for reading
  uint64_t taken;  // the event set once the print is held
};

// False, leaving `text` empty, when it does not fit.
bool FormatRunArguments(const RunHandleValues* values, char* text, int size);

// Reads the values from a whole command line (the program's path first,
// quoted or not). False unless both are there, each given once, non-zero.
bool ParseRunArguments(const char* commandLine, RunHandleValues* values);

// What a run was handed, read off its command line.
struct HandedPrint {
  HANDLE print;
  HANDLE taken;
};

// True when the command line names both handles and the print's is a file
// on disk; a run started any other way gets false.
bool ReceiveHandedPrint(const char* commandLine, HandedPrint* handed);

// Sets the port's event and lets it go.
void AnnouncePrintTaken(HandedPrint* handed);

#endif
