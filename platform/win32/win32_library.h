#pragma once
// Where the program's libraries come from. A DLL found by name is searched for in the program's
// own folder first, which is often a download folder where anything may lie beside the exe; a
// library placed there under a system library's name would run inside the program before its
// first line. So the exe imports only libraries that the system always maps from its own folder
// (kernel32, user32, gdi32, advapi32, msvcrt), and loads any other system library at run time
// from the system folder.
#include <windows.h>

namespace tz::platform::win32 {

// First thing at start-up. On the NT family every later load by name, including those that the
// system's own libraries make for the program, searches the system folder only (or, on systems
// without that setting, at least no longer the current folder). On the 9x family nothing changes:
// there wnaspi32.dll is found where that system's ASPI setup expects it, beside the program too.
void restrict_library_search();

// A system library by its file name, from the system folder only, with the libraries it needs
// from there too; null when it is not there.
HMODULE load_system_library(const char* name);

// GetProcAddress as the entry point's own type; null when the library lacks it.
template <typename Entry>
Entry library_entry(HMODULE module, const char* name) {
  // Through the generic function type, which converts to and from every other.
  using Generic = void (*)();
  return reinterpret_cast<Entry>(reinterpret_cast<Generic>(GetProcAddress(module, name)));
}

}  // namespace tz::platform::win32
