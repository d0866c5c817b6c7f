// A named mutex in the Global namespace, which ordinary users may create, so
// that runs in different sessions are serialised as well; the prompt lock is
// one of the session's own.
#include "delivery/delivery_lock.h"

namespace {

const char kLockName[] = "Global\\TollivaneDeliveryJob";
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
