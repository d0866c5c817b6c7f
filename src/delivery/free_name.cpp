// The free-name search. Testing every taken name costs a round trip each on a
// network share, and prompt mode never moves the counter, so the folder is
// listed once instead and the numbers its names take are marked; the first
// unmarked number is still confirmed by an existence test, which has the last
// word, so the result is the one the test of every name would give.
#include "delivery/free_name.h"

#include <limits.h>

#include "delivery/number_text.h"

namespace {

// Numbers marked per listing of the folder (a 4 KiB bitmap); a folder with
// more taken in a row is listed again for the next range.
const int kRangeSize = 32768;

struct NumberRange {
  long long first;  // the range is first .. first + count - 1
  int count;
  unsigned char taken[kRangeSize / 8];
};

bool ComposeName(const JobSettings* job, int number, char* name) {
  lstrcpynA(name, job->namePrefix, MAX_PATH);
  int prefixLength = lstrlenA(name);
  if (prefixLength != lstrlenA(job->namePrefix)) return false;
  if (FormatNumberText(number, 3, name + prefixLength, MAX_PATH - prefixLength) < 0) return false;
  if (*PathFindExtensionA(name) != '\0') return true;
  return PathAddExtensionA(name, job->extension) != FALSE;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Only ASCII letters are folded: a name that matches in a wider folding is
// left to the existence test rather than marked on a guess.
bool SameNameIgnoringCase(const char* a, const char* b) {
  for (; *a != '\0' && LowerAscii(*a) == LowerAscii(*b); ++a, ++b) {
  }
  return *a == '\0' && *b == '\0';
}

bool StartsWithIgnoringCase(const char* text, const char* start) {
  for (; *start != '\0'; ++text, ++start)
    if (LowerAscii(*text) != LowerAscii(*start)) return false;
  return true;
}

// The number a listed name would be composed from: the digits after the
// prefix, read as an int. The caller composes that number's name and
// compares, which settles padding, sign and extension exactly.
bool ReadNumberAfterPrefix(const char* listedName, int prefixLength, int* number) {
  const char* c = listedName + prefixLength;
  bool negative = *c == '-';
  if (negative) ++c;
  long long value = 0;
  int digits = 0;
  for (; *c >= '0' && *c <= '9'; ++c) {
    if (++digits > 10) return false;
    value = value * 10 + (*c - '0');
  }
  if (digits == 0) return false;
  if (negative) value = -value;
  if (value < INT_MIN || value > INT_MAX) return false;
  *number = static_cast<int>(value);
  return true;
}

bool IsMarked(const NumberRange* range, long long number) {
  long long at = number - range->first;
  return (range->taken[at / 8] & (1u << (at % 8))) != 0;
}

void Mark(NumberRange* range, long long number) {
  long long at = number - range->first;
  range->taken[at / 8] = static_cast<unsigned char>(range->taken[at / 8] | (1u << (at % 8)));
}

// Windows drops trailing dots and spaces from a name, so a composed
// "File002." names the file File002: that is the name a listing shows.
void DropTrailingDotsAndSpaces(char* name) {
  int length = lstrlenA(name);
  while (length > 0 && (name[length - 1] == '.' || name[length - 1] == ' ')) name[--length] = '\0';
}

void MarkIfNumberedName(const JobSettings* job, int prefixLength, const char* listedName, NumberRange* range) {
  if (listedName[0] == '\0' || !StartsWithIgnoringCase(listedName, job->namePrefix)) return;
  int number = 0;
  if (!ReadNumberAfterPrefix(listedName, prefixLength, &number)) return;
  if (number < range->first || number >= range->first + range->count) return;
  char name[MAX_PATH];
  if (!ComposeName(job, number, name)) return;
  DropTrailingDotsAndSpaces(name);
  if (SameNameIgnoringCase(listedName, name)) Mark(range, number);
}

// Marks every number in the range whose name is listed in the output folder.
// Short (8.3) names are not looked at: a composed name that only a short name
// takes is found taken by the existence test. False when the folder cannot
// be listed; an empty folder is fine.
bool MarkListedNumbers(const JobSettings* job, NumberRange* range) {
  char pattern[MAX_PATH];
  lstrcpynA(pattern, job->outputDir, MAX_PATH);
  if (!PathAppendA(pattern, "*")) return false;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  int prefixLength = lstrlenA(job->namePrefix);
  do {
    MarkIfNumberedName(job, prefixLength, found.cFileName, range);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return true;
}

void StartRange(NumberRange* range, long long first) {
  range->first = first;
  long long left = static_cast<long long>(INT_MAX) - first + 1;
  range->count = left < kRangeSize ? static_cast<int>(left) : kRangeSize;
  for (unsigned char& byte : range->taken) byte = 0;
}

// A name that does not fit ends the search, as it would when every number is
// tested in turn; digits alone never change whether a name fits, so the
// folder-and-name check is redone only when the name's length changes.
int SearchRange(const JobSettings* job, const NumberRange* range, char* candidatePath, int* number) {
  int checkedLength = -1;
  for (long long n = range->first; n < range->first + range->count; ++n) {
    int current = static_cast<int>(n);
    if (IsMarked(range, n)) {
      char name[MAX_PATH];
      if (!ComposeName(job, current, name)) return kNameDoesNotFit;
      if (lstrlenA(name) == checkedLength) continue;
      if (!ComposeCandidatePath(job, current, candidatePath)) return kNameDoesNotFit;
      checkedLength = lstrlenA(name);
      continue;
    }
    if (!ComposeCandidatePath(job, current, candidatePath)) return kNameDoesNotFit;
    if (!PathFileExistsA(candidatePath)) {
      *number = current;
      return kFreeNameFound;
    }
  }
  return kNoNumberLeft;
}

int Fail(int result, char* candidatePath) {
  candidatePath[0] = '\0';
  return result;
}

}  // namespace

bool ComposeCandidatePath(const JobSettings* job, int number, char* candidatePath) {
  char name[MAX_PATH];
  if (!ComposeName(job, number, name)) return false;
  lstrcpynA(candidatePath, job->outputDir, MAX_PATH);
  return PathAppendA(candidatePath, name) != FALSE;
}

int SearchFreeNameByChecks(const JobSettings* job, int below, char* candidatePath, int* number) {
  for (int n = below; n < INT_MAX;) {
    ++n;
    if (!ComposeCandidatePath(job, n, candidatePath)) return Fail(kNameDoesNotFit, candidatePath);
    if (!PathFileExistsA(candidatePath)) {
      *number = n;
      return kFreeNameFound;
    }
  }
  return Fail(kNoNumberLeft, candidatePath);
}

// The first number is tested alone: when the counter is current it is free,
// and a folder full of older prints need not be listed at all.
int SearchFreeName(const JobSettings* job, int below, char* candidatePath, int* number) {
  if (below == INT_MAX) return Fail(kNoNumberLeft, candidatePath);
  if (!ComposeCandidatePath(job, below + 1, candidatePath)) return Fail(kNameDoesNotFit, candidatePath);
  if (!PathFileExistsA(candidatePath)) {
    *number = below + 1;
    return kFreeNameFound;
  }
  NumberRange range;
  for (long long first = static_cast<long long>(below) + 1; first <= INT_MAX; first += range.count) {
    StartRange(&range, first);
    if (first == static_cast<long long>(below) + 1) Mark(&range, first);
    if (!MarkListedNumbers(job, &range)) {
      return SearchFreeNameByChecks(job, static_cast<int>(first - 1), candidatePath, number);
    }
    int result = SearchRange(job, &range, candidatePath, number);
    if (result != kNoNumberLeft) return result == kFreeNameFound ? result : Fail(result, candidatePath);
  }
  return Fail(kNoNumberLeft, candidatePath);
}

int FindFreeName(const JobSettings* job, int below, char* candidatePath, int* number) {
  return SearchFreeName(job, below, candidatePath, number) == kFreeNameFound ? 1 : 0;
}
