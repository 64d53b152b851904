#pragma once
// A bay: the simulated drives of a machine, read from and kept in a bay file (format in
// sim/README.md). The file names each drive's addresses, its firmware level and its faults, and
// keeps what must survive a run: the ROM a drive was rewritten with, its tray and disc.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/sim_drive.h"

namespace tz::sim {

inline constexpr std::uint8_t bay_adapters = 8;
inline constexpr std::uint8_t bay_targets = 8;
inline constexpr const char* default_bay_text = "drive at=0:0 firmware=1.00 tray=open\n";

struct BayDrive {
  bool on_aspi = false;
  std::uint8_t ha = 0;
  std::uint8_t target = 0;
  char letter = 0;  // 'C'..'Z', or 0 when the drive has no letter
  std::unique_ptr<SimDrive> drive;
  std::string replay;  // the trace it plays, as the bay file names it; empty: none

  // "ha:target", else "X:".
  std::string address() const;
};

class Bay {
 public:
  // Replaces the drives with those of a bay file's text; on failure the bay is left empty and
  // `error` says which line is wrong and why ("line N: reason").
  // A drive's replay= trace is not read: see load.
  bool parse(std::string_view text, std::string& error);
  // Also reads the traces the replay drives name (a name relative to the bay's folder), unless
  // `replays` is false.
  bool load(const char* path, std::string& error, bool replays = true);
  // The bay file text for the drives as they are now.
  std::string serialise() const;
  // Writes the file whole: a process killed meanwhile leaves the old file or the new one.
  bool save(const char* path) const;

  std::vector<BayDrive>& drives() { return drives_; }
  const std::vector<BayDrive>& drives() const { return drives_; }
  SimDrive* at_aspi(std::uint8_t ha, std::uint8_t target);
  SimDrive* at_letter(char letter);
  // Sum of the drives' state versions: changes whenever something the file keeps changes.
  std::uint64_t state_version() const;

 private:
  bool parse_in(std::string_view text, std::string& error, const std::string* folder);

  std::vector<BayDrive> drives_;
};

}  // namespace tz::sim
