#include "sim/kept_bay.h"

namespace tz::sim {

namespace {

// The drive of `bay` at one of the addresses of `entry`, or null.
BayDrive* same_place(Bay& bay, const BayDrive& entry) {
  for (BayDrive& mine : bay.drives()) {
    const bool same_aspi = entry.on_aspi && mine.on_aspi && entry.ha == mine.ha && entry.target == mine.target;
    const bool same_letter = entry.letter != 0 && entry.letter == mine.letter;
    if (same_aspi || same_letter) return &mine;
  }
  return nullptr;
}

}  // namespace

bool KeptBay::open(const char* path, std::string& error) {
  path_ = path;
  const bool ok = bay_.load(path, error);
  saved_version_ = bay_.state_version();
  stamp_ = file_stamp(path);
  return ok;
}

void KeptBay::save_changes() {
  const std::uint64_t version = bay_.state_version();
  if (version == saved_version_ || !bay_.save(path_.c_str())) return;
  saved_version_ = version;
  stamp_ = file_stamp(path_.c_str());
}

bool KeptBay::follow(std::uint32_t now_ms) {
  if (looked_ && now_ms - looked_at_ < follow_interval_ms_) {
    return false;
  }
  looked_ = true;
  looked_at_ = now_ms;
  const FileStamp stamp = file_stamp(path_.c_str());
  if (!stamp.exists || stamp == stamp_) return false;
  stamp_ = stamp;
  Bay theirs;
  std::string error;
  if (!theirs.load(path_.c_str(), error, false)) return false;
  // What this process had saved stays saved: the file already holds the trays taken from it.
  const bool saved = saved_version_ == bay_.state_version();
  bool changed = false;
  for (const BayDrive& entry : theirs.drives()) {
    BayDrive* mine = same_place(bay_, entry);
    if (mine == nullptr) continue;
    const SimDrive& given = *entry.drive;
    SimDrive& drive = *mine->drive;
    if (drive.tray_open() == given.tray_open() && drive.disc_present() == given.disc_present()) continue;
    drive.set_tray(given.tray_open(), given.disc_present());
    changed = true;
  }
  if (saved) saved_version_ = bay_.state_version();
  return changed;
}

}  // namespace tz::sim
