// Setting the counter in the settings file's text: only the value changes,
// every other byte (other sections, comments, line ends) stays as it was.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "delivery/settings_file.h"

namespace {

std::string Rewrite(const std::string& text) {
  SettingRewrite plan;
  EXPECT_TRUE(PlanSettingRewrite(text.data(), text.size(), "Tarvold", "FileNameCounter", "42", &plan));
  return text.substr(0, plan.keepBefore) + plan.middle + text.substr(plan.resumeAt);
}

TEST(SettingsFileTest, OnlyTheCounterChanges) {
  const struct {
    const char* what;
    std::string before;
    std::string after;
  } cases[] = {
      {"key replaced, spacing and line ends kept",
       "[Other]\r\nA=1\r\n[Tarvold]\r\nX=y\r\n  filenamecounter = 7 \r\nZ=z\r\n",
       "[Other]\r\nA=1\r\n[Tarvold]\r\nX=y\r\nFileNameCounter=42\r\nZ=z\r\n"},
      {"only the first of duplicates", "[Tarvold]\nFileNameCounter=1\nFileNameCounter=2\n",
       "[Tarvold]\nFileNameCounter=42\nFileNameCounter=2\n"},
      {"key added at the section's end", "[Tarvold]\r\nDefaultDir=C:\\\r\n\r\n[Other]\r\nB=2\r\n",
       "[Tarvold]\r\nDefaultDir=C:\\\r\n\r\nFileNameCounter=42\r\n[Other]\r\nB=2\r\n"},
      {"section without a final line end", "[Tarvold]\r\nDefaultDir=C:\\",
       "[Tarvold]\r\nDefaultDir=C:\\\r\nFileNameCounter=42\r\n"},
      {"section appended", "[Other]\r\nB=2", "[Other]\r\nB=2\r\n[Tarvold]\r\nFileNameCounter=42\r\n"},
      {"empty file", "", "[Tarvold]\r\nFileNameCounter=42\r\n"},
      {"a commented key is not the key", "[Tarvold]\r\n;FileNameCounter=5\r\n",
       "[Tarvold]\r\n;FileNameCounter=5\r\nFileNameCounter=42\r\n"},
      {"a key of another section is not the key", "[Other]\r\nFileNameCounter=5\r\n[ tarvold ]\r\n",
       "[Other]\r\nFileNameCounter=5\r\n[ tarvold ]\r\nFileNameCounter=42\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.after, Rewrite(c.before)) << c.what;
}

TEST(SettingsFileTest, AThousandOtherSectionsStayByteIdentical) {
  std::string others;
  for (int i = 0; i < 1000; ++i)
    others += "[Other" + std::to_string(i) + "]\r\nKey = \"value " + std::to_string(i) + "\"\r\n";
  std::string after = Rewrite(others + "[Tarvold]\r\nFileNameCounter=1\r\n" + others);
  EXPECT_TRUE(after == others + "[Tarvold]\r\nFileNameCounter=42\r\n" + others);
}

TEST(SettingsFileTest, AValueThatDoesNotFitIsRefused) {
  std::string text = "[Tarvold]\r\nFileNameCounter=1\r\n";
  SettingRewrite plan;
  std::string tooLong(kRewriteMiddleSize, '9');
  EXPECT_FALSE(PlanSettingRewrite(text.data(), text.size(), "Tarvold", "FileNameCounter", tooLong.c_str(), &plan));
}

TEST(SettingsFileTest, ValuesAreReadAsTheProfileFunctionsReadThem) {
  std::string text =
      "\xEF\xBB\xBF[tarvold]\r\n; DefaultDir=commented\r\nno equals sign\r\n DefaultDir = \"D:\\Out\" \r\n"
      "DefaultDir=second\r\nFileNameCounter= 0x1F \r\nPromptForEachPrint=\r\nEmpty=''\r\n[Other]\r\nLogFile=x\r\n";
  SettingsSnapshot snapshot = {text.c_str(), text.size(), true, {}};
  char value[8];
  EXPECT_TRUE(FindSettingValue(&snapshot, "Tarvold", "DefaultDir", value, sizeof value));
  EXPECT_STREQ("D:\\Out", value);
  EXPECT_TRUE(FindSettingValue(&snapshot, "Tarvold", "Empty", value, sizeof value));
  EXPECT_STREQ("", value);
  EXPECT_FALSE(FindSettingValue(&snapshot, "Tarvold", "LogFile", value, sizeof value));
  EXPECT_FALSE(FindSettingValue(&snapshot, "Tarvold", "no equals sign", value, sizeof value));
  EXPECT_EQ(31, FindSettingInt(&snapshot, "Tarvold", "FileNameCounter", 1));
  EXPECT_EQ(9, FindSettingInt(&snapshot, "Tarvold", "PromptForEachPrint", 9));
  char cut[4];
  EXPECT_TRUE(FindSettingValue(&snapshot, "Tarvold", "DefaultDir", cut, sizeof cut));
  EXPECT_STREQ("D:\\", cut);
}

}  // namespace
