// The program's start-up order in small: the library search restricted first, then the clock,
// which asks the system's winmm.dll for the 1 ms timer period. Prints whether it was granted and
// where winmm.dll came from; then whether a library that lies only beside the probe
// (tz594k_beside.dll) is still found by name, as it must be on the 9x family, where wnaspi32.dll
// is looked for there, and must not be on the NT family.
#include <windows.h>

#include <cstdio>

#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_library.h"

int main() {
  tz::platform::win32::restrict_library_search();
  const tz::platform::win32::Win32Clock clock;
  char path[MAX_PATH] = "none";
  const HMODULE winmm = GetModuleHandleA("winmm.dll");
  if (winmm != nullptr) GetModuleFileNameA(winmm, path, MAX_PATH);
  std::printf("fine timer: %s\n", clock.fine_timer() ? "granted" : "refused");
  std::printf("winmm: %s\n", path);
  std::printf("beside: %s\n", LoadLibraryA("tz594k_beside.dll") != nullptr ? "loaded" : "not loaded");
  return clock.fine_timer() ? 0 : 1;
}
