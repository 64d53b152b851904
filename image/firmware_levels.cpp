#include "image/firmware_levels.h"

#include <cstring>
#include <string>

#include "core/bytes.h"

namespace tz {

namespace {

struct Area {
  char name[3];
  std::uint32_t start;  // offset in the payload
  std::uint32_t length;
  std::uint16_t version;
};

// What tells one level from another; every other field is the same for the whole family.
struct Level {
  const char* revision;     // T4, also the header's revision in the image
  const char* level;        // T21, the comparable form of the revision
  std::uint16_t key;        // each level scrambles its identity replies with its own key
  const char* build_date;   // T5
  const char* boot_block;   // T7
  const char* servo;        // T11
  const char* build_id;     // T14
  const char* part_number;  // T20
  const char* build_time;   // T25
  const char* description;  // T26
  std::uint8_t area_count;
  Area areas[max_area_entries];
};

// The ROM areas tile the 1,122,304-byte payload: boot block, main program, servo code, the
// configuration area that 1.00 introduced, and data tables.
constexpr Level levels[] = {
    {"1.01",
     "0101",
     image_scramble_key,
     "20090210",
     "B210",
     "SV15",
     "B0101R03",
     "FW594KS-0101-JPN",
     "17:30:00",
     "KORVANTA BD-CMB TZ594KS FIRMWARE V1.01  ",
     5,
     {{"BT", 0x000000, 0x010000, 0x0210},
      {"MN", 0x010000, 0x0D0000, 0x0101},
      {"SV", 0x0E0000, 0x020000, 0x0015},
      {"CF", 0x100000, 0x008000, 0x0003},
      {"DT", 0x108000, 0x00A000, 0x0004}}},
    {"1.00",
     "0100",
     0x3C81,
     "20081027",
     "B210",
     "SV14",
     "B0100R07",
     "FW594KS-0100-JPN",
     "10:05:00",
     "KORVANTA BD-CMB TZ594KS FIRMWARE V1.00  ",
     5,
     {{"BT", 0x000000, 0x010000, 0x0210},
      {"MN", 0x010000, 0x0D0000, 0x0100},
      {"SV", 0x0E0000, 0x020000, 0x0014},
      {"CF", 0x100000, 0x008000, 0x0002},
      {"DT", 0x108000, 0x00A000, 0x0003}}},
    {"0.90",
     "0090",
     0x1D07,
     "20080609",
     "B200",
     "SV12",
     "B0090R02",
     "FW594KS-0090-JPN",
     "09:12:00",
     "KORVANTA BD-CMB TZ594KS FIRMWARE V0.90  ",
     4,
     {{"BT", 0x000000, 0x010000, 0x0200},
      {"MN", 0x010000, 0x0D8000, 0x0090},
      {"SV", 0x0E8000, 0x020000, 0x0012},
      {"DT", 0x108000, 0x00A000, 0x0002}}},
    {"0.80",
     "0080",
     0x7E55,
     "20080118",
     "B200",
     "SV10",
     "B0080R05",
     "FW594KS-0080-JPN",
     "15:40:00",
     "KORVANTA BD-CMB TZ594KS FIRMWARE V0.80  ",
     3,
     {{"BT", 0x000000, 0x010000, 0x0200}, {"MN", 0x010000, 0x0E0000, 0x0080}, {"SV", 0x0F0000, 0x022000, 0x0010}}},
    // Engineering samples: their identity blocks went out with an info_sum that does not check out.
    {"0.50",
     "0050",
     0x0A0A,
     "20070822",
     "B100",
     "SV05",
     "B0050R11",
     "FW594KS-0050-ENG",
     "11:20:00",
     "KORVANTA BD-CMB TZ594KS ENGINEERING 0.50",
     3,
     {{"BT", 0x000000, 0x010000, 0x0100}, {"MN", 0x010000, 0x0E0000, 0x0050}, {"SV", 0x0F0000, 0x022000, 0x0005}}},
};

constexpr bool has_width(const char* text, std::size_t width) { return std::char_traits<char>::length(text) == width; }

constexpr bool levels_fit_their_fields() {
  for (const Level& l : levels) {
    if (!has_width(l.revision, 4) || !has_width(l.level, 4) || !has_width(l.build_date, 8) ||
        !has_width(l.boot_block, 4) || !has_width(l.servo, 4) || !has_width(l.build_id, 8) ||
        !has_width(l.part_number, 16) || !has_width(l.build_time, 8) || !has_width(l.description, 40) ||
        l.area_count > max_area_entries) {
      return false;
    }
  }
  return true;
}
static_assert(levels_fit_their_fields(), "every level text has the width of its field");

// Fields every level shares.
constexpr const char magic[] = "KVT FW IMAGE 594";
constexpr const char model_code[] = "TZ594KS-BDC-0001";  // T1
constexpr const char vendor[] = "KORVANTA";              // T2
constexpr const char product[] = "BD-CMB TZ594KS  ";     // T3
constexpr std::uint32_t info_value = 0x00020001;         // block format 2, one ROM bank
constexpr const char family_code[] = "T5KA";             // T6
constexpr const char board[] = "HW03";                   // T8: main board revision
constexpr const char deck[] = "MD12";                    // T9: mechanism deck
constexpr const char pickup[] = "PU7A";                  // T10: optical pickup
constexpr const char dsp[] = "DS04";                     // T12: DSP microcode
constexpr const char oem[] = "ZEMO-OEM";                 // T13: the OEM this model is built for
constexpr const char bd_speed[] = "BD06";                // T15..T17: top write speeds
constexpr const char dvd_speed[] = "DV16";
constexpr const char cd_speed[] = "CD40";
constexpr const char reserved[] = "0000";        // T18
constexpr const char rom_map[] = "MAP-0004";     // T19: layout of the ROM areas
constexpr const char oldest_level[] = "0090";    // T22: the oldest level it replaces
constexpr const char config_version[] = "0003";  // T23
constexpr const char bank_count[] = "0001";      // T24
// Trailer: byte 0 is the download state (1 as stored; the loader sends 3), then the ROM bank and
// the area-table format.
constexpr std::uint8_t trailer[] = {0x01, 0x00, 0x01, 0x01};
constexpr std::uint32_t blob_bytes = 64;
constexpr const char blob_tag[] = "TZ594K-CAL-TABLE";

template <std::size_t N>
void set_text(char* field, const char (&text)[N]) {
  std::memcpy(field, text, N - 1);
  field[N - 1] = '\0';
}

void set_text(char* field, const char* text, std::size_t width) {
  std::memcpy(field, text, width);
  field[width] = '\0';
}

}  // namespace

int firmware_level_identity(const char* revision, IdentityRecord& record) {
  const Level* level = nullptr;
  for (const Level& candidate : levels) {
    if (std::strcmp(candidate.revision, revision) == 0) level = &candidate;
  }
  if (level == nullptr) return -1;

  init_identity_record(record);
  set_text(record.magic_text, magic);
  record.scramble_key = level->key;
  record.info_value = info_value;
  set_text(record.model_code, model_code);
  set_text(record.info_vendor, vendor);
  set_text(record.info_product, product);
  set_text(record.info_revision, level->revision, 4);
  set_text(record.t5, level->build_date, 8);
  set_text(record.t6, family_code);
  set_text(record.t7, level->boot_block, 4);
  set_text(record.t8, board);
  set_text(record.t9, deck);
  set_text(record.t10, pickup);
  set_text(record.t11, level->servo, 4);
  set_text(record.t12, dsp);
  set_text(record.t13, oem);
  set_text(record.t14, level->build_id, 8);
  set_text(record.t15, bd_speed);
  set_text(record.t16, dvd_speed);
  set_text(record.t17, cd_speed);
  set_text(record.t18, reserved);
  set_text(record.t19, rom_map);
  set_text(record.t20, level->part_number, 16);
  set_text(record.t21, level->level, 4);
  set_text(record.t22, oldest_level);
  set_text(record.t23, config_version);
  set_text(record.t24, bank_count);
  set_text(record.t25, level->build_time, 8);
  set_text(record.t26, level->description, 40);

  // Laser power calibration: a tag, then 24 big-endian set points that drift a little per level.
  record.blob_length = blob_bytes;
  std::memcpy(record.blob, blob_tag, sizeof(blob_tag) - 1);
  std::uint32_t level_number = 0;
  for (int i = 0; i < 4; ++i) level_number = level_number * 10 + static_cast<std::uint32_t>(level->level[i] - '0');
  const std::uint32_t drift = level_number % 32;
  for (std::uint32_t i = 0; i < 24; ++i) put_be16(record.blob + 16 + std::size_t{2} * i, 0x0C00 + i * 0x48 + drift);

  record.area_bytes = level->area_count * area_entry_bytes;
  for (std::uint32_t i = 0; i < level->area_count; ++i) {
    const Area& area = level->areas[i];
    set_text(record.areas[i].area_name, area.name);
    record.areas[i].area_value_1 = area.start;
    record.areas[i].area_value_2 = area.length;
    record.areas[i].area_word = area.version;
  }
  record.trailer_length = sizeof(trailer);
  std::memcpy(record.trailer, trailer, sizeof(trailer));
  return 0;
}

}  // namespace tz
