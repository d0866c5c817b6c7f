// Finds the next free numbered name and delivers the spool file there: in
// automatic mode at once, recording the number; in prompt mode wherever the
// user confirms in the Save As dialog.
#include "delivery/delivery.h"

#include <limits.h>

#include "delivery/delivery_lock.h"
#include "delivery/number_text.h"

const char kSpoolFilePath[] = "C:\\Kestrin\\Print\\File.pdf";

namespace {

// Another process may take a found name before our copy; a few more tries.
const int kMaxAutomaticAttempts = 64;
const char kSaveFilters[] = "All\0*.*\0Pdf\0*.pdf\0";

// Prefix, number of at least three digits ("%0.3d"), then the extension
// unless the name already has one.
bool ComposeName(const JobSettings* job, int number, char* name) {
  lstrcpynA(name, job->namePrefix, MAX_PATH);
  int prefixLength = lstrlenA(name);
  if (prefixLength != lstrlenA(job->namePrefix)) return false;
  if (FormatNumberText(number, 3, name + prefixLength, MAX_PATH - prefixLength) < 0) return false;
  if (*PathFindExtensionA(name) != '\0') return true;
  return PathAddExtensionA(name, job->extension) != FALSE;
}

bool ComposeCandidatePath(const JobSettings* job, int number, char* candidatePath) {
  char name[MAX_PATH];
  if (!ComposeName(job, number, name)) return false;
  lstrcpynA(candidatePath, job->outputDir, MAX_PATH);
  return PathAppendA(candidatePath, name) != FALSE;
}

void WriteCounter(const char* settingsPath, int number) {
  char counterText[kTextBufferSize];
  FormatNumberText(number, 1, counterText, kTextBufferSize);
  WritePrivateProfileStringA(kSettingsSection, kCounterKey, counterText, settingsPath);
}

// Copies without overwriting: when the copy fails because the name was taken
// meanwhile, the search goes on above it. Existence is tested afresh rather
// than read from GetLastError, which a successful open can leave set.
void DeliverAutomatically(const JobSettings* job, const char* settingsPath) {
  int below = job->lastNumber;
  for (int attempt = 0; attempt < kMaxAutomaticAttempts; ++attempt) {
    char candidatePath[MAX_PATH];
    int number = 0;
    if (!FindFreeName(job, below, candidatePath, &number)) return;
    if (CopyFileA(kSpoolFilePath, candidatePath, TRUE) == TRUE) {
      WriteCounter(settingsPath, number);
      return;
    }
    if (!PathFileExistsA(candidatePath)) return;
    below = number;
  }
}

void FillSaveRequest(OPENFILENAMEA* request, const JobSettings* job, char* fileBuffer) {
  *request = OPENFILENAMEA{};
  request->lStructSize = static_cast<DWORD>(OPENFILENAME_SIZE_VERSION_400A);
  request->lpstrFilter = kSaveFilters;
  request->nFilterIndex = 1;
  request->lpstrFile = fileBuffer;
  request->nMaxFile = MAX_PATH;
  request->lpstrInitialDir = job->outputDir;
  request->Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
}

// The dialog's overwrite question is about the name as typed. When the
// extension added here turns it into an existing file, the dialog is asked
// again with the full name, so the user is asked about the file really replaced.
bool AskForDestination(const JobSettings* job, char* fileBuffer) {
  for (;;) {
    OPENFILENAMEA request;
    FillSaveRequest(&request, job, fileBuffer);
    if (GetSaveFileNameA(&request) != TRUE) return false;
    if (*PathFindExtensionA(fileBuffer) != '\0') return true;
    if (!PathAddExtensionA(fileBuffer, job->extension)) return true;
    if (!PathFileExistsA(fileBuffer)) return true;
  }
}

void DeliverByPrompt(const JobSettings* job, char* fileBuffer) {
  if (AskForDestination(job, fileBuffer)) CopyFileA(kSpoolFilePath, fileBuffer, FALSE);
}

}  // namespace

int FindFreeName(const JobSettings* job, int below, char* candidatePath, int* number) {
  for (int n = below; n < INT_MAX;) {
    ++n;
    if (!ComposeCandidatePath(job, n, candidatePath)) break;
    if (!PathFileExistsA(candidatePath)) {
      *number = n;
      return 1;
    }
  }
  candidatePath[0] = '\0';
  return 0;
}

// Automatic mode holds the lock until the counter is written; prompt mode
// lets it go before the dialog, so an open dialog never holds up other prints.
int RunDelivery(void) {
  HANDLE lock = AcquireDeliveryLock();
  JobSettings job;
  char settingsPath[MAX_PATH];
  ReadJobSettings(&job, settingsPath);
  if (job.promptEachPrint == 1) {
    char fileBuffer[MAX_PATH];
    int number = 0;
    FindFreeName(&job, job.lastNumber, fileBuffer, &number);
    ReleaseDeliveryLock(lock);
    DeliverByPrompt(&job, fileBuffer);
  } else {
    DeliverAutomatically(&job, settingsPath);
    ReleaseDeliveryLock(lock);
  }
  return 1;
}
