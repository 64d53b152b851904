#pragma once
// Files on the local disk for native builds. Paths are taken as Windows writes them: backslashes
// separate folders, as they do under Wine. What Windows adds on top of the disk is emulated: a test
// can give a path the attributes Windows would report for it, have another program hold a file
// open, or forbid changes in a folder.
#include <cstdio>
#include <map>
#include <set>
#include <string>

#include "platform/files.h"

namespace tz::platform::host {

class HostFiles final : public Files {
 public:
  // How another program holds a file open.
  enum class Lock : std::uint8_t {
    exclusive,       // shares nothing: the file cannot even be opened for reading
    shares_reading,  // others may read it, but nobody may remove or replace it
  };

  bool fail_set_attributes = false;
  // Bytes the disk still takes through write_file, as a full disk leaves it; -1: no end.
  std::int64_t space_left = -1;

  // Instead of what the disk says (a folder, or archive, or read-only when not writable).
  void give_attributes(const char* path, std::uint32_t value) { attributes_[disk_path(path)] = value; }
  void lock(const char* path, Lock how) { locks_[disk_path(path)] = how; }
  // Nothing may be created in or removed from the folder, as on a read-only medium or a folder the
  // user may not write.
  void deny_folder(const char* folder) { denied_folders_.insert(disk_path(folder)); }
  // The process's current folder, which relative paths (".\") name; empty: the test's own.
  void set_current_folder(const std::string& folder) { current_folder_ = folder; }

  // The path on the local disk: backslashes become slashes, repeated separators one.
  static std::string native_path(const char* path);
  // native_path, a relative one taken from the current folder.
  std::string disk_path(const char* path) const;

  bool can_open_for_reading(const char* path) override;
  std::uint32_t get_attributes(const char* path) override;
  bool set_attributes(const char* path, std::uint32_t value) override;
  bool remove_file(const char* path) override;
  Handle create_text_file(const char* path) override;
  void write_text(Handle file, const char* text) override;
  void close_file(Handle file) override;
  Handle create_new_file(const char* path, bool& exists) override;
  bool write_file(Handle file, const void* data, std::uint32_t size) override;
  void close_new_file(Handle file) override;

 private:
  std::uint32_t attributes_of(const std::string& path) const;
  bool locked(const std::string& path) const { return locks_.count(path) != 0; }
  bool in_denied_folder(const std::string& path) const;

  std::map<std::string, std::uint32_t> attributes_;
  std::map<std::string, Lock> locks_;
  std::set<std::string> denied_folders_;
  std::string current_folder_;
  std::map<Handle, std::FILE*> open_;
  Handle next_ = 0x1000;
};

}  // namespace tz::platform::host
