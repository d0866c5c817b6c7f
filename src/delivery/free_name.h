// The free-name search: the first numbered name above the counter that
// nothing in the output folder holds.
#ifndef TOLLIVANE_DELIVERY_FREE_NAME_H
#define TOLLIVANE_DELIVERY_FREE_NAME_H

#include "delivery/settings.h"

enum FreeNameResult {
  kNameDoesNotFit = 0,
  kFreeNameFound = 1,
  kNoNumberLeft = 2,
};

// The name of `number` in the output folder: prefix, number of at least three
// digits, the extension unless the name already has one. False when it would
// not fit MAX_PATH; `candidatePath` has room for MAX_PATH characters.
bool ComposeCandidatePath(const JobSettings* job, int number, char* candidatePath);

// Finds the first number above `below` whose name does not exist in the
// output folder; fills `candidatePath` (MAX_PATH) and `number`. Returns a
// FreeNameResult; on failure the path is empty. Reads the folder once rather
// than testing every taken name.
int SearchFreeName(const JobSettings* job, int below, char* candidatePath, int* number);

// The same search by one existence test per number: the fallback when the
// folder cannot be listed.
int SearchFreeNameByChecks(const JobSettings* job, int below, char* candidatePath, int* number);

// SearchFreeName as a yes or no: 1 when a name was found, else 0.
int FindFreeName(const JobSettings* job, int below, char* candidatePath, int* number);

#endif
