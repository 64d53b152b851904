#pragma once
// A bay file as a front keeps it for the life of a process (wnaspi32.dll, the SG_IO library): read
// once, written back whenever a drive's ROM, tray or disc changes, and followed: when someone else
// has written the file since (its time or size is not what this process last read or wrote), the
// trays and discs it gives are taken over, so that a user can open a tray while the program waits
// by editing the bay. Nothing else is taken from a file changed under a running drive. Not
// thread-safe: the front holds its lock around every call.
#include <cstdint>
#include <string>

#include "sim/atomic_file.h"
#include "sim/bay.h"

namespace tz::sim {

class KeptBay {
 public:
  // The file is looked at no more often than once in `follow_interval_ms` of the front's clock: a
  // front whose look at a file costs much spares the drive's commands most of them.
  explicit KeptBay(std::uint32_t follow_interval_ms = 0) : follow_interval_ms_(follow_interval_ms) {}

  // Reads the bay; false (with the reason) when it does not read.
  bool open(const char* path, std::string& error);
  Bay& bay() { return bay_; }
  const std::string& path() const { return path_; }

  // After a command: writes the bay back when something it keeps has changed.
  void save_changes();
  // Before a command, at `now_ms` of the front's clock: takes over the trays and discs of a file
  // that someone else wrote. True when a drive's tray or disc changed. A file that does not read
  // is passed over until it is written again.
  bool follow(std::uint32_t now_ms);

 private:
  std::uint32_t follow_interval_ms_;
  std::string path_;
  Bay bay_;
  std::uint64_t saved_version_ = 0;
  FileStamp stamp_;  // of the file as this process last read or wrote it
  bool looked_ = false;
  std::uint32_t looked_at_ = 0;
};

}  // namespace tz::sim
