// The settings of one delivery, read from the fixed settings file, and the
// cleaning of the values that become parts of a file name.
#ifndef TOLLIVANE_DELIVERY_SETTINGS_H
#define TOLLIVANE_DELIVERY_SETTINGS_H

#include "platform/platform.h"

enum {
  kTextBufferSize = 256,
  kProfileReadCapacity = 255,
  kReservedCharCount = 9,
};

// Where the print pipeline leaves each print for the program.
extern const char kSpoolFilePath[];
extern const char kSettingsSection[];
extern const char kCounterKey[];

struct JobSettings {
  char outputDir[kTextBufferSize];
  char extension[kTextBufferSize];
  char namePrefix[kTextBufferSize];
  int promptEachPrint;
  int lastNumber;
  char logFile[MAX_PATH];  // the full path; empty: no log
};

extern char ReservedCharSet[kReservedCharCount + 1];

int InitReservedChars(void);
int StripReservedChars(char* text);
int GetSettingsFilePath(char* path);
int ReadJobSettings(JobSettings* job, char* settingsPath);

// DefaultDir and LogFile may name the printing user's environment
// variables (%USERPROFILE%\Documents\Prints), so that one settings file
// gives each user a folder of their own. Each %NAME% that is defined is
// replaced by its value; anything else stays as it is. False, with `value`
// copied unchanged, when the expansion would not fit in `size`.
bool ExpandUserVariables(const char* value, char* expanded, int size);

#endif
