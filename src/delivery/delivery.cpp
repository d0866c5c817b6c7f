// Finds the next free numbered name and files the spool file there: in
// automatic mode at once, recording the number; in prompt mode wherever the
// user confirms in the Save As dialog. Each run may leave one log line.
#include "delivery/delivery.h"

#include "delivery/delivery_lock.h"
#include "delivery/delivery_log.h"
#include "delivery/filing.h"
#include "delivery/free_name.h"
#include "delivery/number_text.h"
#include "delivery/settings_file.h"
#include "delivery/taken_signal.h"
#include "delivery/temp_files.h"

namespace {

// Another process may take a found name before our rename; a few more tries.
const int kMaxAutomaticAttempts = 64;
const char kSaveFilters[] = "All\0*.*\0Pdf\0*.pdf\0";

void WriteCounter(const char* settingsPath, int number) {
  char counterText[kTextBufferSize];
  FormatNumberText(number, 1, counterText, kTextBufferSize);
  WriteSettingValue(settingsPath, kSettingsSection, kCounterKey, counterText);
}

const char* SearchFailureReason(int searchResult) {
  return searchResult == kNoNumberLeft ? "no number left" : "name does not fit";
}

// Only a name taken between the search and the rename moves the search on;
// any other failure files nothing and leaves the counter for the next run.
void DeliverAutomatically(const JobSettings* job, const char* settingsPath, const char* takenPath,
                          DeliveryOutcome* outcome) {
  int below = job->lastNumber;
  for (int attempt = 0; attempt < kMaxAutomaticAttempts; ++attempt) {
    char candidatePath[MAX_PATH];
    int number = 0;
    int found = SearchFreeName(job, below, candidatePath, &number);
    if (found != kFreeNameFound) {
      SetOutcomeFailed(outcome, SearchFailureReason(found), 0);
      return;
    }
    FilingResult filing = PlaceTakenPrint(takenPath, candidatePath, false, outcome);
    if (filing == kFilingDone) WriteCounter(settingsPath, number);
    if (filing != kFilingNameTaken) return;
    below = number;
  }
  SetOutcomeFailed(outcome, "every name tried was taken meanwhile", 0);
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
bool AskForDestination(const JobSettings* job, char* fileBuffer, DeliveryOutcome* outcome) {
  for (;;) {
    OPENFILENAMEA request;
    FillSaveRequest(&request, job, fileBuffer);
    if (ShowSaveDialogInFront(&request) != TRUE) {
      DWORD error = CommDlgExtendedError();
      if (error == 0)
        outcome->result = kCancelled;
      else
        SetOutcomeFailed(outcome, "save dialog failed", error);
      return false;
    }
    if (*PathFindExtensionA(fileBuffer) != '\0') return true;
    if (!PathAddExtensionA(fileBuffer, job->extension)) return true;
    if (!PathFileExistsA(fileBuffer)) return true;
  }
}

// The user has confirmed the name, and the overwrite question with it: the
// file is replaced, but only by a complete copy of the print taken at start.
void DeliverByPrompt(const JobSettings* job, const char* takenPath, char* fileBuffer, DeliveryOutcome* outcome) {
  if (AskForDestination(job, fileBuffer, outcome)) FileCopyAs(takenPath, fileBuffer, true, outcome);
}

// Where a run takes its print: in automatic mode the output folder, where
// the rename that files it is atomic; in prompt mode beside the spool file,
// until the user has chosen where it goes.
void GetTakingFolder(const JobSettings* job, char* folder) {
  if (job->promptEachPrint != 1) {
    lstrcpynA(folder, job->outputDir, MAX_PATH);
    return;
  }
  lstrcpynA(folder, kSpoolFilePath, MAX_PATH);
  PathRemoveFileSpecA(folder);
}

// The print is taken before the lock is waited for: a job that arrives
// meanwhile replaces the spool file, and must not replace this print.
// The settings read here only say where to take it. A run started by the
// printer's port tells it once its print is taken in prompt mode: the port
// need not wait for the dialog. Automatic mode is done at exit, so the port
// keeps waiting for the print to be filed.
bool TakePrintAtStart(char* takenFolder, char* takenPath, bool* promptEarly, DeliveryOutcome* outcome) {
  JobSettings early;
  char settingsPath[MAX_PATH];
  ReadJobSettings(&early, settingsPath);
  GetTakingFolder(&early, takenFolder);
  RemoveAbandonedTempFiles(takenFolder);
  bool taken = TakePrint(takenFolder, takenPath, outcome);
  *promptEarly = early.promptEachPrint == 1;
  if (*promptEarly) AnnouncePrintTaken();
  return taken;
}

// The settings read under the lock have the last word: a print taken in
// another folder than theirs is moved there, by a copy of the taken print.
bool MoveTakenPrintInto(const char* folder, const char* takenFolder, char* takenPath, DeliveryOutcome* outcome) {
  if (lstrcmpiA(folder, takenFolder) == 0) return true;
  char oldPath[MAX_PATH];
  lstrcpynA(oldPath, takenPath, MAX_PATH);
  bool moved = TakeCopyOf(oldPath, folder, takenPath, outcome);
  DeleteFileA(oldPath);
  if (!moved) takenPath[0] = '\0';
  return moved;
}

// The log line is written under the job lock too, so that lines of runs
// started together do not interleave.
void LogPromptOutcome(const JobSettings* job, const DeliveryOutcome* outcome, bool lockHeldForSearch) {
  if (job->logFile[0] == '\0') return;
  HANDLE lock = AcquireDeliveryLock();
  WriteDeliveryLog(job->logFile, false, outcome, lockHeldForSearch && lock != nullptr);
  ReleaseDeliveryLock(lock);
}

}  // namespace

// Automatic mode holds the lock until the counter is written; prompt mode
// lets it go before the dialog, so an open dialog never holds up other prints.
int RunDelivery(void) {
  DeliveryOutcome outcome;
  SetOutcomeFailed(&outcome, "not attempted", 0);
  char takenFolder[MAX_PATH];
  char takenPath[MAX_PATH];
  bool promptEarly = false;
  bool taken = TakePrintAtStart(takenFolder, takenPath, &promptEarly, &outcome);
  HANDLE promptLock = promptEarly ? AcquirePromptLock() : nullptr;
  HANDLE lock = AcquireDeliveryLock();
  JobSettings job;
  char settingsPath[MAX_PATH];
  ReadJobSettings(&job, settingsPath);
  if (job.promptEachPrint == 1) {
    char fileBuffer[MAX_PATH];
    int number = 0;
    FindFreeName(&job, job.lastNumber, fileBuffer, &number);
    ReleaseDeliveryLock(lock);
    if (taken) DeliverByPrompt(&job, takenPath, fileBuffer, &outcome);
    LogPromptOutcome(&job, &outcome, lock != nullptr);
  } else {
    if (taken && MoveTakenPrintInto(job.outputDir, takenFolder, takenPath, &outcome))
      DeliverAutomatically(&job, settingsPath, takenPath, &outcome);
    WriteDeliveryLog(job.logFile, true, &outcome, lock != nullptr);
    ReleaseDeliveryLock(lock);
  }
  if (taken && takenPath[0] != '\0') DeleteFileA(takenPath);  // not filed: no copy stays behind
  ReleasePromptLock(promptLock);
  return 1;
}
