// Process entry: registers the hidden window, lets its start-up file the
// print, then drains the message loop and exits with the quit code (0).
#include "platform/platform.h"
#include "resource.h"
#include "shell/main_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/, int showCommand) {
  LoadStringA(instance, IDS_APP_TITLE, appTitle, kShellStringSize);
  LoadStringA(instance, IDS_CLASS_NAME, mainClassName, kShellStringSize);
  RegisterMainClass(instance);
  if (!StartMainWindow(instance, showCommand)) return 0;

  HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));
  MSG message;
  BOOL got;
  while ((got = GetMessageA(&message, nullptr, 0, 0)) > 0) {
    if (!TranslateAcceleratorA(message.hwnd, accelerators, &message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  // -1 is a failed fetch, not a quit message: the exit code stays 0.
  return got == 0 ? static_cast<int>(message.wParam) : 0;
}
