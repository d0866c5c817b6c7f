// Automatic mode: the copy under the free name, the counter written back only
// after a successful copy, and prints started together that must all be filed.
#include <limits.h>

#include <string>

#include "delivery_fixture.h"
#include "process_helpers.h"

namespace {

using AutomaticDeliveryTest = DeliveryTest;

TEST_F(AutomaticDeliveryTest, FirstPrintIsFiledAsNumberTwo) {
  WriteAutomaticSettings("1");
  EXPECT_EQ(1, RunDelivery());
  EXPECT_EQ(spoolContents, ReadTextFile(Out("File002.pdf")));
  EXPECT_EQ("2", ReadSetting("FileNameCounter"));
  EXPECT_EQ(spoolContents, ReadTextFile(kTestSpoolFile));
}

TEST_F(AutomaticDeliveryTest, TakenNamesAreSteppedOverAndLeftAlone) {
  WriteAutomaticSettings("41");
  WriteTextFile(Out("File042.pdf"), "earlier 42");
  MakeFolders(Out("File043.pdf"));
  RunDelivery();
  EXPECT_EQ(spoolContents, ReadTextFile(Out("File044.pdf")));
  EXPECT_EQ("earlier 42", ReadTextFile(Out("File042.pdf")));
  EXPECT_EQ("44", ReadSetting("FileNameCounter"));
}

TEST_F(AutomaticDeliveryTest, ConsecutivePrintsTakeConsecutiveNumbers) {
  WriteAutomaticSettings("998");
  RunDelivery();
  RunDelivery();
  EXPECT_EQ((std::vector<std::string>{"File1000.pdf", "File999.pdf"}), ListFolder(kTestOutputDir));
  EXPECT_EQ("1000", ReadSetting("FileNameCounter"));
}

TEST_F(AutomaticDeliveryTest, AnyPromptValueButOneIsAutomatic) {
  WriteSettings(std::string("DefaultDir=") + kTestOutputDir + "\r\nPromptForEachPrint=2\r\n");
  RunDelivery();
  EXPECT_EQ(spoolContents, ReadTextFile(Out("File002.pdf")));
  EXPECT_EQ("2", ReadSetting("FileNameCounter"));
}

TEST_F(AutomaticDeliveryTest, NegativeCounterIsWrittenAsPlainNumber) {
  WriteAutomaticSettings("-5");
  RunDelivery();
  EXPECT_TRUE(PathExists(Out("File-004.pdf")));
  EXPECT_EQ("-4", ReadSetting("FileNameCounter"));
}

TEST_F(AutomaticDeliveryTest, MissingSpoolFileDeliversNothing) {
  WriteAutomaticSettings("41");
  RemoveTree(kTestSpoolFile);
  EXPECT_EQ(1, RunDelivery());
  EXPECT_TRUE(ListFolder(kTestOutputDir).empty());
  EXPECT_EQ("41", ReadSetting("FileNameCounter"));
}

TEST_F(AutomaticDeliveryTest, MissingOutputFolderDeliversNothing) {
  WriteSettings("DefaultDir=C:\\TollivaneTest\\absent\r\nPromptForEachPrint=0\r\nFileNameCounter=7\r\n");
  RunDelivery();
  EXPECT_FALSE(PathExists("C:\\TollivaneTest\\absent"));
  EXPECT_EQ("7", ReadSetting("FileNameCounter"));
}

TEST_F(AutomaticDeliveryTest, NameThatDoesNotFitDeliversNothing) {
  WriteAutomaticSettings("7", "FileNameFormat=" + std::string(254, 'p') + "\r\n");
  RunDelivery();
  EXPECT_TRUE(ListFolder(kTestOutputDir).empty());
  EXPECT_EQ("7", ReadSetting("FileNameCounter"));
}

TEST_F(AutomaticDeliveryTest, LargestCounterDeliversNothingAndStaysPut) {
  WriteAutomaticSettings("2147483647");
  RunDelivery();
  EXPECT_TRUE(ListFolder(kTestOutputDir).empty());
  EXPECT_EQ("2147483647", ReadSetting("FileNameCounter"));
}

TEST_F(AutomaticDeliveryTest, MissingCounterKeyIsCreated) {
  WriteSettings(std::string("DefaultDir=") + kTestOutputDir + "\r\nPromptForEachPrint=0\r\n");
  RunDelivery();
  EXPECT_TRUE(PathExists(Out("File002.pdf")));
  EXPECT_EQ("2", ReadSetting("FileNameCounter"));
  EXPECT_EQ(kTestOutputDir, ReadSetting("DefaultDir"));
}

// Prints started at one moment, each in its own process: every one is filed
// in the output folder under a name of its own, none overwritten.
TEST_F(AutomaticDeliveryTest, PrintsStartedTogetherAreAllFiled) {
  const int prints = 12;
  const int rounds = 3;
  std::string bigSpool(256 * 1024, '\0');
  for (size_t i = 0; i < bigSpool.size(); ++i) bigSpool[i] = static_cast<char>('a' + i % 26);
  WriteTextFile(kTestSpoolFile, bigSpool);
  WriteAutomaticSettings("1");
  for (int round = 1; round <= rounds; ++round) {
    ASSERT_EQ(prints, RaceDeliveries(testProgramPath, prints)) << "round " << round;
    std::vector<std::string> filed = ListFolder(kTestOutputDir);
    ASSERT_EQ(static_cast<size_t>(prints * round), filed.size()) << "round " << round;
    EXPECT_EQ(std::to_string(1 + prints * round), ReadSetting("FileNameCounter"));
  }
  for (int n = 2; n <= 1 + prints * rounds; ++n) {
    char name[32];
    snprintf(name, sizeof name, "File%03d.pdf", n);
    EXPECT_TRUE(ReadTextFile(Out(name)) == bigSpool) << name << " is not a full copy";
  }
  EXPECT_FALSE(PathExists("C:\\File002.pdf"));
}

}  // namespace
