// Reading the delivery settings: defaults, the empty-value rule, cleaning of
// prefix and extension, the cut of long values and the integer settings.
#include <stdlib.h>

#include <string>

#include "delivery_fixture.h"

namespace {

using SettingsTest = DeliveryTest;

TEST_F(SettingsTest, MissingFileGivesEveryDefault) {
  JobSettings job = ReadSettings();
  EXPECT_STREQ("C:\\", job.outputDir);
  EXPECT_STREQ(".pdf", job.extension);
  EXPECT_STREQ("File", job.namePrefix);
  EXPECT_EQ(1, job.promptEachPrint);
  EXPECT_EQ(1, job.lastNumber);
}

TEST_F(SettingsTest, SettingsPathIsFixed) {
  char path[MAX_PATH];
  EXPECT_EQ(1, GetSettingsFilePath(path));
  EXPECT_STREQ("C:\\Kestrin\\Print\\Config\\Kestrin.ini", path);
}

TEST_F(SettingsTest, EmptyValuesTakeTheirDefaults) {
  WriteSettings("DefaultDir=\r\nFileExtension=\r\nFileNameFormat=\r\nPromptForEachPrint=\r\nFileNameCounter=\r\n");
  JobSettings job = ReadSettings();
  EXPECT_STREQ("C:\\", job.outputDir);
  EXPECT_STREQ(".pdf", job.extension);
  EXPECT_STREQ("File", job.namePrefix);
  EXPECT_EQ(1, job.promptEachPrint);
  EXPECT_EQ(1, job.lastNumber);
}

TEST_F(SettingsTest, OutputFolderIsUsedExactlyAsWritten) {
  WriteSettings("DefaultDir=D:\\Out*?|\r\n");
  EXPECT_STREQ("D:\\Out*?|", ReadSettings().outputDir);
  WriteSettings("DefaultDir=D:\\Prints\\\r\n");
  EXPECT_STREQ("D:\\Prints\\", ReadSettings().outputDir);
}

TEST_F(SettingsTest, ExtensionGetsItsDotBeforeCleaning) {
  const struct {
    const char* written;
    const char* expected;
  } cases[] = {
      {"txt", ".txt"}, {".t?xt", ".txt"}, {":pdf", ".pdf"}, {"?", "."}, {".tar.gz", ".tar.gz"}, {"\"ps\"", ".ps"},
  };
  for (const auto& c : cases) {
    WriteSettings(std::string("FileExtension=") + c.written + "\r\n");
    EXPECT_STREQ(c.expected, ReadSettings().extension) << "FileExtension=" << c.written;
  }
}

TEST_F(SettingsTest, PrefixLosesReservedCharsAndMayBecomeEmpty) {
  const struct {
    const char* written;
    const char* expected;
  } cases[] = {
      {"Scan/Out", "ScanOut"},
      {"<>", ""},
      {"a/b\\c:d*e?f<g>h|i", "abcdefghi"},
      {"scan.x", "scan.x"},
  };
  for (const auto& c : cases) {
    WriteSettings(std::string("FileNameFormat=") + c.written + "\r\n");
    EXPECT_STREQ(c.expected, ReadSettings().namePrefix) << "FileNameFormat=" << c.written;
  }
}

TEST_F(SettingsTest, LongValuesAreCutTo254Characters) {
  std::string longValue(300, 'x');
  WriteSettings("DefaultDir=" + longValue + "\r\nFileNameFormat=" + longValue + "\r\nFileExtension=." + longValue +
                "\r\n");
  JobSettings job = ReadSettings();
  EXPECT_EQ(std::string(254, 'x'), job.outputDir);
  EXPECT_EQ(std::string(254, 'x'), job.namePrefix);
  EXPECT_EQ("." + std::string(253, 'x'), job.extension);
}

TEST_F(SettingsTest, ExtensionWithoutDotMayReach255Characters) {
  WriteSettings("FileExtension=" + std::string(300, 'e') + "\r\n");
  EXPECT_EQ("." + std::string(254, 'e'), ReadSettings().extension);
}

TEST_F(SettingsTest, IntegerSettingsFollowThePlatformRules) {
  WriteSettings("PromptForEachPrint=0\r\nFileNameCounter=-5\r\n");
  JobSettings job = ReadSettings();
  EXPECT_EQ(0, job.promptEachPrint);
  EXPECT_EQ(-5, job.lastNumber);
  WriteSettings("PromptForEachPrint=2\r\nFileNameCounter=12abc\r\n");
  job = ReadSettings();
  EXPECT_EQ(2, job.promptEachPrint);
  EXPECT_EQ(12, job.lastNumber);
}

TEST_F(SettingsTest, LogPathIsTakenWholeOrNotAtAll) {
  const struct {
    size_t length;
    bool kept;
  } cases[] = {{254, true}, {255, true}, {259, true}, {260, false}, {300, false}};
  for (const auto& c : cases) {
    std::string path = "C:\\" + std::string(c.length - 7, 'l') + ".log";
    ASSERT_EQ(c.length, path.size());
    WriteSettings("LogFile=" + path + "\r\n");
    EXPECT_EQ(c.kept ? path : std::string(), ReadSettings().logFile) << c.length << " characters";
  }
}

void SetVariable(const char* name, const std::string& value) {
#ifdef _WIN32
  SetEnvironmentVariableA(name, value.c_str());
#else
  setenv(name, value.c_str(), 1);
#endif
}

// One settings file, each user's own folder: the printing user's variables.
TEST_F(SettingsTest, FolderAndLogMayNameThePrintingUsersVariables) {
  SetVariable("TLV_HOME", "C:\\Users\\ann");
  SetVariable("TLV_LONG", std::string(200, 'x'));
  WriteSettings("DefaultDir=%TLV_HOME%\\Documents\\Prints\r\nLogFile=%TLV_HOME%\\print.log\r\n");
  JobSettings job = ReadSettings();
  EXPECT_STREQ("C:\\Users\\ann\\Documents\\Prints", job.outputDir);
  EXPECT_STREQ("C:\\Users\\ann\\print.log", job.logFile);

  const struct {
    const char* value;
    std::string expanded;
  } cases[] = {
      {"%TLV_UNSET%\\Prints", "%TLV_UNSET%\\Prints"},  // used exactly as read
      {"D:\\100%\\x", "D:\\100%\\x"},
      {"a%TLV_UNSET%b%TLV_HOME%", "a%TLV_UNSET%bC:\\Users\\ann"},
      {"%%TLV_HOME%", "%C:\\Users\\ann"},
      {"%TLV_HOME", "%TLV_HOME"},
      {"%", "%"},
      {"%tlv_home%", "C:\\Users\\ann"},  // Windows' names ignore case; the stand-in's need not
  };
  for (const auto& c : cases) {
#ifndef _WIN32
    if (std::string(c.value) == "%tlv_home%") continue;
#endif
    char expanded[kProfileReadCapacity];
    EXPECT_TRUE(ExpandUserVariables(c.value, expanded, sizeof expanded)) << c.value;
    EXPECT_EQ(c.expanded, expanded) << c.value;
  }

  // An expansion that does not fit: the folder as read, no log at all.
  WriteSettings("DefaultDir=C:\\%TLV_LONG%\\%TLV_LONG%\r\nLogFile=C:\\%TLV_LONG%\\%TLV_LONG%.log\r\n");
  job = ReadSettings();
  EXPECT_STREQ("C:\\%TLV_LONG%\\%TLV_LONG%", job.outputDir);
  EXPECT_STREQ("", job.logFile);
}

TEST(StripReservedChars, RemovesEachReservedByteAndKeepsTheRestInOrder) {
  InitReservedChars();
  EXPECT_STREQ("/\\:*?\"<>|", ReservedCharSet);
  char text[256] = "a/\\:*?\"<>|.b c";
  EXPECT_EQ(1, StripReservedChars(text));
  EXPECT_STREQ("a.b c", text);
  // Byte by byte: the trail byte 0x5C of a double-byte character goes too.
  char doubleByte[256] =
      "\x83\x5C"
      "x";
  StripReservedChars(doubleByte);
  EXPECT_STREQ("\x83x", doubleByte);
}

TEST(StripReservedChars, LeavesAFullBufferBounded) {
  InitReservedChars();
  char text[256];
  std::string value = std::string(200, 'a') + std::string(55, '?');
  lstrcpynA(text, value.c_str(), sizeof text);
  StripReservedChars(text);
  EXPECT_EQ(std::string(200, 'a'), text);
}

}  // namespace
