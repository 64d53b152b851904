#include "platform/host/host_files.h"

#include <sys/stat.h>

#include <cstdio>

namespace tz::platform::host {

namespace {
constexpr std::uint32_t FILE_ATTRIBUTE_READONLY = 0x01;
constexpr std::uint32_t FILE_ATTRIBUTE_HIDDEN = 0x02;
constexpr std::uint32_t FILE_ATTRIBUTE_SYSTEM = 0x04;
constexpr std::uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr std::uint32_t FILE_ATTRIBUTE_ARCHIVE = 0x20;
}  // namespace

std::string HostFiles::native_path(const char* path) {
  std::string out;
  for (const char* p = path; *p != '\0'; ++p) {
    const char c = *p == '\\' ? '/' : *p;
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out.push_back(c);
  }
  if (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

std::string HostFiles::disk_path(const char* path) const {
  std::string native = native_path(path);
  if (current_folder_.empty() || (!native.empty() && native[0] == '/')) return native;
  while (native.rfind("./", 0) == 0) native.erase(0, 2);
  if (native.empty() || native == ".") return current_folder_;
  return current_folder_ + "/" + native;
}

std::uint32_t HostFiles::attributes_of(const std::string& path) const {
  const auto it = attributes_.find(path);
  if (it != attributes_.end()) return it->second;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return invalid_file_attributes;
  if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  return (st.st_mode & S_IWUSR) != 0 ? FILE_ATTRIBUTE_ARCHIVE : FILE_ATTRIBUTE_READONLY;
}

bool HostFiles::in_denied_folder(const std::string& path) const {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  return denied_folders_.count(folder) != 0;
}

bool HostFiles::can_open_for_reading(const char* path) {
  const std::string file = disk_path(path);
  const auto lock = locks_.find(file);
  if (lock != locks_.end() && lock->second == Lock::exclusive) return false;
  // Windows opens no folder as a file.
  const std::uint32_t attributes = attributes_of(file);
  if (attributes == invalid_file_attributes || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
  std::FILE* f = std::fopen(file.c_str(), "r");
  if (f == nullptr) return false;
  std::fclose(f);
  return true;
}

std::uint32_t HostFiles::get_attributes(const char* path) { return attributes_of(disk_path(path)); }

bool HostFiles::set_attributes(const char* path, std::uint32_t value) {
  if (fail_set_attributes) return false;
  const std::string file = disk_path(path);
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return false;
  attributes_[file] = value;
  if (S_ISDIR(st.st_mode)) return true;
  return ::chmod(file.c_str(), (value & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0644) == 0;
}

bool HostFiles::remove_file(const char* path) {
  const std::string file = disk_path(path);
  // Windows refuses to delete a read-only file or a folder this way; so does the emulation.
  const std::uint32_t attributes = attributes_of(file);
  if (attributes == invalid_file_attributes) return false;
  if ((attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) return false;
  if (locked(file) || in_denied_folder(file)) return false;
  if (std::remove(file.c_str()) != 0) return false;
  attributes_.erase(file);
  return true;
}

Handle HostFiles::create_text_file(const char* path) {
  const std::string file = disk_path(path);
  if (locked(file) || in_denied_folder(file)) return null_handle;
  // Windows will not replace a read-only, hidden or system file by a plain new one.
  const std::uint32_t attributes = attributes_of(file);
  if (attributes != invalid_file_attributes &&
      (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0) {
    return null_handle;
  }
  std::FILE* f = std::fopen(file.c_str(), "wb");
  if (f == nullptr) return null_handle;
  open_[next_] = f;
  return next_++;
}

void HostFiles::write_text(Handle file, const char* text) {
  const auto it = open_.find(file);
  if (it == open_.end()) return;
  // Text mode on Windows turns each line feed into CR LF; the emulation writes what Windows would.
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '\n') std::fputc('\r', it->second);
    std::fputc(*p, it->second);
  }
}

void HostFiles::close_file(Handle file) {
  const auto it = open_.find(file);
  if (it == open_.end()) return;
  std::fclose(it->second);
  open_.erase(it);
}

Handle HostFiles::create_new_file(const char* path, bool& exists) {
  const std::string file = disk_path(path);
  exists = attributes_of(file) != invalid_file_attributes;
  if (exists || locked(file) || in_denied_folder(file)) return null_handle;
  // "x": made here or not at all, as CREATE_NEW.
  std::FILE* f = std::fopen(file.c_str(), "wbx");
  if (f == nullptr) return null_handle;
  open_[next_] = f;
  return next_++;
}

bool HostFiles::write_file(Handle file, const void* data, std::uint32_t size) {
  const auto it = open_.find(file);
  if (it == open_.end()) return false;
  std::uint32_t fits = size;
  if (space_left >= 0 && static_cast<std::int64_t>(size) > space_left) fits = static_cast<std::uint32_t>(space_left);
  const std::size_t written = std::fwrite(data, 1, fits, it->second);
  if (space_left >= 0) space_left -= static_cast<std::int64_t>(written);
  return written == size;
}

void HostFiles::close_new_file(Handle file) { close_file(file); }

}  // namespace tz::platform::host
