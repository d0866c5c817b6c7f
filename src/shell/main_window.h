// The hidden main window: its class, its creation (which runs the delivery
// job during start-up), and the window and About box procedures.
#ifndef TOLLIVANE_SHELL_MAIN_WINDOW_H
#define TOLLIVANE_SHELL_MAIN_WINDOW_H

#include "platform/platform.h"

enum { kShellStringSize = 100 };

extern HINSTANCE appInstance;
extern char appTitle[kShellStringSize];
extern char mainClassName[kShellStringSize];

ATOM RegisterMainClass(HINSTANCE instance);
// Returns 0 when the window could not be created; the print is filed either way.
int StartMainWindow(HINSTANCE instance, int showCommand);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
