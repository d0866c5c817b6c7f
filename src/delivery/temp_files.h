// The program's own temporary files, "tlv<process>-<number>.<machine>.tmp":
// a copy being written, or a print taken at start. The process and the
// machine in the name let a later run tell a file whose run is gone from one
// still in use, also in a folder that several PCs file into.
#ifndef TOLLIVANE_DELIVERY_TEMP_FILES_H
#define TOLLIVANE_DELIVERY_TEMP_FILES_H

#include "platform/platform.h"

// A computer name as it goes into a name: letters (in upper case), digits
// and '-' kept, any other byte written as "_XX", so that two machines never
// share a tag. 15 characters (a NetBIOS name) at most, escaped.
const int kMachineTagSize = 3 * 15 + 1;
// "tlv" + eight hex digits + "-" + four hex digits + "." + the tag + ".tmp".
const int kTempNameSize = 3 + 8 + 1 + 4 + 1 + (kMachineTagSize - 1) + 4 + 1;

// The tag of `computerName`; the first 15 characters count.
void MakeMachineTag(const char* computerName, char* tag);

void FormatTempFileName(DWORD processId, unsigned sequence, const char* machineTag, char* name);

// True for a name FormatTempFileName could have written; gives its process
// and machine tag (kMachineTagSize).
bool ParseTempFileName(const char* name, DWORD* processId, char* machineTag);

// What a run knows of a temporary file it found.
struct TempFileFacts {
  bool ownMachine;       // made on this machine
  bool processRunning;   // this machine's: its process still runs
  DWORD openError;       // this machine's: why its process could not be looked at
  long long ageSeconds;  // since it was last created or written; negative when in the future
};

// A file of this machine's run is abandoned when its process has ended or is
// not found; one that cannot be looked at (another user's:
// ERROR_ACCESS_DENIED) counts as running. File times cannot tell a reused
// process number (a copy keeps its source's times): a file whose number now
// names another live process is kept until that one ends, which never loses
// a print. Another machine's processes cannot be looked at from here: its
// file is abandoned only once nothing has touched it for a day, far beyond
// any run's copy and beyond the minutes machines' clocks differ by.
bool IsAbandonedTempFile(const TempFileFacts* facts);

const long long kForeignTempAgeSeconds = 24 * 60 * 60;

// Creates a new, empty temporary file in `folder`; its path in `path`
// (MAX_PATH). False, with the error set, when it could not.
bool CreateTempFileIn(const char* folder, char* path);

// Deletes the temporary files in `folder` whose runs are gone.
void RemoveAbandonedTempFiles(const char* folder);

#endif
