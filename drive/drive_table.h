#pragma once
// The fixed table of drive positions that discovery fills and every later step reads.
#include <cstdint>

#include "drive/drive_state.h"

namespace tz {

// Resets every record: ASPI address k / 8, k mod 8; letters C..Z on records 0..23; no handle,
// nothing answered, "?" in every text and the placeholder identity. current_drive is left alone.
void init_drive_table(DriveState& drives);
// Index of the n-th record (0-based, table order) whose status equals `status`; drive_table_size
// when there is none.
std::uint32_t find_drive_by_status(const DriveState& drives, std::uint8_t status, std::uint32_t n);
// Number of records whose status equals `status`.
std::uint32_t count_drives_by_status(const DriveState& drives, std::uint8_t status);
// The record at current_drive, or null when current_drive lies outside the table (as it does
// after a loop over the whole table).
DriveRecord* current_drive_record(DriveState& drives);

}  // namespace tz
