// Test entry: runs the tests, or, started with the delivery flag by a race
// test, one delivery as a print of its own.
#include <gtest/gtest.h>

#include <string>

#include "process_helpers.h"
#include "test_files.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

std::string testProgramPath;

namespace {

std::string SelfPath() {
  char path[4096] = {};
#ifdef _WIN32
  GetModuleFileNameA(nullptr, path, sizeof path - 1);
#else
  if (readlink("/proc/self/exe", path, sizeof path - 1) < 0) return std::string();
#endif
  return path;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == kDeliverOnceFlag) return RunDeliveryChild(argv[2]);
  testProgramPath = SelfPath();
  PrepareTestDrive();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
