#include "sim/sim_drive.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "core/bytes.h"
#include "core/digest.h"
#include "sim/replay.h"

namespace tz::sim {

namespace {

constexpr Sense invalid_opcode{sense_illegal_request, 0x20, 0x00};
constexpr Sense invalid_field{sense_illegal_request, 0x24, 0x00};
constexpr Sense out_of_range{sense_illegal_request, 0x21, 0x00};
constexpr Sense sequence_error{sense_illegal_request, 0x2C, 0x00};
constexpr Sense bad_parameter_list{sense_illegal_request, 0x26, 0x00};
constexpr Sense data_phase_error{sense_aborted_command, 0x4B, 0x00};
constexpr Sense eject_failed{sense_hardware_error, 0x53, 0x00};
constexpr Sense becoming_ready{sense_not_ready, 0x04, 0x01};
constexpr Sense no_medium_tray_closed{sense_not_ready, 0x3A, 0x01};
constexpr Sense no_medium_tray_open{sense_not_ready, 0x3A, 0x02};
constexpr Sense reset_occurred{0x06, 0x29, 0x00};
constexpr Sense verify_miscompare{sense_miscompare, 0x1D, 0x00};

constexpr std::uint32_t inquiry_bytes = 96;
constexpr std::uint32_t event_status_bytes = 8;
constexpr std::uint32_t vendor_status_bytes = 4;
constexpr std::uint32_t download_header_bytes = 48;
// The largest piece the drive takes in one download write or read-back: its header and one block.
constexpr std::uint32_t largest_piece_bytes = download_header_bytes + 1024;
constexpr std::uint8_t tray_selector = 0x30;
constexpr std::uint8_t vendor_signature = 0x3C;
constexpr std::uint32_t refused_rewrite_ms = 200;
constexpr std::uint8_t mode_rewrite_sync = 0x80;  // rewrite of a drive with the synchronous boot
constexpr std::uint8_t mode_rewrite = 0x00;       // rewrite of a drive without it
constexpr std::uint8_t mode_verify = 0x40;

// Data-in: what the drive offers, cut to the allocation length and to what the host can take.
void reply(Outcome& out, Direction direction, std::uint8_t* data, std::uint32_t length, const std::uint8_t* source,
           std::uint32_t available, std::uint32_t allocation) {
  std::uint32_t n = std::min(available, allocation);
  n = direction == Direction::in && data != nullptr ? std::min(n, length) : 0;
  if (n != 0) std::memcpy(data, source, n);
  out.transferred = n;
}

void pad_text(std::uint8_t* out, const char* text, std::uint32_t width) {
  std::memset(out, ' ', width);
  const std::size_t n = std::min<std::size_t>(std::strlen(text), width);
  std::copy_n(text, n, out);
}

// How many CDB bytes each command the drive knows takes; 0 for one it does not know.
std::uint32_t command_length(std::uint8_t opcode) {
  switch (opcode) {
    case 0x00:
    case 0x12:
    case 0x1B:
      return 6;
    case 0x4A:
      return 10;
    case 0xED:
    case 0xEA:
    case 0xE8:
    case 0xF5:
    case 0xFC:
      return 12;
    default:
      return 0;
  }
}

// The bytes of a vendor command that its command set gives as 00: the drive refuses a CDB with
// anything else in them.
bool reserved_bytes_clear(const std::uint8_t* cdb) {
  static constexpr std::uint8_t boot_mode_reserved[] = {2, 3, 4, 5, 7, 8, 9, 10};
  static constexpr std::uint8_t identity_reserved[] = {1};
  static constexpr std::uint8_t download_reserved[] = {1, 2, 9, 10, 11};
  static constexpr std::uint8_t execute_reserved[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  static constexpr std::uint8_t status_reserved[] = {1, 2, 3, 4, 5, 11};
  const auto clear = [cdb](const auto& bytes) {
    return std::all_of(std::begin(bytes), std::end(bytes), [cdb](std::uint8_t at) { return cdb[at] == 0; });
  };
  switch (cdb[0]) {
    case 0xED:
      if (cdb[6] == 0x01) return clear(boot_mode_reserved);
      return cdb[6] != 0x10 || clear(identity_reserved);
    case 0xEA:
    case 0xE8:
      return clear(download_reserved);
    case 0xF5:
      return clear(execute_reserved);
    case 0xFC:
      return clear(status_reserved);
    default:
      return true;
  }
}

// The data bytes a command's CDB declares: a download piece's total, else the host's length.
std::uint32_t declared_bytes(const std::uint8_t* cdb, std::uint32_t length) {
  return cdb[0] == 0xEA || cdb[0] == 0xE8 ? get_be24(cdb + 6) : length;
}

// The parameters of an identity read must agree with each other, as the loader derives them.
bool identity_parameters_agree(const std::uint8_t* cdb) {
  const auto plus = [](std::uint8_t a, unsigned b) { return static_cast<std::uint8_t>(a + b); };
  return cdb[4] == plus(cdb[2], 0x5A) && cdb[5] == plus(cdb[3], 0xA5) && cdb[7] == plus(cdb[2], 0x77) &&
         cdb[8] == plus(cdb[3], 0x66);
}

}  // namespace

void set_check_condition(Outcome& out, Sense sense) {
  out.status = status_check_condition;
  std::memset(out.sense, 0, sizeof(out.sense));
  out.sense[0] = 0x70;
  out.sense[2] = sense.key;
  out.sense[7] = sense_data_bytes - 8;
  out.sense[12] = sense.asc;
  out.sense[13] = sense.ascq;
  out.sense_length = sense_data_bytes;
  out.transferred = 0;
}

SimDrive::SimDrive(const DriveSettings& settings) : settings_(settings) {
  ready_ = factory_rom(settings_.firmware, settings_.model_code, settings_.family_code, rom_) &&
           read_rom_identity(rom_.info, rom_.info_size, identity_);
  tray_open_ = settings_.tray_open;
  disc_ = settings_.disc;
  identity_busy_left_ = settings_.identity_busy;
}

void SimDrive::set_replay(std::shared_ptr<Replay> replay) { replay_ = std::move(replay); }

void SimDrive::set_rom(const Rom& rom) {
  RomIdentity identity;
  if (!read_rom_identity(rom.info, rom.info_size, identity)) return;
  rom_ = rom;
  identity_ = identity;
  ready_ = true;
  ++state_version_;
}

void SimDrive::set_tray(bool open, bool disc) {
  if (open != tray_open_ || disc != disc_) ++state_version_;
  tray_open_ = open;
  disc_ = disc;
}

std::uint32_t SimDrive::count(CommandKind kind) const { return counts_[static_cast<std::uint32_t>(kind)]; }

std::uint32_t SimDrive::history_size() const { return history_size_; }

const CommandRecord& SimDrive::history(std::uint32_t index) const {
  const std::uint32_t oldest = (history_next_ + history_capacity - history_size_) % history_capacity;
  return history_[(oldest + std::min(index, history_size_ - 1)) % history_capacity];
}

void SimDrive::clear_history() {
  history_size_ = 0;
  history_next_ = 0;
}

void SimDrive::ensure_area() {
  if (!area_.empty()) return;
  area_.assign(download_area_bytes, 0);
  written_.assign((download_area_bytes + 7) / 8, 0);
}

// Whatever came of a rewrite request, the download area is empty after it; download mode stays.
void SimDrive::empty_area() {
  std::memset(header_, 0, sizeof(header_));
  header_written_ = false;
  std::fill(area_.begin(), area_.end(), 0);
  std::fill(written_.begin(), written_.end(), 0);
}

Outcome SimDrive::execute(const std::uint8_t* cdb_in, std::uint32_t cdb_length, Direction direction, std::uint8_t* data,
                          std::uint32_t length) {
  std::uint8_t cdb[max_cdb_bytes] = {};
  const std::uint32_t received = cdb_in == nullptr ? 0 : std::min(cdb_length, max_cdb_bytes);
  if (received != 0) std::memcpy(cdb, cdb_in, received);
  if (data == nullptr) length = 0;

  const CommandKind kind = classify_command(cdb);
  const std::uint32_t kind_count = ++counts_[static_cast<std::uint32_t>(kind)];
  const std::uint32_t any_count = ++counts_[command_kind_count];
  if (replay_ != nullptr) {
    const Outcome played = replay_->answer(cdb, received, direction, data, length);
    record(cdb, received, direction, data, length, kind, played);
    return played;
  }
  const FaultDecision fault = decide_fault(settings_.faults, kind, kind_count, any_count, cdb);

  Outcome out;
  bool drop = false;
  bool flip = false;
  bool cut = false;
  if (fault.hit) {
    switch (fault.action) {
      case FaultAction::fail:
        out.delivery = Outcome::Delivery::failed;
        break;
      case FaultAction::hang:
        out.delivery = Outcome::Delivery::hung;
        break;
      case FaultAction::busy:
        out.status = status_busy;
        break;
      case FaultAction::check:
        set_check_condition(out, fault.sense);
        break;
      case FaultAction::drop:
        drop = true;
        break;
      case FaultAction::flip:
        flip = true;
        break;
      case FaultAction::short_transfer:
        cut = true;
        break;
    }
  }
  const bool runs = !fault.hit || drop || flip || cut;
  if (settling_ && static_cast<std::int32_t>(now_ms_ - settled_at_) >= 0) settling_ = false;
  if (runs && !ready_) {
    set_check_condition(out, {sense_hardware_error, 0x40, 0x80});  // diagnostic failure: no firmware
  } else if (runs && unit_attention_ && kind != CommandKind::inquiry) {
    // The first command after the drive restarted from its new ROM learns of the reset.
    unit_attention_ = false;
    set_check_condition(out, reset_occurred);
  } else if (runs && settling_ && kind != CommandKind::inquiry) {
    // Still starting its boot code after the boot-mode command.
    set_check_condition(out, becoming_ready);
  } else if (runs && cut && direction == Direction::in && data != nullptr) {
    // The drive answers as ever, but the data phase ends early: only its first bytes reach the
    // host's buffer, the rest of it stays as it was.
    scratch_.resize(length);
    dispatch(cdb, received, direction, scratch_.data(), length, false, out);
    if (out.status == status_good) {
      out.transferred = std::min(out.transferred, fault.moved);
      std::memcpy(data, scratch_.data(), out.transferred);
    }
  } else if (runs) {
    // A write cut short stores nothing, however much of it arrived; one that ends no earlier than
    // its CDB declares was not cut.
    const bool cut_write = cut && direction == Direction::out && fault.moved < declared_bytes(cdb, length);
    dispatch(cdb, received, direction, data, length, drop || cut_write, out);
    if (cut && out.status == status_good) out.transferred = std::min(out.transferred, fault.moved);
  }

  if (flip && data != nullptr && out.status == status_good && direction == Direction::in && out.transferred != 0) {
    // A bit of the data proper: the header in front of read-back data is never compared.
    const std::uint32_t skip =
        kind == CommandKind::read && out.transferred > download_header_bytes ? download_header_bytes : 0;
    const std::uint32_t at = skip + static_cast<std::uint32_t>(fault.draw % (out.transferred - skip));
    data[at] ^= static_cast<std::uint8_t>(1u << ((fault.draw >> 40) & 7));
  }
  record(cdb, received, direction, data, length, kind, out);
  return out;
}

void SimDrive::record(const std::uint8_t* cdb, std::uint32_t cdb_length, Direction direction, const std::uint8_t* data,
                      std::uint32_t length, CommandKind kind, const Outcome& out) {
  CommandRecord& entry = history_[history_next_];
  std::memcpy(entry.cdb, cdb, max_cdb_bytes);
  entry.cdb_length = static_cast<std::uint8_t>(cdb_length);
  entry.direction = direction;
  entry.length = length;
  entry.kind = kind;
  entry.delivery = out.delivery;
  entry.status = out.status;
  entry.sense = out.sense_length != 0 ? out.sense_triplet() : Sense{};
  entry.transferred = out.transferred;
  // What the host sent, or what its buffer holds now: the bytes the drive moved and, behind them,
  // what was there before.
  entry.has_digest = direction != Direction::none && data != nullptr && length != 0;
  entry.digest = entry.has_digest ? piece_digest(data, length) : 0;
  history_next_ = (history_next_ + 1) % history_capacity;
  if (history_size_ < history_capacity) ++history_size_;
}

void SimDrive::dispatch(const std::uint8_t* cdb, std::uint32_t cdb_length, Direction direction, std::uint8_t* data,
                        std::uint32_t length, bool drop, Outcome& out) {
  const std::uint32_t needed = command_length(cdb[0]);
  if (needed == 0) {
    set_check_condition(out, invalid_opcode);
    return;
  }
  // A short CDB is not the command with zeros behind it: the drive never saw those bytes.
  if (cdb_length < needed || !reserved_bytes_clear(cdb)) {
    set_check_condition(out, invalid_field);
    return;
  }
  switch (cdb[0]) {
    case 0x00:
      test_unit_ready(out);
      return;
    case 0x12:
      inquiry(cdb, direction, data, length, out);
      return;
    case 0x1B:
      start_stop(cdb, out);
      return;
    case 0x4A:
      event_status(cdb, direction, data, length, out);
      return;
    case 0xFC:
      vendor_status(cdb, direction, data, length, out);
      return;
    case 0xED:
      vendor_ed(cdb, direction, data, length, out);
      return;
    case 0xEA:
      download_write(cdb, direction, data, length, drop, out);
      return;
    case 0xE8:
      download_read(cdb, direction, data, length, out);
      return;
    case 0xF5:
      vendor_execute(cdb, out);
      return;
    default:
      set_check_condition(out, invalid_opcode);
      return;
  }
}

void SimDrive::test_unit_ready(Outcome& out) const {
  if (tray_open_) {
    set_check_condition(out, no_medium_tray_open);
  } else if (!disc_) {
    set_check_condition(out, no_medium_tray_closed);
  }
}

void SimDrive::inquiry(const std::uint8_t* cdb, Direction direction, std::uint8_t* data, std::uint32_t length,
                       Outcome& out) const {
  if ((cdb[1] & 0x01) != 0) {  // no vital product data pages
    set_check_condition(out, invalid_field);
    return;
  }
  std::uint8_t answer[inquiry_bytes] = {};
  answer[0] = settings_.peripheral_type;
  answer[1] = 0x80;  // removable medium
  answer[2] = 0x00;
  answer[3] = 0x32;  // response data format 2
  answer[4] = inquiry_bytes - 5;
  pad_text(answer + 8, settings_.inquiry_vendor[0] != '\0' ? settings_.inquiry_vendor : identity_.vendor, 8);
  pad_text(answer + 16, settings_.inquiry_product[0] != '\0' ? settings_.inquiry_product : identity_.product, 16);
  pad_text(answer + 32, identity_.revision, 4);
  reply(out, direction, data, length, answer, inquiry_bytes, get_be16(cdb + 3));
}

void SimDrive::start_stop(const std::uint8_t* cdb, Outcome& out) {
  const bool load_eject = (cdb[4] & 0x02) != 0;
  const bool start = (cdb[4] & 0x01) != 0;
  const bool immediate = (cdb[1] & 0x01) != 0;
  if (!load_eject) return;  // spindle only
  if (!start && settings_.tray_stuck) {
    set_check_condition(out, eject_failed);
    return;
  }
  if (tray_open_ == !start) return;
  set_tray(!start, disc_);
  if (!immediate) out.busy_ms = settings_.tray_ms;
}

void SimDrive::event_status(const std::uint8_t* cdb, Direction direction, std::uint8_t* data, std::uint32_t length,
                            Outcome& out) const {
  if (settings_.no_event_status) {
    set_check_condition(out, invalid_opcode);
    return;
  }
  if ((cdb[1] & 0x01) == 0) {  // only polled operation
    set_check_condition(out, invalid_field);
    return;
  }
  std::uint8_t answer[event_status_bytes] = {};
  std::uint32_t available = 4;
  answer[3] = 0x10;  // supported classes: media
  if ((cdb[4] & 0x10) != 0) {
    put_be16(answer, event_status_bytes - 2);
    answer[2] = 0x04;  // media class
    answer[5] = static_cast<std::uint8_t>((tray_open_ ? 0x01 : 0x00) | (disc_ ? 0x02 : 0x00));
    available = event_status_bytes;
  } else {
    put_be16(answer, 2);
    answer[2] = 0x80;  // no event available
  }
  reply(out, direction, data, length, answer, available, get_be16(cdb + 7));
}

void SimDrive::vendor_status(const std::uint8_t* cdb, Direction direction, std::uint8_t* data, std::uint32_t length,
                             Outcome& out) const {
  if (settings_.no_vendor_status) {
    set_check_condition(out, invalid_opcode);
    return;
  }
  if (cdb[10] != tray_selector) {
    set_check_condition(out, invalid_field);
    return;
  }
  std::uint8_t answer[vendor_status_bytes] = {tray_selector, 0x00, 0x00, 0x00};
  answer[2] = static_cast<std::uint8_t>((tray_open_ ? 0x40 : 0x00) | (disc_ ? 0x01 : 0x00));
  reply(out, direction, data, length, answer, vendor_status_bytes, get_be32(cdb + 6));
}

void SimDrive::vendor_ed(const std::uint8_t* cdb, Direction direction, std::uint8_t* data, std::uint32_t length,
                         Outcome& out) {
  if (cdb[11] != vendor_signature) {
    set_check_condition(out, invalid_field);
    return;
  }
  if (cdb[6] == 0x01) {
    if (!settings_.boot_mode || cdb[1] != 0x01) {
      set_check_condition(out, invalid_field);
      return;
    }
    download_mode_ = true;
    // It restarts into its boot code, which takes a while to answer.
    settling_ = true;
    settled_at_ = now_ms_ + settings_.boot_settle_ms;
    return;
  }
  if (cdb[6] != 0x10) {
    set_check_condition(out, invalid_field);
    return;
  }
  if (identity_busy_left_ != 0) {
    // Still rebuilding its identity block.
    --identity_busy_left_;
    set_check_condition(out, sequence_error);
    return;
  }
  if (!identity_parameters_agree(cdb)) {
    set_check_condition(out, invalid_field);
    return;
  }
  std::uint8_t answer[drive_reply_bytes] = {};
  std::memcpy(answer, rom_.info, std::min<std::uint32_t>(rom_.info_size, drive_reply_bytes));
  reply(out, direction, data, length, answer, drive_reply_bytes, get_be16(cdb + 9));
}

namespace {

// The 24-bit offset and length of a download write or read-back: the 48-byte header plus data that
// must lie inside the download area. False (with the drive's answer in `out`) otherwise.
bool download_range(const std::uint8_t* cdb, std::uint32_t& offset, std::uint32_t& total, std::uint32_t& data_length,
                    Outcome& out) {
  offset = get_be24(cdb + 3);
  total = get_be24(cdb + 6);
  if (total < download_header_bytes) {
    set_check_condition(out, invalid_field);
    return false;
  }
  data_length = total - download_header_bytes;
  if (offset > download_area_bytes || data_length > download_area_bytes - offset) {
    set_check_condition(out, out_of_range);
    return false;
  }
  if (total > largest_piece_bytes) {
    set_check_condition(out, invalid_field);
    return false;
  }
  return true;
}

}  // namespace

void SimDrive::download_write(const std::uint8_t* cdb, Direction direction, const std::uint8_t* data,
                              std::uint32_t length, bool drop, Outcome& out) {
  std::uint32_t offset = 0;
  std::uint32_t total = 0;
  std::uint32_t data_length = 0;
  if (settings_.boot_mode && !download_mode_) {
    set_check_condition(out, sequence_error);
    return;
  }
  if (!download_range(cdb, offset, total, data_length, out)) return;
  if (direction != Direction::out || length < total) {
    set_check_condition(out, data_phase_error);
    return;
  }
  // Every piece's header is looked at as it arrives, and all pieces of one download carry the same.
  ImageCheck header_check = check_transfer_header(rom_, data);
  if (header_check == ImageCheck::ok && header_written_ && std::memcmp(header_, data, download_header_bytes) != 0) {
    header_check = ImageCheck::other_header;
  }
  if (header_check != ImageCheck::ok) {
    last_image_check_ = header_check;
    set_check_condition(out, bad_parameter_list);
    return;
  }
  out.transferred = total;
  if (drop) return;
  ensure_area();
  std::memcpy(header_, data, download_header_bytes);
  header_written_ = true;
  std::memcpy(area_.data() + offset, data + download_header_bytes, data_length);
  for (std::uint32_t i = offset; i < offset + data_length; ++i) {
    written_[i / 8] = static_cast<std::uint8_t>(written_[i / 8] | (1u << (i % 8)));
  }
}

void SimDrive::download_read(const std::uint8_t* cdb, Direction direction, std::uint8_t* data, std::uint32_t length,
                             Outcome& out) const {
  std::uint32_t offset = 0;
  std::uint32_t total = 0;
  std::uint32_t data_length = 0;
  if (settings_.boot_mode && !download_mode_) {
    set_check_condition(out, sequence_error);
    return;
  }
  if (!download_range(cdb, offset, total, data_length, out)) return;
  // The drive sends exactly what the CDB declares: a host that cannot take it all, or takes
  // nothing, ends the data phase early.
  if (direction != Direction::in || data == nullptr || length < total) {
    set_check_condition(out, data_phase_error);
    return;
  }
  out.transferred = total;
  std::memcpy(data, header_, download_header_bytes);
  if (area_.empty()) {
    std::memset(data + download_header_bytes, 0, data_length);
  } else {
    std::memcpy(data + download_header_bytes, area_.data() + offset, data_length);
  }
}

void SimDrive::vendor_execute(const std::uint8_t* cdb, Outcome& out) {
  const std::uint8_t mode = cdb[11];
  if (mode == mode_rewrite_sync || mode == mode_rewrite) {
    out.busy_ms = refused_rewrite_ms;
    if (mode != (settings_.boot_mode ? mode_rewrite_sync : mode_rewrite)) {
      set_check_condition(out, invalid_field);
    } else {
      Rom written;
      last_image_check_ =
          check_downloaded_image(rom_, header_, header_written_, download_area(), written_.data(), written);
      if (last_image_check_ == ImageCheck::no_header) {
        set_check_condition(out, sequence_error);
      } else if (last_image_check_ != ImageCheck::ok) {
        set_check_condition(out, bad_parameter_list);
      } else {
        set_rom(written);
        unit_attention_ = true;
        out.busy_ms = settings_.rewrite_ms;
      }
    }
    // Every retry, and the verify after a good rewrite, needs a complete new download.
    empty_area();
    return;
  }
  if (mode == mode_verify) {
    out.busy_ms = settings_.verify_ms;
    Rom downloaded;
    last_image_check_ =
        check_downloaded_image(rom_, header_, header_written_, download_area(), written_.data(), downloaded);
    if (last_image_check_ == ImageCheck::no_header) {
      set_check_condition(out, sequence_error);
    } else if (last_image_check_ != ImageCheck::ok) {
      set_check_condition(out, bad_parameter_list);
    } else if (downloaded.length != rom_.length || downloaded.digest != rom_.digest) {
      set_check_condition(out, verify_miscompare);
    }
    return;
  }
  set_check_condition(out, invalid_field);
}

}  // namespace tz::sim
