// The program's own temporary files, "tlv<process>-<number>.tmp": a copy
// being written, or a print taken at start. The process in the name lets a
// later run tell a file whose run is gone from one still in use.
#ifndef TOLLIVANE_DELIVERY_TEMP_FILES_H
#define TOLLIVANE_DELIVERY_TEMP_FILES_H

#include "platform/platform.h"

// "tlv" + eight hex digits + "-" + four hex digits + ".tmp", and a backslash.
const int kTempNameRoom = 21;

void FormatTempFileName(DWORD processId, unsigned sequence, char* name);

// True for a name FormatTempFileName could have written; gives its process.
bool ParseTempFileName(const char* name, DWORD* processId);

// A file's run is gone when its process has ended or is not found; one that
// cannot be looked at (another user's: ERROR_ACCESS_DENIED) counts as
// running. File times cannot tell a reused process number (a copy keeps its
// source's times): a file whose number now names another live process is
// kept until that one ends, which never loses a print.
bool IsTempOfGoneRun(bool processRunning, DWORD openError);

// Creates a new, empty temporary file in `folder`; its path in `path`
// (MAX_PATH). False, with the error set, when it could not.
bool CreateTempFileIn(const char* folder, char* path);

// Deletes the temporary files in `folder` whose runs are gone.
void RemoveAbandonedTempFiles(const char* folder);

#endif
