// A folder on a file server as the output folder: UNC paths, with and
// without a trailing backslash and in another case than the share's, behave
// as a local folder does: the search, the print taken there, the rename, the
// log on the same share. Host only: the stand-in maps a share to a folder.
#include <string>
#include <vector>

#include "delivery_fixture.h"
#include "save_dialog_script.h"

namespace {

const char kShareRoot[] = "\\\\FILESERVER\\prints";
const char kShareOnDriveC[] = "C:\\TollivaneShare";

class SharePathTest : public DeliveryTest {
 protected:
  void SetUp() override {
    DeliveryTest::SetUp();
    RemoveTree(kShareOnDriveC);
    MakeFolders(std::string(kShareOnDriveC) + "\\dept");
    HostMapShare(kShareRoot, NativePath(kShareOnDriveC).c_str());
  }
  void TearDown() override { RemoveTree(kShareOnDriveC); }
};

TEST_F(SharePathTest, AutomaticPrintsAreFiledOnTheShareAndLoggedThere) {
  const struct {
    const char* defaultDir;
    const char* folderOnDriveC;
    const char* filedAs;  // the folder as the log names it
  } cases[] = {
      {"\\\\FILESERVER\\prints", kShareOnDriveC, "\\\\FILESERVER\\prints"},
      {"\\\\FILESERVER\\prints\\", kShareOnDriveC, "\\\\FILESERVER\\prints"},
      {"\\\\fileserver\\PRINTS\\dept", "C:\\TollivaneShare\\dept", "\\\\fileserver\\PRINTS\\dept"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.defaultDir);
    RemoveTree(std::string(kShareOnDriveC) + "\\tollivane.log");
    WriteSettings(std::string("DefaultDir=") + c.defaultDir +
                  "\r\nPromptForEachPrint=0\r\nFileNameCounter=1\r\nLogFile=\\\\FILESERVER\\prints\\tollivane.log\r\n");
    WriteTextFile(std::string(c.folderOnDriveC) + "\\File002.pdf", "filed by another PC");
    RunDelivery();
    RunDelivery();
    EXPECT_EQ("filed by another PC", ReadTextFile(std::string(c.folderOnDriveC) + "\\File002.pdf"));
    EXPECT_EQ(spoolContents, ReadTextFile(std::string(c.folderOnDriveC) + "\\File003.pdf"));
    EXPECT_EQ(spoolContents, ReadTextFile(std::string(c.folderOnDriveC) + "\\File004.pdf"));
    EXPECT_EQ("4", ReadSetting("FileNameCounter"));
    std::string folder = c.filedAs;
    EXPECT_EQ((std::vector<std::string>{"automatic filed " + folder + "\\File003.pdf",
                                        "automatic filed " + folder + "\\File004.pdf"}),
              ReadLogOutcomes(std::string(kShareOnDriveC) + "\\tollivane.log"));
    for (const std::string& name : ListFolder(c.folderOnDriveC))
      EXPECT_NE(0u, name.find("tlv")) << "a temporary file was left: " << name;
    RemoveTree(std::string(c.folderOnDriveC) + "\\File002.pdf");
    RemoveTree(std::string(c.folderOnDriveC) + "\\File003.pdf");
    RemoveTree(std::string(c.folderOnDriveC) + "\\File004.pdf");
  }
}

TEST_F(SharePathTest, TheDialogOpensOnTheShareAndFilesThere) {
  WriteSettings("DefaultDir=\\\\FILESERVER\\prints\\\r\n");
  ScriptSaveDialogs({{true, ""}});
  RunDelivery();
  std::vector<DialogSeen> seen = FinishSaveDialogs();
  ASSERT_EQ(1u, seen.size());
  EXPECT_EQ("\\\\FILESERVER\\prints", seen[0].folder);
  EXPECT_EQ(spoolContents, ReadTextFile(std::string(kShareOnDriveC) + "\\File002.pdf"));
}

}  // namespace
