// The bench's yardstick: only the calls an automatic print cannot do without
// (a hidden window, five settings reads, one existence test, one copy, one
// counter write), so that what Tollivane costs beyond them shows.
#include <windows.h>

#include <shlwapi.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  const char settings[] = "C:\\Kestrin\\Print\\Config\\Kestrin.ini";
  WNDCLASSEXA windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "TollivaneBenchProbe";
  RegisterClassExA(&windowClass);
  HWND window = CreateWindowExA(0, "TollivaneBenchProbe", "probe", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT,
                                0, nullptr, nullptr, instance, nullptr);
  ShowWindow(window, SW_HIDE);
  char folder[256], extension[256], prefix[256];
  GetPrivateProfileStringA("Tarvold", "DefaultDir", "C:\\", folder, 255, settings);
  GetPrivateProfileStringA("Tarvold", "FileExtension", ".pdf", extension, 255, settings);
  GetPrivateProfileStringA("Tarvold", "FileNameFormat", "File", prefix, 255, settings);
  GetPrivateProfileIntA("Tarvold", "PromptForEachPrint", 1, settings);
  int counter = static_cast<int>(GetPrivateProfileIntA("Tarvold", "FileNameCounter", 1, settings));
  char path[MAX_PATH];
  lstrcpynA(path, folder, MAX_PATH);
  PathAppendA(path, "File002.pdf");
  if (!PathFileExistsA(path) && CopyFileA("C:\\Kestrin\\Print\\File.pdf", path, FALSE)) {
    char text[16];
    wsprintfA(text, "%d", counter + 1);
    WritePrivateProfileStringA("Tarvold", "FileNameCounter", text, settings);
  }
  return 0;
}
