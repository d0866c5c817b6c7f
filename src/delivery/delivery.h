// The delivery job: files the spool file under the next free numbered name,
// at once (automatic mode) or through the Save As dialog (prompt mode).
#ifndef TOLLIVANE_DELIVERY_DELIVERY_H
#define TOLLIVANE_DELIVERY_DELIVERY_H

#include "delivery/filing.h"
#include "delivery/free_name.h"
#include "delivery/settings.h"

// Reads the command line: a print handed over by the printer's port is
// announced as taken and filed from its file.
int RunDelivery(void);

// Files the print read from `handedPrint`, or, given INVALID_HANDLE_VALUE,
// the one taken from the spool file at start.
int RunDeliveryFrom(HANDLE handedPrint);

#endif
