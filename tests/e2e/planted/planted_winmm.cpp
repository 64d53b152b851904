// A stand-in for a hostile library left in a download folder under a system library's name
// (winmm.dll). Whenever a process loads it, it leaves a mark file beside itself naming that
// process, so a test can tell whether a program beside it took it in.
// Lean, so that the system headers do not declare the timer calls this library defines.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

void leave_mark(HINSTANCE self) {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(self, path, MAX_PATH);
  while (n > 0 && path[n - 1] != '\\' && path[n - 1] != '/') --n;
  const char name[] = "planted-library-ran.txt";
  if (n + sizeof(name) > MAX_PATH) return;
  lstrcpyA(path + n, name);
  char process[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, process, MAX_PATH);
  const HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, process, length, &written, nullptr);
  WriteFile(file, "\r\n", 2, &written, nullptr);
  CloseHandle(file);
}

}  // namespace

// The entry points a program that imports winmm's timer calls needs, so that it starts.
extern "C" UINT WINAPI timeBeginPeriod(UINT) { return 0; }
extern "C" UINT WINAPI timeEndPeriod(UINT) { return 0; }
extern "C" DWORD WINAPI timeGetTime() { return GetTickCount(); }

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) leave_mark(instance);
  return TRUE;
}
