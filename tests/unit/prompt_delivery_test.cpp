// Prompt mode: what the Save As dialog shows, where the chosen copy goes, the
// extension added to a typed name, and the counter never moving.
#include <string>

#include "delivery_fixture.h"
#include "save_dialog_script.h"

namespace {

class PromptDeliveryTest : public DeliveryTest {
 protected:
  void UsePromptSettings(const std::string& extra = "") {
    WriteSettings(std::string("DefaultDir=") + kTestOutputDir + "\r\nFileNameCounter=41\r\n" + extra);
  }
  static std::vector<DialogSeen> Deliver(const std::vector<DialogAnswer>& answers) {
    ScriptSaveDialogs(answers);
    EXPECT_EQ(1, RunDelivery());
    return FinishSaveDialogs();
  }
};

TEST_F(PromptDeliveryTest, DefaultSettingsProposeNumberTwoInDriveC) {
  std::vector<DialogSeen> seen = Deliver({{false, ""}});
  ASSERT_EQ(1u, seen.size());
  EXPECT_EQ("File002.pdf", seen[0].fileName);
  EXPECT_EQ("C:", seen[0].folder.substr(0, 2));
  EXPECT_LE(seen[0].folder.size(), 3u);
  EXPECT_FALSE(PathExists("C:\\File002.pdf"));
  EXPECT_FALSE(PathExists(kTestSettingsFile));
}

TEST_F(PromptDeliveryTest, DialogOffersTheFreeNameWithBothFilters) {
  UsePromptSettings();
  WriteTextFile(Out("File042.pdf"), "earlier");
  WriteTextFile(Out("File043.pdf"), "earlier");
  std::vector<DialogSeen> seen = Deliver({{true, ""}});
  ASSERT_EQ(1u, seen.size());
  EXPECT_EQ(kTestOutputDir, seen[0].folder);
  EXPECT_EQ("File044.pdf", seen[0].fileName);
  ASSERT_EQ(2u, seen[0].filters.size());
  EXPECT_EQ("All", seen[0].filters[0]);
  EXPECT_EQ("Pdf", seen[0].filters[1]);
  EXPECT_EQ(0, seen[0].selectedFilter);
#ifdef _WIN32
  EXPECT_TRUE(seen[0].topmost) << "the dialog could open behind the application that printed";
#endif
  EXPECT_EQ(spoolContents, ReadTextFile(Out("File044.pdf")));
  EXPECT_EQ("41", ReadSetting("FileNameCounter"));
}

TEST_F(PromptDeliveryTest, CancelFilesNothing) {
  UsePromptSettings();
  Deliver({{false, ""}});
  EXPECT_TRUE(ListFolder(kTestOutputDir).empty());
  EXPECT_EQ("41", ReadSetting("FileNameCounter"));
}

TEST_F(PromptDeliveryTest, TypedNameGetsTheConfiguredExtensionOnlyWhenItHasNone) {
  UsePromptSettings("FileExtension=ps\r\n");
  Deliver({{true, "report"}});
  EXPECT_EQ(spoolContents, ReadTextFile(Out("report.ps")));
  Deliver({{true, "notes.txt"}});
  EXPECT_EQ(spoolContents, ReadTextFile(Out("notes.txt")));
  EXPECT_EQ((std::vector<std::string>{"notes.txt", "report.ps"}), ListFolder(kTestOutputDir));
}

TEST_F(PromptDeliveryTest, EachRunProposesTheFirstFreeNumberAgain) {
  UsePromptSettings();
  EXPECT_EQ("File042.pdf", Deliver({{false, ""}}).at(0).fileName);
  EXPECT_EQ("File042.pdf", Deliver({{true, ""}}).at(0).fileName);
  EXPECT_EQ("File043.pdf", Deliver({{false, ""}}).at(0).fileName);
  EXPECT_EQ("41", ReadSetting("FileNameCounter"));
}

TEST_F(PromptDeliveryTest, ExistingProposedFileIsReplacedOnlyAfterTheQuestion) {
  UsePromptSettings();
  WriteTextFile(Out("kept.pdf"), "older print");
  std::vector<DialogSeen> seen = Deliver({{true, "kept.pdf"}});
  ASSERT_EQ(1u, seen.size());
  EXPECT_TRUE(seen[0].overwriteAsked);
  EXPECT_EQ(spoolContents, ReadTextFile(Out("kept.pdf")));
}

// The dialog asked about "report", which does not exist; report.pdf does, so
// the dialog comes back proposing the name that would really be replaced.
TEST_F(PromptDeliveryTest, AddedExtensionNeverReplacesAFileUnasked) {
  UsePromptSettings();
  WriteTextFile(Out("report.pdf"), "older report");
  std::vector<DialogSeen> seen = Deliver({{true, "report"}, {false, ""}});
  ASSERT_EQ(2u, seen.size());
  EXPECT_FALSE(seen[0].overwriteAsked);
  EXPECT_EQ("report.pdf", seen[1].fileName);
  EXPECT_EQ(kTestOutputDir, seen[1].folder);
  EXPECT_EQ("older report", ReadTextFile(Out("report.pdf")));
  EXPECT_EQ((std::vector<std::string>{"report.pdf"}), ListFolder(kTestOutputDir));

  seen = Deliver({{true, "report"}, {true, ""}});
  ASSERT_EQ(2u, seen.size());
  EXPECT_TRUE(seen[1].overwriteAsked);
  EXPECT_EQ(spoolContents, ReadTextFile(Out("report.pdf")));
}

TEST_F(PromptDeliveryTest, NameThatDoesNotFitOpensTheDialogWithoutAName) {
  UsePromptSettings("FileNameFormat=" + std::string(254, 'p') + "\r\n");
  std::vector<DialogSeen> seen = Deliver({{true, "short"}});
  ASSERT_EQ(1u, seen.size());
  EXPECT_EQ("", seen[0].fileName);
  EXPECT_EQ(kTestOutputDir, seen[0].folder);
  EXPECT_EQ(spoolContents, ReadTextFile(Out("short.pdf")));
}

// The printer's port hands its run the job's file: that is filed, in either
// mode, however the spool file has changed since and wherever the file's
// read position was left.
TEST_F(PromptDeliveryTest, PrintHandedByThePortIsFiledFromItsFile) {
  for (bool prompt : {true, false}) {
    SCOPED_TRACE(prompt ? "prompt mode" : "automatic mode");
    RemoveTree(kTestOutputDir);
    MakeFolders(kTestOutputDir);
    if (prompt)
      UsePromptSettings();
    else
      WriteAutomaticSettings("41");
    const std::string print = "%PDF-1.4 the handed print\n";
    WriteTextFile("C:\\TollivaneTest\\job.bin", print);
    HANDLE handed = CreateFileA("C:\\TollivaneTest\\job.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, handed);
    char skipped[4];
    DWORD read = 0;
    ReadFile(handed, skipped, sizeof skipped, &read, nullptr);
    WriteTextFile(kTestSpoolFile, "a later print");
    if (prompt) ScriptSaveDialogs({{true, ""}});
    EXPECT_EQ(1, RunDeliveryFrom(handed));
    if (prompt) {
      EXPECT_EQ(1u, FinishSaveDialogs().size());
    }
    CloseHandle(handed);
    EXPECT_EQ(print, ReadTextFile(Out("File042.pdf")));
    EXPECT_EQ(std::vector<std::string>{"File042.pdf"}, ListFolder(kTestOutputDir)) << "a copy was left behind";
  }
}

}  // namespace
