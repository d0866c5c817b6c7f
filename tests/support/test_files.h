// Files and folders for the tests, named by Windows paths on every build: on
// Windows they are the real paths, natively they go through the stand-in's
// drive mapping, so one test body serves both.
#ifndef TOLLIVANE_TESTS_SUPPORT_TEST_FILES_H
#define TOLLIVANE_TESTS_SUPPORT_TEST_FILES_H

#include <string>
#include <vector>

extern const char kTestSettingsFile[];
extern const char kTestSpoolFile[];
extern const char kTestOutputDir[];

// Natively, maps drive C to a scratch folder (shared with child processes).
void PrepareTestDrive();

std::string NativePath(const std::string& windowsPath);
void WriteTextFile(const std::string& windowsPath, const std::string& contents);
std::string ReadTextFile(const std::string& windowsPath);
bool PathExists(const std::string& windowsPath);
void MakeFolders(const std::string& windowsPath);
void RemoveTree(const std::string& windowsPath);
std::vector<std::string> ListFolder(const std::string& windowsPath);

// The lines of a delivery log without their date and time ("automatic filed
// C:\..."); a line without CRLF or without a time stamp fails the test.
std::vector<std::string> ReadLogOutcomes(const std::string& windowsPath);

// The settings file, with `lines` under the program's section.
void WriteSettings(const std::string& lines);
std::string ReadSetting(const std::string& key);

#endif
