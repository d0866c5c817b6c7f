// Answers the real Save As dialog from a second thread, with window messages
// only, as a user would: it reads the folder, proposed name and filters, types
// the answer, presses Save or Cancel, and says Yes to an overwrite question.
#include <windows.h>

#include <commdlg.h>
#include <dlgs.h>

#include <atomic>
#include <thread>

#include "save_dialog_script.h"

namespace {

const DWORD kDialogWaitMilliseconds = 20000;

std::vector<DialogAnswer> pending;
std::vector<DialogSeen> seen;
std::thread answerer;
std::atomic<bool> stopRequested;
DWORD dialogThread;

struct WindowSearch {
  HWND found;
  int wantedControl;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM context) {
  WindowSearch* search = reinterpret_cast<WindowSearch*>(context);
  char className[32];
  if (GetClassNameA(window, className, sizeof className) == 0 || lstrcmpA(className, "#32770") != 0) return TRUE;
  if (!IsWindowVisible(window) || GetDlgItem(window, search->wantedControl) == nullptr) return TRUE;
  search->found = window;
  return FALSE;
}

HWND FindThreadDialog(int wantedControl) {
  WindowSearch search = {nullptr, wantedControl};
  EnumThreadWindows(dialogThread, MatchDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool Elapsed(DWORD since, DWORD limit) { return GetTickCount() - since > limit; }

HWND WaitForSaveDialog() {
  DWORD start = GetTickCount();
  while (!stopRequested && !Elapsed(start, kDialogWaitMilliseconds)) {
    HWND dialog = FindThreadDialog(cmb1);
    if (dialog != nullptr) return dialog;
    Sleep(10);
  }
  return nullptr;
}

HWND FileNameControl(HWND dialog) {
  HWND edit = GetDlgItem(dialog, cmb13);
  return edit != nullptr ? edit : GetDlgItem(dialog, edt1);
}

std::string WindowText(HWND window) {
  char text[MAX_PATH * 2] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

DialogSeen Describe(HWND dialog) {
  DialogSeen shown = {};
  char folder[MAX_PATH] = {};
  SendMessageA(dialog, CDM_GETFOLDERPATH, sizeof folder, reinterpret_cast<LPARAM>(folder));
  shown.folder = folder;
  shown.topmost = (GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
  shown.fileName = WindowText(FileNameControl(dialog));
  HWND filters = GetDlgItem(dialog, cmb1);
  LRESULT count = SendMessageA(filters, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    char item[256] = {};
    SendMessageA(filters, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
    shown.filters.push_back(item);
  }
  shown.selectedFilter = static_cast<int>(SendMessageA(filters, CB_GETCURSEL, 0, 0));
  return shown;
}

// After Save the dialog either closes or asks whether to replace the file.
bool WaitForClose(HWND dialog) {
  bool overwriteAsked = false;
  DWORD start = GetTickCount();
  while (IsWindow(dialog) && !Elapsed(start, kDialogWaitMilliseconds)) {
    HWND question = FindThreadDialog(IDYES);
    if (question != nullptr && GetWindow(question, GW_OWNER) == dialog) {
      overwriteAsked = true;
      PostMessageA(question, WM_COMMAND, IDYES, 0);
    }
    Sleep(10);
  }
  return overwriteAsked;
}

void Answer(HWND dialog, const DialogAnswer& answer, DialogSeen* shown) {
  if (!answer.save) {
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    WaitForClose(dialog);
    return;
  }
  if (!answer.typedName.empty()) SetWindowTextA(FileNameControl(dialog), answer.typedName.c_str());
  PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  shown->overwriteAsked = WaitForClose(dialog);
}

void AnswerDialogs(std::vector<DialogAnswer> answers) {
  for (const DialogAnswer& answer : answers) {
    HWND dialog = WaitForSaveDialog();
    if (dialog == nullptr) return;
    Sleep(100);  // let the dialog finish filling its controls
    DialogSeen shown = Describe(dialog);
    Answer(dialog, answer, &shown);
    seen.push_back(shown);
  }
  // A dialog the script did not expect is recorded and cancelled.
  HWND extra = WaitForSaveDialog();
  if (extra != nullptr) {
    seen.push_back(Describe(extra));
    PostMessageA(extra, WM_COMMAND, IDCANCEL, 0);
  }
}

}  // namespace

void ScriptSaveDialogs(const std::vector<DialogAnswer>& answers) {
  pending = answers;
  seen.clear();
  stopRequested = false;
  dialogThread = GetCurrentThreadId();
  // The program loads the dialog library at its first call. Loaded then, with
  // the answering thread already busy in user32, the loader deadlocks under
  // Wine; the program itself has no second thread, so load it first here.
  LoadLibraryA("comdlg32.dll");
  answerer = std::thread(AnswerDialogs, pending);
}

std::vector<DialogSeen> FinishSaveDialogs() {
  stopRequested = true;
  if (answerer.joinable()) answerer.join();
  // A confirmed dialog makes its folder the current one, which then cannot
  // be removed by the next test.
  SetCurrentDirectoryA("C:\\");
  return seen;
}
