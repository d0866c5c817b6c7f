// The program's temporary files: their names, and which ones a later run
// removes (those of runs that are gone) and keeps (a run still in progress,
// and anything that is not the program's).
#include <algorithm>
#include <string>
#include <vector>

#include "delivery/temp_files.h"
#include "delivery_fixture.h"

namespace {

using TempFilesTest = DeliveryTest;

TEST(TempFileNameTest, NamesCarryTheirProcess) {
  char name[kTempNameRoom];
  FormatTempFileName(0x1234abcd, 0x10007, name);
  EXPECT_STREQ("tlv1234abcd-0007.tmp", name);
  DWORD processId = 0;
  EXPECT_TRUE(ParseTempFileName(name, &processId));
  EXPECT_EQ(0x1234abcdu, processId);
  EXPECT_TRUE(ParseTempFileName("TLV0000002A-FFFF.TMP", &processId));
  EXPECT_EQ(42u, processId);
  for (const char* other : {"tlv38c.tmp", "tlv0000002a-ffff.tmp.pdf", "tlv0000002a_ffff.tmp", "tlv0000002g-ffff.tmp",
                            "File002.pdf", "tlv0000002a-fff.tmp", ""})
    EXPECT_FALSE(ParseTempFileName(other, &processId)) << other;
}

TEST(TempFileNameTest, OnlyFilesOfGoneRunsAreAbandoned) {
  EXPECT_TRUE(IsTempOfGoneRun(false, ERROR_INVALID_PARAMETER)) << "no such process";
  EXPECT_TRUE(IsTempOfGoneRun(false, 0)) << "the process has ended";
  EXPECT_FALSE(IsTempOfGoneRun(false, ERROR_ACCESS_DENIED)) << "another user's process";
  EXPECT_FALSE(IsTempOfGoneRun(true, 0)) << "a run still in progress";
}

TEST_F(TempFilesTest, ARunRemovesOnlyTheFilesOfRunsThatAreGone) {
  char own[kTempNameRoom];
  char gone[kTempNameRoom];
  FormatTempFileName(GetCurrentProcessId(), 1, own);
  FormatTempFileName(0x7FFFFFF0, 1, gone);  // no process has such a number
  for (std::string name : {std::string(own), std::string(gone), std::string("tlv38c.tmp"), std::string("File002.pdf")})
    WriteTextFile(Out(name), "part of a print");
  RemoveAbandonedTempFiles(kTestOutputDir);
  std::vector<std::string> left = ListFolder(kTestOutputDir);
  std::sort(left.begin(), left.end());
  std::vector<std::string> expected = {"File002.pdf", own, "tlv38c.tmp"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, left);
}

// The counter is written through a new file in the settings folder: a run
// killed before its rename leaves one there, which the next write removes.
TEST_F(TempFilesTest, TheCounterWriteLeavesNoTemporaryFileInTheSettingsFolder) {
  char gone[kTempNameRoom];
  FormatTempFileName(0x7FFFFFF0, 2, gone);
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
