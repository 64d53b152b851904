#include "platform/win32/win32_files.h"

#include <windows.h>

#include <cstdio>

namespace tz::platform::win32 {

bool Win32Files::can_open_for_reading(const char* path) {
  std::FILE* f = std::fopen(path, "r");
  if (f == nullptr) return false;
  std::fclose(f);
  return true;
}

std::uint32_t Win32Files::get_attributes(const char* path) { return GetFileAttributesA(path); }

bool Win32Files::set_attributes(const char* path, std::uint32_t attributes) {
  return SetFileAttributesA(path, attributes) != 0;
}

bool Win32Files::remove_file(const char* path) { return std::remove(path) == 0; }

Handle Win32Files::create_text_file(const char* path) {
  // "t" asks for text mode whatever the runtime's default (_fmode) is, so every line ends in CR LF.
  return reinterpret_cast<Handle>(std::fopen(path, "wt"));
}

void Win32Files::write_text(Handle file, const char* text) { std::fputs(text, reinterpret_cast<std::FILE*>(file)); }

void Win32Files::close_file(Handle file) { std::fclose(reinterpret_cast<std::FILE*>(file)); }

Handle Win32Files::create_new_file(const char* path, bool& exists) {
  const HANDLE file =
      CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  const DWORD error = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
  exists = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
  return file == INVALID_HANDLE_VALUE ? null_handle : reinterpret_cast<Handle>(file);
}

bool Win32Files::write_file(Handle file, const void* data, std::uint32_t size) {
  DWORD written = 0;
  return WriteFile(reinterpret_cast<HANDLE>(file), data, size, &written, nullptr) != 0 && written == size;
}

void Win32Files::close_new_file(Handle file) { CloseHandle(reinterpret_cast<HANDLE>(file)); }

}  // namespace tz::platform::win32
