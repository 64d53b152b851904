#pragma once
// kernel32 and runtime-library file calls that the result log and the trace need.
#include <cstdint>

#include "platform/types.h"

namespace tz::platform {

inline constexpr std::uint32_t invalid_file_attributes = 0xFFFFFFFF;
inline constexpr std::uint32_t file_attribute_normal = 0x80;

class Files {
 public:
  virtual ~Files() = default;

  // fopen(path, "r") followed by fclose: true when the file could be opened for reading.
  virtual bool can_open_for_reading(const char* path) = 0;
  // GetFileAttributesA: the attribute bits, or INVALID_FILE_ATTRIBUTES.
  virtual std::uint32_t get_attributes(const char* path) = 0;
  // SetFileAttributesA: false on failure.
  virtual bool set_attributes(const char* path, std::uint32_t attributes) = 0;
  // remove(): false on failure.
  virtual bool remove_file(const char* path) = 0;
  // fopen(path, "wt"): a stream handle, or null.
  virtual Handle create_text_file(const char* path) = 0;
  // Writes a text to an open stream (text mode: each "\n" becomes CR LF on Windows).
  virtual void write_text(Handle file, const char* text) = 0;
  virtual void close_file(Handle file) = 0;

  // CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW): a handle to a file that did not
  // exist before, or null; `exists` says whether the name was taken already.
  virtual Handle create_new_file(const char* path, bool& exists) = 0;
  // WriteFile of `size` bytes to a file from create_new_file: false unless all were written.
  virtual bool write_file(Handle file, const void* data, std::uint32_t size) = 0;
  // CloseHandle of a file from create_new_file.
  virtual void close_new_file(Handle file) = 0;
};

}  // namespace tz::platform
