// The process's first code, in place of the C runtime's start-up: the
// program needs none of what that sets up (arguments, locale, static
// constructors, exit handlers), and leaving it out keeps the exe small.
#include "platform/platform.h"

extern "C" void WINAPI TollivaneProcessStart(void) {
  STARTUPINFOA startup;
  GetStartupInfoA(&startup);
  int showCommand = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT;
  ExitProcess(static_cast<UINT>(WinMain(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), showCommand)));
}
