// The setup's check and the monitor's record on plain facts: protected print
// mode, the spooler's privileges, the record's lines and the queue's status
// text, and the check's command line.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "monitor/job_record.h"
#include "setup/check_rules.h"
#include "setup/setup_arguments.h"

namespace {

TEST(CheckRulesTest, SpoolerPrivilegesThePortNeeds) {
  const char kDefaults[] =
      "SeTcbPrivilege\0SeAssignPrimaryTokenPrivilege\0SeIncreaseQuotaPrivilege\0"
      "SeImpersonatePrivilege\0SeLoadDriverPrivilege\0";
  const char kNoTcb[] = "SeAssignPrimaryTokenPrivilege\0SeIncreaseQuotaPrivilege\0SeImpersonatePrivilege\0";
  const char kPrefixOnly[] = "SeTcb\0SeImpersonatePrivilegeX\0";
  EXPECT_EQ(0u, MissingSpoolerPrivileges(true, nullptr)) << "LocalSystem without a list has them all";
  EXPECT_EQ(0u, MissingSpoolerPrivileges(true, ""));
  EXPECT_EQ(0u, MissingSpoolerPrivileges(true, kDefaults));
  EXPECT_EQ(static_cast<uint32_t>(kPrivilegeTcb), MissingSpoolerPrivileges(true, kNoTcb));
  EXPECT_EQ(kSpoolerPrivilegesNeeded, MissingSpoolerPrivileges(true, kPrefixOnly)) << "names match whole";
  EXPECT_EQ(kSpoolerPrivilegesNeeded, MissingSpoolerPrivileges(false, kDefaults)) << "another account";
  EXPECT_STREQ("SeTcbPrivilege", PrivilegeName(kPrivilegeTcb));
}

TEST(JobRecordTest, RecordSaysWhatEachPortCallSawAndIsAlwaysWholeLines) {
  JobRecordFacts facts = {};
  facts.year = 2026;
  facts.month = 12;
  facts.day = 9;
  facts.hour = 14;
  facts.minute = 3;
  facts.second = 7;
  facts.ownerKnown = true;
  strcpy(facts.ownerSid, "S-1-5-21-1-2-3-1001");
  facts.owner = {kOwnerUser, 2, true, true};
  facts.level = kLevelImpersonation;
  facts.startImpersonating = true;
  facts.monitorInService = true;
  facts.launch = kLaunchedAsOwner;
  facts.tookSignal = true;
  facts.filed = true;
  char text[kJobRecordSize];
  FormatJobRecord(&facts, text, sizeof text);
  EXPECT_STREQ(
      "time: 2026-12-09 14:03:07\r\n"
      "monitor: in a service account's process, session 0\r\n"
      "StartDocPort: the thread impersonated a client\r\n"
      "EndDocPort: the thread ran as the monitor's own account\r\n"
      "owner: S-1-5-21-1-2-3-1001, user, impersonation level, session 2, interactive\r\n"
      "program: started as the owner in the owner's session; it said when it had taken its print\r\n"
      "outcome: handed over\r\n",
      text);

  JobRecordFacts refused = {};
  refused.reason = "job owned by a service account";
  refused.error = 5;
  FormatJobRecord(&refused, text, sizeof text);
  EXPECT_NE(nullptr, strstr(text, "owner: no token\r\n"));
  EXPECT_NE(nullptr, strstr(text, "program: not started\r\n"));
  EXPECT_NE(nullptr, strstr(text, "outcome: not handed over: job owned by a service account (error 5)\r\n"));

  for (int size : {1, 3, 40, 200}) {
    std::string small(static_cast<size_t>(size) + 1, '#');
    FormatJobRecord(&facts, &small[0], size);
    std::string written = small.c_str();
    EXPECT_EQ('#', small[static_cast<size_t>(size)]) << "wrote past " << size;
    EXPECT_LT(written.size(), static_cast<size_t>(size));
    if (size >= 3) {
      EXPECT_EQ("\r\n", written.substr(written.size() - 2)) << size;
    }
  }

  char status[24];
  FormatJobStatus("program missing", status, sizeof status);
  EXPECT_STREQ("Tollivane: program miss", status);
  FormatJobStatus(nullptr, status, sizeof status);
  EXPECT_STREQ("Tollivane: not filed", status);
}

TEST(CheckRulesTest, CheckTakesPrintOrNothing) {
  const wchar_t* check[] = {L"setup", L"CHECK"};
  const wchar_t* print[] = {L"setup", L"check", L"--print"};
  const wchar_t* other[] = {L"setup", L"check", L"--prints"};
  SetupArguments parsed = ParseSetupArguments(2, check);
  EXPECT_EQ(kSetupCheck, parsed.action);
  EXPECT_FALSE(parsed.sendTestPrint);
  parsed = ParseSetupArguments(3, print);
  EXPECT_EQ(kSetupCheck, parsed.action);
  EXPECT_TRUE(parsed.sendTestPrint);
  EXPECT_EQ(kSetupUsage, ParseSetupArguments(3, other).action);
}

TEST(CheckRulesTest, InstallTakesTheIppPrinterAndItsPort) {
  struct Case {
    std::vector<const wchar_t*> words;
    SetupAction action;
    bool ipp;
    int port;
  } cases[] = {
      {{L"install"}, kSetupInstall, false, 8631},
      {{L"install", L"--IPP"}, kSetupInstall, true, 8631},
      {{L"install", L"--ipp", L"--port", L"9100", L"--shared"}, kSetupInstall, true, 9100},
      {{L"install", L"--port", L"65535"}, kSetupInstall, true, 65535},  // a port is the IPP printer's
      {{L"install", L"--ipp", L"--ipp"}, kSetupUsage, false, 8631},
      {{L"install", L"--port", L"0"}, kSetupUsage, false, 8631},
      {{L"install", L"--port", L"65536"}, kSetupUsage, false, 8631},
      {{L"install", L"--port", L"86x1"}, kSetupUsage, false, 8631},
      {{L"install", L"--port"}, kSetupUsage, false, 8631},
      {{L"install", L"--port", L"1", L"--port", L"2"}, kSetupUsage, false, 8631},
  };
  for (const Case& c : cases) {
    std::vector<const wchar_t*> arguments = {L"setup"};
    arguments.insert(arguments.end(), c.words.begin(), c.words.end());
    SetupArguments parsed = ParseSetupArguments(static_cast<int>(arguments.size()), arguments.data());
    EXPECT_EQ(c.action, parsed.action) << c.words.size();
    EXPECT_EQ(c.ipp, parsed.ipp) << c.words.size();
    EXPECT_EQ(c.port, parsed.port) << c.words.size();
  }
}

TEST(CheckRulesTest, CheckLooksOnlyAtFoldersOnLocalDrives) {
  const struct {
    const char* path;
    bool remoteDrive;
    FolderProbe probe;
  } cases[] = {
      {"C:\\Prints", false, kProbeFolder},
      {"d:/Prints", false, kProbeFolder},
      {"P:\\Prints", true, kNotProbedNetwork},
      {"\\\\NOHOST\\prints", false, kNotProbedNetwork},
      {"//NOHOST/prints", false, kNotProbedNetwork},
      {"\\\\?\\UNC\\NOHOST\\prints", false, kNotProbedNetwork},
      {"\\\\?\\unc/NOHOST/prints", false, kNotProbedNetwork},
      {"\\\\?\\C:\\Prints", false, kNotProbedNotLocal},
      {"\\\\.\\pipe\\x", false, kNotProbedNotLocal},
      {"Prints", false, kNotProbedNotLocal},
      {"C:Prints", false, kNotProbedNotLocal},
      {"\\Prints", false, kNotProbedNotLocal},
      {"%USERPROFILE%\\Prints", false, kNotProbedNotLocal},
      {"", false, kNotProbedNotLocal},
  };
  for (const auto& c : cases) EXPECT_EQ(c.probe, DecideFolderProbe(c.path, c.remoteDrive)) << c.path;
  EXPECT_EQ(kNotProbedNotLocal, DecideFolderProbe(nullptr, false));
}

}  // namespace
