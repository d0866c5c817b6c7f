// The port's rules on plain bytes: XcvData answers with every buffer size,
// the names of job files, and the setup's command line.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "monitor/job_file_name.h"
#include "monitor/xcv_commands.h"
#include "setup/setup_arguments.h"

namespace {

std::vector<uint8_t> Utf16(const std::string& text, bool terminated) {
  std::vector<uint8_t> bytes;
  for (char c : text) {
    bytes.push_back(static_cast<uint8_t>(c));
    bytes.push_back(0);
  }
  if (terminated) bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

TEST(XcvCommandTest, AnswersCheckSizesRightsAndTermination) {
  const uint32_t admin = kXcvAdministerAccess;
  const struct {
    const char* command;
    const char* input;  // null: no input buffer
    bool terminated;
    uint32_t outputBytes;
    uint32_t access;
    uint32_t status;
    uint32_t needed;
    uint8_t firstOutputByte;
  } cases[] = {
      {"MonitorUI", nullptr, false, 64, admin, kXcvNotSupported, 0, 0xEE},
      {"PortExists", "TOLLIVANE:", true, 4, 0, kXcvSuccess, 4, 1},
      {"PortExists", "Tollivane:", true, 8, 0, kXcvSuccess, 4, 1},
      {"PortExists", "TOLLIVANE", true, 4, 0, kXcvSuccess, 4, 0},
      {"PortExists", "TOLLIVANE:X", true, 4, 0, kXcvSuccess, 4, 0},
      {"PortExists", "TOLLIVANE:", true, 3, 0, kXcvInsufficientBuffer, 4, 0xEE},
      {"PortExists", "TOLLIVANE:", true, 0, 0, kXcvInsufficientBuffer, 4, 0xEE},
      {"PortExists", "TOLLIVANE:", false, 4, 0, kXcvInvalidParameter, 0, 0xEE},
      {"PortExists", nullptr, false, 4, 0, kXcvInvalidParameter, 0, 0xEE},
      {"AddPort", "TOLLIVANE:", true, 0, admin, kXcvAlreadyExists, 0, 0xEE},
      {"AddPort", "COM9:", true, 0, admin, kXcvNotSupported, 0, 0xEE},
      {"AddPort", "COM9:", true, 0, 0, kXcvAccessDenied, 0, 0xEE},
      {"AddPort", "COM9:", false, 0, admin, kXcvInvalidParameter, 0, 0xEE},
      {"DeletePort", "tollivane:", true, 0, admin, kXcvNotSupported, 0, 0xEE},
      {"DeletePort", "TOLLIVANE:", true, 0, 0, kXcvAccessDenied, 0, 0xEE},
      {"DeletePort", "LPT1:", true, 0, admin, kXcvUnknownPort, 0, 0xEE},
      {"portexists", "TOLLIVANE:", true, 4, 0, kXcvInvalidParameter, 0, 0xEE},
      {"PortExistsX", "TOLLIVANE:", true, 4, 0, kXcvInvalidParameter, 0, 0xEE},
      {"", nullptr, false, 4, admin, kXcvInvalidParameter, 0, 0xEE},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> command = Utf16(c.command, false);
    std::vector<uint8_t> input = c.input != nullptr ? Utf16(c.input, c.terminated) : std::vector<uint8_t>();
    // One guard byte past the stated size catches a write beyond it.
    std::vector<uint8_t> output(c.outputBytes + 1, 0xEE);
    XcvRequest request = {command.data(),
                          static_cast<uint32_t>(command.size()),
                          c.input != nullptr ? input.data() : nullptr,
                          static_cast<uint32_t>(input.size()),
                          output.data(),
                          c.outputBytes,
                          c.access};
    uint32_t needed = 99;
    SCOPED_TRACE(std::string(c.command) + " " + (c.input != nullptr ? c.input : "(no input)"));
    EXPECT_EQ(c.status, AnswerXcvCommand(&request, &needed));
    EXPECT_EQ(c.needed, needed);
    EXPECT_EQ(c.firstOutputByte, output[0]);
    EXPECT_EQ(0xEE, output[c.outputBytes]);
  }
}

TEST(XcvCommandTest, OverlongCommandAndNullBuffersAreRefused) {
  std::vector<uint8_t> command = Utf16(std::string(kXcvMaxCommandUnits + 1, 'A'), false);
  XcvRequest request = {command.data(), static_cast<uint32_t>(command.size()), nullptr, 0, nullptr, 0, 0};
  uint32_t needed = 0;
  EXPECT_EQ(kXcvInvalidParameter, AnswerXcvCommand(&request, &needed));
  std::vector<uint8_t> exists = Utf16("PortExists", false);
  std::vector<uint8_t> port = Utf16("TOLLIVANE:", true);
  request = {exists.data(),
             static_cast<uint32_t>(exists.size()),
             port.data(),
             static_cast<uint32_t>(port.size()),
             nullptr,
             4,
             0};
  EXPECT_EQ(kXcvInsufficientBuffer, AnswerXcvCommand(&request, &needed));
  request.command = nullptr;
  EXPECT_EQ(kXcvInvalidParameter, AnswerXcvCommand(&request, &needed));
}

TEST(JobFileNameTest, NamesAreRecognisedAndLookAlikesAreNot) {
  const uint8_t random[kJobFileRandomBytes] = {0x00, 0x01, 0x2a, 0x7f, 0x80, 0xab, 0xcd, 0xef,
                                               0xff, 0x10, 0x32, 0x54, 0x76, 0x98, 0xba, 0xdc};
  char name[kJobFileNameSize + 1];
  memset(name, 'x', sizeof name);
  FormatJobFileName(random, name);
  EXPECT_STREQ("File.pdf.00012a7f80abcdefff1032547698badc.job", name);
  EXPECT_EQ('x', name[kJobFileNameSize]);
  EXPECT_TRUE(IsJobFileName(name));
  EXPECT_TRUE(IsJobFileName("FILE.PDF.00012A7F80ABCDEFFF1032547698BADC.JOB"));
  for (const char* other :
       {"File.pdf", "File.pdf.00012a7f80abcdefff1032547698badc.job.tmp", "File.pdf.00012a7f80abcdefff1032547698badc.jo",
        "File.pdf.00012a7f80abcdefff1032547698badg.job", "File.pdf.00012a7f80abcdefff1032547698bad.job",
        "File.pdf.0000002a-0000000b.job", "File002.pdf", "Copy of File.pdf.00012a7f80abcdefff1032547698badc.job", ""})
    EXPECT_FALSE(IsJobFileName(other)) << other;
}

TEST(SetupArgumentsTest, InstallUninstallAndEverythingElse) {
  const struct {
    std::vector<const wchar_t*> arguments;
    SetupAction action;
    const wchar_t* driver;
  } cases[] = {
      {{L"setup", L"install"}, kSetupInstall, kDefaultPrinterDriver},
      {{L"setup", L"INSTALL", L"--driver", L"Test PS"}, kSetupInstall, L"Test PS"},
      {{L"setup", L"uninstall"}, kSetupUninstall, nullptr},
      {{L"setup"}, kSetupUsage, nullptr},
      {{L"setup", L"install", L"--driver"}, kSetupUsage, nullptr},
      {{L"setup", L"install", L"--driver", L""}, kSetupUsage, nullptr},
      {{L"setup", L"install", L"--drivers", L"X"}, kSetupUsage, nullptr},
      {{L"setup", L"uninstall", L"now"}, kSetupUsage, nullptr},
      {{L"setup", L"remove"}, kSetupUsage, nullptr},
  };
  for (const auto& c : cases) {
    SetupArguments parsed = ParseSetupArguments(static_cast<int>(c.arguments.size()), c.arguments.data());
    EXPECT_EQ(c.action, parsed.action) << (&c - cases);
    if (c.driver != nullptr) {
      EXPECT_EQ(0, wcscmp(c.driver, parsed.driver)) << (&c - cases);
    }
  }
}

}  // namespace
