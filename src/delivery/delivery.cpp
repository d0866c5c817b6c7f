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
#include "delivery/run_handover.h"
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
void DeliverByPrompt(const JobSettings* job, const PrintSource* print, char* fileBuffer, DeliveryOutcome* outcome) {
  if (AskForDestination(job, fileBuffer, outcome)) FileCopyAs(print, fileBuffer, true, outcome);
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
// meanwhile replaces the spool file, and must not replace this print. A
// print handed over by the port is taken already: the run holds its file.
bool TakePrintAtStart(const JobSettings* early, char* takenFolder, char* takenPath, DeliveryOutcome* outcome) {
  GetTakingFolder(early, takenFolder);
  RemoveAbandonedTempFiles(takenFolder);
  return TakePrint(takenFolder, takenPath, outcome);
}

// Automatic mode files by a rename in the output folder named by the
// settings read under the lock: the print is copied there, from the handed
// file or from a copy taken in another folder.
bool BringPrintInto(const char* folder, const PrintSource* handed, const char* takenFolder, char* takenPath,
                    DeliveryOutcome* outcome) {
  if (handed->file != INVALID_HANDLE_VALUE) return TakeCopyOf(handed, folder, takenPath, outcome);
  if (lstrcmpiA(folder, takenFolder) == 0) return true;
  char oldPath[MAX_PATH];
  lstrcpynA(oldPath, takenPath, MAX_PATH);
  PrintSource old = PrintAtPath(oldPath);
  bool moved = TakeCopyOf(&old, folder, takenPath, outcome);
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
int RunDeliveryFrom(HANDLE handedPrint) {
  DeliveryOutcome outcome;
  SetOutcomeFailed(&outcome, "not attempted", 0);
  JobSettings job;
  char settingsPath[MAX_PATH];
  ReadJobSettings(&job, settingsPath);
  PrintSource handed = {handedPrint, kSpoolFilePath};
  char takenFolder[MAX_PATH] = "";
  char takenPath[MAX_PATH] = "";
  bool taken = handedPrint != INVALID_HANDLE_VALUE || TakePrintAtStart(&job, takenFolder, takenPath, &outcome);
  PrintSource takenCopy = PrintAtPath(takenPath);
  const PrintSource* print = handedPrint != INVALID_HANDLE_VALUE ? &handed : &takenCopy;
  HANDLE promptLock = job.promptEachPrint == 1 ? AcquirePromptLock() : nullptr;
  HANDLE lock = AcquireDeliveryLock();
  ReadJobSettings(&job, settingsPath);
  if (job.promptEachPrint == 1) {
    char fileBuffer[MAX_PATH];
    int number = 0;
    FindFreeName(&job, job.lastNumber, fileBuffer, &number);
    ReleaseDeliveryLock(lock);
    if (taken) DeliverByPrompt(&job, print, fileBuffer, &outcome);
    LogPromptOutcome(&job, &outcome, lock != nullptr);
  } else {
    if (taken && BringPrintInto(job.outputDir, &handed, takenFolder, takenPath, &outcome))
      DeliverAutomatically(&job, settingsPath, takenPath, &outcome);
    WriteDeliveryLog(job.logFile, true, &outcome, lock != nullptr);
    ReleaseDeliveryLock(lock);
  }
  if (takenPath[0] != '\0') DeleteFileA(takenPath);  // not filed: no copy stays behind
  ReleasePromptLock(promptLock);
  return 1;
}

// A run started by the printer's port says at once that it holds its print:
// the port's next job may then come, whatever this run's mode.
int RunDelivery(void) {
  HandedPrint handed;
  bool fromPort = ReceiveHandedPrint(GetCommandLineA(), &handed);
  if (fromPort) AnnouncePrintTaken(&handed);
  RunDeliveryFrom(fromPort ? handed.print : INVALID_HANDLE_VALUE);
  if (fromPort) CloseHandle(handed.print);
  return 1;
}
