// The optional log: the line each kind of run leaves, where it goes, the
// rotation past 1 MiB, and that a log that cannot be written changes nothing.
#include <string>
#include <vector>

#include "delivery/delivery_log.h"
#include "delivery_fixture.h"
#include "save_dialog_script.h"

namespace {

const char kLogFile[] = "C:\\TollivaneTest\\tollivane.log";

class DeliveryLogTest : public DeliveryTest {
 protected:
  static std::vector<std::string> LoggedOutcomes() { return ReadLogOutcomes(kLogFile); }
};

TEST(LogLineTest, SaysWhenWhichModeAndWhatHappened) {
  SYSTEMTIME time = {};
  time.wYear = 2026;
  time.wMonth = 3;
  time.wDay = 7;
  time.wHour = 9;
  time.wMinute = 5;
  time.wSecond = 2;
  struct Case {
    bool automatic;
    DeliveryResult result;
    const char* reason;
    DWORD error;
    bool lockHeld;
    const char* line;
  };
  const Case cases[] = {
      {true, kFiled, "", 0, true, "2026-03-07 09:05:02 automatic filed C:\\Prints\\File002.pdf\r\n"},
      {false, kCancelled, "", 0, true, "2026-03-07 09:05:02 prompt cancelled\r\n"},
      {true, kNotFiled, "disk full", 112, true, "2026-03-07 09:05:02 automatic not filed: disk full (error 112)\r\n"},
      {true, kNotFiled, "no number left", 0, true, "2026-03-07 09:05:02 automatic not filed: no number left\r\n"},
      {true, kFiled, "", 0, false,
       "2026-03-07 09:05:02 automatic filed C:\\Prints\\File002.pdf; went on without the job lock\r\n"},
  };
  for (const Case& c : cases) {
    DeliveryOutcome outcome = {c.result, c.reason, c.error, "C:\\Prints\\File002.pdf"};
    char line[kLogLineSize];
    FormatLogLine(&time, c.automatic, &outcome, c.lockHeld, line);
    EXPECT_STREQ(c.line, line);
  }
}

TEST(LogLineTest, ALongPathIsCutButTheLineStillEnds) {
  SYSTEMTIME time = {};
  DeliveryOutcome outcome = {kFiled, "", 0, ""};
  std::string longPath(MAX_PATH - 1, 'x');
  lstrcpynA(outcome.filedPath, longPath.c_str(), MAX_PATH);
  char line[kLogLineSize + 1];
  line[kLogLineSize] = '#';
  FormatLogLine(&time, true, &outcome, false, line);
  std::string text = line;
  EXPECT_LT(text.size(), static_cast<size_t>(kLogLineSize));
  EXPECT_EQ("\r\n", text.substr(text.size() - 2));
  EXPECT_EQ('#', line[kLogLineSize]);
}

TEST_F(DeliveryLogTest, EachRunAppendsOneLine) {
  WriteAutomaticSettings("1", std::string("LogFile=") + kLogFile + "\r\n");
  RunDelivery();
  RemoveTree(kTestSpoolFile);
  RunDelivery();
  EXPECT_EQ((std::vector<std::string>{"automatic filed " + Out("File002.pdf"),
                                      "automatic not filed: spool missing (error 2)"}),
            LoggedOutcomes());

  WriteTextFile(kTestSpoolFile, spoolContents);
  WriteSettings(std::string("DefaultDir=") + kTestOutputDir + "\r\nLogFile=" + kLogFile + "\r\n");
  ScriptSaveDialogs({{false, ""}});
  RunDelivery();
  FinishSaveDialogs();
  ScriptSaveDialogs({{true, ""}});
  RunDelivery();
  FinishSaveDialogs();
  std::vector<std::string> outcomes = LoggedOutcomes();
  ASSERT_EQ(4u, outcomes.size());
  EXPECT_EQ("prompt cancelled", outcomes[2]);
  EXPECT_EQ("prompt filed " + Out("File003.pdf"), outcomes[3]);
}

TEST_F(DeliveryLogTest, TheLineNamesTheFileMadeAndTheRealFault) {
  // Windows makes "File002." as "File002".
  WriteAutomaticSettings("1", std::string("FileExtension=.\r\nLogFile=") + kLogFile + "\r\n");
  RunDelivery();
  RemoveTree(kTestOutputDir);
  RunDelivery();
  std::vector<std::string> outcomes = LoggedOutcomes();
  ASSERT_EQ(2u, outcomes.size());
  EXPECT_EQ("automatic filed " + Out("File002"), outcomes[0]);
  EXPECT_EQ(0u, outcomes[1].find("automatic not filed: output folder missing (error ")) << outcomes[1];
}

TEST_F(DeliveryLogTest, NoLogFileWritesNoLog) {
  WriteAutomaticSettings("1", "LogFile=\r\n");
  RunDelivery();
  EXPECT_EQ((std::vector<std::string>{"out"}), ListFolder("C:\\TollivaneTest"));
  EXPECT_EQ((std::vector<std::string>{"File002.pdf"}), ListFolder(kTestOutputDir));
}

TEST_F(DeliveryLogTest, ALogPastOneMebibyteMovesToOld) {
  WriteAutomaticSettings("1", std::string("LogFile=") + kLogFile + "\r\n");
  std::string full(1024 * 1024 + 1, 'x');
  WriteTextFile(kLogFile, full);
  WriteTextFile(std::string(kLogFile) + ".old", "an older log");
  RunDelivery();
  EXPECT_EQ(full, ReadTextFile(std::string(kLogFile) + ".old"));
  EXPECT_EQ((std::vector<std::string>{"automatic filed " + Out("File002.pdf")}), LoggedOutcomes());

  std::string exactlyFull(1024 * 1024, 'y');
  WriteTextFile(kLogFile, exactlyFull);
  RunDelivery();
  EXPECT_EQ(exactlyFull, ReadTextFile(kLogFile).substr(0, exactlyFull.size()));
}

// A log's own folder is made (a per-user %LOCALAPPDATA%\Tollivane), nothing
// above it: a log that still cannot be written changes nothing else.
TEST_F(DeliveryLogTest, ALogGetsItsOwnFolderAndNoMore) {
  WriteAutomaticSettings("1", "LogFile=C:\\TollivaneTest\\absent\\deeper\\tollivane.log\r\n");
  RunDelivery();
  EXPECT_EQ(spoolContents, ReadTextFile(Out("File002.pdf")));
  EXPECT_EQ("2", ReadSetting("FileNameCounter"));
  EXPECT_FALSE(PathExists("C:\\TollivaneTest\\absent"));

  WriteAutomaticSettings("2", "LogFile=C:\\TollivaneTest\\logs\\tollivane.log\r\n");
  RunDelivery();
  EXPECT_EQ((std::vector<std::string>{"automatic filed " + Out("File003.pdf")}),
            ReadLogOutcomes("C:\\TollivaneTest\\logs\\tollivane.log"));
}

}  // namespace
