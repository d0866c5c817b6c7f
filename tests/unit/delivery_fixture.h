// A clean print setup for each test: settings folder, spool file and an empty
// output folder, on drive C of the test run.
#ifndef TOLLIVANE_TESTS_UNIT_DELIVERY_FIXTURE_H
#define TOLLIVANE_TESTS_UNIT_DELIVERY_FIXTURE_H

#include <gtest/gtest.h>

#include <string>

#include "delivery/delivery.h"
#include "test_files.h"

extern std::string testProgramPath;

class DeliveryTest : public testing::Test {
 protected:
  const std::string spoolContents = "%PDF-1.4\nspool file of the latest print\n%%EOF\n";

  void SetUp() override {
    RemoveTree("C:\\Kestrin");
    RemoveTree("C:\\TollivaneTest");
    for (const char* stray : {"C:\\File002.pdf", "C:\\File003.pdf"}) RemoveTree(stray);
    MakeFolders("C:\\Kestrin\\Print\\Config");
    MakeFolders(kTestOutputDir);
    WriteTextFile(kTestSpoolFile, spoolContents);
    InitReservedChars();
  }

  static std::string Out(const std::string& name) { return std::string(kTestOutputDir) + "\\" + name; }

  static JobSettings ReadSettings() {
    JobSettings job;
    char settingsPath[MAX_PATH];
    ReadJobSettings(&job, settingsPath);
    return job;
  }

  // The settings of an automatic print into the test's output folder.
  static void WriteAutomaticSettings(const std::string& counter, const std::string& extra = "") {
    WriteSettings(std::string("DefaultDir=") + kTestOutputDir +
                  "\r\nPromptForEachPrint=0\r\nFileNameCounter=" + counter + "\r\n" + extra);
  }
};

#endif
