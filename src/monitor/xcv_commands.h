// The port's answers to XcvData, on plain bytes: the caller's command and
// buffers come through unchecked, so every size is checked here, and this is
// what the fuzz target drives.
#ifndef TOLLIVANE_MONITOR_XCV_COMMANDS_H
#define TOLLIVANE_MONITOR_XCV_COMMANDS_H

#include <stdint.h>

// The Win32 numbers the answers use, spelled out so that this file builds
// without the Windows headers.
enum XcvStatus : uint32_t {
  kXcvSuccess = 0,
  kXcvAccessDenied = 5,          // ERROR_ACCESS_DENIED
  kXcvNotSupported = 50,         // ERROR_NOT_SUPPORTED
  kXcvInvalidParameter = 87,     // ERROR_INVALID_PARAMETER
  kXcvInsufficientBuffer = 122,  // ERROR_INSUFFICIENT_BUFFER
  kXcvAlreadyExists = 183,       // ERROR_ALREADY_EXISTS
  kXcvUnknownPort = 1796,        // ERROR_UNKNOWN_PORT
};

const uint32_t kXcvAdministerAccess = 0x00000001;  // SERVER_ACCESS_ADMINISTER
const uint32_t kXcvMaxCommandUnits = 64;

struct XcvRequest {
  const uint8_t* command;  // UTF-16LE code units, without a terminator
  uint32_t commandBytes;
  const uint8_t* input;  // may be null
  uint32_t inputBytes;
  uint8_t* output;  // may be null
  uint32_t outputBytes;
  uint32_t grantedAccess;  // what the Xcv handle was opened with
};

// Returns the status for XcvData and sets `outputNeeded`; writes no more
// than `outputBytes` into `output`.
uint32_t AnswerXcvCommand(const XcvRequest* request, uint32_t* outputNeeded);

// True when the UTF-16LE `name` (without terminator) is the monitor's port,
// compared as Windows compares port names, ignoring ASCII case.
bool IsOurPortName(const uint8_t* name, uint32_t nameBytes);

#endif
