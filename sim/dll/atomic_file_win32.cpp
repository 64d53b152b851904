#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "sim/atomic_file.h"

namespace tz::sim {

namespace {

// True unless the process is known to be gone: one we may not open may still be saving.
bool process_runs(DWORD id) {
  const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
  if (process == nullptr) return GetLastError() != ERROR_INVALID_PARAMETER;
  const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return running;
}

}  // namespace

void remove_stale_temporaries(const char* path) {
  const std::string file = path;
  const std::size_t slash = file.find_last_of("\\/");
  const std::string folder = slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
  const std::string prefix = file.substr(slash == std::string::npos ? 0 : slash + 1) + ".";
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA((file + ".*.new").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::string_view name = found.cFileName;
    if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) continue;
    const DWORD owner = temporary_owner(name.substr(prefix.size()));
    if (owner == 0 || owner == GetCurrentProcessId() || process_runs(owner)) continue;
    DeleteFileA((folder + std::string(name)).c_str());
  } while (FindNextFileA(search, &found) != 0);
  FindClose(search);
}

// FindFirstFileA rather than GetFileAttributesExA, which Windows 95 lacks.
FileStamp file_stamp(const char* path) {
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA(path, &found);
  if (search == INVALID_HANDLE_VALUE) return {};
  FindClose(search);
  FileStamp stamp;
  stamp.exists = true;
  stamp.written =
      (static_cast<std::uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) | found.ftLastWriteTime.dwLowDateTime;
  stamp.size = (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
  return stamp;
}

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
