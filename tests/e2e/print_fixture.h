// A print as the pipeline leaves it, for tests that start Tollivane.exe: the
// spool file, the settings, an empty output folder, and what was filed.
#ifndef TOLLIVANE_TESTS_E2E_PRINT_FIXTURE_H
#define TOLLIVANE_TESTS_E2E_PRINT_FIXTURE_H

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "program_run.h"
#include "test_files.h"

inline const char kSpoolContents[] = "%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\nthe latest print\n%%EOF\n";

class AutomaticPrintTest : public testing::Test {
 protected:
  void SetUp() override {
    RemoveTree("C:\\Kestrin");
    RemoveTree("C:\\TollivaneTest");
    RemoveStraysOnDriveC();  // an earlier failed run may have left some
    MakeFolders("C:\\Kestrin\\Print\\Config");
    MakeFolders(kTestOutputDir);
    WriteTextFile(kTestSpoolFile, kSpoolContents);
  }

  static std::string Out(const std::string& name) { return std::string(kTestOutputDir) + "\\" + name; }

  static void WriteAutomaticSettings(const std::string& counterLine) {
    WriteSettings(std::string("DefaultDir=") + kTestOutputDir + "\r\nPromptForEachPrint=0\r\n" + counterLine);
  }

  static std::vector<std::string> FiledNames() {
    std::vector<std::string> names = ListFolder(kTestOutputDir);
    std::sort(names.begin(), names.end());
    return names;
  }

  // Prints filed with the default folder instead of the configured one.
  static std::vector<std::string> StraysOnDriveC() {
    std::vector<std::string> strays;
    for (const std::string& name : ListFolder("C:\\"))
      if (name.rfind("File", 0) == 0) strays.push_back(name);
    return strays;
  }

  static void RemoveStraysOnDriveC() {
    for (const std::string& name : StraysOnDriveC()) RemoveTree("C:\\" + name);
  }

  static bool NothingStrayOnDriveC() { return StraysOnDriveC().empty(); }
};

#endif
