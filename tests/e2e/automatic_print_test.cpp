// The program end to end in automatic mode: each test sets up the print the
// pipeline would leave, starts Tollivane.exe and checks what was filed.
#include <string>
#include <vector>

#include "print_fixture.h"

namespace {

TEST_F(AutomaticPrintTest, FirstPrintIntoAFreshFolderIsFile002) {
  WriteAutomaticSettings("");
  EXPECT_EQ(RunPrint(), 0);
  EXPECT_EQ(FiledNames(), std::vector<std::string>{"File002.pdf"});
  EXPECT_EQ(ReadTextFile(Out("File002.pdf")), kSpoolContents);
  EXPECT_EQ(ReadSetting("FileNameCounter"), "2");

  EXPECT_EQ(RunPrint(), 0);
  EXPECT_EQ(ReadTextFile(Out("File003.pdf")), kSpoolContents);
  EXPECT_EQ(ReadSetting("FileNameCounter"), "3");
}

TEST_F(AutomaticPrintTest, StepsOverTakenNumbersWhetherFilesOrFolders) {
  WriteAutomaticSettings("FileNameCounter=5\r\n");
  WriteTextFile(Out("File006.pdf"), "an earlier print");
  MakeFolders(Out("File007.pdf"));
  EXPECT_EQ(RunPrint(), 0);
  EXPECT_EQ(ReadTextFile(Out("File006.pdf")), "an earlier print");
  EXPECT_EQ(ReadTextFile(Out("File008.pdf")), kSpoolContents);
  EXPECT_EQ(ReadSetting("FileNameCounter"), "8");
}

TEST_F(AutomaticPrintTest, NumbersWidenPast999) {
  WriteAutomaticSettings("FileNameCounter=998\r\n");
  WriteTextFile(Out("File999.pdf"), "print 999");
  EXPECT_EQ(RunPrint(), 0);
  EXPECT_EQ(ReadTextFile(Out("File1000.pdf")), kSpoolContents);
  EXPECT_EQ(ReadSetting("FileNameCounter"), "1000");
}

TEST_F(AutomaticPrintTest, NothingIsFiledWithoutASpoolFileOrAnOutputFolder) {
  WriteAutomaticSettings("FileNameCounter=41\r\n");
  RemoveTree(kTestSpoolFile);
  EXPECT_EQ(RunPrint(), 0);
  EXPECT_TRUE(FiledNames().empty());
  EXPECT_EQ(ReadSetting("FileNameCounter"), "41");

  WriteTextFile(kTestSpoolFile, kSpoolContents);
  RemoveTree(kTestOutputDir);
  EXPECT_EQ(RunPrint(), 0);
  EXPECT_FALSE(PathExists(kTestOutputDir));
  EXPECT_EQ(ReadSetting("FileNameCounter"), "41");
  EXPECT_TRUE(NothingStrayOnDriveC());
}

TEST_F(AutomaticPrintTest, ArgumentsAndShowCommandChangeNothing) {
  WriteAutomaticSettings("FileNameCounter=9\r\n");
  ProgramStart start;
  start.arguments = "/p \"C:\\Other\\Doc.pdf\" --prompt -x";
  start.showCommand = SW_SHOWMAXIMIZED;
  EXPECT_EQ(RunPrint(start), 0);
  start.showCommand = SW_SHOWNORMAL;
  start.arguments = "PromptForEachPrint=1";
  EXPECT_EQ(RunPrint(start), 0);
  EXPECT_EQ(FiledNames(), (std::vector<std::string>{"File010.pdf", "File011.pdf"}));
  EXPECT_EQ(ReadSetting("FileNameCounter"), "11");
}

// Prints started together must each be filed once, under names of their own,
// and each leave its line in the log. A lost print showed once in some sixty
// rounds, so this runs twenty.
TEST_F(AutomaticPrintTest, TwentyPrintsAtOnceAreEachFiledOnce) {
  const int kPrints = 20;
  const int kRounds = 20;
  const char kLog[] = "C:\\TollivaneTest\\race.log";
  WriteAutomaticSettings(std::string("LogFile=") + kLog + "\r\n");
  ASSERT_EQ(RunPrint(), 0);  // brings up the session's desktop before the race
  int expectedFiles = 1;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<long> exitCodes = RunPrintsAtOnce(kPrints);
    EXPECT_EQ(exitCodes, std::vector<long>(kPrints, 0)) << "round " << round;
    expectedFiles += kPrints;
    std::vector<std::string> names = FiledNames();
    ASSERT_EQ(names.size(), static_cast<size_t>(expectedFiles)) << "round " << round;
    for (int i = expectedFiles - kPrints; i < expectedFiles; ++i) {
      char name[32];
      snprintf(name, sizeof name, "File%03d.pdf", i + 2);
      EXPECT_EQ(names[static_cast<size_t>(i)], name);
      EXPECT_EQ(ReadTextFile(Out(name)), kSpoolContents) << name;
    }
    EXPECT_EQ(ReadSetting("FileNameCounter"), std::to_string(expectedFiles + 1));
  }
  std::string log = ReadTextFile(kLog);
  size_t filedLines = 0;
  for (size_t at = 0; (at = log.find(" automatic filed ", at)) != std::string::npos; ++at) ++filedLines;
  EXPECT_EQ(filedLines, static_cast<size_t>(expectedFiles));
  EXPECT_EQ(log.find("without the job lock"), std::string::npos);
  EXPECT_TRUE(NothingStrayOnDriveC());
}

}  // namespace
