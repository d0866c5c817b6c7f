// Fuzzes the settings reading, the cleaning and the free-name search: the
// input is a settings file, a zero byte, then names (zero-separated) that
// exist in the output folder. Checked: every value stays terminated inside
// its buffer and cleaned, the search ends, it agrees with testing every name,
// and a name it returns fits MAX_PATH and does not exist.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "delivery/delivery.h"

namespace {

const char kOutputDir[] = "C:\\fuzz\\out";
const size_t kMaxNames = 64;
const size_t kMaxNameLength = 255;

std::string driveC;

void Require(bool condition, const char* what) {
  if (condition) return;
  fprintf(stderr, "fuzz check failed: %s\n", what);
  abort();
}

// Values read keep at most 254 characters; the extension may reach 255 with
// the dot put in front of it.
void RequireTerminatedClean(const char* value, bool cleaned, const char* what, size_t longest = kTextBufferSize - 2) {
  size_t length = strnlen(value, kTextBufferSize);
  Require(length <= longest, what);
  if (cleaned) Require(strpbrk(value, "/\\:*?\"<>|") == nullptr, what);
}

// Names with a path separator, "." and ".." are not names in one folder.
bool UsableName(const std::string& name) {
  return !name.empty() && name.size() <= kMaxNameLength && name.find('/') == std::string::npos && name != "." &&
         name != "..";
}

void MakeOutputFolder(const uint8_t* data, size_t size) {
  std::filesystem::path folder = driveC + "/fuzz/out";
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  std::filesystem::create_directories(folder, ignored);
  size_t made = 0;
  for (size_t begin = 0; begin < size && made < kMaxNames; ++made) {
    const void* zero = memchr(data + begin, 0, size - begin);
    size_t end = zero != nullptr ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - data) : size;
    std::string name(reinterpret_cast<const char*>(data + begin), end - begin);
    begin = end + 1;
    if (!UsableName(name)) continue;
    // A leading '+' makes a folder, which counts as taken just as a file does.
    if (name[0] == '+')
      std::filesystem::create_directory(folder / name.substr(1), ignored);
    else
      std::ofstream(folder / name).put('x');
  }
}

void CheckSearch(const JobSettings* job, int below) {
  char listed[MAX_PATH + 1];
  char checked[MAX_PATH + 1];
  listed[MAX_PATH] = checked[MAX_PATH] = '#';
  int listedNumber = 0, checkedNumber = 0;
  int listedResult = SearchFreeName(job, below, listed, &listedNumber);
  int checkedResult = SearchFreeNameByChecks(job, below, checked, &checkedNumber);
  Require(listed[MAX_PATH] == '#' && checked[MAX_PATH] == '#', "a search wrote past its path buffer");
  Require(listedResult == checkedResult, "the two searches disagree on the result");
  Require(strcmp(listed, checked) == 0, "the two searches disagree on the name");
  if (listedResult != kFreeNameFound) {
    Require(listed[0] == '\0', "a failed search left a path");
    return;
  }
  Require(listedNumber == checkedNumber && listedNumber > below, "the two searches disagree on the number");
  Require(strlen(listed) < MAX_PATH, "the name does not fit MAX_PATH");
  Require(!PathFileExistsA(listed), "the name found exists");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static char scratch[] = "/tmp/tollivane-fuzz-XXXXXX";
  Require(mkdtemp(scratch) != nullptr, "no scratch folder");
  driveC = scratch;
  HostMapDrive('C', scratch);
  std::filesystem::create_directories(driveC + "/Kestrin/Print/Config");
  InitReservedChars();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const void* zero = memchr(data, 0, size);
  size_t settingsSize = zero != nullptr ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - data) : size;
  std::ofstream(driveC + "/Kestrin/Print/Config/Kestrin.ini", std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(settingsSize));
  size_t namesBegin = settingsSize < size ? settingsSize + 1 : size;
  MakeOutputFolder(data + namesBegin, size - namesBegin);

  JobSettings job;
  char settingsPath[MAX_PATH];
  ReadJobSettings(&job, settingsPath);
  RequireTerminatedClean(job.outputDir, false, "folder");
  RequireTerminatedClean(job.extension, true, "extension", kTextBufferSize - 1);
  Require(job.extension[0] == '.', "extension without its dot");
  RequireTerminatedClean(job.namePrefix, true, "prefix");
  Require(strnlen(job.logFile, MAX_PATH) < MAX_PATH, "log file");

  // The names were made in the fuzzer's own folder; search there.
  lstrcpynA(job.outputDir, kOutputDir, kTextBufferSize);
  CheckSearch(&job, job.lastNumber);
  return 0;
}
