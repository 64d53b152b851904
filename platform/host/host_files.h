#pragma once
// Files on the local disk for native builds. Windows attributes are emulated: a test can give a
// path the attributes Windows would report for it.
#include <cstdio>
#include <map>
#include <string>

#include "platform/files.h"

namespace tz::platform::host {

class HostFiles final : public Files {
 public:
  std::map<std::string, std::uint32_t> attributes;  // overrides; otherwise archive, or read-only when not writable
  bool fail_set_attributes = false;

  bool can_open_for_reading(const char* path) override;
  std::uint32_t get_attributes(const char* path) override;
  bool set_attributes(const char* path, std::uint32_t value) override;
  bool remove_file(const char* path) override;
  Handle create_text_file(const char* path) override;
  void write_text(Handle file, const char* text) override;
  void close_file(Handle file) override;

 private:
  std::map<Handle, std::FILE*> open_;
  Handle next_ = 0x1000;
};

}  // namespace tz::platform::host
