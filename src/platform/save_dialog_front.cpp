// The Save As dialog, brought in front of the application that printed: a
// program started by the spooler may not take the foreground, and its first
// window would open behind that application, only flashing in the taskbar.
// A hook of this thread makes the dialog topmost as it is activated; the
// request and the hidden main window stay as they are.
#include "platform/platform.h"

namespace {

HHOOK frontHook;

bool IsUnownedDialog(HWND window) {
  char className[8];
  return GetClassNameA(window, className, sizeof className) > 0 && lstrcmpA(className, "#32770") == 0 &&
         GetWindow(window, GW_OWNER) == nullptr;
}

LRESULT CALLBACK BringDialogToFront(int code, WPARAM wParam, LPARAM lParam) {
  HWND window = reinterpret_cast<HWND>(wParam);
  if (code == HCBT_ACTIVATE && IsUnownedDialog(window))
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  return CallNextHookEx(frontHook, code, wParam, lParam);
}

}  // namespace

BOOL ShowSaveDialogInFront(OPENFILENAMEA* request) {
  frontHook = SetWindowsHookExA(WH_CBT, BringDialogToFront, nullptr, GetCurrentThreadId());
  BOOL chosen = GetSaveFileNameA(request);
  DWORD error = CommDlgExtendedError();
  if (frontHook != nullptr) UnhookWindowsHookEx(frontHook);
  frontHook = nullptr;
  SetLastError(error);
  return chosen;
}
