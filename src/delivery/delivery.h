// The delivery job: files the spool file under the next free numbered name,
// at once (automatic mode) or through the Save As dialog (prompt mode).
#ifndef TOLLIVANE_DELIVERY_DELIVERY_H
#define TOLLIVANE_DELIVERY_DELIVERY_H

#include "delivery/settings.h"

extern const char kSpoolFilePath[];

// Finds the first number above `below` whose name does not exist in the
// output folder; fills `candidatePath` (MAX_PATH) and `number`. Returns 0,
// with an empty path, when no number is left or the name would not fit.
int FindFreeName(const JobSettings* job, int below, char* candidatePath, int* number);

int RunDelivery(void);

#endif
