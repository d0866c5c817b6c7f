// A named mutex in the Global namespace, which ordinary users may create, so
// that runs in different sessions are serialised as well.
#include "delivery/delivery_lock.h"

namespace {

const char kLockName[] = "Global\\TollivaneDeliveryJob";
const char kPromptLockName[] = "Local\\TollivanePromptDialog";
const DWORD kLockWaitMilliseconds = 10000;

}  // namespace

HANDLE AcquireDeliveryLock(void) {
  HANDLE mutex = CreateMutexA(nullptr, FALSE, kLockName);
  if (mutex == nullptr) return nullptr;
  // A holder that died leaves the mutex abandoned; it is ours all the same.
  DWORD waited = WaitForSingleObject(mutex, kLockWaitMilliseconds);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return mutex;
  CloseHandle(mutex);
  return nullptr;
}

void ReleaseDeliveryLock(HANDLE lock) {
  if (lock == nullptr) return;
  ReleaseMutex(lock);
  CloseHandle(lock);
}

HANDLE AcquirePromptLock(void) {
  HANDLE mutex = CreateMutexA(nullptr, FALSE, kPromptLockName);
  if (mutex == nullptr) return nullptr;
  DWORD waited = WaitForSingleObject(mutex, INFINITE);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return mutex;
  CloseHandle(mutex);
  return nullptr;
}

void ReleasePromptLock(HANDLE lock) { ReleaseDeliveryLock(lock); }
