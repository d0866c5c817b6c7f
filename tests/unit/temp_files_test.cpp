// The program's temporary files: their names, and which ones a later run
// removes (those of runs that are gone) and keeps (a run still in progress,
// another machine's young file, and anything that is not the program's).
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "delivery/temp_files.h"
#include "delivery_fixture.h"

namespace {

using TempFilesTest = DeliveryTest;

std::string ThisMachineTag() {
  char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof computer;
  EXPECT_TRUE(GetComputerNameA(computer, &size));
  char tag[kMachineTagSize];
  MakeMachineTag(computer, tag);
  return tag;
}

TEST(TempFileNameTest, NamesCarryTheirProcessAndMachine) {
  const struct {
    const char* computer;
    const char* tag;
  } machines[] = {
      {"PC-OFFICE1", "PC-OFFICE1"},
      {"pc-office1", "PC-OFFICE1"},
      {"PC_1", "PC_5F1"},
      {"PC#1", "PC_231"},
      {"", "_"},
      {"ABCDEFGHIJKLMNOPQ", "ABCDEFGHIJKLMNO"},
      {"A.B", "A_2EB"},
  };
  for (const auto& m : machines) {
    char tag[kMachineTagSize];
    MakeMachineTag(m.computer, tag);
    EXPECT_STREQ(m.tag, tag) << m.computer;
  }
  char longest[kMachineTagSize];
  MakeMachineTag("###############", longest);
  EXPECT_EQ(kMachineTagSize - 1, static_cast<int>(strlen(longest)));

  char name[kTempNameSize];
  FormatTempFileName(0x1234abcd, 0x10007, "PC-OFFICE1", name);
  EXPECT_STREQ("tlv1234abcd-0007.PC-OFFICE1.tmp", name);
  FormatTempFileName(0xffffffff, 0xffff, longest, name);
  EXPECT_EQ(kTempNameSize - 1, static_cast<int>(strlen(name)));
  DWORD processId = 0;
  char tag[kMachineTagSize];
  EXPECT_TRUE(ParseTempFileName(name, &processId, tag));
  EXPECT_STREQ(longest, tag);
  EXPECT_TRUE(ParseTempFileName("TLV0000002A-FFFF.pc_5f1.TMP", &processId, tag));
  EXPECT_EQ(42u, processId);
  EXPECT_STREQ("PC_5F1", tag);
  // An older program's names, and anything else, are not this program's.
  for (const char* other : {"tlv0000002a-ffff.tmp", "tlv38c.tmp", "tlv0000002a-ffff.PC1.tmp.pdf",
                            "tlv0000002a_ffff.PC1.tmp", "tlv0000002g-ffff.PC1.tmp", "tlv0000002a-ffff..tmp",
                            "tlv0000002a-ffff.PC 1.tmp", "tlv0000002a-ffff.PC_1.tmp", "File002.pdf", ""})
    EXPECT_FALSE(ParseTempFileName(other, &processId, tag)) << other;
}

TEST(TempFileNameTest, OnlyFilesOfGoneRunsAreAbandoned) {
  const long long kDay = kForeignTempAgeSeconds;
  const struct {
    TempFileFacts facts;
    bool abandoned;
    const char* what;
  } cases[] = {
      {{true, false, ERROR_INVALID_PARAMETER, 0}, true, "no such process here"},
      {{true, false, 0, 5 * kDay}, true, "the process has ended"},
      {{true, false, ERROR_ACCESS_DENIED, 5 * kDay}, false, "another user's process"},
      {{true, true, 0, 5 * kDay}, false, "a run still in progress, however old its file"},
      {{false, false, 0, 0}, false, "another machine's file just made"},
      {{false, false, 0, kDay - 1}, false, "another machine's file of yesterday"},
      {{false, false, 0, kDay}, true, "another machine's file untouched for a day"},
      {{false, false, 0, -3600}, false, "another machine's file from a clock ahead"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.abandoned, IsAbandonedTempFile(&c.facts)) << c.what;
}

TEST_F(TempFilesTest, ARunRemovesOnlyTheFilesOfRunsThatAreGone) {
  std::string machine = ThisMachineTag();
  char own[kTempNameSize];
  char gone[kTempNameSize];
  char otherMachine[kTempNameSize];
  FormatTempFileName(GetCurrentProcessId(), 1, machine.c_str(), own);
  FormatTempFileName(0x7FFFFFF0, 1, machine.c_str(), gone);  // no process has such a number
  // Another machine's, whose process number means nothing here: young, kept.
  FormatTempFileName(0x7FFFFFF0, 1, "OTHER-PC", otherMachine);
  for (std::string name : {std::string(own), std::string(gone), std::string(otherMachine), std::string("tlv38c.tmp"),
                           std::string("tlv7ffffff0-0001.tmp"), std::string("File002.pdf")})
    WriteTextFile(Out(name), "part of a print");
  RemoveAbandonedTempFiles(kTestOutputDir);
  std::vector<std::string> left = ListFolder(kTestOutputDir);
  std::sort(left.begin(), left.end());
  std::vector<std::string> expected = {"File002.pdf", own, otherMachine, "tlv38c.tmp", "tlv7ffffff0-0001.tmp"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, left);
}

// The counter is written through a new file in the settings folder: a run
// killed before its rename leaves one there, which the next write removes.
TEST_F(TempFilesTest, TheCounterWriteLeavesNoTemporaryFileInTheSettingsFolder) {
  std::string machine = ThisMachineTag();
  char gone[kTempNameSize];
  FormatTempFileName(0x7FFFFFF0, 2, machine.c_str(), gone);
  WriteTextFile(std::string("C:\\Kestrin\\Print\\Config\\") + gone, "[Tarvold]\r\nFileNameCounter=9\r\n");
  WriteAutomaticSettings("1");
  RunDelivery();
  EXPECT_EQ("2", ReadSetting("FileNameCounter"));
  EXPECT_EQ(std::vector<std::string>{"Kestrin.ini"}, ListFolder("C:\\Kestrin\\Print\\Config"));
}

TEST_F(TempFilesTest, NewTemporaryFilesAreEmptyAndDistinct) {
  char first[MAX_PATH];
  char second[MAX_PATH];
  ASSERT_TRUE(CreateTempFileIn(kTestOutputDir, first));
  ASSERT_TRUE(CreateTempFileIn(kTestOutputDir, second));
  EXPECT_STRNE(first, second);
  EXPECT_EQ("", ReadTextFile(first));
  EXPECT_FALSE(CreateTempFileIn("C:\\TollivaneTest\\missing", first));
  EXPECT_STREQ("", first);
}

}  // namespace
