// The shell in-process: the class, the hidden start-up that files the print,
// the Exit and About commands, the accelerators and the About box itself.
// Built with the program's own resources linked in.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "resource.h"
#include "shell/main_window.h"
#include "test_files.h"

namespace {

enum class CloseBy { kOk, kEscape, kCloseBox };

struct AboutBoxSeen {
  bool shown = false;
  std::string caption;
  std::vector<std::string> texts;  // of the controls, in creation order
  bool iconSet = false;
};

void ReadAboutBox(HWND dialog, AboutBoxSeen* seen) {
  char text[256] = {};
  GetWindowTextA(dialog, text, sizeof text);
  seen->caption = text;
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    GetWindowTextA(child, text, sizeof text);
    seen->texts.push_back(text);
  }
  HWND icon = GetDlgItem(dialog, IDC_ABOUT_ICON);
  seen->iconSet = icon != nullptr && SendMessageA(icon, STM_GETICON, 0, 0) != 0;
}

// Waits on another thread for the About box, reads it and closes it.
std::thread CloseAboutBoxWhenShown(CloseBy how, AboutBoxSeen* seen) {
  return std::thread([how, seen] {
    HWND dialog = nullptr;
    for (int tries = 0; tries < 500 && dialog == nullptr; ++tries) {
      dialog = FindWindowA("#32770", "About");
      if (dialog == nullptr) Sleep(10);
    }
    if (dialog == nullptr) return;
    seen->shown = true;
    ReadAboutBox(dialog, seen);
    switch (how) {
      case CloseBy::kOk:
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        break;
      case CloseBy::kEscape:
        PostMessageA(GetDlgItem(dialog, IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
        break;
      case CloseBy::kCloseBox:
        PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    }
  });
}

// The thread's own key state says whether Alt is down when a key is matched.
void HoldAlt(bool down) {
  BYTE keys[256];
  GetKeyboardState(keys);
  keys[VK_MENU] = down ? 0x80 : 0;
  SetKeyboardState(keys);
}

bool TakeQuitMessage(WPARAM* exitCode) {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      *exitCode = message.wParam;
      return true;
    }
  }
  return false;
}

class MainWindowTest : public testing::Test {
 protected:
  HINSTANCE instance = GetModuleHandleA(nullptr);
  HWND window = nullptr;

  void SetUp() override {
    LoadStringA(instance, IDS_APP_TITLE, appTitle, kShellStringSize);
    LoadStringA(instance, IDS_CLASS_NAME, mainClassName, kShellStringSize);
    appInstance = instance;
    static bool registered = RegisterMainClass(instance) != 0;
    ASSERT_TRUE(registered);
  }

  void TearDown() override {
    if (window != nullptr && IsWindow(window)) DestroyWindow(window);
    WPARAM ignored;
    TakeQuitMessage(&ignored);
  }

  void CreateMainWindow() {
    window = CreateWindowExA(0, mainClassName, appTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0,
                             nullptr, nullptr, instance, nullptr);
    ASSERT_NE(window, nullptr);
  }

  static void PrepareAutomaticPrint() {
    RemoveTree("C:\\Kestrin");
    RemoveTree("C:\\TollivaneTest");
    MakeFolders("C:\\Kestrin\\Print\\Config");
    MakeFolders(kTestOutputDir);
    WriteTextFile(kTestSpoolFile, "%PDF-1.4\nprinted\n%%EOF\n");
    WriteSettings(std::string("DefaultDir=") + kTestOutputDir + "\r\nPromptForEachPrint=0\r\n");
  }
};

TEST_F(MainWindowTest, ResourcesGiveTheTitleClassNameAndPaintText) {
  EXPECT_STREQ(appTitle, "Tollivane");
  EXPECT_STREQ(mainClassName, "TOLLIVANE");
  char hello[kShellStringSize];
  LoadStringA(instance, IDS_HELLO, hello, kShellStringSize);
  EXPECT_STREQ(hello, "Hello World!");
}

TEST_F(MainWindowTest, ClassCarriesTheIconsMenuAndProcedure) {
  WNDCLASSEXA windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  ASSERT_TRUE(GetClassInfoExA(instance, "TOLLIVANE", &windowClass));
  EXPECT_EQ(windowClass.style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW));
  EXPECT_EQ(windowClass.lpfnWndProc, MainWindowProc);
  EXPECT_EQ(windowClass.cbClsExtra, 0);
  EXPECT_EQ(windowClass.cbWndExtra, 0);
  EXPECT_NE(windowClass.hIcon, nullptr);
  EXPECT_NE(windowClass.hIconSm, nullptr);
  EXPECT_NE(windowClass.hCursor, nullptr);
  EXPECT_EQ(windowClass.hbrBackground, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
  EXPECT_EQ(windowClass.lpszMenuName, MAKEINTRESOURCEA(IDR_MAINMENU));
}

TEST_F(MainWindowTest, StartUpFilesThePrintBehindAHiddenWindowAndPostsQuit) {
  PrepareAutomaticPrint();
  EXPECT_EQ(StartMainWindow(instance, SW_SHOWMAXIMIZED), 1);
  window = FindWindowA("TOLLIVANE", "Tollivane");
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_NE(GetMenu(window), nullptr);  // the class menu
  EXPECT_TRUE(PathExists(std::string(kTestOutputDir) + "\\File002.pdf"));
  WPARAM exitCode = 99;
  EXPECT_TRUE(TakeQuitMessage(&exitCode));
  EXPECT_EQ(exitCode, 0u);
}

TEST_F(MainWindowTest, NoWindowStillFilesThePrintAndGivesZero) {
  PrepareAutomaticPrint();
  char saved[kShellStringSize];
  lstrcpynA(saved, mainClassName, kShellStringSize);
  lstrcpynA(mainClassName, "NoSuchTollivaneClass", kShellStringSize);
  int started = StartMainWindow(instance, SW_SHOWNORMAL);
  lstrcpynA(mainClassName, saved, kShellStringSize);
  EXPECT_EQ(started, 0);
  EXPECT_EQ(ListFolder(kTestOutputDir), std::vector<std::string>{"File002.pdf"});
  WPARAM exitCode;
  EXPECT_FALSE(TakeQuitMessage(&exitCode));
}

TEST_F(MainWindowTest, ExitDestroysTheWindowWhichPostsQuit) {
  CreateMainWindow();
  EXPECT_EQ(SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0), 0);
  EXPECT_FALSE(IsWindow(window));
  WPARAM exitCode = 99;
  EXPECT_TRUE(TakeQuitMessage(&exitCode));
  EXPECT_EQ(exitCode, 0u);
}

TEST_F(MainWindowTest, AboutCommandShowsTheAboutBoxUntilOk) {
  CreateMainWindow();
  AboutBoxSeen seen;
  std::thread closer = CloseAboutBoxWhenShown(CloseBy::kOk, &seen);
  EXPECT_EQ(SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_ABOUT, 0), 0), 0);
  closer.join();
  ASSERT_TRUE(seen.shown);
  EXPECT_EQ(seen.caption, "About");
  ASSERT_EQ(seen.texts.size(), 4u);
  EXPECT_EQ(seen.texts[1], "Tollivane Version 1.0");
  EXPECT_FALSE(seen.texts[2].empty());
  EXPECT_EQ(seen.texts[3], "OK");
  EXPECT_TRUE(seen.iconSet);
  EXPECT_TRUE(IsWindow(window));
  EXPECT_EQ(FindWindowA("#32770", "About"), nullptr);
}

TEST_F(MainWindowTest, AboutBoxEndsWithOkOrCancelHowEverItIsClosed) {
  CreateMainWindow();
  const struct {
    CloseBy how;
    INT_PTR result;
  } cases[] = {{CloseBy::kOk, IDOK}, {CloseBy::kEscape, IDCANCEL}, {CloseBy::kCloseBox, IDCANCEL}};
  for (const auto& c : cases) {
    AboutBoxSeen seen;
    std::thread closer = CloseAboutBoxWhenShown(c.how, &seen);
    INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ABOUTBOX), window, AboutBoxProc, 0);
    closer.join();
    EXPECT_TRUE(seen.shown);
    EXPECT_EQ(result, c.result) << static_cast<int>(c.how);
  }
}

TEST_F(MainWindowTest, AltQuestionMarkAndAltSlashOpenAbout) {
  CreateMainWindow();
  HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));
  ASSERT_NE(accelerators, nullptr);
  ACCEL entries[4] = {};
  ASSERT_EQ(CopyAcceleratorTableA(accelerators, entries, 4), 2);
  for (const ACCEL& entry : entries) {
    if (entry.cmd == 0) continue;
    EXPECT_EQ(entry.fVirt & ~FNOINVERT, FALT) << "a character key with Alt, not a virtual key";
    EXPECT_EQ(entry.cmd, IDM_ABOUT);
  }
  EXPECT_EQ(entries[0].key, '?');
  EXPECT_EQ(entries[1].key, '/');

  HoldAlt(true);
  for (char key : {'?', '/'}) {
    AboutBoxSeen seen;
    std::thread closer = CloseAboutBoxWhenShown(CloseBy::kEscape, &seen);
    MSG message = {window, WM_SYSCHAR, static_cast<WPARAM>(key), 1 << 29, 0, {0, 0}};
    EXPECT_TRUE(TranslateAcceleratorA(window, accelerators, &message)) << key;
    closer.join();
    EXPECT_TRUE(seen.shown) << key;
  }
  HoldAlt(false);
  MSG plain = {window, WM_CHAR, '?', 0, 0, {0, 0}};
  EXPECT_FALSE(TranslateAcceleratorA(window, accelerators, &plain)) << "without Alt";
}

}  // namespace
