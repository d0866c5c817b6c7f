// The port's rules on plain bytes: XcvData answers with every buffer size,
// the names of job files, the setup's command line, the run's, and tokens
// read whatever their size.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "delivery/run_handover.h"
#include "monitor/job_file_name.h"
#include "monitor/owner_rules.h"
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
    bool shared;
  } cases[] = {
      {{L"setup", L"install"}, kSetupInstall, kDefaultPrinterDriver, false},
      {{L"setup", L"INSTALL", L"--driver", L"Test PS"}, kSetupInstall, L"Test PS", false},
      {{L"setup", L"install", L"--shared"}, kSetupInstall, kDefaultPrinterDriver, true},
      {{L"setup", L"install", L"--Shared", L"--driver", L"Test PS"}, kSetupInstall, L"Test PS", true},
      {{L"setup", L"install", L"--driver", L"Test PS", L"--shared"}, kSetupInstall, L"Test PS", true},
      {{L"setup", L"uninstall"}, kSetupUninstall, nullptr, false},
      {{L"setup"}, kSetupUsage, nullptr, false},
      {{L"setup", L"install", L"--driver"}, kSetupUsage, nullptr, false},
      {{L"setup", L"install", L"--shared", L"--driver"}, kSetupUsage, nullptr, false},
      {{L"setup", L"install", L"--driver", L""}, kSetupUsage, nullptr, false},
      {{L"setup", L"install", L"--drivers", L"X"}, kSetupUsage, nullptr, false},
      {{L"setup", L"install", L"--shared", L"--shared"}, kSetupUsage, nullptr, false},
      {{L"setup", L"install", L"--driver", L"A", L"--driver", L"B"}, kSetupUsage, nullptr, false},
      {{L"setup", L"uninstall", L"--shared"}, kSetupUsage, nullptr, false},
      {{L"setup", L"uninstall", L"now"}, kSetupUsage, nullptr, false},
      {{L"setup", L"remove"}, kSetupUsage, nullptr, false},
  };
  for (const auto& c : cases) {
    SetupArguments parsed = ParseSetupArguments(static_cast<int>(c.arguments.size()), c.arguments.data());
    EXPECT_EQ(c.action, parsed.action) << (&c - cases);
    EXPECT_EQ(c.shared, parsed.shared) << (&c - cases);
    if (c.driver != nullptr) {
      EXPECT_EQ(0, wcscmp(c.driver, parsed.driver)) << (&c - cases);
    }
  }
}

// What the port writes on the run's command line, and what the run reads
// back: only the port's own form, whole, is taken.
TEST(RunHandoverTest, HandlesGoOnTheCommandLineAndComeBackExactly) {
  const RunHandleValues values[] = {{0x4, 0x8}, {0x1a2b, 0xfffc}, {0xffffffffffffffffULL, 0x1}};
  for (const RunHandleValues& v : values) {
    char arguments[kRunArgumentsSize];
    ASSERT_TRUE(FormatRunArguments(&v, arguments, sizeof arguments));
    for (const std::string& program :
         {std::string("\"C:\\Program Files (x86)\\Tollivane\\Tollivane.exe\""), std::string("Tollivane.exe")}) {
      RunHandleValues read = {};
      ASSERT_TRUE(ParseRunArguments((program + arguments).c_str(), &read)) << program + arguments;
      EXPECT_EQ(v.print, read.print);
      EXPECT_EQ(v.taken, read.taken);
    }
  }
  char small[20];
  EXPECT_FALSE(FormatRunArguments(&values[2], small, sizeof small));
  EXPECT_EQ('\0', small[0]);

  for (const char* line :
       {"Tollivane.exe", "\"C:\\x y\\Tollivane.exe\"", "x --print=4", "x --taken=8", "x --print=4 --taken=0",
        "x --print=4 --taken=8 --print=c", "x --print=4 --taken=8 more", "x --print=4G --taken=8",
        "x --print=4 --taken=8x", "x --print= --taken=8", "x --print=10000000000000000 --taken=8",
        "x --PRINT=4 --taken=8", "\"x --print=4 --taken=8\""}) {
    RunHandleValues read = {1, 1};
    EXPECT_FALSE(ParseRunArguments(line, &read)) << line;
    EXPECT_EQ(0u, read.print) << line;
  }
  RunHandleValues read = {};
  EXPECT_TRUE(ParseRunArguments("x  --taken=8 --print=4", &read));
  EXPECT_EQ(4u, read.print);
  EXPECT_FALSE(ParseRunArguments(nullptr, &read));
}

// A token's groups, as GetTokenInformation gives them, for a user in many.
struct GroupsToken {
  uint32_t groups;
  int calls;
  bool growsOnce;  // a group is added between the first two calls
};

bool ReadStandInGroups(void* context, void* buffer, uint32_t size, uint32_t* needed) {
  GroupsToken* token = static_cast<GroupsToken*>(context);
  if (token->growsOnce && token->calls == 1) ++token->groups;
  ++token->calls;
  *needed = 4 + token->groups * 16;
  if (buffer == nullptr || size < *needed) return false;
  uint32_t* words = static_cast<uint32_t*>(buffer);
  words[0] = token->groups;
  for (uint32_t i = 0; i < token->groups; ++i) words[1 + i * 4] = i;
  return true;
}

int allocations;
void* AllocateCounted(uint32_t size) {
  ++allocations;
  return malloc(size);
}
void ReleaseCounted(void* block) {
  --allocations;
  free(block);
}

TEST(TokenReadingTest, ATokenOfAThousandGroupsIsReadWhole) {
  const MemoryFunctions memory = {AllocateCounted, ReleaseCounted};
  for (bool grows : {false, true}) {
    GroupsToken token = {1000, 0, grows};
    allocations = 0;
    void* block = ReadIntoGrownBlock(ReadStandInGroups, &token, 1024 * 1024, &memory);
    ASSERT_NE(nullptr, block);
    const uint32_t* words = static_cast<const uint32_t*>(block);
    EXPECT_EQ(grows ? 1001u : 1000u, words[0]);
    EXPECT_EQ(999u, words[1 + 999 * 4]);
    ReleaseCounted(block);
    EXPECT_EQ(0, allocations) << "a block was lost";
  }
  GroupsToken huge = {100000, 0, false};
  allocations = 0;
  EXPECT_EQ(nullptr, ReadIntoGrownBlock(ReadStandInGroups, &huge, 1024 * 1024, &memory)) << "past the limit";
  EXPECT_EQ(0, allocations);
}

}  // namespace
