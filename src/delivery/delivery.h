// The delivery job: files the spool file under the next free numbered name,
// at once (automatic mode) or through the Save As dialog (prompt mode).
#ifndef TOLLIVANE_DELIVERY_DELIVERY_H
#define TOLLIVANE_DELIVERY_DELIVERY_H

#include "delivery/filing.h"
#include "delivery/free_name.h"
#include "delivery/settings.h"

int RunDelivery(void);

#endif
