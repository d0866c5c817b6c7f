// Fuzzes what the port monitor parses from its callers: XcvData's command
// and buffers, and the names of files found beside the spool file. The
// input is: one byte of granted access, one byte of command length, the
// command, one byte of output size, then the input buffer. Checked: nothing
// is written past the stated output size, the needed size is told when the
// answer does not fit, and a name taken for a job file has a job file's shape.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "monitor/job_file_name.h"
#include "monitor/xcv_commands.h"

namespace {

const uint8_t kGuard = 0xA5;

void Require(bool condition, const char* what) {
  if (condition) return;
  fprintf(stderr, "fuzz check failed: %s\n", what);
  abort();
}

void FuzzXcv(const uint8_t* data, size_t size) {
  if (size < 3) return;
  uint32_t access = data[0];
  size_t commandBytes = data[1];
  if (size < 2 + commandBytes + 1) return;
  // Copies, so that the sanitizer sees a read past either buffer.
  std::vector<uint8_t> command(data + 2, data + 2 + commandBytes);
  uint32_t outputBytes = data[2 + commandBytes];
  std::vector<uint8_t> input(data + 3 + commandBytes, data + size);
  std::vector<uint8_t> output(outputBytes + 16, kGuard);
  XcvRequest request = {command.data(),
                        static_cast<uint32_t>(command.size()),
                        input.empty() ? nullptr : input.data(),
                        static_cast<uint32_t>(input.size()),
                        outputBytes == 0 ? nullptr : output.data(),
                        outputBytes,
                        access};
  uint32_t needed = 0;
  uint32_t status = AnswerXcvCommand(&request, &needed);
  for (size_t i = outputBytes; i < output.size(); ++i) Require(output[i] == kGuard, "write past the output size");
  if (status == kXcvInsufficientBuffer) Require(needed > outputBytes, "too small, but the needed size fits");
  if (status == kXcvSuccess) Require(needed <= outputBytes, "success with more needed than given");
  if (status == kXcvSuccess && outputBytes >= 4) Require(output[0] <= 1, "PortExists answers 0 or 1");
}

void FuzzJobFileName(const uint8_t* data, size_t size) {
  std::vector<char> name(data, data + size);
  name.push_back('\0');
  if (!IsJobFileName(name.data())) return;
  Require(strlen(name.data()) == kJobFileNameSize - 2, "a job file name of another length");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzXcv(data, size);
  FuzzJobFileName(data, size);
  return 0;
}
