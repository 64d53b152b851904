#include "drive/drive_table.h"

#include <cstring>

#include "drive/drive_state.h"

namespace tz {

namespace {

void fill_unread(char* field, std::size_t width) {
  std::memset(field, '?', width);
  field[width] = '\0';
}

}  // namespace

void init_drive_table(DriveState& drives) {
  for (std::uint32_t k = 0; k < drive_table_size; ++k) {
    DriveRecord& record = drives.drive_table[k];
    record.ha_id = static_cast<std::uint8_t>(k / 8);
    record.target_id = static_cast<std::uint8_t>(k % 8);
    std::memset(record.device_path, 0, sizeof(record.device_path));
    if (k < lettered_drive_count) {
      const char path[] = {'\\', '\\', '.', '\\', static_cast<char>(first_drive_letter + k), ':', '\0'};
      static_assert(sizeof(path) <= device_path_size);
      std::memcpy(record.device_path, path, sizeof(path));
    }
    record.device_handle = platform::invalid_handle_value;
    record.drive_type = 0;
    record.volume_locked = 0;
    record.media_present = 0;
    record.status = drive_status_empty;
    record.tray_check_method = 0;
    record.drive_kind = 0;
    std::memset(record.method_flags, 0, sizeof(record.method_flags));
    record.identity_source = identity_source_none;
    fill_unread(record.vendor_id, sizeof(record.vendor_id) - 1);
    fill_unread(record.product_id, sizeof(record.product_id) - 1);
    fill_unread(record.product_revision, sizeof(record.product_revision) - 1);
    init_identity_record(record.identity);
  }
}

std::uint32_t find_drive_by_status(const DriveState& drives, std::uint8_t status, std::uint32_t n) {
  std::uint32_t seen = 0;
  for (std::uint32_t k = 0; k < drive_table_size; ++k) {
    if (drives.drive_table[k].status != status) continue;
    if (seen == n) return k;
    ++seen;
  }
  return drive_table_size;
}

std::uint32_t count_drives_by_status(const DriveState& drives, std::uint8_t status) {
  std::uint32_t count = 0;
  for (const DriveRecord& record : drives.drive_table) {
    if (record.status == status) ++count;
  }
  return count;
}

DriveRecord* current_drive_record(DriveState& drives) {
  if (drives.current_drive >= drive_table_size) return nullptr;
  return &drives.drive_table[drives.current_drive];
}

}  // namespace tz
