// The command line is the channel because it is fixed before the run's
// first instruction, and inherited handles keep their values in the child.
#include "delivery/run_handover.h"

#include "platform/platform.h"

namespace {

const char kPrintArgument[] = " --print=";
const char kTakenArgument[] = " --taken=";
const int kMaxHexDigits = 16;

char* AppendText(char* at, char* end, const char* text) {
  for (; *text != '\0'; ++text) {
    if (at == end) return nullptr;
    *at++ = *text;
  }
  return at;
}

char* AppendHex(char* at, char* end, uint64_t value) {
  char digits[kMaxHexDigits];
  int count = 0;
  do {
    digits[count++] = "0123456789abcdef"[value & 0xF];
    value >>= 4;
  } while (value != 0);
  while (count > 0) {
    if (at == end) return nullptr;
    *at++ = digits[--count];
  }
  return at;
}

const char* SkipProgramPath(const char* line) {
  if (*line == '"') {
    ++line;
    while (*line != '\0' && *line != '"') ++line;
    return *line == '"' ? line + 1 : line;
  }
  while (*line != '\0' && *line != ' ' && *line != '\t') ++line;
  return line;
}

bool StartsWith(const char* text, const char* prefix) {
  for (; *prefix != '\0'; ++text, ++prefix)
    if (*text != *prefix) return false;
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// A value ends at a blank or the end of the line; anything else is refused.
const char* ReadHexValue(const char* at, uint64_t* value) {
  *value = 0;
  int digits = 0;
  for (; HexDigit(*at) >= 0; ++at, ++digits) {
    if (digits == kMaxHexDigits) return nullptr;
    *value = (*value << 4) | static_cast<uint64_t>(HexDigit(*at));
  }
  if (digits == 0 || (*at != '\0' && *at != ' ')) return nullptr;
  return at;
}

}  // namespace

bool FormatRunArguments(const RunHandleValues* values, char* text, int size) {
  if (size <= 0) return false;
  char* end = text + size - 1;
  char* at = AppendText(text, end, kPrintArgument);
  if (at != nullptr) at = AppendHex(at, end, values->print);
  if (at != nullptr) at = AppendText(at, end, kTakenArgument);
  if (at != nullptr) at = AppendHex(at, end, values->taken);
  if (at == nullptr) {
    text[0] = '\0';
    return false;
  }
  *at = '\0';
  return true;
}

bool ParseRunArguments(const char* commandLine, RunHandleValues* values) {
  *values = RunHandleValues{};
  if (commandLine == nullptr) return false;
  bool sawPrint = false;
  bool sawTaken = false;
  const char* at = SkipProgramPath(commandLine);
  while (*at != '\0') {
    uint64_t* value = nullptr;
    bool* seen = nullptr;
    const char* argument = nullptr;
    if (StartsWith(at, kPrintArgument)) {
      argument = kPrintArgument;
      value = &values->print;
      seen = &sawPrint;
    } else if (StartsWith(at, kTakenArgument)) {
      argument = kTakenArgument;
      value = &values->taken;
      seen = &sawTaken;
    } else if (*at == ' ' || *at == '\t') {
      ++at;
      continue;
    } else {
      break;
    }
    if (*seen) break;
    *seen = true;
    at = ReadHexValue(at + lstrlenA(argument), value);
    if (at == nullptr) break;
  }
  bool whole = at != nullptr && *at == '\0' && sawPrint && sawTaken && values->print != 0 && values->taken != 0;
  if (!whole) *values = RunHandleValues{};
  return whole;
}

bool ReceiveHandedPrint(const char* commandLine, HandedPrint* handed) {
  RunHandleValues values;
  handed->print = INVALID_HANDLE_VALUE;
  handed->taken = nullptr;
  if (!ParseRunArguments(commandLine, &values)) return false;
  HANDLE print = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(values.print));
  if (GetFileType(print) != FILE_TYPE_DISK) return false;
  handed->print = print;
  handed->taken = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(values.taken));
  return true;
}

void AnnouncePrintTaken(HandedPrint* handed) {
  SetEvent(handed->taken);
  CloseHandle(handed->taken);
  handed->taken = nullptr;
}
