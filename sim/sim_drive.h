#pragma once
// The KORVANTA TZ594K drive's firmware as a SCSI target: it answers every command the loader
// sends the way the drive does, keeps a download area, rewrites its ROM only from a complete and
// valid image meant for it, verifies, and plays the faults it is told to. Plain C++: the fronts
// (host platform layer, wnaspi32.dll) carry requests to it and own time and threads.
#include <cstdint>
#include <memory>
#include <vector>

#include "sim/faults.h"
#include "sim/firmware.h"
#include "sim/scsi.h"

namespace tz::sim {

struct DriveSettings {
  char firmware[4 + 1] = "1.00";     // the level its ROM leaves the factory with
  std::uint8_t peripheral_type = 5;  // INQUIRY byte 0: 5 = CD/DVD device
  // INQUIRY vendor and product instead of those of the ROM's identity; empty = the ROM's.
  char inquiry_vendor[8 + 1] = {};
  char inquiry_product[16 + 1] = {};
  // A sister model of the family: its identity block names this model code (T1) and family code
  // (T6) instead of those of the TZ594KS; empty = the level's own.
  char model_code[16 + 1] = {};
  char family_code[4 + 1] = {};
  bool tray_open = false;
  bool disc = false;
  bool removable = false;           // the system reports the letter as a removable drive
  bool tray_stuck = false;          // the tray never opens
  bool lock_refused = false;        // the volume lock is refused
  bool no_event_status = false;     // GET EVENT STATUS NOTIFICATION is refused
  bool no_vendor_status = false;    // the vendor status read 0xFC is refused
  std::uint32_t identity_busy = 0;  // identity reads answered with ILLEGAL REQUEST 2C/00 first
  // The synchronous boot of the TZ594K family: download writes only after the boot-mode command,
  // ROM rewrite on mode 0x80. Without it: writes at any time, rewrite on mode 0x00, and neither the
  // boot-mode command nor mode 0x80 is known.
  bool boot_mode = true;
  std::uint32_t rewrite_ms = 3000;
  std::uint32_t verify_ms = 2000;
  std::uint32_t tray_ms = 500;
  // After the boot-mode command the drive restarts into its boot code and answers NOT READY 04/01
  // for this long (shorter than the 2000 ms the loader waits).
  std::uint32_t boot_settle_ms = 1500;
  FaultPlan faults;
};

struct Outcome {
  enum class Delivery : std::uint8_t {
    completed,  // the drive answered with `status`
    failed,     // the request never reached the drive
    hung,       // the drive never answers
  };
  Delivery delivery = Delivery::completed;
  std::uint8_t status = status_good;
  std::uint8_t sense[sense_data_bytes] = {};
  std::uint32_t sense_length = 0;  // 0 unless CHECK CONDITION
  std::uint32_t transferred = 0;   // data bytes moved, in either direction
  std::uint32_t busy_ms = 0;       // how long the drive took

  Sense sense_triplet() const { return {sense[2], sense[12], sense[13]}; }
};

struct CommandRecord {
  std::uint8_t cdb[max_cdb_bytes] = {};
  std::uint8_t cdb_length = 0;
  Direction direction = Direction::none;
  std::uint32_t length = 0;
  CommandKind kind = CommandKind::other;
  Outcome::Delivery delivery = Outcome::Delivery::completed;
  std::uint8_t status = status_good;
  Sense sense{};
  std::uint32_t transferred = 0;
  // For a command with a data phase: piece_digest (core/digest.h) of the host's data area of
  // `length` bytes as the command left it, as the program's trace gives a data phase.
  bool has_digest = false;
  std::uint64_t digest = 0;
};

class Replay;

class SimDrive {
 public:
  static constexpr std::uint32_t history_capacity = 256;

  explicit SimDrive(const DriveSettings& settings = DriveSettings{});

  // False when the settings name a firmware level that never existed: the drive then has no ROM.
  bool ready() const { return ready_; }

  // One command. `cdb_length` bytes of `cdb` reach the drive (at most 16; the rest reads as 0, and
  // fewer than the command's own length are refused); `data` holds `length` bytes for the data
  // phase in `direction`.
  Outcome execute(const std::uint8_t* cdb, std::uint32_t cdb_length, Direction direction, std::uint8_t* data,
                  std::uint32_t length);

  // The front's clock in ms (any origin; it may wrap): the instant the next command reaches the
  // drive. The drive keeps no time of its own and measures its settling on this clock.
  void set_time(std::uint32_t now_ms) { now_ms_ = now_ms; }
  std::uint32_t time() const { return now_ms_; }

  DriveSettings& settings() { return settings_; }
  const DriveSettings& settings() const { return settings_; }

  const Rom& rom() const { return rom_; }
  void set_rom(const Rom& rom);
  const RomIdentity& identity() const { return identity_; }
  bool tray_open() const { return tray_open_; }
  bool disc_present() const { return disc_; }
  void set_tray(bool open, bool disc);
  // Entered with the boot-mode command; lasts as long as this start of the drive.
  bool download_mode() const { return download_mode_; }
  // The outcome of the drive's checks of the download area at the last rewrite or verify that got
  // as far as looking at it (a refused mode leaves it as it was).
  ImageCheck last_image_check() const { return last_image_check_; }
  const std::uint8_t* download_area() const { return area_.empty() ? nullptr : area_.data(); }

  // Commands seen of a kind (CommandKind::any: all), faulted ones included.
  std::uint32_t count(CommandKind kind) const;
  // The latest commands, oldest first.
  std::uint32_t history_size() const;
  const CommandRecord& history(std::uint32_t index) const;
  void clear_history();
  // Changes whenever something a bay keeps changes: the ROM, the tray, the disc.
  std::uint32_t state_version() const { return state_version_; }

  // From now on the drive answers from a trace instead of its firmware (sim/replay.h); faults and
  // ROM no longer take part. A copy of the drive plays on from the same place.
  void set_replay(std::shared_ptr<Replay> replay);
  Replay* replay() { return replay_.get(); }
  const Replay* replay() const { return replay_.get(); }

 private:
  void dispatch(const std::uint8_t* cdb, std::uint32_t cdb_length, Direction direction, std::uint8_t* data,
                std::uint32_t length, bool drop, Outcome& out);
  void test_unit_ready(Outcome& out) const;
  void inquiry(const std::uint8_t* cdb, Direction direction, std::uint8_t* data, std::uint32_t length,
               Outcome& out) const;
  void start_stop(const std::uint8_t* cdb, Outcome& out);
  void event_status(const std::uint8_t* cdb, Direction direction, std::uint8_t* data, std::uint32_t length,
                    Outcome& out) const;
  void vendor_status(const std::uint8_t* cdb, Direction direction, std::uint8_t* data, std::uint32_t length,
                     Outcome& out) const;
  void vendor_ed(const std::uint8_t* cdb, Direction direction, std::uint8_t* data, std::uint32_t length, Outcome& out);
  void download_write(const std::uint8_t* cdb, Direction direction, const std::uint8_t* data, std::uint32_t length,
                      bool drop, Outcome& out);
  void download_read(const std::uint8_t* cdb, Direction direction, std::uint8_t* data, std::uint32_t length,
                     Outcome& out) const;
  void vendor_execute(const std::uint8_t* cdb, Outcome& out);
  void record(const std::uint8_t* cdb, std::uint32_t cdb_length, Direction direction, const std::uint8_t* data,
              std::uint32_t length, CommandKind kind, const Outcome& out);
  void ensure_area();
  void empty_area();

  DriveSettings settings_;
  bool ready_ = false;
  Rom rom_;
  RomIdentity identity_;
  bool tray_open_ = false;
  bool disc_ = false;
  bool download_mode_ = false;
  bool settling_ = false;  // restarting into its boot code until settled_at_
  std::uint32_t settled_at_ = 0;
  std::uint32_t now_ms_ = 0;
  bool unit_attention_ = false;
  std::uint32_t identity_busy_left_ = 0;
  ImageCheck last_image_check_ = ImageCheck::ok;

  std::uint8_t header_[48] = {};
  bool header_written_ = false;
  std::vector<std::uint8_t> area_;     // allocated at the first download write
  std::vector<std::uint8_t> written_;  // one bit per area byte
  std::vector<std::uint8_t> scratch_;  // where a read whose data never reach the host answers

  std::uint32_t counts_[command_kind_count + 1] = {};
  CommandRecord history_[history_capacity];
  std::uint32_t history_next_ = 0;
  std::uint32_t history_size_ = 0;
  std::uint32_t state_version_ = 0;
  std::shared_ptr<Replay> replay_;
};

// Fills `out` with CHECK CONDITION and fixed-format sense data.
void set_check_condition(Outcome& out, Sense sense);

}  // namespace tz::sim
