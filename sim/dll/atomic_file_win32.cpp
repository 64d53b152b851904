#include <windows.h>

#include <cstdio>
#include <string>

#include "sim/atomic_file.h"

namespace tz::sim {

bool write_file_atomically(const char* path, std::string_view text, bool replace) {
  // One temporary name per process, so that two writers never fill the same temporary file.
  char suffix[32];
  std::snprintf(suffix, sizeof(suffix), ".%lu.new", static_cast<unsigned long>(GetCurrentProcessId()));
  const std::string temporary = std::string(path) + suffix;
  const HANDLE file =
      CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  while (ok && !text.empty()) {
    DWORD written = 0;
    ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0 && written != 0;
    text.remove_prefix(written);
  }
  ok = ok && FlushFileBuffers(file) != 0;
  ok = CloseHandle(file) != 0 && ok;
  if (ok) {
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (MoveFileExA(temporary.c_str(), path, flags) != 0) return true;
    ok = false;
    // Windows 9x has no MoveFileExA: there the old file has to go first.
    if (GetLastError() == ERROR_CALL_NOT_IMPLEMENTED) {
      const bool exists = GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
      if (replace || !exists) ok = (!exists || DeleteFileA(path) != 0) && MoveFileA(temporary.c_str(), path) != 0;
    }
  }
  if (!ok) DeleteFileA(temporary.c_str());
  return ok;
}

}  // namespace tz::sim
