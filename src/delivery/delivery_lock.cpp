// Named mutexes of the session's own namespace, where no other user's
// process can make or hold an object first. Runs of different users are not
// serialised by it, and need not be: a print is filed by a rename that never
// replaces, and the counter is written only over the file as it was read.
#include "delivery/delivery_lock.h"

namespace {

const char kLockName[] = "Local\\TollivaneDeliveryJob";
const char kPromptLockName[] = "Local\\TollivanePromptDialog";
const DWORD kLockWaitMilliseconds = 10000;

// A holder that died leaves the mutex abandoned; it is ours all the same.
HANDLE AcquireNamedLock(const char* name, DWORD milliseconds) {
  HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
  if (mutex == nullptr) return nullptr;
  DWORD waited = WaitForSingleObject(mutex, milliseconds);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return mutex;
  CloseHandle(mutex);
  return nullptr;
}

}  // namespace

HANDLE AcquireDeliveryLock(void) { return AcquireNamedLock(kLockName, kLockWaitMilliseconds); }

void ReleaseDeliveryLock(HANDLE lock) {
  if (lock == nullptr) return;
  ReleaseMutex(lock);
  CloseHandle(lock);
}

HANDLE AcquirePromptLock(void) { return AcquireNamedLock(kPromptLockName, INFINITE); }

void ReleasePromptLock(HANDLE lock) { ReleaseDeliveryLock(lock); }
