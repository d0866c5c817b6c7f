// The DLL's entry, in place of the C runtime's start-up: the monitor needs
// none of what that sets up (static constructors, thread-local data, exit
// handlers), and leaving it out keeps the monitor within its size.
#include <windows.h>

extern "C" BOOL WINAPI TollivaneDllEntry(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}
