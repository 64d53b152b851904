#pragma once
// The drive table, current drive, transport request blocks and buffers, sense bytes.
#include <cstdint>

#include "image/identity.h"
#include "platform/aspi.h"
#include "platform/types.h"

namespace tz {

// DriveState::transport, chosen at start-up.
inline constexpr std::uint8_t transport_aspi = 1;
inline constexpr std::uint8_t transport_pass_through = 2;

inline constexpr std::uint32_t drive_table_size = 64;
// Records 0..23 stand for the letters C: to Z:; A: and B: are never examined.
inline constexpr std::uint32_t lettered_drive_count = 24;
inline constexpr char first_drive_letter = 'C';
inline constexpr std::uint32_t device_path_size = 10;
// Where the letter and its colon ("X:") stand in a device path "\\.\X:".
inline constexpr std::uint32_t device_letter_offset = 4;

// DriveRecord::status.
inline constexpr std::uint8_t drive_status_empty = 0;
inline constexpr std::uint8_t drive_status_answered = 1;
inline constexpr std::uint8_t drive_status_candidate_a = 2;
inline constexpr std::uint8_t drive_status_candidate_b = 3;
inline constexpr std::uint8_t drive_status_candidate_c = 4;
inline constexpr std::uint8_t drive_status_already_updated = 5;
inline constexpr std::uint8_t drive_status_target = 6;
inline constexpr std::uint8_t drive_status_chosen_target = 7;
inline constexpr std::uint8_t drive_status_excluded_level = 8;
inline constexpr std::uint8_t drive_status_not_updated_model = 9;

// DriveRecord::identity_source.
inline constexpr std::uint32_t identity_source_none = 0;
inline constexpr std::uint32_t identity_source_drive = 2;

struct DriveRecord {
  std::uint8_t ha_id = 0;
  std::uint8_t target_id = 0;
  char device_path[device_path_size] = {};  // "\\.\X:"; the last two characters name the letter
  platform::Handle device_handle = platform::invalid_handle_value;
  std::uint32_t drive_type = 0;
  std::uint8_t volume_locked = 0;
  std::uint8_t media_present = 0;
  std::uint8_t status = drive_status_empty;
  std::uint8_t tray_check_method = 0;
  std::uint32_t drive_kind = 0;
  std::uint8_t method_flags[6] = {};
  std::uint32_t identity_source = identity_source_none;
  char vendor_id[8 + 1] = {};
  char product_id[16 + 1] = {};
  char product_revision[4 + 1] = {};
  IdentityRecord identity{};
};

inline constexpr std::uint32_t cdb_bytes = 12;

// One template per command: the constant bytes stay, each call overwrites its parameter bytes.
struct CdbTemplates {
  std::uint8_t test_unit_ready[cdb_bytes] = {0x00};
  std::uint8_t inquiry[cdb_bytes] = {0x12, 0x00, 0x00, 0x00, 0x2C};
  std::uint8_t eject[cdb_bytes] = {0x1B, 0x00, 0x00, 0x00, 0x02};
  std::uint8_t stop[cdb_bytes] = {0x1B};
  std::uint8_t get_event_status[cdb_bytes] = {0x4A, 0x01};
  std::uint8_t vendor_read_status[cdb_bytes] = {0xFC};
  std::uint8_t prepare_download[cdb_bytes] = {0xED, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x3C};
  std::uint8_t read_identity_block[cdb_bytes] = {0xED, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                 0x10, 0x00, 0x00, 0x00, 0x00, 0x3C};
  std::uint8_t write_download[cdb_bytes] = {0xEA};
  std::uint8_t read_download[cdb_bytes] = {0xE8};
  std::uint8_t execute[cdb_bytes] = {0xF5};
};

// ASPI state for the program's life: the library is never freed.
struct AspiLibrary {
  platform::Handle module = platform::null_handle;
  platform::ProcAddress get_support_info = 0;
  platform::ProcAddress send_command = 0;
};

inline constexpr std::uint32_t spt_buffered_size = 592;
inline constexpr std::uint32_t spt_direct_size = 80;
inline constexpr std::uint32_t spt_sense_offset = 48;
inline constexpr std::uint32_t spt_sense_size = 24;
inline constexpr std::uint32_t spt_data_offset = 80;
inline constexpr std::uint32_t spt_buffered_data_capacity = spt_buffered_size - spt_data_offset;  // 512
inline constexpr std::uint32_t scsi_data_buffer_size = 20480;

struct DriveState {
  std::uint8_t transport = 0;
  DriveRecord drive_table[drive_table_size];
  // No drive is current until a loop or the choice of the target sets one: a run that ends before
  // the drive search names no drive in its log.
  std::uint32_t current_drive = drive_table_size;

  std::uint8_t last_sense_key = 0;
  std::uint8_t last_asc = 0;
  std::uint8_t last_ascq = 0;
  // Data bytes the drive moved in the last request, in its direction: what the system wrote back
  // for pass-through; for ASPI the whole length unless the manager reported a data underrun, which
  // carries no count (0). 0 for a request that failed or was refused before it was sent.
  std::uint32_t transferred = 0;

  AspiLibrary aspi;
  // Request blocks and buffers in the 32-bit Windows layouts; aligned for the adapters' DMA.
  alignas(16) std::uint8_t aspi_request_block[platform::srb::size] = {};
  alignas(16) std::uint8_t spt_buffered[spt_buffered_size] = {};
  alignas(16) std::uint8_t spt_direct[spt_direct_size] = {};
  alignas(16) std::uint8_t scsi_data_buffer[scsi_data_buffer_size] = {};

  CdbTemplates cdb;
};

}  // namespace tz
