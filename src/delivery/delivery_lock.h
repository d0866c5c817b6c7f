// Serialises delivery jobs across processes, so that two prints started
// together neither read a settings file that is being rewritten nor race for
// one name.
#ifndef TOLLIVANE_DELIVERY_DELIVERY_LOCK_H
#define TOLLIVANE_DELIVERY_DELIVERY_LOCK_H

#include "platform/platform.h"

// Returns the held lock, or null when it could not be had in time: the job
// then goes on without it, so one hung run cannot stop every later print.
HANDLE AcquireDeliveryLock(void);
void ReleaseDeliveryLock(HANDLE lock);

// Held by a run in prompt mode from its search to its filing, so that one
// user's dialogs open one at a time, each proposing a name that is free
// then. Per session: another user's prints never wait for it. Waited for
// as long as the earlier dialog stays open; null when it cannot be had.
HANDLE AcquirePromptLock(void);
void ReleasePromptLock(HANDLE lock);

#endif
