#include "platform/win32/win32_library.h"

#include <cstring>

namespace tz::platform::win32 {

namespace {

// LOAD_LIBRARY_SEARCH_SYSTEM32: the flag came with SetDefaultDllDirectories, which older systems
// lack, so both are looked up rather than linked.
constexpr DWORD search_system_folder = 0x00000800;
using SetDefaultDllDirectoriesEntry = BOOL(WINAPI*)(DWORD);
using SetDllDirectoryEntry = BOOL(WINAPI*)(LPCSTR);

template <typename Entry>
Entry kernel_entry(const char* name) {
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  return kernel == nullptr ? nullptr : library_entry<Entry>(kernel, name);
}

bool nt_family() {
  // The deprecation concerns programs that want the newest version number; only the family bit
  // matters here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  return (GetVersion() & 0x80000000u) == 0;
#pragma GCC diagnostic pop
}

}  // namespace

void restrict_library_search() {
  if (!nt_family()) return;
  const auto set_default = kernel_entry<SetDefaultDllDirectoriesEntry>("SetDefaultDllDirectories");
  if (set_default != nullptr && set_default(search_system_folder) != 0) return;
  const auto set_directory = kernel_entry<SetDllDirectoryEntry>("SetDllDirectoryA");
  if (set_directory != nullptr) set_directory("");
}

HMODULE load_system_library(const char* name) {
  if (kernel_entry<SetDefaultDllDirectoriesEntry>("SetDefaultDllDirectories") != nullptr) {
    const HMODULE module = LoadLibraryExA(name, nullptr, search_system_folder);
    if (module != nullptr) return module;
  }
  char path[MAX_PATH];
  const UINT folder = GetSystemDirectoryA(path, MAX_PATH);
  const std::size_t length = std::strlen(name);
  if (folder == 0 || folder + 1 + length >= MAX_PATH) return nullptr;
  path[folder] = '\\';
  std::memcpy(path + folder + 1, name, length + 1);
  // The altered search path takes the libraries it needs from its own folder, the system's.
  return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace tz::platform::win32
