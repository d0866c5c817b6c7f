// Test file helpers over std::filesystem, with Windows paths mapped natively.
#include "test_files.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include <gtest/gtest.h>

#include "delivery/settings_file.h"
#include "platform/platform.h"

const char kTestSettingsFile[] = "C:\\Kestrin\\Print\\Config\\Kestrin.ini";
const char kTestSpoolFile[] = "C:\\Kestrin\\Print\\File.pdf";
const char kTestOutputDir[] = "C:\\TollivaneTest\\out";

namespace fs = std::filesystem;

void PrepareTestDrive() {
#ifndef _WIN32
  const char* root = getenv("TOLLIVANE_TEST_DRIVE_C");
  if (root == nullptr) {
    static char scratch[] = "/tmp/tollivane-drive-c-XXXXXX";
    root = mkdtemp(scratch);
    setenv("TOLLIVANE_TEST_DRIVE_C", root, 1);
  }
  HostMapDrive('C', root);
#endif
}

std::string NativePath(const std::string& windowsPath) {
#ifdef _WIN32
  return windowsPath;
#else
  char native[1024];
  if (!HostToNativePath(windowsPath.c_str(), native, sizeof native)) return std::string();
  return native;
#endif
}

void WriteTextFile(const std::string& windowsPath, const std::string& contents) {
  std::ofstream out(NativePath(windowsPath), std::ios::binary | std::ios::trunc);
  out << contents;
}

std::string ReadTextFile(const std::string& windowsPath) {
  std::ifstream in(NativePath(windowsPath), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool PathExists(const std::string& windowsPath) {
  std::error_code ignored;
  return fs::exists(NativePath(windowsPath), ignored);
}

void MakeFolders(const std::string& windowsPath) {
  std::error_code ignored;
  fs::create_directories(NativePath(windowsPath), ignored);
}

void RemoveTree(const std::string& windowsPath) {
  std::error_code ignored;
  fs::remove_all(NativePath(windowsPath), ignored);
}

std::vector<std::string> ListFolder(const std::string& windowsPath) {
  std::vector<std::string> names;
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(NativePath(windowsPath), ignored))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

void WriteSettings(const std::string& lines) {
  WriteTextFile(kTestSettingsFile, "[Tarvold]\r\n" + lines);
#ifdef _WIN32
  // The profile calls cache a file by its time stamp; two writes in one tick look alike.
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, kTestSettingsFile);
#endif
}

// On Windows the platform's own reading checks the program's; natively the
// program's reading is all there is.
std::string ReadSetting(const std::string& key) {
  char value[256];
#ifdef _WIN32
  GetPrivateProfileStringA("Tarvold", key.c_str(), "<missing>", value, sizeof value, kTestSettingsFile);
#else
  SettingsSnapshot settings = ReadSettingsSnapshot(kTestSettingsFile, "Tarvold");
  if (!FindSettingValue(&settings, "Tarvold", key.c_str(), value, sizeof value)) return "<missing>";
#endif
  return value;
}

std::vector<std::string> ReadLogOutcomes(const std::string& windowsPath) {
  const size_t kTimestampLength = 20;  // "2026-12-09 14:03:07 "
  std::vector<std::string> outcomes;
  std::string text = ReadTextFile(windowsPath);
  for (size_t begin = 0; begin < text.size();) {
    size_t end = text.find("\r\n", begin);
    if (end == std::string::npos) {
      ADD_FAILURE() << "line without CRLF: " << text.substr(begin);
      break;
    }
    std::string line = text.substr(begin, end - begin);
    EXPECT_GT(line.size(), kTimestampLength) << "line without a time stamp: " << line;
    outcomes.push_back(line.size() > kTimestampLength ? line.substr(kTimestampLength) : line);
    begin = end + 2;
  }
  return outcomes;
}
