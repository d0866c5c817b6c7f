// The program end to end when something fails: a full disk, a spool file held
// open by another program, a run killed during its copy, a lock holder that
// died and one that hangs. Each time: exit 0, nothing under a print's name
// but complete copies, the counter at the last number filed, the reason in
// the log, and the next print filed as usual.
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "print_fixture.h"

namespace {

const char kLogFile[] = "C:\\TollivaneTest\\print.log";
const char kSmallDriveOut[] = "T:\\out";
const char kLockName[] = "Local\\TollivaneDeliveryJob";

class FaultPrintTest : public AutomaticPrintTest {
 protected:
  static void WriteFaultSettings(const std::string& folder, int counter) {
    WriteSettings("DefaultDir=" + folder + "\r\nPromptForEachPrint=0\r\nFileNameCounter=" + std::to_string(counter) +
                  "\r\nLogFile=" + kLogFile + "\r\n");
  }

  static std::vector<std::string> LoggedOutcomes() { return ReadLogOutcomes(kLogFile); }

  // Names a print could have in `folder`: they must be exactly `expected`,
  // each a complete copy of `contents`.
  static void ExpectOnlyCompletePrints(const std::string& folder, const std::vector<std::string>& expected,
                                       const std::string& contents) {
    std::vector<std::string> prints;
    for (const std::string& name : ListFolder(folder))
      if (name.rfind("File", 0) == 0) prints.push_back(name);
    EXPECT_EQ(expected, prints) << "in " << folder;
    for (const std::string& name : prints)
      EXPECT_TRUE(ReadTextFile(folder + "\\" + name) == contents) << name << " is not a complete copy";
  }

  // After the fault, a print of the usual spool file is filed as the next number.
  static void ExpectNextPrintFiled(const std::string& folder, const std::string& name, int number) {
    WriteTextFile(kTestSpoolFile, kSpoolContents);
    EXPECT_EQ(RunPrint(), 0);
    EXPECT_TRUE(ReadTextFile(folder + "\\" + name) == kSpoolContents) << name << " is not the print";
    EXPECT_EQ(ReadSetting("FileNameCounter"), std::to_string(number));
    std::vector<std::string> outcomes = LoggedOutcomes();
    ASSERT_FALSE(outcomes.empty()) << "nothing in the log";
    EXPECT_EQ(outcomes.back(), "automatic filed " + folder + "\\" + name);
  }

  static std::string SpoolOfSize(size_t bytes) {
    std::string spool(bytes, '\0');
    for (size_t i = 0; i < bytes; ++i) spool[i] = static_cast<char>('A' + (i * 7) % 26);
    return spool;
  }
};

TEST_F(FaultPrintTest, AFullDiskFilesNothingAndKeepsTheCounter) {
  if (!PathExists("T:\\mounted")) GTEST_SKIP() << "no small drive T: (mounting a tmpfs was not allowed here)";
  RemoveTree(kSmallDriveOut);
  MakeFolders(kSmallDriveOut);
  WriteFaultSettings(kSmallDriveOut, 8);
  WriteTextFile(kTestSpoolFile, SpoolOfSize(2 * 1024 * 1024));
  EXPECT_EQ(RunPrint(), 0);
  EXPECT_EQ(ListFolder(kSmallDriveOut), std::vector<std::string>{}) << "the output folder must stay empty";
  EXPECT_EQ(ReadSetting("FileNameCounter"), "8");
  EXPECT_EQ(LoggedOutcomes(), std::vector<std::string>{"automatic not filed: disk full (error 112)"});
  ExpectNextPrintFiled(kSmallDriveOut, "File009.pdf", 9);
  RemoveTree(kSmallDriveOut);
}

TEST_F(FaultPrintTest, ASpoolFileHeldOpenWithoutSharingFilesNothing) {
  WriteFaultSettings(kTestOutputDir, 3);
  HANDLE held = CreateFileA(kTestSpoolFile, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(RunPrint(), 0);
  CloseHandle(held);
  EXPECT_EQ(FiledNames(), std::vector<std::string>{});
  EXPECT_EQ(ReadSetting("FileNameCounter"), "3");
  EXPECT_EQ(LoggedOutcomes(), std::vector<std::string>{"automatic not filed: spool in use (error 32)"});
  ExpectNextPrintFiled(kTestOutputDir, "File004.pdf", 4);
}

// Killed once its temporary file has begun to fill; a few tries in case a
// copy ends before the test sees it.
TEST_F(FaultPrintTest, ARunKilledDuringItsCopyLeavesNoPartialPrint) {
  const std::string bigSpool = SpoolOfSize(128 * 1024 * 1024);
  WriteFaultSettings(kTestOutputDir, 1);
  WriteTextFile(kTestSpoolFile, bigSpool);
  bool killedDuringCopy = false;
  for (int attempt = 0; attempt < 5 && !killedDuringCopy; ++attempt) {
    HANDLE process = BeginPrint();
    ASSERT_NE(process, nullptr);
    while (!killedDuringCopy && WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
      for (const std::string& name : ListFolder(kTestOutputDir)) {
        std::string path = NativePath(Out(name));
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (name.size() > 4 && name.substr(name.size() - 4) == ".tmp" &&
            GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) && data.nFileSizeLow > 0 &&
            data.nFileSizeLow < bigSpool.size()) {
          killedDuringCopy = TerminateProcess(process, 1) != FALSE;
          break;
        }
      }
    }
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
    if (!killedDuringCopy) {  // it finished first: start again from nothing
      RemoveTree(kTestOutputDir);
      MakeFolders(kTestOutputDir);
      WriteFaultSettings(kTestOutputDir, 1);
      RemoveTree(kLogFile);
    }
  }
  ASSERT_TRUE(killedDuringCopy) << "no run was caught during its copy";
  ExpectOnlyCompletePrints(kTestOutputDir, {}, bigSpool);
  EXPECT_EQ(ReadSetting("FileNameCounter"), "1");
  ExpectNextPrintFiled(kTestOutputDir, "File002.pdf", 2);
  ExpectOnlyCompletePrints(kTestOutputDir, {"File002.pdf"}, kSpoolContents);
  EXPECT_EQ(ListFolder(kTestOutputDir), std::vector<std::string>{"File002.pdf"})
      << "the killed run's temporary file was not removed by the next run";
}

// The next job replaces the spool file while a run waits for the lock: the
// run files the print it was started for, however the job replaces it.
TEST_F(FaultPrintTest, ThePrintIsTakenBeforeTheLockIsWaitedFor) {
  for (bool byRename : {true, false}) {
    SetUp();
    WriteFaultSettings(kTestOutputDir, 5);
    const std::string first = SpoolOfSize(1024 * 1024);
    const std::string next = "%PDF-1.4 the next job\n";
    WriteTextFile(kTestSpoolFile, first);
    HANDLE lock = CreateMutexA(nullptr, FALSE, kLockName);
    ASSERT_NE(lock, nullptr);
    ASSERT_EQ(WaitForSingleObject(lock, 0), WAIT_OBJECT_0);
    HANDLE process = BeginPrint();
    ASSERT_NE(process, nullptr);
    Sleep(3000);  // the run has started and waits for the lock
    if (byRename) {
      WriteTextFile("C:\\Kestrin\\Print\\next.pdf", next);
      ASSERT_TRUE(MoveFileExA("C:\\Kestrin\\Print\\next.pdf", kTestSpoolFile, MOVEFILE_REPLACE_EXISTING));
    } else {
      WriteTextFile(kTestSpoolFile, next);
    }
    ReleaseMutex(lock);
    CloseHandle(lock);
    EXPECT_EQ(FinishPrint(process), 0);
    ExpectOnlyCompletePrints(kTestOutputDir, {"File006.pdf"}, first);
    EXPECT_EQ(ListFolder(kTestOutputDir), std::vector<std::string>{"File006.pdf"}) << "a taken copy was left";
  }
}

TEST_F(FaultPrintTest, ALockLeftByARunThatDiedIsTakenOver) {
  WriteFaultSettings(kTestOutputDir, 5);
  HANDLE lock = CreateMutexA(nullptr, FALSE, kLockName);
  ASSERT_NE(lock, nullptr);
  std::thread holder([lock] { WaitForSingleObject(lock, INFINITE); });  // ends without releasing it
  holder.join();
  EXPECT_EQ(RunPrint(), 0);
  CloseHandle(lock);
  ExpectOnlyCompletePrints(kTestOutputDir, {"File006.pdf"}, kSpoolContents);
  EXPECT_EQ(ReadSetting("FileNameCounter"), "6");
  EXPECT_EQ(LoggedOutcomes(), std::vector<std::string>{"automatic filed " + Out("File006.pdf")});
  ExpectNextPrintFiled(kTestOutputDir, "File007.pdf", 7);
}

TEST_F(FaultPrintTest, ALockHolderThatHangsDelaysButDoesNotLoseThePrint) {
  WriteFaultSettings(kTestOutputDir, 5);
  HANDLE lock = CreateMutexA(nullptr, FALSE, kLockName);
  ASSERT_NE(lock, nullptr);
  ASSERT_EQ(WaitForSingleObject(lock, 0), WAIT_OBJECT_0);
  EXPECT_EQ(RunPrint(), 0);
  ReleaseMutex(lock);
  CloseHandle(lock);
  ExpectOnlyCompletePrints(kTestOutputDir, {"File006.pdf"}, kSpoolContents);
  EXPECT_EQ(ReadSetting("FileNameCounter"), "6");
  EXPECT_EQ(LoggedOutcomes(),
            std::vector<std::string>{"automatic filed " + Out("File006.pdf") + "; went on without the job lock"});
  ExpectNextPrintFiled(kTestOutputDir, "File007.pdf", 7);
}

// Another program writes its own section of the settings file every 50 ms
// (Wine rewrites the whole file each time) while a burst of runs reads it
// without the lock: no run may take the defaults from a torn reading (a
// print in C:\, a dialog, no log line), and the counter writes must keep the
// thousand other sections before ours byte for byte.
TEST_F(FaultPrintTest, SettingsRewrittenByAnotherProgramAreNotReadTorn) {
  const int kPrints = 10;
  std::string others;
  for (int i = 0; i < 1000; ++i)
    others += "[Other" + std::to_string(i) + "]\r\nKey=value " + std::to_string(i) + "\r\n";
  WriteTextFile(kTestSettingsFile, others + "[Tarvold]\r\nDefaultDir=" + kTestOutputDir +
                                       "\r\nPromptForEachPrint=0\r\nFileNameCounter=1\r\nLogFile=" + kLogFile +
                                       "\r\n[Writer]\r\nTick=0\r\n");
  HANDLE lock = CreateMutexA(nullptr, FALSE, kLockName);
  ASSERT_NE(lock, nullptr);
  ASSERT_EQ(WaitForSingleObject(lock, 0), WAIT_OBJECT_0);  // the runs go on without it
  std::atomic<bool> writing(true);
  std::thread writer([&writing] {
    for (int tick = 1; writing; ++tick) {
      WritePrivateProfileStringA("Writer", "Tick", std::to_string(tick).c_str(), kTestSettingsFile);
      Sleep(50);
    }
  });
  std::vector<long> exitCodes = RunPrintsAtOnce(kPrints);
  writing = false;
  writer.join();
  ReleaseMutex(lock);
  CloseHandle(lock);
  EXPECT_EQ(exitCodes, std::vector<long>(kPrints, 0));
  EXPECT_EQ(FiledNames().size(), static_cast<size_t>(kPrints));
  EXPECT_TRUE(NothingStrayOnDriveC());
  std::vector<std::string> outcomes = LoggedOutcomes();
  EXPECT_EQ(outcomes.size(), static_cast<size_t>(kPrints));
  for (const std::string& outcome : outcomes) EXPECT_EQ(outcome.find("automatic filed " + Out("File")), 0u) << outcome;
  std::string settings = ReadTextFile(kTestSettingsFile);
  EXPECT_TRUE(settings.compare(0, others.size(), others) == 0) << "another program's sections changed";
  EXPECT_NE(settings.find("[Writer]\r\nTick="), std::string::npos);
}

}  // namespace
