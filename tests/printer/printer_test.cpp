// The printer end to end under Wine: TollivaneSetup.exe installs it with the
// tests' PostScript driver, jobs go through the print API to the port
// monitor, and Tollivane.exe files them. Also the setup's repeat, removal
// and undo, and the port's answers to odd XcvData calls.
#include <windows.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "print_job.h"
#include "test_files.h"

namespace {

const wchar_t kPrinter[] = L"Tollivane";
const wchar_t kTestDriver[] = L"Tollivane Test PS";
const char kLogFile[] = "C:\\TollivaneTest\\print.log";
const char kPreviousPrint[] = "%PDF-1.4 the previous print\n";
const wchar_t kMonitorKey[] = L"System\\CurrentControlSet\\Control\\Print\\Monitors\\Tollivane Port Monitor";
const DWORD kProgramTimeoutMs = 120000;
const char kInstalledProgram[] = "C:\\Program Files (x86)\\Tollivane\\Tollivane.exe";

// Wine maps the Unix root to drive Z.
std::string WindowsPath(const char* variable) {
  const char* value = getenv(variable);
  std::string path = value != nullptr ? value : "";
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// Runs a program and returns its exit code (-1 when it could not be run or
// did not end), with what it wrote to standard output.
long RunProgram(const std::string& commandLine, std::string* output) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return -1;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  PROCESS_INFORMATION process = {};
  std::string line = commandLine;
  BOOL started = CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
  CloseHandle(writeEnd);
  char buffer[4096];
  DWORD read = 0;
  while (started && ReadFile(readEnd, buffer, sizeof buffer, &read, nullptr) && read > 0) output->append(buffer, read);
  CloseHandle(readEnd);
  if (!started) return -1;
  DWORD exitCode = 0;
  bool ended = WaitForSingleObject(process.hProcess, kProgramTimeoutMs) == WAIT_OBJECT_0 &&
               GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return ended ? static_cast<long>(exitCode) : -1;
}

long RunSetup(const std::string& arguments, std::string* output) {
  return RunProgram("\"" + WindowsPath("TOLLIVANE_BUILD_DIR") + "\\TollivaneSetup.exe\" " + arguments, output);
}

std::string SystemDll() {
  char folder[MAX_PATH];
  GetSystemDirectoryA(folder, MAX_PATH);
  return std::string(folder) + "\\TollivanePort.dll";
}

bool PrinterInstalled() {
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer, nullptr)) return false;
  ClosePrinter(printer);
  return true;
}

int CountPrintersNamedTollivane() {
  DWORD needed = 0;
  DWORD count = 0;
  EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 4, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed + 1);
  if (!EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 4, buffer.data(), needed, &needed, &count)) return -1;
  const PRINTER_INFO_4W* printers = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
  int named = 0;
  for (DWORD i = 0; i < count; ++i) named += lstrcmpiW(printers[i].pPrinterName, kPrinter) == 0;
  return named;
}

bool MonitorRegistered() {
  DWORD needed = 0;
  DWORD count = 0;
  EnumMonitorsW(nullptr, 1, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed + 1);
  if (!EnumMonitorsW(nullptr, 1, buffer.data(), needed, &needed, &count)) return false;
  const MONITOR_INFO_1W* monitors = reinterpret_cast<const MONITOR_INFO_1W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i)
    if (lstrcmpW(monitors[i].pName, L"Tollivane Port Monitor") == 0) return true;
  return false;
}

bool NothingInstalled() {
  return !PrinterInstalled() && !MonitorRegistered() && !PathExists(SystemDll()) && !PathExists(kInstalledProgram);
}

// Wine reads a Unix symbolic link as a reparse point, as Windows reads a
// junction; Wine's own CreateSymbolicLink makes nothing, so the Unix tools
// make and remove them (Wine runs a Unix program it is asked to start).
std::string UnixPath(const std::string& windowsPath) {
  std::string path = std::string(getenv("WINEPREFIX")) + "/drive_c" + windowsPath.substr(2);
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

bool RunUnix(const std::string& commandLine, const std::string& windowsPath, bool linkWanted) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  std::string line = commandLine;
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  // Wine does not wait for a Unix program: the result is looked for.
  for (int i = 0; i < 500; ++i) {
    DWORD attributes = GetFileAttributesA(windowsPath.c_str());
    bool isLink = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (isLink == linkWanted) return true;
    Sleep(10);
  }
  return false;
}

bool MakeLink(const std::string& link, const std::string& target) {
  return RunUnix("Z:\\bin\\ln -sfn \"" + UnixPath(target) + "\" \"" + UnixPath(link) + "\"", link, true);
}

bool RemoveLink(const std::string& link) { return RunUnix("Z:\\bin\\rm -f \"" + UnixPath(link) + "\"", link, false); }

void SetProgramValue(const std::string& program) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMonitorKey, 0, KEY_SET_VALUE, &key));
  std::wstring value = Wide(program);
  RegSetValueExW(key, L"Program", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

// Deterministic bytes of every value, different for each seed.
// The port's record of the last job, its outcome line: "handed over", or
// "not handed over: <reason> (error N)".
std::string LastJobOutcome() {
  char record[2048] = {};
  DWORD bytes = sizeof record - 1;
  RegGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tollivane\\Record", "LastJob", RRF_RT_REG_SZ, nullptr, record, &bytes);
  std::string text = record;
  size_t at = text.find("outcome: ");
  if (at == std::string::npos) return "";
  size_t end = text.find("\r\n", at);
  return text.substr(at + 9, end == std::string::npos ? std::string::npos : end - at - 9);
}

// A job ends once its run holds the print; the run files it after that and
// logs it. Waits for `count` log lines, at most a minute.
std::vector<std::string> WaitForLogLines(size_t count) {
  std::vector<std::string> lines;
  for (int i = 0; i < 600; ++i) {
    lines = ReadLogOutcomes(kLogFile);
    if (lines.size() >= count) break;
    Sleep(100);
  }
  return lines;
}

std::string JobBytes(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  unsigned state = seed * 2654435761u + 1;
  for (char& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<char>(state >> 24);
  }
  return bytes;
}

std::vector<std::string> JobFilesLeft() {
  std::vector<std::string> jobs;
  for (const std::string& name : ListFolder("C:\\Kestrin\\Print"))
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".job") == 0) jobs.push_back(name);
  return jobs;
}

std::string Out(const std::string& name) { return std::string(kTestOutputDir) + "\\" + name; }

std::vector<std::string> FiledNames() {
  std::vector<std::string> names = ListFolder(kTestOutputDir);
  std::sort(names.begin(), names.end());
  return names;
}

// Each process prints with job numbers of its own (see PrintBytes).
long nextFirstJob = 1000;

HANDLE StartClient(const std::string& file, DWORD pauseMs, HANDLE* output) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE writeEnd = nullptr;
  CreatePipe(output, &writeEnd, &inherit, 0);
  SetHandleInformation(*output, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  std::string line = "\"" + WindowsPath("PRINT_CLIENT") + "\" print Tollivane \"" + file + "\" " +
                     std::to_string(nextFirstJob) + " " + std::to_string(pauseMs);
  nextFirstJob += 20;
  PROCESS_INFORMATION process = {};
  BOOL started = CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
  CloseHandle(writeEnd);
  if (!started) return nullptr;
  CloseHandle(process.hThread);
  return process.hProcess;
}

std::string FinishClient(HANDLE process, HANDLE output) {
  std::string text;
  char buffer[512];
  DWORD read = 0;
  while (ReadFile(output, buffer, sizeof buffer, &read, nullptr) && read > 0) text.append(buffer, read);
  CloseHandle(output);
  WaitForSingleObject(process, kProgramTimeoutMs);
  CloseHandle(process);
  return text;
}

class PrinterTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string failure;
    ASSERT_TRUE(InstallTestDriver(kTestDriver, Wide(WindowsPath("TEST_PPD")), &failure)) << failure;
    std::string output;
    ASSERT_EQ(0, RunSetup("install --driver \"Tollivane Test PS\"", &output)) << output;
  }

  void SetUp() override {
    RemoveTree("C:\\TollivaneTest");
    MakeFolders(kTestOutputDir);
    MakeFolders("C:\\Kestrin\\Print\\Config");
    for (const std::string& job : JobFilesLeft()) RemoveTree("C:\\Kestrin\\Print\\" + job);
    WriteSettings(std::string("DefaultDir=") + kTestOutputDir + "\r\nPromptForEachPrint=0\r\nLogFile=" + kLogFile +
                  "\r\n");
    WriteTextFile(kTestSpoolFile, kPreviousPrint);
  }

  static void Reinstall() {
    std::string output;
    EXPECT_EQ(0, RunSetup("install --driver \"Tollivane Test PS\"", &output)) << output;
  }
};

TEST_F(PrinterTest, JobIsHandedOverAndFiled) {
  std::string bytes = JobBytes(20 * 1024, 1);
  PrintOutcome outcome = PrintBytes(kPrinter, bytes, 1);
  ASSERT_TRUE(outcome.ended) << "error " << outcome.error;
  EXPECT_EQ("handed over", LastJobOutcome());
  WaitForLogLines(1);
  EXPECT_EQ(std::vector<std::string>{"File002.pdf"}, FiledNames());
  EXPECT_TRUE(ReadTextFile(Out("File002.pdf")) == bytes);
  EXPECT_EQ("2", ReadSetting("FileNameCounter"));
  EXPECT_TRUE(ReadTextFile(kTestSpoolFile) == bytes);
  EXPECT_TRUE(JobFilesLeft().empty());
  EXPECT_EQ(std::vector<std::string>{"automatic filed C:\\TollivaneTest\\out\\File002.pdf"}, ReadLogOutcomes(kLogFile));
}

TEST_F(PrinterTest, LargeJobIsFiledWhole) {
  std::string bytes = JobBytes(64 * 1024 * 1024, 2);
  PrintOutcome outcome = PrintBytes(kPrinter, bytes, 1);
  ASSERT_TRUE(outcome.ended) << "error " << outcome.error;
  WaitForLogLines(1);
  EXPECT_TRUE(ReadTextFile(Out("File002.pdf")) == bytes);
  EXPECT_TRUE(JobFilesLeft().empty());
}

TEST_F(PrinterTest, PrintsFromSeveralProcessesAtOnceAreEachFiledOnce) {
  const int kClients = 6;
  std::vector<std::string> jobs;
  std::vector<HANDLE> processes;
  std::vector<HANDLE> outputs;
  for (int i = 0; i < kClients; ++i) {
    jobs.push_back(JobBytes(100 * 1024 + static_cast<size_t>(i), 10u + static_cast<unsigned>(i)));
    std::string file = "C:\\TollivaneTest\\job" + std::to_string(i) + ".bin";
    WriteTextFile(file, jobs.back());
    HANDLE output = nullptr;
    HANDLE process = StartClient(file, 0, &output);
    ASSERT_NE(nullptr, process);
    processes.push_back(process);
    outputs.push_back(output);
  }
  for (size_t i = 0; i < processes.size(); ++i) {
    std::string said = FinishClient(processes[i], outputs[i]);
    EXPECT_EQ(0u, said.find("printed\r\n")) << "client " << i << ": " << said;
  }
  WaitForLogLines(kClients);
  std::vector<std::string> filed;
  for (const std::string& name : FiledNames()) filed.push_back(ReadTextFile(Out(name)));
  std::sort(filed.begin(), filed.end());
  std::sort(jobs.begin(), jobs.end());
  EXPECT_EQ(static_cast<size_t>(kClients), filed.size());
  EXPECT_TRUE(filed == jobs) << "a job lost, mixed or filed twice";
  EXPECT_EQ(std::to_string(kClients + 1), ReadSetting("FileNameCounter"));
}

TEST_F(PrinterTest, EmptyJobFilesNothingAndKeepsTheSpoolFile) {
  PrintOutcome outcome = PrintBytes(kPrinter, std::string(), 1);
  EXPECT_TRUE(outcome.ended) << "error " << outcome.error;
  EXPECT_TRUE(FiledNames().empty());
  EXPECT_EQ(kPreviousPrint, ReadTextFile(kTestSpoolFile));
  EXPECT_TRUE(JobFilesLeft().empty());
  EXPECT_EQ("not handed over: empty job", LastJobOutcome());
  EXPECT_TRUE(ReadLogOutcomes(kLogFile).empty()) << "the program ran";
}

// Under Wine the monitor sees a job only when the client ends it, so the
// client is killed while its job is being handed to the port.
TEST_F(PrinterTest, ClientKilledMidJobLeavesNothingInTheWay) {
  std::string big = JobBytes(96 * 1024 * 1024, 3);
  WriteTextFile("C:\\TollivaneTest\\big.bin", big);
  HANDLE output = nullptr;
  HANDLE client = StartClient("C:\\TollivaneTest\\big.bin", 0, &output);
  ASSERT_NE(nullptr, client);
  bool sawJobFile = false;
  for (int i = 0; i < 60000 && !sawJobFile && WaitForSingleObject(client, 0) == WAIT_TIMEOUT; ++i) {
    sawJobFile = !JobFilesLeft().empty();
    if (!sawJobFile) Sleep(1);
  }
  TerminateProcess(client, 9);
  FinishClient(client, output);
  ASSERT_TRUE(sawJobFile) << "the client ended before its job reached the port";
  EXPECT_EQ(kPreviousPrint, ReadTextFile(kTestSpoolFile));
  EXPECT_TRUE(FiledNames().empty());

  std::string bytes = JobBytes(30 * 1024, 4);
  PrintOutcome outcome = PrintBytes(kPrinter, bytes, 1);
  ASSERT_TRUE(outcome.ended) << "error " << outcome.error;
  WaitForLogLines(1);
  EXPECT_TRUE(ReadTextFile(Out("File002.pdf")) == bytes);
  EXPECT_TRUE(ReadTextFile(kTestSpoolFile) == bytes);
  EXPECT_TRUE(JobFilesLeft().empty()) << "the killed job's file was not removed";
}

TEST_F(PrinterTest, MissingProgramFailsTheJob) {
  SetProgramValue("C:\\TollivaneTest\\Tollivane.exe");
  PrintOutcome outcome = PrintBytes(kPrinter, JobBytes(1000, 5), 1);
  Reinstall();  // records the program's real place again
  EXPECT_FALSE(outcome.ended);
  EXPECT_TRUE(FiledNames().empty());
  EXPECT_EQ(kPreviousPrint, ReadTextFile(kTestSpoolFile));
  EXPECT_TRUE(JobFilesLeft().empty());
  EXPECT_EQ("not handed over: program missing (error 2)", LastJobOutcome());
}

// Runs that do not say they hold their print: one that never does is ended
// at the bound and its job fails, one that ends without saying so fails its
// job at once; either way the next job is filed. A run that holds its print
// for long holds up nobody, and reads its own print, not a later one.
TEST_F(PrinterTest, RunsThatDoNotTakeTheirPrintCostOnlyTheirJob) {
  SetProgramValue(WindowsPath("STAND_IN_RUN_EXE"));
  SetEnvironmentVariableA("STAND_IN_RUN", "sleep");
  DWORD started = GetTickCount();
  PrintOutcome sleeping = PrintBytes(kPrinter, JobBytes(1000, 30), 1);
  DWORD waited = GetTickCount() - started;
  EXPECT_FALSE(sleeping.ended);
  EXPECT_GE(waited, 59000u);
  EXPECT_LE(waited, 75000u) << "the port waited past its bound";
  EXPECT_EQ("not handed over: program did not take its print within 60 s (error 1460)", LastJobOutcome());

  SetEnvironmentVariableA("STAND_IN_RUN", "exit");
  started = GetTickCount();
  PrintOutcome exiting = PrintBytes(kPrinter, JobBytes(1000, 31), 1);
  EXPECT_FALSE(exiting.ended);
  EXPECT_LE(GetTickCount() - started, 20000u);
  EXPECT_EQ("not handed over: program ended without taking its print (error 232)", LastJobOutcome());

  std::string held = JobBytes(50 * 1024, 32);
  SetEnvironmentVariableA("STAND_IN_RUN", "hold");
  started = GetTickCount();
  PrintOutcome holding = PrintBytes(kPrinter, held, 1);
  EXPECT_TRUE(holding.ended) << "error " << holding.error;
  EXPECT_LE(GetTickCount() - started, 6000u) << "the port waited for the run's end";
  SetEnvironmentVariableA("STAND_IN_RUN", nullptr);
  Reinstall();  // the program's real place again

  std::string next = JobBytes(40 * 1024, 33);
  PrintOutcome outcome = PrintBytes(kPrinter, next, 1);
  ASSERT_TRUE(outcome.ended) << "error " << outcome.error;
  WaitForLogLines(1);
  EXPECT_TRUE(ReadTextFile(Out("File002.pdf")) == next);
  EXPECT_EQ(std::vector<std::string>{"File002.pdf"}, FiledNames());
  for (int i = 0; i < 200 && !PathExists("C:\\TollivaneTest\\held.bin"); ++i) Sleep(100);
  EXPECT_TRUE(ReadTextFile("C:\\TollivaneTest\\held.bin") == held) << "the holding run read another print";
  for (int i = 0; i < 50 && !JobFilesLeft().empty(); ++i) Sleep(100);
  EXPECT_TRUE(JobFilesLeft().empty()) << "the print the run held was not removed after it let it go";
}

DWORD CallXcv(HANDLE xcv, const wchar_t* command, const std::wstring& input, DWORD inputBytes, DWORD outputBytes,
              DWORD* value, DWORD* needed) {
  BYTE output[16] = {};
  DWORD status = 0xFFFFFFFF;
  *needed = 0xFFFFFFFF;
  XcvDataW(xcv, command, reinterpret_cast<BYTE*>(const_cast<wchar_t*>(input.c_str())), inputBytes, output, outputBytes,
           needed, &status);
  CopyMemory(value, output, sizeof *value);
  return status;
}

TEST_F(PrinterTest, XcvDataChecksSizesAndRights) {
  const struct {
    const wchar_t* command;
    std::wstring input;
    int inputBytes;  // -1: the whole string with its terminator
    DWORD outputBytes;
    DWORD access;
    DWORD status;
    DWORD needed;
    DWORD value;
  } cases[] = {
      {L"MonitorUI", L"", -1, 16, SERVER_ACCESS_ADMINISTER, ERROR_NOT_SUPPORTED, 0, 0},
      {L"PortExists", L"TOLLIVANE:", -1, 4, SERVER_ACCESS_ADMINISTER, 0, 4, 1},
      {L"PortExists", L"tollivane:", -1, 4, SERVER_ACCESS_ENUMERATE, 0, 4, 1},
      {L"PortExists", L"LPT1:", -1, 4, SERVER_ACCESS_ADMINISTER, 0, 4, 0},
      {L"PortExists", L"TOLLIVANE:", -1, 3, SERVER_ACCESS_ADMINISTER, ERROR_INSUFFICIENT_BUFFER, 4, 0},
      {L"PortExists", L"TOLLIVANE:", 8, 4, SERVER_ACCESS_ADMINISTER, ERROR_INVALID_PARAMETER, 0, 0},
      {L"PortExists", L"TOLLIVANE:", 21, 4, SERVER_ACCESS_ADMINISTER, ERROR_INVALID_PARAMETER, 0, 0},
      {L"AddPort", L"TOLLIVANE:", -1, 0, SERVER_ACCESS_ADMINISTER, ERROR_ALREADY_EXISTS, 0, 0},
      {L"AddPort", L"OTHER:", -1, 0, SERVER_ACCESS_ADMINISTER, ERROR_NOT_SUPPORTED, 0, 0},
      {L"AddPort", L"OTHER:", -1, 0, SERVER_ACCESS_ENUMERATE, ERROR_ACCESS_DENIED, 0, 0},
      {L"DeletePort", L"TOLLIVANE:", -1, 0, SERVER_ACCESS_ADMINISTER, ERROR_NOT_SUPPORTED, 0, 0},
      {L"DeletePort", L"TOLLIVANE:", -1, 0, SERVER_ACCESS_ENUMERATE, ERROR_ACCESS_DENIED, 0, 0},
      {L"DeletePort", L"OTHER:", -1, 0, SERVER_ACCESS_ADMINISTER, ERROR_UNKNOWN_PORT, 0, 0},
      {L"SetPortTimeOuts", L"", -1, 16, SERVER_ACCESS_ADMINISTER, ERROR_INVALID_PARAMETER, 0, 0},
      {L"", L"", -1, 16, SERVER_ACCESS_ADMINISTER, ERROR_INVALID_PARAMETER, 0, 0},
  };
  for (const auto& c : cases) {
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, c.access};
    HANDLE xcv = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(L",XcvMonitor Tollivane Port Monitor"), &xcv, &defaults))
        << "error " << GetLastError();
    DWORD inputBytes = c.inputBytes < 0 ? static_cast<DWORD>((c.input.size() + 1) * sizeof(wchar_t))
                                        : static_cast<DWORD>(c.inputBytes);
    DWORD value = 0;
    DWORD needed = 0;
    DWORD status = CallXcv(xcv, c.command, c.input, inputBytes, c.outputBytes, &value, &needed);
    ClosePrinter(xcv);
    SCOPED_TRACE(testing::Message() << "command " << std::string(c.command, c.command + lstrlenW(c.command)) << " case "
                                    << (&c - cases));
    EXPECT_EQ(c.status, status);
    EXPECT_EQ(c.needed, needed);
    EXPECT_EQ(c.value, value);
  }
}

std::string ProgramValue() {
  wchar_t value[MAX_PATH] = {};
  DWORD bytes = sizeof value - sizeof(wchar_t);
  RegGetValueW(HKEY_LOCAL_MACHINE, kMonitorKey, L"Program", RRF_RT_REG_SZ, nullptr, value, &bytes);
  return std::string(value, value + lstrlenW(value));
}

TEST_F(PrinterTest, ProgramRunsFromItsCopyUnderProgramFiles) {
  EXPECT_EQ(kInstalledProgram, ProgramValue());
  std::string built = WindowsPath("TOLLIVANE_BUILD_DIR") + "\\Tollivane.exe";
  EXPECT_TRUE(ReadTextFile(kInstalledProgram) == ReadTextFile(built)) << "the copy is not the program built";
}

// A folder of the spool file's path replaced by a link (what any user could
// do to a folder created with inherited rights): a job writes nothing
// through it and fails; setup refuses to install on it and installs nothing.
TEST_F(PrinterTest, LinkInPlaceOfASpoolFolderIsNeverFollowed) {
  const struct {
    const char* folder;
    const char* aside;
    const char* planted;  // the link's target, laid out as the folder it replaces
  } cases[] = {
      {"C:\\Kestrin\\Print", "C:\\Kestrin\\Print.real", "C:\\TollivaneTest\\planted"},
      {"C:\\Kestrin", "C:\\Kestrin.real", "C:\\TollivaneTest\\planted"},
  };
  const std::string print = JobBytes(5000, 6);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    std::string spoolInTarget = std::string(c.planted) + (std::string(c.folder) == "C:\\Kestrin" ? "\\Print" : "");
    MakeFolders(spoolInTarget + "\\Config");
    WriteTextFile(spoolInTarget + "\\File.pdf", "the planted file");
    WriteTextFile(spoolInTarget + "\\Config\\Kestrin.ini", ReadTextFile(kTestSettingsFile));
    ASSERT_TRUE(MoveFileA(c.folder, c.aside)) << GetLastError();
    ASSERT_TRUE(MakeLink(c.folder, c.planted));

    PrintOutcome outcome = PrintBytes(kPrinter, print, 1);
    EXPECT_FALSE(outcome.ended);
    EXPECT_TRUE(ReadTextFile(spoolInTarget + "\\File.pdf") == "the planted file") << "the job replaced it";
    EXPECT_EQ((std::vector<std::string>{"Config", "File.pdf"}), ListFolder(spoolInTarget)) << "a job file went through";
    EXPECT_TRUE(FiledNames().empty());

    std::string output;
    EXPECT_EQ(0, RunSetup("uninstall", &output)) << output;
    output.clear();
    EXPECT_NE(0, RunSetup("install --driver \"Tollivane Test PS\"", &output));
    EXPECT_NE(std::string::npos, output.find(std::string(c.folder) + " is a link")) << output;
    EXPECT_TRUE(NothingInstalled()) << output;
    EXPECT_EQ((std::vector<std::string>{"Config", "File.pdf"}), ListFolder(spoolInTarget));

    EXPECT_TRUE(RemoveLink(c.folder));
    EXPECT_TRUE(MoveFileA(c.aside, c.folder)) << GetLastError();
    RemoveTree(c.planted);
    Reinstall();
  }
  EXPECT_EQ(kPreviousPrint, ReadTextFile(kTestSpoolFile));
  PrintOutcome outcome = PrintBytes(kPrinter, print, 1);
  EXPECT_TRUE(outcome.ended) << "error " << outcome.error;
  WaitForLogLines(1);
  EXPECT_TRUE(ReadTextFile(Out("File002.pdf")) == print);
}

// Files under the monitor's names that the port did not make (on Windows
// no user may add files there; an administrator might): a job file's name,
// a folder under one, one held open, the program's own. The port opens none
// of them, and none stops the next job.
TEST_F(PrinterTest, FilesPlantedUnderTheMonitorsNamesAreLeftAloneAndCostNoJob) {
  const std::string print = "C:\\Kestrin\\Print\\";
  const std::vector<std::string> planted = {
      print + "File.pdf.0123456789abcdef0123456789abcdef.job", print + "File.pdf.fedcba9876543210fedcba9876543210.job",
      print + "File.pdf.00112233445566778899aabbccddeeff.job", print + "tlv00000001-0001.tmp"};
  MakeFolders(planted[0]);
  for (size_t i = 1; i < planted.size(); ++i) WriteTextFile(planted[i], "planted");
  HANDLE held = CreateFileA(planted[2].c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  for (unsigned round = 0; round < 2; ++round) {
    std::string bytes = JobBytes(3000, 20 + round);
    PrintOutcome outcome = PrintBytes(kPrinter, bytes, 1);
    EXPECT_TRUE(outcome.ended) << "error " << outcome.error;
    WaitForLogLines(round + 1);
    EXPECT_TRUE(ReadTextFile(Out(round == 0 ? "File002.pdf" : "File003.pdf")) == bytes);
  }
  CloseHandle(held);
  for (const std::string& path : planted) EXPECT_TRUE(PathExists(path)) << path << " was removed";
  for (size_t i = 1; i < planted.size(); ++i) EXPECT_EQ("planted", ReadTextFile(planted[i])) << planted[i];
  for (const std::string& path : planted) RemoveTree(path);
}

// A job the port cannot take has its data dropped and fails at its end
// (Windows would send a job that fails at its start or while written again
// and again, holding up every later one); the next job is filed.
TEST_F(PrinterTest, AJobThePortCannotTakeFailsAloneAtItsEnd) {
  ASSERT_TRUE(MoveFileA("C:\\Kestrin\\Print", "C:\\Kestrin\\Print.real"));
  PrintOutcome missing = PrintBytes(kPrinter, JobBytes(200 * 1024, 7), 1);
  ASSERT_TRUE(MoveFileA("C:\\Kestrin\\Print.real", "C:\\Kestrin\\Print"));
  EXPECT_TRUE(missing.started && missing.written) << "the port refused the job before its end";
  EXPECT_FALSE(missing.ended);
  EXPECT_FALSE(PathExists("C:\\Kestrin\\Print.real"));

  // A viewer holding the spool file open without delete sharing: tried
  // again for a few seconds, then this job alone fails.
  HANDLE viewer = CreateFileA(kTestSpoolFile, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, viewer);
  DWORD started = GetTickCount();
  PrintOutcome held = PrintBytes(kPrinter, JobBytes(1000, 8), 1);
  DWORD waited = GetTickCount() - started;
  CloseHandle(viewer);
  EXPECT_FALSE(held.ended);
  EXPECT_GE(waited, 4000u) << "given up without waiting for the viewer";
  EXPECT_EQ(kPreviousPrint, ReadTextFile(kTestSpoolFile));
  EXPECT_EQ(0u, LastJobOutcome().find("not handed over: spool file in use (error ")) << LastJobOutcome();  // 5 or 32
  EXPECT_TRUE(JobFilesLeft().empty());

  // A document name far longer than a fixed buffer would take.
  std::string bytes = JobBytes(4000, 9);
  PrintOutcome next = PrintBytes(kPrinter, bytes, 1, 0, std::wstring(4000, L'd'));
  EXPECT_TRUE(next.ended) << "error " << next.error;
  WaitForLogLines(1);
  EXPECT_TRUE(ReadTextFile(Out("File002.pdf")) == bytes);
  EXPECT_EQ(std::vector<std::string>{"File002.pdf"}, FiledNames());
}

long RunCheck(const std::string& arguments, std::string* output) { return RunSetup("check " + arguments, output); }

// What Wine has of the facts `check` reads, and the last job's record.
TEST_F(PrinterTest, CheckReportsThePrinterAndTheLastJob) {
  std::string output;
  RunCheck("--print", &output);
  for (const char* line : {"ok       port monitor: \"Tollivane Port Monitor\" is registered",
                           "ok       monitor DLL: the one this setup ships",
                           "ok       printer: \"Tollivane\" on TOLLIVANE:, driver \"Tollivane Test PS\", datatype RAW",
                           "ok       program: the port starts C:\\Program Files (x86)\\Tollivane\\Tollivane.exe",
                           "ok       settings: automatic mode, output folder C:\\TollivaneTest\\out",
                           "ok       protected print mode: off", "ok       test print: sent to \"Tollivane\"",
                           "  program: started directly; it said when it had taken its print", "  outcome: handed over",
                           "ok       kind of install: one-user"})
    EXPECT_NE(std::string::npos, output.find(line)) << line << "\n" << output;
  WaitForLogLines(1);
  EXPECT_EQ(std::vector<std::string>{"File002.pdf"}, FiledNames()) << "the test print was not filed";

  SetProgramValue("C:\\TollivaneTest\\Tollivane.exe");
  PrintBytes(kPrinter, JobBytes(1000, 10), 1);
  output.clear();
  EXPECT_EQ(1, RunCheck("", &output));
  Reinstall();
  EXPECT_NE(std::string::npos,
            output.find("PROBLEM  program: the port starts C:\\TollivaneTest\\Tollivane.exe, which is "
                        "missing"))
      << output;
  EXPECT_NE(std::string::npos, output.find("  outcome: not handed over: program missing (error 2)")) << output;
}

// Windows protected print mode loads no third-party monitor: setup installs
// the IPP printer instead, with no monitor beside it, and check names it.
TEST_F(PrinterTest, ProtectedPrintModeGetsTheIppPrinter) {
  std::string output;
  ASSERT_EQ(0, RunSetup("uninstall", &output)) << output;
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Policies\\Microsoft\\Windows NT\\Printers\\WPP", 0, nullptr,
                            0, KEY_SET_VALUE, nullptr, &key, nullptr));
  DWORD on = 1;
  RegSetValueExW(key, L"WindowsProtectedPrintGroupPolicyState", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on),
                 sizeof on);
  output.clear();
  RunSetup("install --driver \"Tollivane Test PS\"", &output);
  std::string checked;
  RunCheck("", &checked);
  RegDeleteValueW(key, L"WindowsProtectedPrintGroupPolicyState");
  RegCloseKey(key);
  EXPECT_NE(std::string::npos, output.find("Windows protected print mode is on (Windows says so)")) << output;
  EXPECT_NE(std::string::npos, output.find("The IPP printer answers at ipp://127.0.0.1:8631/ipp/print")) << output;
  EXPECT_FALSE(MonitorRegistered()) << output;
  EXPECT_FALSE(PathExists(SystemDll())) << output;
  EXPECT_NE(std::string::npos, checked.find("ok       printer kind: the IPP printer")) << checked;
  output.clear();
  EXPECT_EQ(0, RunSetup("uninstall", &output)) << output;
  EXPECT_NE(std::string::npos, output.find("The service \"Tollivane Print Service\" is stopped and deleted")) << output;
  Reinstall();
  EXPECT_TRUE(PrinterInstalled());
}

// The two kinds of install, switched either way by installing again. One
// settings file gives each user a folder of their own through the printing
// user's variables; check names the kind, and never opens a network folder
// the settings name.
TEST_F(PrinterTest, SharedInstallFilesIntoEachUsersOwnFolder) {
  std::string output;
  ASSERT_EQ(0, RunSetup("install --shared --driver \"Tollivane Test PS\"", &output)) << output;
  EXPECT_NE(std::string::npos, output.find("Shared install: only administrators can change the settings")) << output;
  char profile[MAX_PATH] = {};
  ASSERT_GT(GetEnvironmentVariableA("USERPROFILE", profile, MAX_PATH), 0u);
  std::string prints = std::string(profile) + "\\Prints";
  RemoveTree(prints);
  MakeFolders(prints);
  WriteSettings(std::string("DefaultDir=%USERPROFILE%\\Prints\r\nPromptForEachPrint=0\r\nLogFile=") + kLogFile +
                "\r\n");
  std::string bytes = JobBytes(8000, 40);
  PrintOutcome outcome = PrintBytes(kPrinter, bytes, 1);
  ASSERT_TRUE(outcome.ended) << "error " << outcome.error;
  WaitForLogLines(1);
  EXPECT_TRUE(ReadTextFile(prints + "\\File002.pdf") == bytes) << "not filed in the user's own folder";
  RemoveTree(prints);
  std::string checked;
  RunCheck("", &checked);
  EXPECT_NE(std::string::npos,
            checked.find("ok       kind of install: shared: only administrators change the settings"))
      << checked;

  WriteSettings("DefaultDir=\\\\NOHOST\\prints\r\nPromptForEachPrint=0\r\n");
  checked.clear();
  DWORD started = GetTickCount();
  RunCheck("", &checked);
  EXPECT_LE(GetTickCount() - started, 10000u);
  EXPECT_NE(std::string::npos, checked.find("ok       output folder: \\\\NOHOST\\prints: a network folder, not probed"))
      << checked;

  output.clear();
  ASSERT_EQ(0, RunSetup("install --driver \"Tollivane Test PS\"", &output)) << output;
  EXPECT_NE(std::string::npos, output.find("One-user install: every user of this machine can change")) << output;
  checked.clear();
  RunCheck("", &checked);
  EXPECT_NE(std::string::npos, checked.find("ok       kind of install: one-user")) << checked;
  EXPECT_EQ(1, CountPrintersNamedTollivane());
}

TEST_F(PrinterTest, InstallingAgainChangesNothing) {
  std::string settings = ReadTextFile(kTestSettingsFile);
  std::string output;
  ASSERT_EQ(0, RunSetup("install --driver \"Tollivane Test PS\"", &output)) << output;
  EXPECT_NE(std::string::npos, output.find("already in place")) << output;
  EXPECT_NE(std::string::npos, output.find("already registered")) << output;
  EXPECT_NE(std::string::npos, output.find("already there")) << output;
  EXPECT_EQ(1, CountPrintersNamedTollivane());
  EXPECT_EQ(settings, ReadTextFile(kTestSettingsFile));
}

TEST_F(PrinterTest, UninstallRemovesThePrinterAndKeepsTheSettings) {
  std::string settings = ReadTextFile(kTestSettingsFile);
  std::string output;
  EXPECT_EQ(0, RunSetup("uninstall", &output)) << output;
  EXPECT_TRUE(NothingInstalled()) << output;
  EXPECT_FALSE(PathExists("C:\\Program Files (x86)\\Tollivane")) << output;
  EXPECT_EQ(settings, ReadTextFile(kTestSettingsFile));
  EXPECT_EQ(kPreviousPrint, ReadTextFile(kTestSpoolFile));
  output.clear();
  EXPECT_EQ(0, RunSetup("uninstall", &output)) << output;
  EXPECT_TRUE(NothingInstalled());
  Reinstall();
  EXPECT_TRUE(PrinterInstalled());
}

TEST_F(PrinterTest, FailingInstallLeavesNothingBehind) {
  std::string output;
  ASSERT_EQ(0, RunSetup("uninstall", &output)) << output;
  RemoveTree(kTestSettingsFile);
  output.clear();
  EXPECT_NE(0, RunSetup("install --driver \"No Such Driver\"", &output));
  EXPECT_NE(std::string::npos,
            output.find("Failed: adding the printer \"Tollivane\" with the driver \"No Such Driver\""))
      << output;
  EXPECT_TRUE(NothingInstalled()) << output;
  EXPECT_FALSE(PathExists(kTestSettingsFile));
  Reinstall();
  EXPECT_TRUE(PrinterInstalled());
}

TEST_F(PrinterTest, SetupRefusesOtherArguments) {
  for (const char* arguments : {"", "instal", "install --driver", "uninstall now"}) {
    std::string output;
    EXPECT_EQ(2, RunSetup(arguments, &output)) << arguments;
    EXPECT_NE(std::string::npos, output.find("check [--print]")) << arguments;
    EXPECT_NE(std::string::npos, output.find("usage:")) << arguments;
  }
}

}  // namespace
