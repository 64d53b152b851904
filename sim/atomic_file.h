#pragma once
// Writing a file whole: whoever reads it, or a process killed while writing it, finds either its
// old content or the new one, never a part. The text goes to a temporary file beside it, is
// flushed to the disk, and the temporary file then takes the file's name in one step. Also what a
// bay needs besides of the file system: the temporaries killed writers left, and the file's time
// and size. One implementation per system, picked by the build: atomic_file_posix.cpp,
// dll/atomic_file_win32.cpp.
#include <cstdint>
#include <string_view>

namespace tz::sim {

// `replace` false leaves an existing file as it is and returns false.
bool write_file_atomically(const char* path, std::string_view text, bool replace);

// The process id in a temporary file's name after "NAME." (that is, "ID.new"), or 0 when the rest
// of the name is not one: both systems name their temporaries so.
inline std::uint32_t temporary_owner(std::string_view rest) {
  constexpr std::string_view suffix = ".new";
  if (rest.size() <= suffix.size() || rest.substr(rest.size() - suffix.size()) != suffix) return 0;
  const std::string_view digits = rest.substr(0, rest.size() - suffix.size());
  if (digits.size() > 10) return 0;
  std::uint64_t id = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return 0;
    id = id * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return id > 0xFFFFFFFFu ? 0 : static_cast<std::uint32_t>(id);
}

// Removes the temporary files (PATH.PID.new) that writers killed while saving left beside the file:
// those of processes that no longer run. One that may still be saving keeps its file, and so does
// this process, whose next save replaces its own.
void remove_stale_temporaries(const char* path);

// When a file was last written and how long it is: a change of either says someone wrote it.
struct FileStamp {
  bool exists = false;
  std::uint64_t written = 0;  // in the system's own units
  std::uint64_t size = 0;

  bool operator==(const FileStamp&) const = default;
};
FileStamp file_stamp(const char* path);

}  // namespace tz::sim
