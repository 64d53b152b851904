#pragma once
// SCSI vocabulary of the simulated drive: statuses, sense data, the kinds of command it knows.
#include <cstdint>
#include <string_view>

namespace tz::sim {

enum class Direction : std::uint8_t { out = 0, in = 1, none = 2 };

inline constexpr std::uint8_t status_good = 0x00;
inline constexpr std::uint8_t status_check_condition = 0x02;
inline constexpr std::uint8_t status_busy = 0x08;

inline constexpr std::uint8_t sense_not_ready = 0x02;
inline constexpr std::uint8_t sense_medium_error = 0x03;
inline constexpr std::uint8_t sense_hardware_error = 0x04;
inline constexpr std::uint8_t sense_illegal_request = 0x05;
inline constexpr std::uint8_t sense_aborted_command = 0x0B;
inline constexpr std::uint8_t sense_miscompare = 0x0E;

struct Sense {
  std::uint8_t key = 0;
  std::uint8_t asc = 0;
  std::uint8_t ascq = 0;
};

// Fixed-format sense data (response code 0x70) as the drive returns it.
inline constexpr std::uint32_t sense_data_bytes = 18;

inline constexpr std::uint32_t max_cdb_bytes = 16;

// The commands the drive tells apart, for counting and for faults.
enum class CommandKind : std::uint8_t {
  test_unit_ready,
  inquiry,
  start_stop,
  event_status,
  vendor_status,
  prepare,
  identity,
  write,
  read,
  rewrite,
  verify,
  other,
  any,  // matches every command in a fault rule; never the kind of a command
};
inline constexpr std::uint32_t command_kind_count = static_cast<std::uint32_t>(CommandKind::any);

// The kind a CDB is, from its operation code and, for the vendor commands, its function byte.
CommandKind classify_command(const std::uint8_t* cdb);
// Names used in bay files and transcripts: "tur", "inquiry", "start-stop", "event-status",
// "vendor-status", "prepare", "identity", "write", "read", "rewrite", "verify", "other", "any".
const char* command_kind_name(CommandKind kind);
bool parse_command_kind(std::string_view name, CommandKind& kind);
// "in", "out" or "none", as transcripts and traces write a data phase.
const char* direction_word(Direction direction);

}  // namespace tz::sim
