#pragma once
// The supported-model tables: stored with their texts scrambled, built into plain entries once at
// start-up.
#include <cstddef>
#include <cstdint>

namespace tz {

struct SupportedModelEntry {
  std::uint8_t entry_kind;  // 1: updated by this program; other values: known, not updated
  char entry_vendor[8 + 1];
  char entry_product[16 + 1];
  char entry_model_code[16 + 1];
  std::uint8_t entry_tray_check_method;
  std::uint32_t entry_drive_kind;
  std::uint8_t entry_method_flags[6];
};

// A record as the program's data holds it: the three texts complemented, each NUL-terminated.
struct StoredModelRecord {
  std::uint8_t kind;
  char model_code[16 + 1];
  char vendor[8 + 1];
  char product[16 + 1];
  std::uint8_t tray_check;
  std::uint32_t drive_kind;
  std::uint8_t method[6];
};

inline constexpr std::size_t primary_model_count = 536;
inline constexpr std::size_t secondary_model_count = 24;

struct ModelTables {
  SupportedModelEntry primary[primary_model_count];
  SupportedModelEntry secondary[secondary_model_count];
};

// The stored tables of the program's data.
const StoredModelRecord* stored_primary_models();
const StoredModelRecord* stored_secondary_models();

// Converts stored records into entries, decoding each text with complement_text on the way.
void convert_model_records(const StoredModelRecord* stored, std::size_t count, SupportedModelEntry* entries);
void build_model_tables(ModelTables& tables);

}  // namespace tz
