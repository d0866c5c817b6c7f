// The free-name search: numbering, what counts as taken, names that already
// carry an extension, and settings that would overrun a path or the counter.
#include <limits.h>

#include <string>

#include "delivery_fixture.h"

namespace {

class FreeNameTest : public DeliveryTest {
 protected:
  std::string Find(int below, int* number = nullptr) {
    JobSettings job = ReadSettings();
    char path[MAX_PATH];
    int found = 0;
    if (!FindFreeName(&job, below, path, &found)) return "<none>:" + std::string(path);
    if (number != nullptr) *number = found;
    return path;
  }
  void UseOutputFolder(const std::string& extra = "") {
    WriteSettings(std::string("DefaultDir=") + kTestOutputDir + "\r\n" + extra);
  }
};

TEST_F(FreeNameTest, StartsOneAboveTheCounterWithThreeDigits) {
  EXPECT_EQ("C:\\File002.pdf", Find(1));
  UseOutputFolder();
  int number = 0;
  EXPECT_EQ(Out("File042.pdf"), Find(41, &number));
  EXPECT_EQ(42, number);
}

TEST_F(FreeNameTest, StepsOverTakenFilesAndFolders) {
  UseOutputFolder();
  WriteTextFile(Out("File042.pdf"), "earlier print");
  WriteTextFile(Out("File043.pdf"), "earlier print");
  MakeFolders(Out("File044.pdf"));
  int number = 0;
  EXPECT_EQ(Out("File045.pdf"), Find(41, &number));
  EXPECT_EQ(45, number);
}

TEST_F(FreeNameTest, NeverReusesANumberAtOrBelowTheCounter) {
  UseOutputFolder();
  EXPECT_EQ(Out("File006.pdf"), Find(5));
}

TEST_F(FreeNameTest, NumbersWidenAndMayBeNegative) {
  UseOutputFolder();
  EXPECT_EQ(Out("File999.pdf"), Find(998));
  EXPECT_EQ(Out("File1000.pdf"), Find(999));
  EXPECT_EQ(Out("File-004.pdf"), Find(-5));
  EXPECT_EQ(Out("File000.pdf"), Find(-1));
}

TEST_F(FreeNameTest, PrefixWithADotKeepsItsOwnExtension) {
  UseOutputFolder("FileNameFormat=scan.x\r\n");
  EXPECT_EQ(Out("scan.x002"), Find(1));
  UseOutputFolder("FileNameFormat=<>\r\n");
  EXPECT_EQ(Out("002.pdf"), Find(1));
  UseOutputFolder("FileExtension=?\r\n");
  EXPECT_EQ(Out("File002."), Find(1));
}

TEST_F(FreeNameTest, FolderWithOrWithoutTrailingBackslashGivesOneSeparator) {
  WriteSettings(std::string("DefaultDir=") + kTestOutputDir + "\\\r\n");
  EXPECT_EQ(Out("File002.pdf"), Find(1));
}

TEST_F(FreeNameTest, NameLongerThanAPathFindsNothing) {
  UseOutputFolder("FileNameFormat=" + std::string(254, 'p') + "\r\nFileExtension=" + std::string(254, 'e') + "\r\n");
  EXPECT_EQ("<none>:", Find(1));
}

TEST_F(FreeNameTest, FolderAndNameLongerThanAPathFindsNothing) {
  WriteSettings("DefaultDir=C:\\" + std::string(250, 'd') + "\r\n");
  EXPECT_EQ("<none>:", Find(1));
}

TEST_F(FreeNameTest, NameThatJustFitsIsFound) {
  // Folder, separator and name: 259 characters, the most a path may hold.
  std::string folder = std::string(kTestOutputDir);
  std::string prefix(259 - folder.size() - 1 - 3 - 4, 'p');
  UseOutputFolder("FileNameFormat=" + prefix + "\r\n");
  std::string path = Find(1);
  EXPECT_EQ(Out(prefix + "002.pdf"), path);
  EXPECT_EQ(259u, path.size());
  UseOutputFolder("FileNameFormat=" + prefix + "p\r\n");
  EXPECT_EQ("<none>:", Find(1));
}

TEST_F(FreeNameTest, NoNumberLeftAboveTheLargestCounter) {
  UseOutputFolder();
  EXPECT_EQ("<none>:", Find(INT_MAX));
  WriteTextFile(Out("File2147483647.pdf"), "taken");
  EXPECT_EQ("<none>:", Find(INT_MAX - 1));
  RemoveTree(Out("File2147483647.pdf"));
  EXPECT_EQ(Out("File2147483647.pdf"), Find(INT_MAX - 1));
}

}  // namespace
