// Filing all or nothing: what a print's name holds after each kind of end,
// and that no temporary file is left behind by a run that ended normally.
#include <string>
#include <vector>

#include "delivery_fixture.h"

namespace {

using FilingTest = DeliveryTest;

TEST_F(FilingTest, EachEndLeavesOnlyCompleteCopiesUnderPrintNames) {
  struct Case {
    const char* what;
    bool spoolPresent;
    bool folderPresent;
    const char* existing;  // contents already under the name, or null
    bool replace;
    FilingResult expected;
    const char* reason;         // when failed
    const char* contentsAfter;  // under the name afterwards; null: no file
  };
  const std::string spool = spoolContents;
  const Case cases[] = {
      {"free name", true, true, nullptr, false, kFilingDone, "", spool.c_str()},
      {"taken name is kept", true, true, "older", false, kFilingNameTaken, "", "older"},
      {"confirmed name is replaced", true, true, "older", true, kFilingDone, "", spool.c_str()},
      {"no spool, nothing new", false, true, nullptr, false, kFilingFailed, "spool missing", nullptr},
      {"no spool, old file kept", false, true, "older", true, kFilingFailed, "spool missing", "older"},
      {"no folder", true, false, nullptr, false, kFilingFailed, "output folder missing", nullptr},
  };
  for (const Case& c : cases) {
    SetUp();
    if (!c.spoolPresent) RemoveTree(kTestSpoolFile);
    if (!c.folderPresent) RemoveTree(kTestOutputDir);
    if (c.existing != nullptr) WriteTextFile(Out("File002.pdf"), c.existing);
    DeliveryOutcome outcome;
    SetOutcomeFailed(&outcome, "untouched", 0);
    EXPECT_EQ(c.expected, FileSpoolAs(Out("File002.pdf").c_str(), c.replace, &outcome)) << c.what;
    if (c.expected == kFilingDone) {
      EXPECT_EQ(kFiled, outcome.result) << c.what;
      EXPECT_EQ(Out("File002.pdf"), outcome.filedPath) << c.what;
    }
    if (c.expected == kFilingFailed) {
      EXPECT_EQ(kNotFiled, outcome.result) << c.what;
      EXPECT_STREQ(c.reason, outcome.reason) << c.what;
      EXPECT_NE(0u, outcome.error) << c.what;
    }
    if (c.contentsAfter == nullptr) {
      EXPECT_FALSE(PathExists(Out("File002.pdf"))) << c.what;
    } else {
      EXPECT_EQ(c.contentsAfter, ReadTextFile(Out("File002.pdf"))) << c.what;
    }
    if (c.folderPresent) {
      std::vector<std::string> left = ListFolder(kTestOutputDir);
      std::vector<std::string> expectedLeft;
      if (c.contentsAfter != nullptr) expectedLeft.push_back("File002.pdf");
      EXPECT_EQ(expectedLeft, left) << c.what << ": a temporary file was left";
    }
    if (c.spoolPresent) {
      EXPECT_EQ(spoolContents, ReadTextFile(kTestSpoolFile)) << c.what;
    }
  }
}

}  // namespace
