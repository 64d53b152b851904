#include "platform/host/host_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace tz::platform::host {

namespace {
constexpr std::uint32_t FILE_ATTRIBUTE_READONLY = 0x01;
constexpr std::uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr std::uint32_t FILE_ATTRIBUTE_ARCHIVE = 0x20;
}  // namespace

bool HostFiles::can_open_for_reading(const char* path) {
  std::FILE* f = std::fopen(path, "r");
  if (f == nullptr) return false;
  std::fclose(f);
  return true;
}

std::uint32_t HostFiles::get_attributes(const char* path) {
  const auto it = attributes.find(path);
  if (it != attributes.end()) return it->second;
  struct stat st {};
  if (::stat(path, &st) != 0) return invalid_file_attributes;
  if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  return (st.st_mode & S_IWUSR) != 0 ? FILE_ATTRIBUTE_ARCHIVE : FILE_ATTRIBUTE_READONLY;
}

bool HostFiles::set_attributes(const char* path, std::uint32_t value) {
  if (fail_set_attributes) return false;
  struct stat st {};
  if (::stat(path, &st) != 0) return false;
  attributes[path] = value;
  return ::chmod(path, (value & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0644) == 0;
}

bool HostFiles::remove_file(const char* path) {
  // Windows refuses to delete a read-only file; so does the emulation.
  if ((get_attributes(path) & FILE_ATTRIBUTE_READONLY) != 0) return false;
  attributes.erase(path);
  return std::remove(path) == 0;
}

Handle HostFiles::create_text_file(const char* path) {
  std::FILE* f = std::fopen(path, "w");
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

}  // namespace tz::platform::host
