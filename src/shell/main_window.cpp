// The main window exists only to give the process a GUI window of its own; it
// is created hidden, and the print is filed while it is being set up.
#include "shell/main_window.h"

#include "delivery/delivery.h"
#include "delivery/settings.h"
#include "resource.h"

HINSTANCE appInstance;
char appTitle[kShellStringSize];
char mainClassName[kShellStringSize];

ATOM RegisterMainClass(HINSTANCE instance) {
  WNDCLASSEXA windowClass;
  windowClass.cbSize = sizeof(WNDCLASSEXA);
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.cbClsExtra = 0;
  windowClass.cbWndExtra = 0;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_TOLLIVANE));
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszMenuName = MAKEINTRESOURCEA(IDR_MAINMENU);
  windowClass.lpszClassName = mainClassName;
  windowClass.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_SMALL));
  return RegisterClassExA(&windowClass);
}

static void FileThePrint(void) {
  InitReservedChars();
  RunDelivery();
}

// The show command is ignored on purpose: nothing of the program is ever shown
// but the save dialog. Filing does not need the window, so a window that
// cannot be created (a desktop out of heap, or still starting) loses no print.
int StartMainWindow(HINSTANCE instance, int /*showCommand*/) {
  appInstance = instance;
  HWND window = CreateWindowExA(0, mainClassName, appTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0,
                                nullptr, nullptr, instance, nullptr);
  if (window == nullptr) {
    FileThePrint();
    return 0;
  }
  ShowWindow(window, SW_HIDE);
  UpdateWindow(window);
  FileThePrint();
  PostQuitMessage(0);
  return 1;
}

static LRESULT HandleMainCommand(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (LOWORD(wParam)) {
    case IDM_ABOUT:
      DialogBoxParamA(appInstance, MAKEINTRESOURCEA(IDD_ABOUTBOX), window, AboutBoxProc, 0);
      return 0;
    case IDM_EXIT:
      DestroyWindow(window);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

static LRESULT PaintMainWindow(HWND window, const char* text) {
  PAINTSTRUCT paint;
  HDC context = BeginPaint(window, &paint);
  RECT client;
  GetClientRect(window, &client);
  DrawTextA(context, text, lstrlenA(text), &client, DT_CENTER);
  EndPaint(window, &paint);
  return 0;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  char hello[kShellStringSize];
  LoadStringA(appInstance, IDS_HELLO, hello, kShellStringSize);
  switch (message) {
    case WM_COMMAND:
      return HandleMainCommand(window, message, wParam, lParam);
    case WM_PAINT:
      return PaintMainWindow(window, hello);
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

INT_PTR CALLBACK AboutBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}
