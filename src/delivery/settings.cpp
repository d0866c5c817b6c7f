// Reads the five delivery settings with their defaults, and strips the
// characters that Windows forbids in file names from the prefix and extension.
#include "delivery/settings.h"

#include "delivery/settings_file.h"

const char kSpoolFilePath[] = "C:\\Kestrin\\Print\\File.pdf";
const char kSettingsSection[] = "Tarvold";
const char kCounterKey[] = "FileNameCounter";

namespace {

const char kSettingsFolder[] = "C:\\Kestrin\\Print\\Config";
const char kSettingsFileName[] = "Kestrin.ini";

// A present but empty value is replaced by the default as well.
void ReadTextSetting(const SettingsSnapshot* settings, const char* key, const char* fallback, char* value) {
  if (!FindSettingValue(settings, kSettingsSection, key, value, kProfileReadCapacity) || value[0] == '\0')
    lstrcpynA(value, fallback, kTextBufferSize);
}

int ReadIntSetting(const SettingsSnapshot* settings, const char* key) {
  return FindSettingInt(settings, kSettingsSection, key, 1);
}

// Appends `count` characters of `text`; false when they do not fit.
bool AppendPiece(char* out, int size, int* used, const char* text, int count) {
  if (*used + count >= size) return false;
  for (int i = 0; i < count; ++i) out[(*used)++] = text[i];
  out[*used] = '\0';
  return true;
}

enum VariableAppended { kVariableAppended, kVariableUndefined, kVariableTooLong };

// The value of the variable named by `name` (`length` characters), appended.
VariableAppended AppendVariable(char* out, int size, int* used, const char* name, int length) {
  char variable[kTextBufferSize];
  char content[MAX_PATH];
  if (length <= 0 || length >= kTextBufferSize) return kVariableUndefined;
  lstrcpynA(variable, name, length + 1);
  DWORD found = GetEnvironmentVariableA(variable, content, MAX_PATH);
  if (found == 0) return kVariableUndefined;
  if (found >= MAX_PATH || !AppendPiece(out, size, used, content, static_cast<int>(found))) return kVariableTooLong;
  return kVariableAppended;
}

// A log path is taken whole or not at all: one cut to fit would name
// another file, and Windows refuses paths of MAX_PATH characters or more.
void ReadLogPath(const SettingsSnapshot* settings, char* logFile) {
  char value[MAX_PATH + 1];
  if (!FindSettingValue(settings, kSettingsSection, "LogFile", value, MAX_PATH + 1) || lstrlenA(value) >= MAX_PATH)
    value[0] = '\0';
  if (!ExpandUserVariables(value, logFile, MAX_PATH)) logFile[0] = '\0';
}

void EnsureLeadingDot(char* extension) {
  if (extension[0] == '.') return;
  char dotted[kTextBufferSize];
  dotted[0] = '.';
  lstrcpynA(dotted + 1, extension, kTextBufferSize - 1);
  lstrcpynA(extension, dotted, kTextBufferSize);
}

bool IsReservedChar(char c) {
  for (int i = 0; i < kReservedCharCount; ++i)
    if (ReservedCharSet[i] == c) return true;
  return false;
}

}  // namespace

char ReservedCharSet[kReservedCharCount + 1];

int InitReservedChars(void) {
  ReservedCharSet[0] = '/';
  ReservedCharSet[1] = '\\';
  ReservedCharSet[2] = ':';
  ReservedCharSet[3] = '*';
  ReservedCharSet[4] = '?';
  ReservedCharSet[5] = '"';
  ReservedCharSet[6] = '<';
  ReservedCharSet[7] = '>';
  ReservedCharSet[8] = '|';
  return 1;
}

int StripReservedChars(char* text) {
  char kept[kTextBufferSize] = {};
  int keptLength = 0;
  int length = lstrlenA(text);
  for (int i = 0; i < length && keptLength < kTextBufferSize - 1; ++i)
    if (!IsReservedChar(text[i])) kept[keptLength++] = text[i];
  lstrcpynA(text, kept, kTextBufferSize);
  return 1;
}

// The buffer has room for MAX_PATH characters, as PathAppendA requires.
int GetSettingsFilePath(char* path) {
  lstrcpynA(path, kSettingsFolder, MAX_PATH);
  PathAppendA(path, kSettingsFileName);
  return 1;
}

bool ExpandUserVariables(const char* value, char* expanded, int size) {
  int used = 0;
  expanded[0] = '\0';
  for (const char* at = value; *at != '\0';) {
    const char* close = at[0] == '%' ? at + 1 : nullptr;
    while (close != nullptr && *close != '\0' && *close != '%') ++close;
    int nameLength = close != nullptr && *close == '%' ? static_cast<int>(close - at - 1) : -1;
    VariableAppended appended =
        nameLength > 0 ? AppendVariable(expanded, size, &used, at + 1, nameLength) : kVariableUndefined;
    int kept = nameLength > 0 ? nameLength + 2 : 1;
    if (appended == kVariableTooLong ||
        (appended == kVariableUndefined && !AppendPiece(expanded, size, &used, at, kept))) {
      lstrcpynA(expanded, value, size);
      return false;
    }
    at += kept;
  }
  return true;
}

int ReadJobSettings(JobSettings* job, char* settingsPath) {
  GetSettingsFilePath(settingsPath);
  SettingsSnapshot settings = ReadSettingsSnapshot(settingsPath, kSettingsSection);
  char asRead[kTextBufferSize];
  ReadTextSetting(&settings, "DefaultDir", "C:\\", asRead);
  ExpandUserVariables(asRead, job->outputDir, kProfileReadCapacity);
  ReadTextSetting(&settings, "FileExtension", ".pdf", job->extension);
  EnsureLeadingDot(job->extension);
  StripReservedChars(job->extension);
  ReadTextSetting(&settings, "FileNameFormat", "File", job->namePrefix);
  StripReservedChars(job->namePrefix);
  job->promptEachPrint = ReadIntSetting(&settings, "PromptForEachPrint");
  job->lastNumber = ReadIntSetting(&settings, kCounterKey);
  ReadLogPath(&settings, job->logFile);
  return 1;
}
