#pragma once
#include "platform/files.h"

namespace tz::platform::win32 {

class Win32Files final : public Files {
 public:
  bool can_open_for_reading(const char* path) override;
  std::uint32_t get_attributes(const char* path) override;
  bool set_attributes(const char* path, std::uint32_t attributes) override;
  bool remove_file(const char* path) override;
  Handle create_text_file(const char* path) override;
  void write_text(Handle file, const char* text) override;
  void close_file(Handle file) override;
  Handle create_new_file(const char* path, bool& exists) override;
  bool write_file(Handle file, const void* data, std::uint32_t size) override;
  void close_new_file(Handle file) override;
};

}  // namespace tz::platform::win32
