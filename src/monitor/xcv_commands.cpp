// MonitorUI, PortExists, AddPort and DeletePort for a monitor with one fixed
// port: there is no UI DLL, no port can be added, and ours is not deleted.
#include "monitor/xcv_commands.h"

namespace {

const char kPortName[] = "TOLLIVANE:";

uint16_t CodeUnitAt(const uint8_t* bytes, uint32_t index) {
  return static_cast<uint16_t>(bytes[2 * index] | (bytes[2 * index + 1] << 8));
}

uint16_t AsciiUpper(uint16_t unit) { return unit >= 'a' && unit <= 'z' ? static_cast<uint16_t>(unit - 32) : unit; }

bool IsCommand(const XcvRequest* request, const char* name) {
  uint32_t units = request->commandBytes / 2;
  uint32_t i = 0;
  for (; name[i] != '\0'; ++i)
    if (i >= units || CodeUnitAt(request->command, i) != static_cast<uint8_t>(name[i])) return false;
  return i == units;
}

// The input must hold a terminated string within its size; returns its
// length in bytes without the terminator, or -1.
int64_t TerminatedInputBytes(const XcvRequest* request) {
  if (request->input == nullptr) return -1;
  uint32_t units = request->inputBytes / 2;
  for (uint32_t i = 0; i < units; ++i)
    if (CodeUnitAt(request->input, i) == 0) return static_cast<int64_t>(i) * 2;
  return -1;
}

uint32_t AnswerPortExists(const XcvRequest* request, uint32_t* outputNeeded) {
  int64_t nameBytes = TerminatedInputBytes(request);
  if (nameBytes < 0) return kXcvInvalidParameter;
  *outputNeeded = 4;
  if (request->output == nullptr || request->outputBytes < 4) return kXcvInsufficientBuffer;
  uint32_t exists = IsOurPortName(request->input, static_cast<uint32_t>(nameBytes)) ? 1 : 0;
  for (int i = 0; i < 4; ++i) request->output[i] = static_cast<uint8_t>(exists >> (8 * i));
  return kXcvSuccess;
}

// Changes to ports need the right to administer, whatever they would change.
uint32_t AnswerPortChange(const XcvRequest* request, bool adding) {
  if ((request->grantedAccess & kXcvAdministerAccess) == 0) return kXcvAccessDenied;
  int64_t nameBytes = TerminatedInputBytes(request);
  if (nameBytes < 0) return kXcvInvalidParameter;
  bool ours = IsOurPortName(request->input, static_cast<uint32_t>(nameBytes));
  if (adding) return ours ? kXcvAlreadyExists : kXcvNotSupported;
  return ours ? kXcvNotSupported : kXcvUnknownPort;
}

}  // namespace

bool IsOurPortName(const uint8_t* name, uint32_t nameBytes) {
  uint32_t units = nameBytes / 2;
  if (name == nullptr || units != sizeof kPortName - 1) return false;
  for (uint32_t i = 0; i < units; ++i)
    if (AsciiUpper(CodeUnitAt(name, i)) != static_cast<uint8_t>(kPortName[i])) return false;
  return true;
}

uint32_t AnswerXcvCommand(const XcvRequest* request, uint32_t* outputNeeded) {
  *outputNeeded = 0;
  if (request->command == nullptr || request->commandBytes > 2 * kXcvMaxCommandUnits) return kXcvInvalidParameter;
  if (IsCommand(request, "MonitorUI")) return kXcvNotSupported;  // no UI DLL: nothing to configure
  if (IsCommand(request, "PortExists")) return AnswerPortExists(request, outputNeeded);
  if (IsCommand(request, "AddPort")) return AnswerPortChange(request, true);
  if (IsCommand(request, "DeletePort")) return AnswerPortChange(request, false);
  return kXcvInvalidParameter;
}
