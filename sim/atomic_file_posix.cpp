#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "sim/atomic_file.h"

namespace tz::sim {

namespace {

bool write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// The rename itself is kept in the folder's entry, which needs its own flush.
void flush_folder_of(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

void remove_stale_temporaries(const char* path) {
  const std::string file = path;
  const std::size_t slash = file.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : file.substr(0, slash + 1);
  const std::string prefix = file.substr(slash == std::string::npos ? 0 : slash + 1) + ".";
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) continue;
    const std::uint32_t id = temporary_owner(name.substr(prefix.size()));
    if (id == 0 || id > 0x7FFFFFFFu) continue;
    const auto owner = static_cast<pid_t>(id);
    if (owner == ::getpid()) continue;
    // A process that runs, even one we may not signal, may be saving right now.
    if (::kill(owner, 0) == 0 || errno != ESRCH) continue;
    ::unlink((slash == std::string::npos ? std::string(name) : folder + std::string(name)).c_str());
  }
  ::closedir(dir);
}

FileStamp file_stamp(const char* path) {
  struct stat info {};
  if (::stat(path, &info) != 0) return {};
  FileStamp stamp;
  stamp.exists = true;
  stamp.written =
      static_cast<std::uint64_t>(info.st_mtim.tv_sec) * 1000000000u + static_cast<std::uint64_t>(info.st_mtim.tv_nsec);
  stamp.size = static_cast<std::uint64_t>(info.st_size);
  return stamp;
}

bool write_file_atomically(const char* path, std::string_view text, bool replace) {
  // One temporary name per process, so that two writers never fill the same temporary file.
  const std::string temporary = std::string(path) + "." + std::to_string(::getpid()) + ".new";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = write_all(fd, text) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  // A hard link appears only where no file has the name yet.
  if (ok) ok = replace ? ::rename(temporary.c_str(), path) == 0 : ::link(temporary.c_str(), path) == 0;
  if (!ok || !replace) ::unlink(temporary.c_str());
  if (ok) flush_folder_of(path);
  return ok;
}

}  // namespace tz::sim
