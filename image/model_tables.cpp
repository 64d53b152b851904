#include "image/model_tables.h"

#include <array>
#include <cstring>

#include "app/string_table.h"

namespace tz {

namespace {

struct PlainModel {
  std::uint8_t kind;
  const char* model_code;
  const char* vendor;
  const char* product;
  std::uint8_t tray_check;
  std::uint32_t drive_kind;
  std::uint8_t method[6];  // run, boot mode (3 = has it), read-back, verify, rewrite s, verify s
};

// Readable here; the program's data holds the records with their texts complemented.
constexpr PlainModel primary_plain[] = {
    {1, "TZ594KS-BDC-0001", "KORVANTA", "BD-CMB TZ594KS  ", 0, 0x200, {1, 3, 1, 1, 50, 40}},
};
constexpr PlainModel secondary_plain[] = {
    {1, "TZ594KS-BDC-0001", "KORVANTA", "BD-CMB TZ594KS  ", 0, 0x200, {1, 3, 1, 1, 50, 40}},
};

template <std::size_t N>
constexpr void put_scrambled(char (&field)[N], const char* text) {
  std::size_t i = 0;
  for (; text[i] != '\0' && i + 1 < N; ++i) field[i] = static_cast<char>(~text[i]);
  field[i] = '\0';
}

template <std::size_t Count, std::size_t PlainCount>
constexpr std::array<StoredModelRecord, Count> make_stored(const PlainModel (&plain)[PlainCount]) {
  static_assert(PlainCount <= Count);
  std::array<StoredModelRecord, Count> stored{};
  for (std::size_t i = 0; i < PlainCount; ++i) {
    StoredModelRecord& r = stored[i];
    r.kind = plain[i].kind;
    put_scrambled(r.model_code, plain[i].model_code);
    put_scrambled(r.vendor, plain[i].vendor);
    put_scrambled(r.product, plain[i].product);
    r.tray_check = plain[i].tray_check;
    r.drive_kind = plain[i].drive_kind;
    for (std::size_t k = 0; k < 6; ++k) r.method[k] = plain[i].method[k];
  }
  return stored;
}

constexpr auto stored_primary = make_stored<primary_model_count>(primary_plain);
constexpr auto stored_secondary = make_stored<secondary_model_count>(secondary_plain);

template <std::size_t N, std::size_t M>
void decode_into(char (&destination)[N], const char (&source)[M]) {
  static_assert(M <= N);
  char text[M];
  std::memcpy(text, source, M);
  text[M - 1] = '\0';
  complement_text(text);
  std::memcpy(destination, text, std::strlen(text) + 1);
}

}  // namespace

const StoredModelRecord* stored_primary_models() { return stored_primary.data(); }
const StoredModelRecord* stored_secondary_models() { return stored_secondary.data(); }

void convert_model_records(const StoredModelRecord* stored, std::size_t count, SupportedModelEntry* entries) {
  for (std::size_t i = 0; i < count; ++i) {
    SupportedModelEntry& e = entries[i];
    std::memset(&e, 0, sizeof(e));
    e.entry_kind = stored[i].kind;
    decode_into(e.entry_model_code, stored[i].model_code);
    decode_into(e.entry_vendor, stored[i].vendor);
    decode_into(e.entry_product, stored[i].product);
    e.entry_tray_check_method = stored[i].tray_check;
    e.entry_drive_kind = stored[i].drive_kind;
    std::memcpy(e.entry_method_flags, stored[i].method, sizeof(e.entry_method_flags));
  }
}

void build_model_tables(ModelTables& tables) {
  convert_model_records(stored_primary_models(), primary_model_count, tables.primary);
  convert_model_records(stored_secondary_models(), secondary_model_count, tables.secondary);
}

}  // namespace tz
